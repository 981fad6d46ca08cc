// qlmrn_screenshot_run OUTPUT.png FILE.fcs...
// Takes the README's screenshot (see docs/screenshot.sh). A tool for the
// documentation, not part of the shipped program.
#include "app/MainWindow.h"
#include "app/screenshot/ScreenshotRun.h"
#include "app/startApplication.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qlmrn_screenshot_run OUTPUT.png FILE.fcs...\n");
        return 2;
    }
    // Started as the program starts, so the window reads like the program's own.
    startApplication();
    MainWindow window;
    showCentred(window);
    const QString output = args.takeFirst();
    ScreenshotRun::start(&window, output, args);
    return app.exec();
}
