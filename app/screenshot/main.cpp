// qlmrn_screenshot_run OUTPUT.png FILE.fcs...
// Takes the README's screenshot (see docs/screenshot.sh). A tool for the
// documentation, not part of the shipped program.
#include "analysis/applicationSurfaceFormat.h"
#include "app/MainWindow.h"
#include "app/screenshot/ScreenshotRun.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: qlmrn_screenshot_run OUTPUT.png FILE.fcs...\n");
        return 2;
    }
    // The program's identity, so the window reads like the program's own.
    QCoreApplication::setOrganizationName("Merrowfield");
    QCoreApplication::setOrganizationDomain("merrowfield.org");
    QCoreApplication::setApplicationName("Quillmaren");
    setApplicationSurfaceFormat();

    MainWindow window;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(static_cast<int>(static_cast<float>(available.width()) * 0.75f),
                     static_cast<int>(static_cast<float>(available.height()) * 0.85f));
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    window.show();
    const QString output = args.takeFirst();
    ScreenshotRun::start(&window, output, args);
    return app.exec();
}
