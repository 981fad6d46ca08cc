#pragma once

// Input and gestures of the focus-and-context tests in the window: events in
// three touching blobs, a box over the points drawn furthest left, and an
// entry of the plot's context menu.

#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"

#include <QMenu>

#include <algorithm>
#include <cstdint>
#include <vector>

// Three blobs that touch, over three markers, the same for the same seed.
inline std::vector<std::vector<float>> touchingBlobs(int events, int seed) {
    uint32_t state = 2654435761u * static_cast<uint32_t>(seed + 1);
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
    };
    std::vector<std::vector<float>> rows;
    for (int e = 0; e < events; ++e) {
        const float centre = 2.0f * static_cast<float>(e % 3);
        rows.push_back({centre + next() + next(), centre * 0.5f + next() + next(), next() + next()});
    }
    return rows;
}

// Right-clicks the plot and picks `entry` from its menu (the menu is closed
// when it has no such entry).
inline void pickFromPlotMenu(UI_ScatterplotWidget* plot, const QString& entry) {
    QTimer::singleShot(0, [entry] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        // The view's entries belong to the view, not to the menu.
        for (QAction* a : menu ? menu->actions() : QList<QAction*>())
            if (a->text() == entry)
                return QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        if (menu) menu->close();
    });
    quietly([&] { QTest::mouseClick(plot, Qt::RightButton, {}, plot->rect().center()); });
}

// Drags a box from the plot's left edge over about `share` of the map's
// points `xy` (x, y per point), those drawn furthest left; returns how many
// that share is. Each point is drawn in a centred square, one scale for both
// axes (see the point renderer).
inline size_t boxOverTheLeft(UI_ScatterplotWidget* plot, const std::vector<float>& xy, double share) {
    float lo = 0, hi = 0;
    for (float v : xy) lo = std::min(lo, v), hi = std::max(hi, v);
    if (lo < 0) hi = std::max(hi, -lo), lo = -hi;
    const double side = std::min(plot->width(), plot->height());
    std::vector<double> xs;
    for (size_t p = 0; 2 * p < xy.size(); ++p)
        xs.push_back((plot->width() - side) / 2 + ((xy[2 * p] - lo) / (hi - lo) * 0.8 + 0.1) * side);
    std::sort(xs.begin(), xs.end());
    QApplication::setActiveWindow(plot->window());
    const size_t wanted = std::min(xs.size() - 1, static_cast<size_t>(share * static_cast<double>(xs.size())));
    drag(plot, {1, 1}, {static_cast<int>(xs[wanted]) + 1, plot->height() - 2});
    return wanted;
}
