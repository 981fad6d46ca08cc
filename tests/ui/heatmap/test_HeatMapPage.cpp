// The heat map page on its own, driven by real mouse and key events in the
// real engine; the dock's side is a probe.
#include "HeatMapPageTest.h"

#include <QRegularExpression>

#include <cmath>

namespace {

using namespace heatmaptest;

const QStringList kMarkers = {"CD3", "CD4", "CD8", "CD19"};
// Three clusters by four markers; the smallest median 0.25, the largest 4.75.
const std::vector<std::vector<double>> kMedians = {{1.0, 0.25, 3.0, 2.0}, {2.5, 4.75, 1.5, 0.5}, {4.0, 1.0, 2.0, 3.5}};

class HeatMapPage : public HeatMapPageTest {
protected:
    void showSmall() { show(clusterJson(kMarkers, {"T cells", "B cells", "NK"}, kMedians)); }
    // Four clusters whose medians of marker 0 are 3, 1, 3, 2.
    void showTies() { show(clusterJson({"M0", "M1"}, {"a", "b", "c", "d"}, {{3, 0}, {1, 0}, {3, 0}, {2, 0}})); }
    std::vector<int> sorting() { return ints("_sorting"); }
    // The x of the column of cluster c as drawn.
    double columnX(int c) {
        const QString transform =
            text("document.getElementById('cluster" + QString::number(c) + "').getAttribute('transform')");
        return QRegularExpression("translate\\(([-0-9.e]+)").match(transform).captured(1).toDouble();
    }
};

TEST_F(HeatMapPage, TheSelectorListsEachSetOnceAsTextBehindTheDisabledPlaceholder) {
    const QString markup = "<img src=x onerror=\"Qt.js_debug('injected')\"> & \"q\"";
    for (const QString& name : {QString("A"), QString("A"), markup}) emit probe.qt_addAvailableData(name);
    EXPECT_EQ(text("[].map.call(document.querySelectorAll('#clusterSelector option'), "
                   "function (o) { return o.text + (o.disabled ? ' (disabled)' : ''); }).join('|')"),
              "Clusters (disabled)|A|" + markup);
    EXPECT_EQ(text("document.getElementById('clusterSelector').selectedIndex"), "0");
    EXPECT_EQ(text("document.querySelectorAll('img').length"), "0");

    js("var s = document.getElementById('clusterSelector'); s.selectedIndex = 2; "
       "s.dispatchEvent(new Event('change'))");
    EXPECT_EQ(probe.chosen, QStringList{markup});
    emit probe.qt_addAvailableData("B");
    EXPECT_EQ(text("document.getElementById('clusterSelector').value"), markup) << "the choice stays";
    QTest::qWait(50);
    EXPECT_FALSE(probe.debugLines.contains("injected"));
}

TEST_F(HeatMapPage, DataDrawsAColumnPerClusterAndACellPerMarkerColouredByItsMedian) {
    showSmall();
    EXPECT_EQ(text("document.querySelectorAll('g.column').length"), "3");
    EXPECT_EQ(text("document.querySelectorAll('rect.cellPaint').length"), "12");
    EXPECT_EQ(text("document.getElementById('subsetLabel1').textContent"), "B cells");
    EXPECT_EQ(text("document.getElementById('legendLabelBottom').textContent"), QString::fromUtf8("\xc2\xa0 0.25"));
    EXPECT_EQ(text("document.getElementById('legendLabelTop').textContent"), QString::fromUtf8("\xc2\xa0 4.75"));
    // Viridis over [0.25, 4.75]: the ends of the map at the extreme medians.
    EXPECT_EQ(fills(0)[1], "#440154");
    EXPECT_EQ(fills(1)[1], "#fde725");
    // Columns side by side in cluster order, cells stacked in marker order.
    EXPECT_LT(columnX(0), columnX(1));
    EXPECT_LT(columnX(1), columnX(2));
    // An 800 x 600 window with the drawer open: rows of (600 - 110 - 90) / 4
    // pixels.
    EXPECT_EQ(cellBoxes(2), "0/100 100/100 200/100 300/100");
    EXPECT_EQ(text("d3.select('#container').html().indexOf('NaN')"), "-1");
}

TEST_F(HeatMapPage, NamesFromTheDataAreShownAsTextNeverAsMarkup) {
    const QString marker = "<b>CD4</b> & \"x\"";
    const QString cluster = QString::fromUtf8("CD4 \"na\xc3\xafve\" <T> & \xe7\xbb\x86\xe8\x83\x9e");
    show(clusterJson({marker, "<svg onload=\"Qt.js_debug('injected')\"/>"}, {cluster, "<i>2</i>"}, {{1, 2}, {3, 4}}));
    EXPECT_EQ(text("document.querySelector('.markerLabelText').textContent"), marker);
    EXPECT_EQ(text("document.getElementById('subsetLabel0').textContent"), cluster);
    EXPECT_EQ(text("document.getElementById('subsetLabel1').textContent"), "<i>2</i>");
    EXPECT_EQ(text("document.querySelectorAll('#container b, #container i, #container svg svg, #container T').length"),
              "0");
    QTest::qWait(50);
    EXPECT_FALSE(probe.debugLines.contains("injected"));
}

TEST_F(HeatMapPage, ClicksShiftClicksAndArrowKeysReportTheSelectedColumns) {
    show(clusterJson({"M"}, {"a", "b", "c", "d"}, {{1}, {2}, {3}, {4}}));
    using L = QList<int>;
    // {action, list reported}
    const std::vector<std::pair<std::function<void()>, L>> steps = {
        {[&] { click("#cluster1 rect.cellPaint"); }, L{0, 1, 0, 0}},
        {[&] { click("#cluster3 rect.cellPaint", Qt::ShiftModifier); }, L{0, 1, 0, 1}},
        // A plain click on a selected column clears the selection.
        {[&] { click("#cluster3 rect.cellPaint"); }, L{0, 0, 0, 0}},
        {[&] { key(Qt::Key_Up); }, L{0, 0, 0, 1}},  // the last column
        {[&] { key(Qt::Key_Left); }, L{0, 0, 1, 0}},
        {[&] { key(Qt::Key_Right); }, L{0, 0, 0, 1}},
        {[&] { key(Qt::Key_Right); }, L{0, 0, 0, 1}},  // stays at the edge
        {[&] { key(Qt::Key_Down); }, L{1, 0, 0, 0}},   // the first column
        {[&] { click("#cluster0 rect.cellPaint"); }, L{0, 0, 0, 0}},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        probe.selections.clear();
        steps[i].first();
        ASSERT_EQ(probe.selections.size(), 1) << "step " << i;
        EXPECT_EQ(probe.selections[0], steps[i].second) << "step " << i;
        settle();
    }
    // With nothing selected left and right do nothing; with two selected no
    // arrow does.
    probe.selections.clear();
    key(Qt::Key_Left);
    key(Qt::Key_Right);
    click("#cluster0 rect.cellPaint");
    settle();  // the page finishes drawing the selection before the next aim
    click("#cluster2 rect.cellPaint", Qt::ShiftModifier);
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) key(k);
    EXPECT_EQ(probe.selections, (QList<QList<int>>{{1, 0, 0, 0}, {1, 0, 1, 0}}));

    // The marker marks are hidden outside marker selection mode and leave
    // the first column to the mouse.
    probe.selections.clear();
    click("#markerSelectCirc0");
    EXPECT_EQ(probe.selections.size(), 1);
    EXPECT_EQ(ints("_markerSelection"), (std::vector<int>{1}));
}

TEST_F(HeatMapPage, TheMenuOffersMergingOnlyForTwoOrMoreColumnsAndPassesEachRequest) {
    showSmall();
    const QStringList entries = {"Toggle Marker Selection",
                                 "Toggle Variation",
                                 "Toggle Dendrogram",
                                 "Toggle Dendrogram Labels",
                                 "-",
                                 "Save Clusters as FCS...",
                                 "Save Clusters (per Sample) as FCS...",
                                 "Save Cell Origins as CSV ...",
                                 "-",
                                 "Save Heatmap as Image ...",
                                 "Save Heatmap as CSV ..."};
    EXPECT_EQ(openMenu("#cluster0 rect.cellPaint"), entries);
    js("d3.contextMenu('close')");
    // {entry, what reaches the dock}
    const std::pair<const char*, const char*> requests[] = {{"Save Clusters as FCS...", "fcs"},
                                                            {"Save Clusters (per Sample) as FCS...", "fcs per sample"},
                                                            {"Save Cell Origins as CSV ...", "origins"},
                                                            {"Save Heatmap as Image ...", "svg"},
                                                            {"Save Heatmap as CSV ...", "csv"}};
    for (const auto& [entry, request] : requests) {
        probe.requests.clear();
        openMenu("#container");
        chooseFromMenu(entry);
        EXPECT_EQ(probe.requests, QStringList{request}) << entry;
        EXPECT_EQ(text("document.querySelectorAll('.d3-context-menu').length"), "0") << "closed";
    }

    click("#cluster2 rect.cellPaint");
    EXPECT_EQ(openMenu("#cluster2 rect.cellPaint"), entries) << "one column: nothing to merge";
    js("d3.contextMenu('close')");
    click("#cluster0 rect.cellPaint", Qt::ShiftModifier);
    EXPECT_EQ(openMenu("#cluster0 rect.cellPaint"), QStringList({"Merge Selected Clusters", "-"}) + entries);
    chooseFromMenu("Merge Selected Clusters");
    EXPECT_EQ(probe.merges, (QList<QList<int>>{{1, 0, 1}}));
    // The merged set comes back: the first of the merged clusters is shown
    // selected, and the dock is not told.
    probe.selections.clear();
    show(clusterJson(kMarkers, {"T cells", "B cells"}, {kMedians[0], kMedians[1]}));
    EXPECT_EQ(ints("_selection"), (std::vector<int>{1, 0}));
    EXPECT_EQ(text("document.querySelectorAll('g.column').length"), "2");
    EXPECT_TRUE(probe.selections.isEmpty());
}

TEST_F(HeatMapPage, MarkerFlagsBeforeTheFirstDataChooseTheRowsAndNewMarkersComeUnselected) {
    emit probe.qt_setMarkerSelection({1, 0, 1, 0});
    showSmall();
    // Two rows of 200 pixels; an unselected marker shares the next selected
    // marker's row, beneath it, and its name is moved out of sight.
    EXPECT_EQ(cellBoxes(0), "0/200 200/200 200/200 400/200");
    EXPECT_EQ(text("d3.selectAll('g.markerLabel').nodes().map(function (g) { "
                   "return g.getAttribute('transform').replace(/[^-0-9.,]/g, ''); }).join(' ')"),
              "0,100 -500,300 0,300 -500,500");
    emit probe.qt_setMarkerSelection({0, 0, 0, 0});
    EXPECT_EQ(ints("_markerSelection"), (std::vector<int>{1, 0, 1, 0})) << "ignored once data is shown";
    show(clusterJson(kMarkers + QStringList{"CD45", "CD56"}, {"a"}, {{1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(ints("_markerSelection"), (std::vector<int>{1, 0, 1, 0, 0, 0}));
}

TEST_F(HeatMapPage, AMarkerLabelSortsByDescendingMedianThenAscendingWithTiesInClusterOrder) {
    showTies();  // marker 0: a 3, b 1, c 3, d 2
    press(".markerLabelText");
    QTest::mouseRelease(view.get(), Qt::LeftButton);
    EXPECT_EQ(sorting(), (std::vector<int>{0, 3, 1, 2})) << "a, c, d, b";
    press(".markerLabelText");
    QTest::mouseRelease(view.get(), Qt::LeftButton);
    EXPECT_EQ(sorting(), (std::vector<int>{2, 0, 3, 1})) << "b, d, a, c";
    settle();
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(columnX(c),
                    text("geometry().offset").toDouble() + sorting()[size_t(c)] * text("geometry().w").toDouble(), 0.01)
            << c;
    // With two clusters selected they come first, each group by median.
    click("#cluster1 rect.cellPaint");
    click("#cluster3 rect.cellPaint", Qt::ShiftModifier);
    EXPECT_EQ(sorting(), (std::vector<int>{2, 0, 3, 1})) << "b, d | a, c: ascending";
    press(".markerLabelText");
    QTest::mouseRelease(view.get(), Qt::LeftButton);
    EXPECT_EQ(sorting(), (std::vector<int>{2, 1, 3, 0})) << "d, b | a, c: descending";
}

TEST_F(HeatMapPage, ColourBoundsResetForAnotherSetAndStayInsideTheRangeOfItsRefreshes) {
    probe.sets["A"] = clusterJson({"M"}, {"a", "b"}, {{0.0}, {1.0}});
    probe.sets["B"] = clusterJson({"M"}, {"a", "b"}, {{10.0}, {20.0}});
    auto choose = [&](const QString& name) {
        emit probe.qt_addAvailableData(name);
        js("var s = document.getElementById('clusterSelector'); s.value = " + quoted(name) +
           "; s.dispatchEvent(new Event('change'))");
    };
    auto bounds = [&] {
        return text(
                   "_markerUserBounds.join(' ') + ' | ' + document.getElementById('legendLabelBottom').textContent + "
                   "' ' + document.getElementById('legendLabelTop').textContent")
            .replace(QChar(0xa0), '_');
    };
    choose("A");
    EXPECT_EQ(bounds(), "0 1 | _ 0.00 _ 1.00");
    choose("B");
    EXPECT_EQ(bounds(), "10 20 | _ 10.00 _ 20.00") << "not the inverted [10, 1]";
    show(clusterJson({"M"}, {"a", "b"}, {{12.0}, {15.0}}));
    EXPECT_EQ(bounds(), "12 15 | _ 12.00 _ 15.00") << "a refresh clamps";

    // The user drags the upper handle (range 0 to 15) to 14; the slider
    // places its handles on the next animation frame.
    settle();
    const QPoint from = centre("#markerRange .noUi-handle-upper");
    const double slider =
        text("document.querySelector('#markerRange .noUi-base').getBoundingClientRect().width").toDouble();
    const QPoint to = from - QPoint(qRound(slider / 15.0), 0);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, from);
    for (int i = 1; i <= 4; ++i) {
        QMouseEvent move(QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &move);
    }
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, to);
    const double upper = text("_markerUserBounds[1]").toDouble();
    EXPECT_NEAR(upper, 14.0, 0.1);
    EXPECT_EQ(text("document.getElementById('legendLabelTop').textContent").mid(2), QString::number(upper, 'f', 2));

    show(clusterJson({"M"}, {"a", "b"}, {{13.0}, {19.0}}));
    EXPECT_EQ(text("_markerUserBounds[1]").toDouble(), upper) << "kept inside the new range";
    show(clusterJson({"M"}, {"a", "b"}, {{14.5}, {19.0}}));
    EXPECT_EQ(bounds(), "14.5 19 | _ 14.50 _ 19.00") << "clamping would invert the bounds: reset";
}

// Embedding coordinates and markers stored without a transform have medians
// below 0; the slider once started at 0 and could not go lower.
TEST_F(HeatMapPage, TheColourSliderReachesNegativeMedians) {
    show(clusterJson({"M0", "M1"}, {"a", "b", "c"}, {{-17.0, 2.0}, {16.4, 0.5}, {-3.0, 1.0}}));
    settle();  // the slider places its handles on the next animation frame
    EXPECT_EQ(text("document.getElementById('markerRange').noUiSlider.get().join(' ')"), "-17.00 16.40");

    // The lower handle dragged past the left end, then a quarter of the way.
    const QPoint from = centre("#markerRange .noUi-handle-lower");
    const double slider =
        text("document.querySelector('#markerRange .noUi-base').getBoundingClientRect().width").toDouble();
    const QPoint left = from - QPoint(30, 0), quarter = from + QPoint(qRound(slider / 4.0), 0);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, from);
    for (const QPoint& to : {left, from, quarter}) {
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &move);
    }
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, quarter);
    const double lower = text("_markerUserBounds[0]").toDouble();
    EXPECT_NEAR(lower, -17.0 + 33.4 / 4.0, 0.2);
    EXPECT_EQ(text("document.getElementById('legendLabelBottom').textContent").mid(2), QString::number(lower, 'f', 2));
    // Below the new lower bound the map's first colour, above it others.
    EXPECT_EQ(fills(0)[0], "#440154");
    EXPECT_NE(fills(2)[0], "#440154");
}

TEST_F(HeatMapPage, WithoutSelectedMarkersNothingIsDrawnAndNothingIsNaN) {
    emit probe.qt_setMarkerSelection({0, 0, 0, 0});
    showSmall();
    EXPECT_EQ(text("d3.selectAll('rect.cellPaint').nodes().filter(function (r) { "
                   "return r.getBoundingClientRect().height !== 0; }).length"),
              "0");
    js("toggleDendrogram()");
    settle();
    EXPECT_EQ(text("d3.select('#container').html().indexOf('NaN')"), "-1");
    EXPECT_EQ(text("document.querySelectorAll('path.dendrogramLink').length"), "4") << "all clusters at distance 0";
}

TEST_F(HeatMapPage, PushedSelectionsTreatMissingEntriesAsUnselected) {
    showSmall();
    // {pushed list, selection shown}
    const std::vector<std::pair<QList<int>, std::vector<int>>> cases = {
        {{0, 1}, {0, 1, 0}}, {{1, 0, 1, 1, 1}, {1, 0, 1}}, {{}, {0, 0, 0}}};
    for (const auto& [pushed, shown] : cases) {
        emit probe.qt_setSelection(pushed);
        EXPECT_EQ(ints("_selection"), shown);
    }
    emit probe.qt_setSelection({0, 0, 1});
    EXPECT_EQ(text("d3.selectAll('g.columnSelect line.selected').size()"), "4") << "one block frame";
    EXPECT_TRUE(probe.selections.isEmpty()) << "a pushed selection is not reported back";
}

TEST_F(HeatMapPage, TheRenameDialogSendsANonEmptyNameForItsColumn) {
    showSmall();
    click("#subsetLabel1");
    EXPECT_EQ(text("document.getElementById('d3-cyto-overlay').style.display"), "block");
    EXPECT_EQ(text("document.getElementById('subset-input').value"), "B cells");
    EXPECT_EQ(text("document.getElementById('subset-accept').disabled"), "false");
    settle();
    QWidget* target = view.get();
    for (int i = 0; i < 7; ++i) QTest::keyClick(target, Qt::Key_Backspace);
    EXPECT_EQ(text("document.getElementById('subset-accept').disabled"), "true");
    QTest::keyClick(target, Qt::Key_Return);
    EXPECT_TRUE(probe.renames.isEmpty()) << "an empty name is not sent";
    QTest::keyClicks(target, "Memory");
    click("#subset-accept");
    EXPECT_EQ(probe.renames, (QList<QPair<int, QString>>{{1, "Memory"}}));
    EXPECT_EQ(text("document.getElementById('subsetLabel1').textContent"), "B cells") << "until the set comes back";
    settle();
    EXPECT_EQ(text("document.getElementById('d3-cyto-overlay').style.display"), "none");
}

TEST_F(HeatMapPage, VariationShrinksEachCellByItsSpreadOverABackground) {
    show(clusterJson({"M0", "M1"}, {"a", "b"}, {{1, 2}, {3, 4}}));  // deviations 0.5
    const QString before = cellBoxes(1);
    EXPECT_EQ(text("document.querySelectorAll('rect.cellBound').length"), "0") << "not needed yet";
    click("#uncertaintySwitch");  // the drawer's "Variation" switch
    ASSERT_EQ(text("_showVariation"), "true");
    settle();
    // One background under each colour rect, in the cell's full size.
    EXPECT_EQ(text("d3.selectAll('rect.cellBound').nodes().filter(function (b) { "
                   "return b.nextSibling && b.nextSibling.getAttribute('class') === 'cellPaint'; }).length"),
              "4");
    EXPECT_EQ(text("d3.select('#cluster1').selectAll('rect.cellBound').nodes().map(function (r) { "
                   "var b = r.getBoundingClientRect(); return Math.round(b.top * 10) / 10 + '/' + "
                   "Math.round(b.height * 10) / 10; }).join(' ')"),
              before);
    // A spread of 0.5 keeps 1 - 0.95 * 0.5 / 3 of each side, centred.
    const double v = 1.0 - 0.95 * 0.5 / 3.0, h = 200.0;
    const QJsonArray paint = value(
                                 "(function (b) { return [b.top, b.height]; })(d3.select('#cluster1')"
                                 ".selectAll('rect.cellPaint').nodes()[1].getBoundingClientRect())")
                                 .toArray();
    EXPECT_NEAR(paint[1].toDouble(), h * v, 0.05);
    EXPECT_NEAR(paint[0].toDouble(), h + h * (1 - v) / 2, 0.05);
    js("toggleVariation()");
    settle();
    EXPECT_EQ(cellBoxes(1), before);
    EXPECT_EQ(text("getComputedStyle(document.querySelector('rect.cellBound')).display"), "none");
}

}  // namespace
