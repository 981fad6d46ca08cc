// View commands of the View menu and their shortcuts.
#include "app/MainWindow.h"

#include "app/UI_FileInfoWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"

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

// The data views (heat map, focus-and-context tree, hierarchy, image) and the
// views on existing analyses (scatter plot, SPADE tree) are opened here once
// their widgets exist.
void MainWindow::heatMapViewTriggered() {}
void MainWindow::treeViewTriggered() {}
void MainWindow::hierarchyViewTriggered() {}
void MainWindow::imageViewTriggered() {}
void MainWindow::scatterPlotViewTriggered() {}
void MainWindow::spadeViewTriggered() {}

void MainWindow::exportSpadeTree() {}

void MainWindow::activeMarkerChanged(int /*markerIdx*/, int /*viewId*/) {}
