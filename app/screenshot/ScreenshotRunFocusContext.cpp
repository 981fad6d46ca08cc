// The focus-and-context picture: top scale, a cluster made the focus, the
// refined map beside its tree.
#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <memory>

namespace {

const QString kAnalysisName = QStringLiteral("Example F+C");
// How long the tree page is given to load and list the trees, in polls of
// kPollMs milliseconds.
constexpr int kPollMs = 200;
constexpr int kMostPolls = 100;

// Where the run stands; the bridge's signals move it on.
struct FocusContextRun {
    enum Step { TopScale, Selecting, Focus, Done } step = TopScale;
    UI_HsneFCWidget* view = nullptr;
    int polls = 0;
};

}  // namespace

void ScreenshotRun::startFocusContext(MainWindow* window, const QString& output, const QStringList& files) {
    // Room for the map and the tree side by side next to the settings.
    window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    auto run = std::make_shared<FocusContextRun>();

    // Picks the analysis's tree on the page as a user would, with the page's
    // selector, then closes the page's drawer (as a click on its handle does)
    // so that it covers no node; the drawing and the drawer's slide are given
    // a moment.
    auto showTree = std::make_shared<std::function<void(UI_TreeWidget*)>>();
    *showTree = [window, output, run, showTree](UI_TreeWidget* tree) {
        QWebFrame* page = tree->webView()->page()->mainFrame();
        if (tree->currentTree()) {
            page->evaluateJavaScript(QStringLiteral("if (uiActive) hideUi();"));
            QTimer::singleShot(1500, window, [window, output]() { grabAndQuit(window, output); });
            return;
        }
        if (++run->polls > kMostPolls) {
            fail("the tree page does not show the analysis's tree");
            return;
        }
        page->evaluateJavaScript(
            QStringLiteral("(function () { var s = document.getElementById('treeSelector');"
                           " for (var i = 0; i < s.options.length; ++i)"
                           "  if (s.options[i].value === '%1') { s.value = '%1'; s.onchange(); } })();")
                .arg(kAnalysisName));
        QTimer::singleShot(kPollMs, window, [tree, showTree]() { (*showTree)(tree); });
    };

    QObject::connect(window->bridge(), &UI_Interface::analysisFinishedSignal, window, [window, run, showTree](void*) {
        if (run->step == FocusContextRun::TopScale) {
            run->step = FocusContextRun::Selecting;
            // The largest lone cluster becomes the focus, so
            // that its refinement shows; the refined map runs
            // inside the menu's activation.
            QTimer::singleShot(300, window, [window, run]() {
                selectAndChoose(window, run->view->plot(), 1, true, 100, QStringLiteral("Set focus and differentiate."),
                                [run]() { run->step = FocusContextRun::Focus; });
            });
            return;
        }
        if (run->step != FocusContextRun::Focus) return;
        run->step = FocusContextRun::Done;
        window->findChild<QAction*>("actionTree")->trigger();
        auto* tree = qobject_cast<UI_TreeWidget*>(window->views().back());
        if (!tree) {
            fail("\"Focus + Context Tree View\" opened no tree view");
            return;
        }
        // The map wider than the tree, the settings narrower than either.
        window->splitDockWidget(run->view, tree, Qt::Horizontal);
        window->resizeDocks({window->settingsDock(), run->view, tree}, {360, 620, 460}, Qt::Horizontal);
        QTimer::singleShot(kPollMs, window, [tree, showTree]() { (*showTree)(tree); });
    });

    importAndCreate(window, files, UI_ImportDialog::Ok, kAnalysisName, [window, run]() {
        window->findChild<QAction*>("actionNewHsneFCAnalysis")->trigger();
        auto* panel = qobject_cast<UI_HsneFCSettingsWidget*>(
            window->settingsPanels().empty() ? nullptr : window->settingsPanels().back());
        run->view = qobject_cast<UI_HsneFCWidget*>(window->views().empty() ? nullptr : window->views().back());
        if (!panel || !run->view) {
            fail("\"New HSNE Focus + Context Analysis\" created no focus-and-context analysis");
            return;
        }
        // The hierarchy is built and the top scale embedded within the press.
        click(panel->computeHsneButton());
    });
}
