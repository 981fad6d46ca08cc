// View commands of the View menu and their shortcuts.
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "app/UI_AnalysisSelectionDialog.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/spade/UI_SpadeWidget.h"

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
    addView(view, nullptr);
    shareViewArea();
}

// ---- The sample hierarchy ----
void MainWindow::hierarchyViewTriggered() {}

// ---- Image data ----
void MainWindow::imageViewTriggered() {}

// ---- Another plot of an existing A-tSNE analysis ----
void MainWindow::scatterPlotViewTriggered() {}

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
    if (!chosen) return;

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
