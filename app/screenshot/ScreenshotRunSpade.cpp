// The SPADE tree picture: the tree laid out, a bubble around a branch.
#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

namespace {

const QString kAnalysisName = QStringLiteral("Example SPADE");
// The layout settles within seconds; the bubble's hull is drawn at once.
constexpr int kLayoutMs = 8000;
constexpr int kBubbleMs = 1500;

// Two markers that tell the branches apart colour the halves; the branch of
// the node with the highest value of the first, with its tree neighbours,
// becomes a bubble, made as the "Phenotype" dialog makes it. Returns the
// number of nodes in the bubble.
const char* const kMakeBubble = R"(
(function () {
    if (!graph || graph.nodes.length < 3) return 0;
    var n = graph.names.length;
    ["leftMarkerSelector", "rightMarkerSelector"].forEach(function (id, side) {
        var selector = document.getElementById(id);
        selector.value = String(Math.min(side + 1, n - 1));
        selectMarker(side, selector.value);
    });
    var best = graph.nodes[0];
    graph.nodes.forEach(function (d) {
        if (markerValue(d, activeMarker[0]) > markerValue(best, activeMarker[0])) best = d;
    });
    var near = function (d) {
        return d === best || graph.links.some(function (l) {
            return (l.source === best && l.target === d) || (l.target === best && l.source === d);
        });
    };
    selectNodes(near);
    saveBubble("Branch");
    return subTrees.length;
})()
)";

}  // namespace

void ScreenshotRun::startSpadeTree(MainWindow* window, const QString& output, const QStringList& files) {
    window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    importAndCreate(window, files, UI_ImportDialog::StartSpade, kAnalysisName, [window, output]() {
        auto* panel = qobject_cast<UI_SpadeSettingsWidget*>(window->settingsPanels().back());
        UI_SpadeWidget* tree = nullptr;
        for (UI_DockableWidget* view : window->views())
            if (auto* t = qobject_cast<UI_SpadeWidget*>(view)) tree = t;
        if (!panel || !tree) {
            fail("\"Start SPADE\" created no SPADE analysis with its tree view");
            return;
        }
        window->resizeDocks({tree}, {900}, Qt::Horizontal);
        // The whole run happens within the press; the page lays the tree out
        // afterwards.
        click(panel->computeButtonWidget());
        QTimer::singleShot(kLayoutMs, window, [window, output, tree]() {
            QWebFrame* page = tree->view()->page()->mainFrame();
            if (page->evaluateJavaScript(QString::fromUtf8(kMakeBubble)).toInt() < 1) {
                fail("the tree page shows no tree to make a bubble in");
                return;
            }
            page->evaluateJavaScript(QStringLiteral("if (uiActive) hideUi();"));
            QTimer::singleShot(kBubbleMs, window, [window, output]() { grabAndQuit(window, output); });
        });
    });
}
