// The scatter-plot widget on a real A-tSNE analysis: it draws the embedding,
// turns mouse gestures into renderer selections with the right signals, and
// the panel's and pickers' signals reach the renderer.
#include "ScatterplotTest.h"
#include "support/Pixels.h"

#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QSignalSpy>

namespace {

using namespace viewtest;

const QRgb kBackground = qRgb(252, 252, 252);

class ScatterplotWidgetTest : public ScatterplotTest {
protected:
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        sendMouse(widget.get(), type, pos, button, buttons, modifiers);
    }
    std::vector<int> selected() { return widget->selectionIdxs() ? *widget->selectionIdxs() : std::vector<int>(); }
    bool selectedHas(int p) {
        const std::vector<int> s = selected();
        return std::find(s.begin(), s.end(), p) != s.end();
    }
};

TEST_F(ScatterplotWidgetTest, DrawsTheEmbeddingAndFollowsDarkMode) {
    const QImage light = frame();
    for (int p = 0; p < kPoints; ++p) EXPECT_FALSE(rgbNear(light.pixel(inImage(p)), kBackground, 0)) << p;
    emit widget->settingsPanel()->parentSetDarkMode(true);
    EXPECT_TRUE(rgbNear(frame().pixel(1, 1), qRgb(50, 50, 50), 0));
}

TEST_F(ScatterplotWidgetTest, RectanglesReplaceAddOrSubtractByModifierAndAltReportsOnlyTheRelease) {
    struct Case {
        const char* name;
        Qt::Key start;  // Ctrl+A selects all, Ctrl+D nothing
        Qt::KeyboardModifiers modifiers;
        bool aroundPoint0;  // else around everything
        bool hasPoint0, all;
        int signalsAfterMove;
    };
    const Case cases[] = {
        {"plain over all", Qt::Key_D, Qt::NoModifier, false, true, true, 1},
        {"plain replaces", Qt::Key_A, Qt::NoModifier, true, true, false, 1},
        {"control adds", Qt::Key_A, Qt::ControlModifier, true, true, true, 1},
        {"control adds to none", Qt::Key_D, Qt::ControlModifier, true, true, false, 1},
        {"shift subtracts", Qt::Key_A, Qt::ShiftModifier, true, false, false, 1},
        {"alt is quiet while moving", Qt::Key_D, Qt::AltModifier, false, true, true, 0},
    };
    for (const Case& c : cases) {
        QTest::keyClick(widget.get(), c.start, Qt::ControlModifier);
        QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
        const QRect r = c.aroundPoint0 ? QRect(inImage(0) - QPoint(3, 3), inImage(0) + QPoint(3, 3))
                                       : QRect(QPoint(2, 2), QPoint(kSize - 2, kSize - 2));
        mouse(QEvent::MouseButtonPress, r.topLeft(), Qt::LeftButton, Qt::LeftButton, c.modifiers);
        mouse(QEvent::MouseMove, r.bottomRight(), Qt::NoButton, Qt::LeftButton, c.modifiers);
        EXPECT_EQ(updated.count(), c.signalsAfterMove) << c.name;
        mouse(QEvent::MouseButtonRelease, r.bottomRight(), Qt::LeftButton, Qt::NoButton, c.modifiers);
        EXPECT_EQ(updated.count(), c.signalsAfterMove + 1) << c.name;
        EXPECT_EQ(selectedHas(0), c.hasPoint0) << c.name;
        EXPECT_EQ(selected().size() == size_t(kPoints), c.all) << c.name;
        EXPECT_FALSE(selected().empty()) << c.name;
    }
}

TEST_F(ScatterplotWidgetTest, ClickPicksTheDensityClusterUnderThePointer) {
    emit widget->settingsPanel()->computeMSOnceSignal();
    ASSERT_FALSE(widget->pointRenderer()->meanShiftClustersName().empty());
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    const QPoint p0 = inImage(0);
    // Press and release one pixel apart: a click.
    mouse(QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, p0 + QPoint(1, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_TRUE(selectedHas(0));
    EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), 1);
    // Two pixels apart is a rectangle: the picked clusters are reset.
    mouse(QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, p0 + QPoint(2, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), 0);
}

TEST_F(ScatterplotWidgetTest, RightPressAndOpenMenuNeverSelect) {
    QSignalSpy right(widget.get(), &UI_ScatterplotWidget::rightClick);
    QTest::keyClick(widget.get(), Qt::Key_A, Qt::ControlModifier);
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    mouse(QEvent::MouseButtonPress, {2, 2}, Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseMove, {kSize - 2, kSize - 2}, Qt::NoButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, {kSize - 2, kSize - 2}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(updated.count(), 0);
    // While a menu is open a left drag only ends the menu state.
    widget->menuShown();
    sendDrag(widget.get(), {2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(selected().size(), size_t(kPoints));
    sendDrag(widget.get(), {2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 2);
}

TEST_F(ScatterplotWidgetTest, MarkerChoiceSetsPickersRangesAndBounds) {
    auto* panel = widget->settingsPanel();
    auto range = [&](size_t m) { return (*widget->pointRenderer()->markerRanges())[m]; };
    emit panel->parentSetMarker(-5);
    EXPECT_EQ(widget->currentMarker(), -2);
    EXPECT_FALSE(widget->colormapSelection()->isVisible());
    emit panel->parentSetMarker(4);
    EXPECT_TRUE(widget->colormapSelection()->isVisible());
    emit panel->parentSetMarkerSpan(0.5f, 1.5f);
    EXPECT_EQ(range(4), std::make_pair(0.5f, 1.5f));
    widget->setLowerMarkerBoundary(0.25f);
    widget->setUpperMarkerBoundary(1.75f);
    EXPECT_EQ(range(4), std::make_pair(0.25f, 1.75f));
    // A marker beyond the ranges (names from elsewhere) writes nothing.
    emit panel->parentSetMarker(variables + 3);
    emit panel->parentSetMarkerSpan(7.0f, 8.0f);
    EXPECT_EQ(widget->pointRenderer()->markerRanges()->size(), static_cast<size_t>(variables));
    EXPECT_EQ(range(4), std::make_pair(0.25f, 1.75f));
}

TEST_F(ScatterplotWidgetTest, PanelAndPickerSignalsReachTheRenderer) {
    auto* panel = widget->settingsPanel();
    MCV_PointRenderer* r = widget->pointRenderer();
    emit widget->colormapSelection()->colormapSelected(3);
    emit widget->colormapSelection()->discreteSelected(true);
    emit widget->colormap2DSelection()->colormapSelected(1);
    EXPECT_EQ(std::make_tuple(r->activeColormap(1), r->activeColormapDiscrete(1), r->activeColormap(2)),
              std::make_tuple(3, true, 1));
    // Density mode: the picker then shows the density colormap.
    emit panel->parentSetMode(1);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), r->activeColormap(1));
    emit panel->parentSetMode(0);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), 3);
    emit panel->parentSetpointHaloSize(0.0f);
    emit panel->parentSetpointSize(0.005f);
    const int small = countNear(frame(), kBackground, 0);
    emit panel->parentSetpointSize(0.03f);
    EXPECT_LT(countNear(frame(), kBackground, 0), small);
    emit panel->computationStartedSignal();
    EXPECT_TRUE(widget->spinner()->isVisible());
    widget->computationFinished();
    EXPECT_FALSE(widget->spinner()->isVisible());
}

TEST(ScatterplotWidgetNoRenderer, DataOperationsWaitForTheRenderer) {
    viewtest::useProgramFormat();
    MCV_TsneAnalysis tsne;
    UI_ScatterplotWidget widget(&tsne, nullptr);  // never shown: no GL yet
    widget.setLocalData(3);
    widget.copyLocalData();
    widget.copyLocalVertexData();
    widget.setSelection(nullptr, false);
    widget.setMsGrid(64);
    widget.updatePixelRatio();
    widget.setMarkers({"A", "B"});
    EXPECT_EQ(widget.pointRenderer(), nullptr);
    EXPECT_EQ(widget.selectionIdxs(), nullptr);
}

}  // namespace
