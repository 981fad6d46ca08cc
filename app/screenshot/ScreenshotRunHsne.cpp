// The HSNE drill-down picture: overview, selection, zoom, new level.
#include "app/screenshot/ScreenshotRun.h"

#include "app/MainWindow.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRect>
#include <QScreen>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Side of the grid cells in which the overview's drawn landmarks are grouped
// into clusters, in framebuffer pixels; landmarks of one cluster lie closer.
constexpr int kCell = 8;
// Most clusters the rectangle takes.
constexpr int kMostClusters = 3;

// Where the run stands; the bridge's signals move it on.
struct HsneRun {
    enum Step { Overview, Selecting, Level, Done } step = Overview;
    UI_HsneWidget* overview = nullptr;
    void* overviewAnalysis = nullptr;
    void* levelAnalysis = nullptr;
};

// The bounding boxes (in framebuffer pixels) of the groups of drawn pixels in
// `image`, whose corner pixel is the background: cells of kCell pixels with
// drawn pixels, joined with their eight neighbours; groups of fewer than
// three cells are left out as stray landmarks.
std::vector<QRect> clusterBoxes(const QImage& image) {
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

// The rectangle to draw over the overview: the joint box, with a margin, of
// kMostClusters clusters (fewer when no such box exists) that touches no other
// cluster, the smallest such box, so that the selected clusters are
// neighbours; a null rectangle when nothing is drawn.
QRect selectionRectangle(const std::vector<QRect>& boxes) {
    const size_t n = boxes.size();
    if (n == 0) return {};
    for (size_t k = std::min<size_t>(kMostClusters, n); k >= 1; --k) {
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
            if (!touchesOthers && (best.isNull() || area(joint) < area(best))) best = joint;
        } while (std::prev_permutation(chosen.begin(), chosen.end()));
        if (!best.isNull()) return best;
    }
    return boxes[0].adjusted(-kCell, -kCell, kCell, kCell);
}

// Colours `plot` by a marker that tells the populations apart rather than by
// sample (whose blue is the selection halo's), widens the halo and sets the
// point size (50 to 200, 100 by default), through its overlay as a user would.
void styleForPicture(UI_ScatterplotWidget* plot, int pointSize) {
    for (QComboBox* combo : plot->settingsPanel()->findChildren<QComboBox*>())
        if (combo->findText(QStringLiteral("Sample")) >= 0) combo->setCurrentText(QStringLiteral("HLA-DR"));
    for (QSlider* slider : plot->settingsPanel()->findChildren<QSlider*>()) {
        if (slider->minimum() == 10 && slider->maximum() == 50) slider->setValue(30);
        if (slider->minimum() == 50 && slider->maximum() == 200) slider->setValue(pointSize);
    }
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

void ScreenshotRun::startHsneDrillDown(MainWindow* window, const QString& output, const QStringList& files) {
    // Room for two plots side by side next to the settings.
    window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    auto run = std::make_shared<HsneRun>();

    // Selects a few clusters of the converged overview with a rectangle and
    // zooms into them through the plot's context menu; the new level runs
    // inside the menu's activation.
    const auto selectAndZoom = [window, run]() {
        UI_ScatterplotWidget* plot = run->overview->plot();
        const QImage frame = plot->grabFramebuffer();
        const QRect box = selectionRectangle(clusterBoxes(frame));
        if (box.isNull()) {
            fail("the overview draws no landmarks");
            return;
        }
        styleForPicture(plot, 150);
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
            return;
        }
        std::fprintf(stderr, "screenshot run: selected %zu landmarks\n", plot->selectionIdxs()->size());

        run->step = HsneRun::Level;
        // The "Selection Name" prompt: an empty answer keeps the proposed name.
        UI_ModalDialogs::answerText(QString());
        // The menu runs its own event loop; the entry is chosen from it as
        // with the keyboard.
        QTimer::singleShot(0, window, []() {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QAction* zoom = nullptr;
            if (menu)
                for (QAction* action : menu->actions())
                    if (action->text() == QStringLiteral("Zoom into Selection.")) zoom = action;
            if (!zoom) {
                if (menu) menu->close();
                fail("the context menu offers no \"Zoom into Selection.\"");
                return;
            }
            menu->setActiveAction(zoom);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        sendMouse(plot, QEvent::MouseButtonPress, box.center() * scale, Qt::RightButton, Qt::RightButton);
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
