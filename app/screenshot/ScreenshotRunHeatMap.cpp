// The heat map picture: an A-tSNE of the example data clustered in its plot,
// the density clusters in a heat map beside it.
#include "app/screenshot/ScreenshotRun.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QAction>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <memory>

namespace {

const QString kAnalysisName = QStringLiteral("Example embedding");
const QString kSetName = QStringLiteral("Density Clusters - Example embedding");
// Enough for the example's populations to separate.
constexpr int kIterations = 600;
constexpr int kPollMs = 200;
constexpr int kMostPolls = 100;

// Chooses the set in the page's selector as a user would; true once it is
// shown.
bool chooseSet(UI_HeatMapWidget* heat) {
    QWebFrame* page = heat->webView()->page()->mainFrame();
    page->evaluateJavaScript(QStringLiteral("(function () { var s = document.getElementById('clusterSelector');"
                                            " for (var i = 0; i < s.options.length; ++i)"
                                            "  if (s.options[i].value === '%1') {"
                                            "   s.value = '%1'; s.dispatchEvent(new Event('change')); } })();")
                                 .arg(kSetName));
    return page->evaluateJavaScript(QStringLiteral("document.querySelectorAll('g.column').length")).toInt() > 0;
}

}  // namespace

void ScreenshotRun::startHeatMap(MainWindow* window, const QString& output, const QStringList& files) {
    window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    auto polls = std::make_shared<int>(0);
    auto show = std::make_shared<std::function<void(UI_HeatMapWidget*)>>();
    *show = [window, output, polls, show](UI_HeatMapWidget* heat) {
        if (chooseSet(heat)) {
            // The embedding's own coordinates are no marker worth a row; the
            // dendrogram orders the clusters.
            heat->webView()->page()->mainFrame()->evaluateJavaScript(QStringLiteral(
                "_data.names.forEach(function (n, m) { if (n.indexOf('QLMRN_') === 0 && isMarkerSelected(m)) "
                "toggleMarker(m); }); toggleDendrogram(); if (uiActive) hideUi();"));
            QTimer::singleShot(1500, window, [window, output]() { grabAndQuit(window, output); });
            return;
        }
        if (++*polls > kMostPolls) {
            fail("the heat map page does not show the density clusters");
            return;
        }
        QTimer::singleShot(kPollMs, window, [heat, show]() { (*show)(heat); });
    };

    QObject::connect(window->bridge(), &UI_Interface::analysisFinishedSignal, window, [window, show](void*) {
        auto* view = qobject_cast<UI_TsneWidget*>(window->views().empty() ? nullptr : window->views().front());
        if (!view) {
            fail("the A-tSNE view is missing");
            return;
        }
        // The plot's overlay clusters the embedding, as its "Cluster" button does.
        UI_TsneSettingsSliderWidget* overlay = view->plot()->settingsPanel();
        overlay->setMode(1);
        QPushButton* cluster = nullptr;
        for (QPushButton* button : overlay->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Cluster")) cluster = button;
        if (!cluster) {
            fail("the plot's overlay has no \"Cluster\" button");
            return;
        }
        click(cluster);
        window->findChild<QAction*>("actionHeatMap")->trigger();
        auto* heat = qobject_cast<UI_HeatMapWidget*>(window->views().back());
        if (!heat) {
            fail("\"HeatMap View\" opened no heat map");
            return;
        }
        window->splitDockWidget(view, heat, Qt::Horizontal);
        window->resizeDocks(QList<QDockWidget*>{window->settingsDock(), view, heat}, {330, 560, 560}, Qt::Horizontal);
        QTimer::singleShot(kPollMs, window, [heat, show]() { (*show)(heat); });
    });

    importAndCreate(window, files, UI_ImportDialog::StartTsne, kAnalysisName, [window]() {
        auto* panel = qobject_cast<UI_TsneSettingsWidget*>(window->settingsPanels().back());
        auto* tsne = panel ? dynamic_cast<MCV_TsneAnalysis*>(window->analyses().back()) : nullptr;
        if (!tsne) {
            fail("the new analysis is no A-tSNE");
            return;
        }
        tsne->setIterations(kIterations);
        click(panel->computeTsneButton());
    });
}
