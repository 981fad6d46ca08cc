#include "app/MainWindow.h"
#include "app/startApplication.h"

#include "vel/utils/OmpWaitPolicy.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Idle OpenMP threads sleep, so that the analyses leave the cores to the
    // window and to each other, unless the user chose otherwise.
    vel::utils::ensurePassiveOmpWaitPolicy();
    QApplication app(argc, argv);
    startApplication();
    MainWindow window;
    showCentred(window);
    return app.exec();
}
