// qlmrn_screenshot_run [--hsne-drill-down|--focus-context|--spade-tree|--heat-map] OUTPUT.png FILE.fcs...
// Takes the README's screenshots (see docs/screenshot.sh): the main window
// during an A-tSNE run, or with --hsne-drill-down an HSNE overview beside a
// level opened from a selection of it, or with --focus-context a
// focus-and-context map refined in one cluster beside its tree, or with
// --spade-tree a SPADE tree with a bubble, or with --heat-map a plot's
// density clusters in a heat map. A tool for
// the documentation, not part of the shipped program.
#include "app/MainWindow.h"
#include "app/screenshot/ScreenshotRun.h"
#include "app/startApplication.h"

#include "vel/utils/OmpWaitPolicy.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    vel::utils::ensurePassiveOmpWaitPolicy();
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    ScreenshotRun::Picture picture = ScreenshotRun::Picture::Tsne;
    if (!args.isEmpty() && args.first() == QStringLiteral("--hsne-drill-down")) {
        picture = ScreenshotRun::Picture::HsneDrillDown;
        args.removeFirst();
    } else if (!args.isEmpty() && args.first() == QStringLiteral("--focus-context")) {
        picture = ScreenshotRun::Picture::FocusContext;
        args.removeFirst();
    } else if (!args.isEmpty() && args.first() == QStringLiteral("--spade-tree")) {
        picture = ScreenshotRun::Picture::SpadeTree;
        args.removeFirst();
    } else if (!args.isEmpty() && args.first() == QStringLiteral("--heat-map")) {
        picture = ScreenshotRun::Picture::HeatMap;
        args.removeFirst();
    }
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: qlmrn_screenshot_run [--hsne-drill-down|--focus-context|--spade-tree|--heat-map] "
                     "OUTPUT.png FILE.fcs...\n");
        return 2;
    }
    // Started as the program starts, so the window reads like the program's own.
    startApplication();
    MainWindow window;
    showCentred(window);
    const QString output = args.takeFirst();
    ScreenshotRun::start(&window, picture, output, args);
    return app.exec();
}
