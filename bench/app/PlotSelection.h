#pragma once

// Selections drawn on a live plot as a user draws them: a left-button
// rectangle in the plot's own coordinates, and a square around a point sized
// to select about a tenth of the points.

#include "ui/plot/UI_ScatterplotWidget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointF>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

// A left-button rectangle drawn on the plot, in its own coordinates.
inline void drawRectangle(UI_ScatterplotWidget* plot, QPointF from, QPointF to) {
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &press);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &release);
}

// Selects about a tenth of the `count` points at `y` (x, y per point) with a
// square drawn around the first point (the renderer's placement: one scale for
// both axes, the range made symmetric about 0 when it holds negative values,
// into [0.1, 0.9] of the centred square viewport); the square's size is
// searched, and the closest square is drawn last, so that the plot holds it.
// Returns the selected plot positions; `lastSquare` (optional) receives the
// seconds the last square took (the plot's selection, its events found and
// announced to every view).
inline std::vector<unsigned> selectATenth(UI_ScatterplotWidget* plot, const std::vector<float>& y, int count,
                                          double* lastSquare = nullptr) {
    if (y.size() < 2 || count < 1) return {};
    float lo = 0.f, hi = 0.f;
    for (float v : y) lo = std::min(lo, v), hi = std::max(hi, v);
    if (lo < 0.f) hi = std::max(hi, -lo), lo = -hi;
    const double span = hi > lo ? hi - lo : 1.0;
    const double side = std::min(plot->width(), plot->height());
    const double originX = (plot->width() - side) / 2, originY = (plot->height() - side) / 2;
    const QPointF centre(originX + ((y[0] - lo) / span * 0.8 + 0.1) * side,
                         plot->height() - (originY + ((y[1] - lo) / span * 0.8 + 0.1) * side));
    const size_t target = std::max<size_t>(static_cast<size_t>(count) / 10, 1);
    const auto square = [&](double r) {
        const auto begin = std::chrono::steady_clock::now();
        drawRectangle(plot, centre - QPointF(r, r), centre + QPointF(r, r));
        if (lastSquare) *lastSquare = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const std::vector<int>* idxs = plot->selectionIdxs();
        return idxs ? std::vector<unsigned>(idxs->begin(), idxs->end()) : std::vector<unsigned>();
    };
    const auto distance = [&](size_t c) { return c > target ? c - target : target - c; };
    double small = 0.5, large = side, bestR = large;
    size_t bestCount = 0;
    for (int step = 0; step < 20; ++step) {
        const double r = (small + large) / 2;
        const std::vector<unsigned> selected = square(r);
        if (step == 0 || distance(selected.size()) < distance(bestCount)) bestR = r, bestCount = selected.size();
        if (distance(selected.size()) <= target / 20) return selected;
        (selected.size() < target ? small : large) = r;
    }
    std::fprintf(stderr, "%zu of %zu wanted points selected\n", bestCount, target);
    return square(bestR);
}
