#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_Interface.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QAction>
#include <QApplication>
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

// What the screen shows of `window`, into `path`.
bool grabInto(QWidget* window, const QString& path) {
    return QGuiApplication::primaryScreen()->grabWindow(window->winId()).save(path, "PNG");
}

}  // namespace

void ScreenshotRun::start(MainWindow* window, const QString& output, const QStringList& files) {
    UI_ModalDialogs::setScripted(true);
    UI_ModalDialogs::answerFiles(files);
    UI_ModalDialogs::answerText(QStringLiteral("Example embedding"));
    // The import dialog is shown for real: the transform is ticked and an
    // A-tSNE analysis is created from it, as a user would.
    UI_ModalDialogs::answerDialog([](QDialog* dialog) {
        QTimer::singleShot(300, dialog, [dialog]() {
            for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
                if (box->text().startsWith("Apply Hyperbolic")) box->click();
        });
        QTimer::singleShot(1000, dialog, [dialog]() {
            if (auto* start = dialog->findChild<QPushButton*>(QStringLiteral("importButton2"))) start->click();
        });
        return dialog->exec();
    });

    // The run pumps the event loop after every iteration; the window is
    // grabbed part way, with the embedding still converging, and the run is
    // stopped so that the program can quit.
    auto* updates = new int(0);
    QObject::connect(window->bridge(), &UI_Interface::analysisUpdatedSignal, window, [window, output, updates]() {
        if (++*updates != kUpdatesBeforeGrab) return;
        const bool saved = grabInto(window, output);
        std::fprintf(stderr, "screenshot run: %s %s\n", saved ? "wrote" : "could not write", qPrintable(output));
        for (MCV_Analysis* analysis : window->analyses())
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) tsne->stopGradientDescent();
        QCoreApplication::exit(saved ? 0 : 1);
    });

    QTimer::singleShot(500, window, [window]() {
        window->findChild<QAction*>("actionOpenFile")->trigger();
        for (const UI_ModalDialogs::Message& m : UI_ModalDialogs::takeMessages())
            std::fprintf(stderr, "screenshot run: message \"%s\"\n", qPrintable(m.text));
        // The new analysis computes when its panel's button is pressed.
        QTimer::singleShot(500, window, [window]() {
            if (window->settingsPanels().empty()) {
                std::fprintf(stderr, "screenshot run: no analysis was created\n");
                QCoreApplication::exit(1);
                return;
            }
            auto* panel = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels().back());
            if (!panel) return;
            QPushButton* button = panel->computeTsneButton();
            const QPoint centre = button->rect().center();
            QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(button, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, centre, button->mapToGlobal(centre), Qt::LeftButton,
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(button, &release);
        });
    });
}
