// Mouse and keyboard input (selection, Control+P screenshots), the cluster
// context menu and cluster saving.
#include "UI_ScatterplotWidget.h"

#include "render/MCV_PointRenderer.h"
#include "ui/base/saveClustersWithDialog.h"
#include "UI_TsneSettingsSliderWidget.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <cmath>
#include <cstdlib>

namespace {
// The event position in logical pixels, y counted upwards from the bottom.
QPoint plotPosition(const QMouseEvent* event, int widgetHeight) {
    const int x = static_cast<int>(std::lround(event->localPos().x()));
    const int y = static_cast<int>(std::lround(event->localPos().y()));
    return {x, widgetHeight - y};
}
}  // namespace

int UI_ScatterplotWidget::selectionModifierOf(Qt::KeyboardModifiers modifiers) {
    // Qt maps the Command key on macOS to ControlModifier.
    if (modifiers & Qt::ControlModifier) return 1;
    if (modifiers & Qt::ShiftModifier) return 2;
    return 0;
}

int UI_ScatterplotWidget::deviceCoordinate(int logical) const {
    return static_cast<int>(static_cast<float>(logical) * pixelRatio);
}

void UI_ScatterplotWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !isMenuShown) {
        if (!renderer) return;
        const QPoint p = plotPosition(event, height());
        selecting = true;
        pressX = p.x();
        pressY = p.y();
        makeCurrent();
        selectedIdxs = renderer->selectRectangularArea(
            {deviceCoordinate(p.x()), deviceCoordinate(p.y()), deviceCoordinate(p.x()), deviceCoordinate(p.y())},
            static_cast<selectionModifier>(selectionModifierOf(event->modifiers())));
        renderer->setSelectionActive(true);
        doneCurrent();
        update();
    } else if (event->button() == Qt::RightButton) {
        emit rightClick(event);
    }
}

void UI_ScatterplotWidget::mouseMoveEvent(QMouseEvent* event) {
    if (isMenuShown) return;
    const QPoint p = plotPosition(event, height());
    if (event->buttons() == Qt::NoButton) {
        if (p.y() <= 19)
            sliderPanel->peekIn();
        else
            sliderPanel->peekOut();
        if (!renderer) return;
        makeCurrent();
        renderer->setMousePositionInView(deviceCoordinate(p.x()), deviceCoordinate(p.y()));
        doneCurrent();
        return;
    }
    if (!selecting || !renderer) return;
    makeCurrent();
    selectedIdxs = renderer->selectRectangularArea(
        {deviceCoordinate(pressX), deviceCoordinate(pressY), deviceCoordinate(p.x()), deviceCoordinate(p.y())},
        static_cast<selectionModifier>(selectionModifierOf(event->modifiers())));
    doneCurrent();
    if (!(event->modifiers() & Qt::AltModifier)) emit selectionUpdated();
    update();
}

void UI_ScatterplotWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (isMenuShown) {
        isMenuShown = false;
        return;
    }
    // A release without its press (the press went to another widget) is no
    // selection gesture.
    if (!selecting || !renderer) return;
    selecting = false;
    const QPoint p = plotPosition(event, height());
    const int dx = std::abs(p.x() - pressX);
    const int dy = std::abs(p.y() - pressY);
    makeCurrent();
    if (dx < 2 && dy < 2) {
        std::vector<int>* result = renderer->selectClusterAt(deviceCoordinate(p.x()), deviceCoordinate(p.y()),
                                                             event->modifiers() == Qt::ShiftModifier);
        doneCurrent();
        if (!result) {
            update();
            return;
        }
        selectedIdxs = result;
    } else {
        renderer->resetSelectedClusters();
        renderer->setSelectionActive(false);
        doneCurrent();
    }
    emit selectionUpdated();
    update();
}

void UI_ScatterplotWidget::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() != Qt::ControlModifier || !renderer) {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_P) {
        // The plot's own shortcut takes Control+P first while its window is
        // active; this serves a key sent to the plot directly.
        printScreenshot();
        return;
    }
    std::vector<int>* result = nullptr;
    if (event->key() == Qt::Key_A) {
        makeCurrent();
        result = renderer->selectAll();
        doneCurrent();
    } else if (event->key() == Qt::Key_D) {
        makeCurrent();
        result = renderer->selectNone();
        doneCurrent();
    } else {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    selectedIdxs = result;
    if (result) emit selectionUpdated();
    update();
}

void UI_ScatterplotWidget::menuShown() { isMenuShown = true; }

void UI_ScatterplotWidget::menuHidden() { isMenuShown = false; }

void UI_ScatterplotWidget::showContextMenu(const QPoint& pos, QMenu* menu) {
    if (!menu) return;
    auto* merge = new QAction(QStringLiteral("Merge Clusters ..."), this);
    auto* save = new QAction(QStringLiteral("Save Clusters ..."), this);
    auto* savePerSample = new QAction(QStringLiteral("Save Clusters (per sample) ..."), this);
    if (renderer && !renderer->meanShiftClustersName().empty()) {
        if (renderer->numSelectedClusters() >= 2) menu->addAction(merge);
        menu->addAction(save);
        menu->addAction(savePerSample);
    }
    if (!menu->actions().isEmpty()) {
        isMenuShown = true;
        QAction* chosen = menu->exec(mapToGlobal(pos));
        if (chosen == merge && renderer) {
            makeCurrent();
            renderer->mergeClusters();
            doneCurrent();
            update();
        } else if (chosen == save) {
            saveClusters(false);
        } else if (chosen == savePerSample) {
            saveClusters(true);
        }
    }
    // The actions live only for this menu.
    delete merge;
    delete save;
    delete savePerSample;
}

void UI_ScatterplotWidget::saveClusters(bool perSample) {
    if (!renderer) return;
    const std::string clusterSet = renderer->meanShiftClustersName();
    if (clusterSet.empty()) return;
    saveClustersWithDialog(this, clusterSet, perSample, QStringLiteral("Save Clusters"));
}
