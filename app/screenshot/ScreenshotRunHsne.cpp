// The HSNE drill-down picture: overview, selection, zoom, new level.
#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <memory>

namespace {

// Most clusters the rectangle takes.
constexpr size_t kMostClusters = 3;

// Where the run stands; the bridge's signals move it on.
struct HsneRun {
    enum Step { Overview, Selecting, Level, Done } step = Overview;
    UI_HsneWidget* overview = nullptr;
    void* overviewAnalysis = nullptr;
    void* levelAnalysis = nullptr;
};

}  // namespace

void ScreenshotRun::startHsneDrillDown(MainWindow* window, const QString& output, const QStringList& files) {
    // Room for two plots side by side next to the settings.
    window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    auto run = std::make_shared<HsneRun>();

    // Selects a few clusters of the converged overview with a rectangle and
    // zooms into them through the plot's context menu; the new level runs
    // inside the menu's activation.
    const auto selectAndZoom = [window, run]() {
        selectAndChoose(window, run->overview->plot(), kMostClusters, false, 150,
                        QStringLiteral("Zoom into Selection."), [run]() {
                            run->step = HsneRun::Level;
                            // The "Selection Name" prompt: an empty answer keeps the proposed name.
                            UI_ModalDialogs::answerText(QString());
                        });
    };

    // The new level's dock goes beside the overview's rather than below it.
    QObject::connect(window->bridge(), &UI_Interface::analysisInitializedSignal, window, [window, run](void* a) {
        if (run->step != HsneRun::Level || run->levelAnalysis) return;
        run->levelAnalysis = a;
        auto* level = qobject_cast<UI_HsneWidget*>(window->views().back());
        if (!level || level == run->overview) return;
        window->splitDockWidget(run->overview, level, Qt::Horizontal);
    });
    QObject::connect(window->bridge(), &UI_Interface::analysisFinishedSignal, window,
                     [window, output, run, selectAndZoom](void* a) {
                         if (run->step == HsneRun::Overview) {
                             run->step = HsneRun::Selecting;
                             run->overviewAnalysis = a;
                             QTimer::singleShot(300, window, selectAndZoom);
                             return;
                         }
                         if (run->step != HsneRun::Level || a == run->overviewAnalysis) return;
                         run->step = HsneRun::Done;
                         auto* level = qobject_cast<UI_HsneWidget*>(window->views().back());
                         if (!run->levelAnalysis || !level || level == run->overview) {
                             fail("the zoom opened no level");
                             return;
                         }
                         // Its marker list is complete once it has run.
                         styleForPicture(level->plot(), 100);
                         QTimer::singleShot(300, window, [window, output]() { grabAndQuit(window, output); });
                     });

    importAndCreate(window, files, UI_ImportDialog::StartHsne, QStringLiteral("Example HSNE"), [window, run]() {
        auto* panel = qobject_cast<UI_HsneSettingsWidget*>(window->settingsPanels().back());
        run->overview = qobject_cast<UI_HsneWidget*>(window->views().empty() ? nullptr : window->views().back());
        if (!panel || !run->overview) {
            fail("the new analysis is no HSNE");
            return;
        }
        // The hierarchy is built and the overview embedded within the press.
        click(panel->computeHsneButton());
    });
}
