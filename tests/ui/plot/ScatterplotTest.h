#pragma once

// Three well separated blobs over two sample files, an A-tSNE analysis holding
// its start positions, and a shown 300 x 300 scatter-plot widget on it.

#include <epoxy/gl.h>

#include "data/FcsTestFile.h"
#include "analysis/applicationSurfaceFormat.h"
#include "support/startPositionsTsne.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "render/MCV_PointRenderer.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace viewtest {

// The range the renderer maps into [0.1, 0.9] of the plot square: one for
// both axes, including 0, symmetric about 0 once a coordinate is negative.
inline std::pair<float, float> plotRange(const std::vector<float>& xy) {
    float lo = 0.0f, hi = 0.0f;
    for (float v : xy) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (lo < 0) {
        hi = std::max(hi, -lo);
        lo = -hi;
    }
    return {lo, hi};
}

inline void useProgramFormat() { setApplicationSurfaceFormat(); }

// A mouse event sent directly, so the buttons held during a move travel with it.
inline void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(pos), w->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

inline void sendDrag(QWidget* w, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     Qt::MouseButton button = Qt::LeftButton) {
    sendMouse(w, QEvent::MouseButtonPress, from, button, button, modifiers);
    sendMouse(w, QEvent::MouseMove, to, Qt::NoButton, button, modifiers);
    sendMouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton, modifiers);
}

class ScatterplotTest : public ::testing::Test {
protected:
    static constexpr int kPoints = 90;
    static constexpr int kSize = 300;

    void SetUp() override {
        useProgramFormat();
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(nullptr);
        ASSERT_TRUE(dir.isValid());
        std::mt19937 random(9);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        std::vector<std::vector<float>> files[2];
        for (int i = 0; i < kPoints; ++i) {  // blob i % 3 is high in marker i % 3
            std::vector<float> row = {noise(random), noise(random), noise(random), noise(random), float(i % 3)};
            row[static_cast<size_t>(i % 3)] += 30.0f;
            files[(i / 3) % 2].push_back(row);
        }
        for (int i = 0; i < 2; ++i) {
            FcsTestFile f = FcsTestFile::floats(files[i]);
            for (int v = 0; v < 5; ++v)
                f.set("$P" + std::to_string(v + 1) + "S", v < 4 ? "M" + std::to_string(v + 1) : "label");
            ASSERT_EQ(data->loadFromFile(f.write(dir, "sample" + std::to_string(i + 1) + ".fcs")), 0);
        }
        tsne = startPositionsTsne();
        ASSERT_EQ(tsne->numDataPoints(), kPoints);
        variables = data->combinedHeader()->numVariables();

        widget = std::make_unique<UI_ScatterplotWidget>(tsne.get(), nullptr);
        widget->resize(kSize, kSize);
        widget->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
        widget->grabFramebuffer();
        ASSERT_NE(widget->pointRenderer(), nullptr);
        widget->setLocalData(variables);
    }

    void TearDown() override {
        widget.reset();
        tsne.reset();
        delete MCV_CytometryData::Instance();
    }

    QImage frame() { return widget->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // Pixel of point p in a square image (y upwards in the plot), or in the
    // image mirrored top to bottom.
    QPoint inImage(int p, int side = kSize, bool mirrored = false) const {
        const std::vector<float>& y = *tsne->output();
        const auto [lo, hi] = plotRange(y);
        auto at = [&, lo = lo, hi = hi](int axis) {
            const double n = (y[static_cast<size_t>(2 * p + axis)] - lo) / (hi - lo) * 0.8 + 0.1;
            return std::min(static_cast<int>((axis == 1 && !mirrored ? 1.0 - n : n) * side), side - 1);
        };
        return {at(0), at(1)};
    }

    QTemporaryDir dir;
    std::unique_ptr<MCV_TsneAnalysis> tsne;
    std::unique_ptr<UI_ScatterplotWidget> widget;
    int variables = 0;
};

}  // namespace viewtest
