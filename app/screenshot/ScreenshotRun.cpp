#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/writeWholeFile.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

// Iterations of the example embedding shown in the picture: its clusters
// have formed but still move.
constexpr int kUpdatesBeforeGrab = 800;

}  // namespace

void ScreenshotRun::start(MainWindow* window, Picture picture, const QString& output, const QStringList& files) {
    switch (picture) {
        case Picture::Tsne:
            startTsne(window, output, files);
            break;
        case Picture::HsneDrillDown:
            startHsneDrillDown(window, output, files);
            break;
        case Picture::FocusContext:
            startFocusContext(window, output, files);
            break;
        case Picture::SpadeTree:
            startSpadeTree(window, output, files);
            break;
        case Picture::HeatMap:
            startHeatMap(window, output, files);
            break;
    }
}

void ScreenshotRun::importAndCreate(MainWindow* window, const QStringList& files, int importChoice,
                                    const QString& analysisName, std::function<void()> then) {
    UI_ModalDialogs::setScripted(true);
    UI_ModalDialogs::answerFiles(files);
    UI_ModalDialogs::answerText(analysisName);
    // The import dialog is shown for real: the transform is ticked and the
    // analysis is created from it, as a user would.
    UI_ModalDialogs::answerDialog([importChoice](QDialog* dialog) {
        QTimer::singleShot(300, dialog, [dialog]() {
            for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
                if (box->text().startsWith("Apply Hyperbolic")) box->click();
        });
        QTimer::singleShot(1000, dialog, [dialog, importChoice]() {
            if (auto* start = dialog->findChild<QPushButton*>(QStringLiteral("importButton%1").arg(importChoice)))
                start->click();
        });
        return dialog->exec();
    });

    QTimer::singleShot(500, window, [window, importChoice, then]() {
        window->findChild<QAction*>("actionOpenFile")->trigger();
        for (const UI_ModalDialogs::Message& m : UI_ModalDialogs::takeMessages())
            std::fprintf(stderr, "screenshot run: message \"%s\"\n", qPrintable(m.text));
        QTimer::singleShot(500, window, [window, importChoice, then]() {
            if (importChoice != UI_ImportDialog::Ok && window->settingsPanels().empty()) {
                fail("no analysis was created");
                return;
            }
            then();
        });
    });
}

void ScreenshotRun::startTsne(MainWindow* window, const QString& output, const QStringList& files) {
    // The run pumps the event loop after every iteration; the window is
    // grabbed part way, with the embedding still converging, and the run is
    // stopped so that the program can quit.
    auto* updates = new int(0);
    QObject::connect(window->bridge(), &UI_Interface::analysisUpdatedSignal, window, [window, output, updates]() {
        if (++*updates != kUpdatesBeforeGrab) return;
        for (MCV_Analysis* analysis : window->analyses())
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) tsne->stopGradientDescent();
        grabAndQuit(window, output);
    });

    // The new analysis computes when its panel's button is pressed.
    importAndCreate(window, files, UI_ImportDialog::StartTsne, QStringLiteral("Example embedding"), [window]() {
        auto* panel = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels().back());
        if (!panel) {
            fail("the new analysis is no A-tSNE");
            return;
        }
        click(panel->computeTsneButton());
    });
}

void ScreenshotRun::click(QPushButton* button) {
    const QPoint centre = button->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(button, &release);
}

void ScreenshotRun::grabAndQuit(MainWindow* window, const QString& output) {
    // What the screen shows of the window, encoded whole and then written
    // through the program's file writer.
    QByteArray png;
    QBuffer buffer(&png);
    QString why;
    const bool saved = buffer.open(QIODevice::WriteOnly) &&
                       QGuiApplication::primaryScreen()->grabWindow(window->winId()).save(&buffer, "PNG") &&
                       writeWholeFile(output, png, &why);
    std::fprintf(stderr, "screenshot run: %s %s%s\n", saved ? "wrote" : "could not write", qPrintable(output),
                 why.isEmpty() ? "" : qPrintable(": " + why));
    QCoreApplication::exit(saved ? 0 : 1);
}

void ScreenshotRun::fail(const char* why) {
    std::fprintf(stderr, "screenshot run: %s\n", why);
    QCoreApplication::exit(1);
}
