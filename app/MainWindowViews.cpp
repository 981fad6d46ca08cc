// View commands of the View menu and their shortcuts.
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_AnalysisSelectionDialog.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "app/connectBridge.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/hierarchy/UI_HierarchyWidget.h"
#include "ui/image/UI_ImageWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <algorithm>

namespace {

// The analysis a view on an existing analysis is opened for: the only
// candidate, or the one the user picks from the chooser (null when there is
// none or the chooser is closed without a choice). The chooser stays a child
// of the window.
MCV_Analysis* chooseAnalysis(QWidget* window, const std::vector<MCV_Analysis*>& candidates) {
    if (candidates.empty()) return nullptr;
    if (candidates.size() == 1) return candidates.front();
    QStringList names;
    for (MCV_Analysis* analysis : candidates) names << QString::fromStdString(analysis->name());
    auto* chooser = new UI_AnalysisSelectionDialog(
        window, Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    chooser->init(names);
    if (UI_ModalDialogs::exec(chooser) == QDialog::Rejected) return nullptr;
    const int row = chooser->selectedIdx();
    if (row < 0 || row >= static_cast<int>(candidates.size())) return nullptr;
    return candidates[static_cast<size_t>(row)];
}

}  // namespace

void MainWindow::fileInfoViewTriggered() {
    if (!m_fileInfoView) {
        m_fileInfoView = new UI_FileInfoWidget(this);
        addDockWidget(Qt::RightDockWidgetArea, m_fileInfoView);
        m_fileInfoView->setFloating(true);
        showHeaderInFileInfo();
    }
    m_fileInfoView->toggleVisibility();
}

void MainWindow::settingsViewTriggered() { m_settingsDock->toggleVisibility(); }

// A new tree view on every use; it needs no data set and no analysis.
void MainWindow::treeViewTriggered() {
    auto* view = new UI_TreeWidget(this);
    view->setWindowTitle(QStringLiteral("Tree View"));
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    connect(m_bridge, &UI_Interface::dataRefreshedSignal, view, &UI_TreeWidget::dataRefreshed);
    addView(view, nullptr);
    shareViewArea();
}

// ---- The heat map of cluster sets ----
// A new heat map on every use; each chooses its own cluster set on its page.
void MainWindow::heatMapViewTriggered() {
    auto* view = new UI_HeatMapWidget(this);
    view->setWindowTitle(QStringLiteral("HeatMap View"));
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    connect(m_bridge, &UI_Interface::dataRefreshedSignal, view, &UI_HeatMapWidget::dataRefreshed);
    connect(m_bridge, &UI_Interface::selectionRefreshedSignal, view, &UI_HeatMapWidget::selectionRefreshed);
    connect(m_bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_HeatMapWidget::highlightRefreshed);
    connect(m_bridge, &UI_Interface::analysisFinishedSignal, view, &UI_HeatMapWidget::analysisFinished);
    addView(view, nullptr);
    shareViewArea();
}

// ---- The sample hierarchy ----
// A new hierarchy view on every use; its page draws the sample by itself and
// hears nothing from the bridge.
void MainWindow::hierarchyViewTriggered() {
    auto* view = new UI_HierarchyWidget(this);
    view->setWindowTitle(QStringLiteral("Hierarchy View"));
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    addView(view, nullptr);
    shareViewArea();
}

// ---- Image data ----
// A new image view on every use; it needs no data set and no analysis.
void MainWindow::imageViewTriggered() {
    auto* view = new UI_ImageWidget(this);
    view->setWindowTitle(QStringLiteral("Image View"));
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    connect(m_bridge, &UI_Interface::dataRefreshedSignal, view, &UI_ImageWidget::dataRefreshed);
    addView(view, nullptr);
    shareViewArea();
}

// ---- Another plot of an existing A-tSNE analysis ----
// The view goes with its analysis. It follows a running embedding at once
// and shows a finished one at once, either with the shared selection; an
// analysis that has never embedded its current points is followed from its
// next run on. No settings panel.
void MainWindow::scatterPlotViewTriggered() {
    std::vector<MCV_Analysis*> candidates;
    for (MCV_Analysis* analysis : m_analyses)
        if (analysis->type() == ANALYSIS_TSNE && dynamic_cast<MCV_TsneAnalysis*>(analysis))
            candidates.push_back(analysis);
    MCV_Analysis* chosen = chooseAnalysis(this, candidates);
    // The chooser runs an event loop, in which the analysis may have been
    // removed: only an analysis still in the list is alive.
    if (!chosen || std::find(m_analyses.begin(), m_analyses.end(), chosen) == m_analyses.end()) return;
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(chosen);
    if (!tsne) return;

    auto* view = new UI_TsneWidget(this, tsne);
    view->setWindowTitle(QString::fromStdString(tsne->name()));
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    const bool running = tsne->gradientDescentInitialized();
    const bool finished = !running && !tsne->isRunning() && tsne->numDataPoints() > 0 &&
                          tsne->output()->size() == 2 * static_cast<size_t>(tsne->numDataPoints());
    if (running || finished) {
        view->initComputation(tsne);
        // A finished run is drawn as it left it. Nothing here pumps the event
        // loop: the view is not in the list yet.
        if (finished) view->plot()->computationFinished();
        // The selection made before the view opened, as every later one.
        view->showSharedSelection();
    }
    connectBridge(m_bridge, view);
    addView(view, tsne);
    shareViewArea();
}

// ---- Another view of a SPADE or template tree ----
// SPADE analyses have their master view from creation, so this one follows
// it. A template classification has none: its first view lays the tree out,
// later ones follow that one.
void MainWindow::spadeViewTriggered() {
    std::vector<MCV_Analysis*> candidates;
    for (MCV_Analysis* analysis : m_analyses)
        if (analysis->type() == ANALYSIS_SPADE &&
            (dynamic_cast<MCV_SpadeAnalysis*>(analysis) || dynamic_cast<MCV_TemplateAnalysis*>(analysis)))
            candidates.push_back(analysis);
    MCV_Analysis* chosen = chooseAnalysis(this, candidates);
    // The chooser runs an event loop, in which the analysis may have been
    // removed.
    if (!chosen || std::find(m_analyses.begin(), m_analyses.end(), chosen) == m_analyses.end()) return;

    UI_SpadeWidget* view = nullptr;
    if (auto* spade = dynamic_cast<MCV_SpadeAnalysis*>(chosen)) {
        view = new UI_SpadeWidget(this, spade, true);
    } else {
        const bool hasMaster = std::any_of(m_views.begin(), m_views.end(), [&](UI_DockableWidget* v) {
            auto* tree = qobject_cast<UI_SpadeWidget*>(v);
            return tree && tree->shownAnalysis() == chosen && !tree->slave();
        });
        view = new UI_SpadeWidget(this, static_cast<MCV_TemplateAnalysis*>(chosen), hasMaster);
    }
    view->setWindowTitle(QString::fromStdString(chosen->name()));
    connectSpadeView(view);
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    addView(view, chosen);
    shareViewArea();
}

void MainWindow::connectSpadeView(UI_SpadeWidget* view) {
    connect(m_bridge, &UI_Interface::dataRefreshedSignal, view, &UI_SpadeWidget::dataRefreshed);
    connect(m_bridge, &UI_Interface::selectionRefreshedSignal, view, &UI_SpadeWidget::selectionRefreshed);
    connect(m_bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_SpadeWidget::highlightRefreshed);
    if (view->slave()) {
        // The master's layout arrives as spade tree changes; a highlight
        // change only makes the slave re-read the stored layout.
        connect(m_bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_SpadeWidget::spadePositionsRefreshed);
        connect(m_bridge, &UI_Interface::spadeTreeRefreshedSignal, view, &UI_SpadeWidget::spadePositionsRefreshed);
    }
    connect(view, &UI_SpadeWidget::subtreeCreated, this, &MainWindow::advertiseNewData);
}

// The tree pages export from their own menus.
void MainWindow::exportSpadeTree() {}

void MainWindow::activeMarkerChanged(int /*markerIdx*/, int /*viewId*/) {}
