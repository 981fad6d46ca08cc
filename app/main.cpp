#include "app/MainWindow.h"
#include "app/startApplication.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    startApplication();
    MainWindow window;
    showCentred(window);
    return app.exec();
}
