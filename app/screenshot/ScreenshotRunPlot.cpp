// What the pictures do with a plot: find its clusters, draw a rectangle,
// style it, choose an entry of its context menu.
#include "app/screenshot/ScreenshotRun.h"

#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRect>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Side of the grid cells in which the drawn landmarks are grouped into
// clusters, in framebuffer pixels; landmarks of one cluster lie closer.
constexpr int kCell = 8;

}  // namespace

std::vector<QRect> ScreenshotRun::clusterBoxes(const QImage& image) {
    const QRgb background = image.pixel(1, 1);
    const auto drawn = [background](QRgb p) {
        return std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                   std::abs(qBlue(p) - qBlue(background)) >
               24;
    };
    const int cols = image.width() / kCell, rows = image.height() / kCell;
    std::vector<int> cell(static_cast<size_t>(cols * rows), 0);  // 0 empty, -1 drawn, >0 group
    for (int y = 0; y < rows * kCell; ++y)
        for (int x = 0; x < cols * kCell; ++x)
            if (drawn(image.pixel(x, y))) cell[static_cast<size_t>((y / kCell) * cols + x / kCell)] = -1;

    std::vector<QRect> boxes;
    int group = 0;
    for (int start = 0; start < cols * rows; ++start) {
        if (cell[static_cast<size_t>(start)] != -1) continue;
        ++group;
        QRect box;
        int count = 0;
        std::vector<int> stack{start};
        cell[static_cast<size_t>(start)] = group;
        while (!stack.empty()) {
            const int c = stack.back();
            stack.pop_back();
            const int cx = c % cols, cy = c / cols;
            box |= QRect(cx * kCell, cy * kCell, kCell, kCell);
            ++count;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = cx + dx, ny = cy + dy;
                    if (nx < 0 || ny < 0 || nx >= cols || ny >= rows) continue;
                    int& n = cell[static_cast<size_t>(ny * cols + nx)];
                    if (n != -1) continue;
                    n = group;
                    stack.push_back(ny * cols + nx);
                }
        }
        if (count >= 3) boxes.push_back(box);
    }
    return boxes;
}

QRect ScreenshotRun::selectionRectangle(const std::vector<QRect>& boxes, size_t mostClusters, bool largest) {
    const size_t n = boxes.size();
    if (n == 0) return {};
    for (size_t k = std::min(mostClusters, n); k >= 1; --k) {
        QRect best;
        // Every choice of k of the n clusters, as a mask of n bits.
        std::vector<bool> chosen(n, false);
        std::fill(chosen.begin(), chosen.begin() + static_cast<long>(k), true);
        do {
            QRect joint;
            for (size_t i = 0; i < n; ++i)
                if (chosen[i]) joint |= boxes[i];
            joint.adjust(-kCell, -kCell, kCell, kCell);
            bool touchesOthers = false;
            for (size_t i = 0; i < n; ++i)
                if (!chosen[i] && joint.intersects(boxes[i])) touchesOthers = true;
            const auto area = [](const QRect& r) { return static_cast<long>(r.width()) * r.height(); };
            if (!touchesOthers && (best.isNull() || (area(joint) < area(best)) != largest)) best = joint;
        } while (std::prev_permutation(chosen.begin(), chosen.end()));
        if (!best.isNull()) return best;
    }
    return boxes[0].adjusted(-kCell, -kCell, kCell, kCell);
}

void ScreenshotRun::styleForPicture(UI_ScatterplotWidget* plot, int pointSize) {
    for (QComboBox* combo : plot->settingsPanel()->findChildren<QComboBox*>())
        if (combo->findText(QStringLiteral("Sample")) >= 0) combo->setCurrentText(QStringLiteral("HLA-DR"));
    for (QSlider* slider : plot->settingsPanel()->findChildren<QSlider*>()) {
        if (slider->minimum() == 10 && slider->maximum() == 50) slider->setValue(30);
        if (slider->minimum() == 50 && slider->maximum() == 200) slider->setValue(pointSize);
    }
}

void ScreenshotRun::sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button,
                              Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

bool ScreenshotRun::selectAndChoose(QWidget* window, UI_ScatterplotWidget* plot, size_t mostClusters, bool largest,
                                    int pointSize, const QString& entry, const std::function<void()>& beforeChoice) {
    const QImage frame = plot->grabFramebuffer();
    const QRect box = selectionRectangle(clusterBoxes(frame), mostClusters, largest);
    if (box.isNull()) {
        fail("the plot draws no landmarks");
        return false;
    }
    styleForPicture(plot, pointSize);
    // Framebuffer pixels to the widget's logical pixels.
    const double scale = static_cast<double>(plot->width()) / frame.width();
    const QPoint from(static_cast<int>(box.left() * scale), static_cast<int>(box.top() * scale));
    const QPoint to(static_cast<int>(box.right() * scale), static_cast<int>(box.bottom() * scale));
    sendMouse(plot, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(plot, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(plot, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(plot, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    if (!plot->selectionIdxs() || plot->selectionIdxs()->empty()) {
        fail("the rectangle selected no landmarks");
        return false;
    }
    std::fprintf(stderr, "screenshot run: selected %zu landmarks\n", plot->selectionIdxs()->size());
    if (beforeChoice) beforeChoice();

    // The menu runs its own event loop; the entry is chosen from it as with
    // the keyboard.
    QTimer::singleShot(0, window, [entry]() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* chosen = nullptr;
        if (menu)
            for (QAction* action : menu->actions())
                if (action->text() == entry) chosen = action;
        if (!chosen) {
            if (menu) menu->close();
            std::fprintf(stderr, "screenshot run: the context menu offers no \"%s\"\n", qPrintable(entry));
            QCoreApplication::exit(1);
            return;
        }
        menu->setActiveAction(chosen);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(menu, &enter);
    });
    sendMouse(plot, QEvent::MouseButtonPress, (from + to) / 2, Qt::RightButton, Qt::RightButton);
    return true;
}
