// View commands of the View menu and their shortcuts.
#include "app/MainWindow.h"

#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/fctree/UI_TreeWidget.h"

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

// The other data views (heat map, hierarchy, image) and the views on existing
// analyses (scatter plot, SPADE tree) are opened here once their widgets exist.
void MainWindow::heatMapViewTriggered() {}
void MainWindow::hierarchyViewTriggered() {}
void MainWindow::imageViewTriggered() {}
void MainWindow::scatterPlotViewTriggered() {}
void MainWindow::spadeViewTriggered() {}

void MainWindow::exportSpadeTree() {}

void MainWindow::activeMarkerChanged(int /*markerIdx*/, int /*viewId*/) {}
