// The scatter-plot widget on a real A-tSNE analysis: it draws the embedding,
// turns mouse gestures and Ctrl+A / Ctrl+D into renderer selections with the
// right signals, peeks the settings panel near its bottom edge, and the
// panel's and pickers' signals reach the renderer.
#include "ScatterplotTest.h"

#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QPushButton>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTimer>

namespace {

using namespace viewtest;

class ScatterplotWidgetTest : public ScatterplotTest {
protected:
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(pos), button, buttons, modifiers);
        QApplication::sendEvent(widget.get(), &event);
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
    }
    std::vector<int> selected() {
        std::vector<int>* idxs = widget->selectionIdxs();
        return idxs ? *idxs : std::vector<int>();
    }
};

TEST_F(ScatterplotWidgetTest, DrawsTheEmbeddingAndFollowsDarkMode) {
    const QImage light = frame();
    ASSERT_EQ(light.size(), QSize(kSize, kSize));
    const QRgb background = qRgb(252, 252, 252);
    // Every point covers its pixel; the corners stay background.
    for (int p = 0; p < kPoints; ++p) EXPECT_NE(light.pixel(pointPosition(p)) & 0xffffff, background & 0xffffff);
    EXPECT_EQ(light.pixel(1, 1) & 0xffffff, background & 0xffffff);

    // Dark mode from the settings panel reaches the renderer.
    emit widget->settingsPanel()->parentSetDarkMode(true);
    const QImage dark = frame();
    EXPECT_EQ(dark.pixel(1, 1) & 0xffffff, qRgb(50, 50, 50) & 0xffffff);
    emit widget->settingsPanel()->parentSetDarkMode(false);
    EXPECT_EQ(frame().pixel(1, 1) & 0xffffff, background & 0xffffff);
}

TEST_F(ScatterplotWidgetTest, RectangleSelectsPointsAndSignals) {
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    // A rectangle around everything selects every point.
    drag({2, 2}, {kSize - 2, kSize - 2});
    EXPECT_EQ(selected().size(), static_cast<size_t>(kPoints));
    // One for the move, one for the release.
    EXPECT_EQ(updated.count(), 2);

    // A rectangle around point 0 only (with a small margin) holds point 0.
    const QPoint p0 = pointPosition(0);
    drag(p0 - QPoint(3, 3), p0 + QPoint(3, 3));
    const std::vector<int> around = selected();
    EXPECT_NE(std::find(around.begin(), around.end(), 0), around.end());
    EXPECT_LT(around.size(), static_cast<size_t>(kPoints));

    // Ctrl+D clears, Ctrl+A selects all, each with a signal.
    updated.clear();
    QTest::keyClick(widget.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(selected().empty());
    QTest::keyClick(widget.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected().size(), static_cast<size_t>(kPoints));
    EXPECT_EQ(updated.count(), 2);
    // Other keys and plain letters do nothing.
    QTest::keyClick(widget.get(), Qt::Key_D);
    EXPECT_EQ(selected().size(), static_cast<size_t>(kPoints));
    EXPECT_EQ(updated.count(), 2);
}

TEST_F(ScatterplotWidgetTest, ModifiersAddSubtractAndAltKeepsQuiet) {
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    QTest::keyClick(widget.get(), Qt::Key_D, Qt::ControlModifier);
    const QPoint p0 = pointPosition(0);
    // Control adds, Shift subtracts.
    drag(p0 - QPoint(3, 3), p0 + QPoint(3, 3), Qt::ControlModifier);
    const size_t added = selected().size();
    EXPECT_GE(added, 1u);
    drag({2, 2}, {kSize - 2, kSize - 2}, Qt::ShiftModifier);
    EXPECT_TRUE(selected().empty());

    // With Alt the move updates the rectangle but says nothing; the release
    // reports it.
    updated.clear();
    mouse(QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton, Qt::AltModifier);
    mouse(QEvent::MouseMove, {kSize - 2, kSize - 2}, Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(selected().size(), static_cast<size_t>(kPoints));
    mouse(QEvent::MouseButtonRelease, {kSize - 2, kSize - 2}, Qt::LeftButton, Qt::NoButton, Qt::AltModifier);
    EXPECT_EQ(updated.count(), 1);
}

TEST_F(ScatterplotWidgetTest, ClickPicksTheDensityClusterUnderThePointer) {
    emit widget->settingsPanel()->computeMSOnceSignal();
    ASSERT_FALSE(widget->pointRenderer()->meanShiftClustersName().empty());
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    const QPoint p0 = pointPosition(0);
    // Press and release one pixel apart: a click.
    mouse(QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, p0 + QPoint(1, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(updated.count(), 1);
    const std::vector<int> cluster = selected();
    EXPECT_NE(std::find(cluster.begin(), cluster.end(), 0), cluster.end());
    EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), 1);
    // Two pixels apart is a rectangle: the picked clusters are reset.
    mouse(QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, p0 + QPoint(2, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), 0);
    EXPECT_EQ(updated.count(), 2);
}

TEST_F(ScatterplotWidgetTest, RightPressAndOpenMenuNeverSelect) {
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    QSignalSpy right(widget.get(), &UI_ScatterplotWidget::rightClick);
    QTest::keyClick(widget.get(), Qt::Key_A, Qt::ControlModifier);
    updated.clear();
    mouse(QEvent::MouseButtonPress, {2, 2}, Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseMove, {kSize - 2, kSize - 2}, Qt::NoButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, {kSize - 2, kSize - 2}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(updated.count(), 0);

    // While a menu is open a left press does nothing and the next release
    // only closes the menu state.
    widget->menuShown();
    drag({2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(selected().size(), static_cast<size_t>(kPoints));
    drag({2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 2);
}

TEST_F(ScatterplotWidgetTest, ContextMenuWithoutClustersIsNotShown) {
    QMenu menu;
    widget->showContextMenu({10, 10}, &menu);  // returns at once: nothing to show
    EXPECT_TRUE(menu.actions().isEmpty());

    // With a cluster set the two save actions (no merge for < 2 clusters).
    emit widget->settingsPanel()->computeMSOnceSignal();
    QStringList texts;
    QTimer::singleShot(0, [&menu, &texts]() {
        for (QAction* a : menu.actions()) texts << a->text();
        menu.close();
    });
    widget->showContextMenu({10, 10}, &menu);
    EXPECT_EQ(texts, QStringList({"Save Clusters ...", "Save Clusters (per sample) ..."}));
}

TEST_F(ScatterplotWidgetTest, PanelPeeksNearTheBottomEdge) {
    auto* panel = widget->settingsPanel();
    // Peeking applies to the closed panel.
    if (panel->isOpen()) panel->slideOut();
    ASSERT_FALSE(panel->isOpen());
    mouse(QEvent::MouseMove, {50, kSize - 10}, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(panel->isPeeking());
    mouse(QEvent::MouseMove, {50, kSize - 100}, Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(panel->isPeeking());
    // Below the widget counts as near the edge.
    mouse(QEvent::MouseMove, {50, kSize + 5}, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(panel->isPeeking());
}

TEST_F(ScatterplotWidgetTest, MarkerChoiceSetsPickersRangesAndBounds) {
    auto* panel = widget->settingsPanel();
    emit panel->parentSetMarker(-5);
    EXPECT_EQ(widget->currentMarker(), -2);
    EXPECT_FALSE(widget->colormapSelection()->isVisible());
    emit panel->parentSetMarker(4);
    EXPECT_EQ(widget->currentMarker(), 4);
    EXPECT_TRUE(widget->colormapSelection()->isVisible());
    EXPECT_FALSE(widget->colormap2DSelection()->isVisible());

    // The span goes into the active marker's display range.
    emit panel->parentSetMarkerSpan(0.5f, 1.5f);
    EXPECT_EQ((*widget->pointRenderer()->markerRanges())[4], (std::pair<float, float>(0.5f, 1.5f)));
    widget->setLowerMarkerBoundary(0.25f);
    widget->setUpperMarkerBoundary(1.75f);
    EXPECT_EQ((*widget->pointRenderer()->markerRanges())[4], (std::pair<float, float>(0.25f, 1.75f)));
    // A marker beyond the ranges (names from elsewhere) writes nothing.
    emit panel->parentSetMarker(variables + 3);
    emit panel->parentSetMarkerSpan(7.0f, 8.0f);
    EXPECT_EQ(widget->pointRenderer()->markerRanges()->size(), static_cast<size_t>(variables));
    EXPECT_EQ((*widget->pointRenderer()->markerRanges())[4], (std::pair<float, float>(0.25f, 1.75f)));
}

TEST_F(ScatterplotWidgetTest, PanelAndPickerSignalsReachTheRenderer) {
    auto* panel = widget->settingsPanel();
    MCV_PointRenderer* r = widget->pointRenderer();
    emit widget->colormapSelection()->colormapSelected(3);
    EXPECT_EQ(r->activeColormap(1), 3);
    emit widget->colormapSelection()->discreteSelected(true);
    EXPECT_TRUE(r->activeColormapDiscrete(1));
    emit widget->colormap2DSelection()->colormapSelected(1);
    EXPECT_EQ(r->activeColormap(2), 1);

    // Density mode: the picker then shows the density colormap.
    emit panel->parentSetMode(1);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), r->activeColormap(1));
    EXPECT_EQ(widget->colormapSelection()->isDiscrete(), r->activeColormapDiscrete(1));
    const QImage density = frame();
    emit panel->parentSetMode(0);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), 3);
    EXPECT_NE(frame(), density);

    // A larger point size covers more pixels.
    emit panel->parentSetpointHaloSize(0.0f);
    emit panel->parentSetpointSize(0.005f);
    const int small = kSize * kSize - countColour(frame(), qRgb(252, 252, 252));
    emit panel->parentSetpointSize(0.03f);
    const int large = kSize * kSize - countColour(frame(), qRgb(252, 252, 252));
    EXPECT_GT(large, small);

    // The run state shows and hides the spinner.
    emit panel->computationStartedSignal();
    EXPECT_TRUE(widget->spinner()->isVisible());
    widget->computationFinished();
    EXPECT_FALSE(widget->spinner()->isVisible());
}

TEST_F(ScatterplotWidgetTest, SamplePanelHidesAndColoursSamples) {
    UI_SampleSelectionWidget* samples = widget->samplePanel();
    ASSERT_NE(samples, nullptr);
    // Coloured by sample: the points of the second file (odd events) take
    // its colour.
    emit widget->settingsPanel()->parentSetpointOpacity(1.0f);
    emit widget->settingsPanel()->parentSetpointHaloSize(0.0f);
    emit widget->settingsPanel()->parentSetMarker(-1);
    samples->colorButton(1)->click();
    samples->colorPicker()->setCurrentColor(QColor(0, 0, 255));
    samples->colorPicker()->hide();
    int blue = countColour(frame(), qRgb(0, 0, 255));
    EXPECT_GT(blue, 0);
    // Hidden: none of its points drawn, and a rectangle over everything
    // leaves them out of the sample flags the views read.
    samples->checkBox(1)->setChecked(false);
    EXPECT_EQ(countColour(frame(), qRgb(0, 0, 255)), 0);
    EXPECT_EQ(widget->sampleSelectionState(), (std::vector<bool>{true, false}));
}

TEST_F(ScatterplotWidgetTest, ChildrenFollowResizes) {
    widget->resize(500, 400);
    QTest::qWait(20);
    widget->grabFramebuffer();
    EXPECT_EQ(widget->colormapSelection()->pos(), QPoint(500 - 71, 10));
    EXPECT_EQ(widget->colormap2DSelection()->pos(), QPoint(500 - 145, 10));
    EXPECT_EQ(widget->spinner()->pos(),
              QPoint(500 - widget->spinner()->width() - 10, 400 - widget->spinner()->height() - 10));
    EXPECT_EQ(widget->settingsPanel()->width(), 500);
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
