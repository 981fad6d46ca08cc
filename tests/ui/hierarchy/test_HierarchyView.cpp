// The hierarchy dock with its real page: the sample hierarchy drawn at
// start-up, zooming by mouse clicks on segments and breadcrumbs, resizes and
// hierarchy text pushed through the dock's signal.
#include "ui/PageTestSupport.h"

#include "ui/hierarchy/UI_HierarchyWidget.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

class HierarchyView : public ::testing::Test {
protected:
    void SetUp() override {
        dock = std::make_unique<UI_HierarchyWidget>(nullptr);
        dock->resize(800, 860);
        dock->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dock.get()));
        ASSERT_TRUE(pagetest::waitForPage(dock->webView()));
        // The page may have loaded at the view's first size; the window's
        // resize event follows.
        ASSERT_TRUE(QTest::qWaitFor([&] { return js("width === innerWidth && height === innerHeight") == "true"; }))
            << str("width + ' ' + height + ' ' + innerWidth + ' ' + innerHeight + ' ' + document.readyState");
    }

    QString js(const QString& script) { return pagetest::js(dock->webView(), script).toString(); }
    std::string str(const QString& script) { return js(script).toStdString(); }
    std::string trail() { return str("_breadcrumbs.map(function (d) { return d.data.name; }).join('|')"); }
    std::string scales() { return str("angleScale.domain().concat(radiusScale.domain()).join(',')"); }
    // Whether the scales show the node named `name` (within rounding) and no
    // zoom is under way.
    bool showsNow(const QString& name) {
        return js("(function () { var d = _root.descendants().filter(function (n) { return n.data.name === '" + name +
                  "'; })[0]; var t = zoomTarget(d), now = angleScale.domain().concat(radiusScale.domain());"
                  " return t.angles.concat(t.depths).every(function (v, i) { return Math.abs(v - now[i]) < 1e-9; });"
                  " })()") == "true" &&
               !transitionPending();
    }
    bool zoomedTo(const QString& name) {
        return QTest::qWaitFor([&] { return showsNow(name); }, 10000);
    }
    bool transitionPending() { return js("!!document.getElementById('_sunburst').__transition") == "true"; }
    // Names of the nodes whose segments have an area on screen, in tree order.
    std::string visibleSegments() {
        return str(
            "_root.descendants().filter(function (d) { var b = document.querySelector('#' + d.data.uniqueID + "
            "' path').getBoundingClientRect(); return b.width > 0.5 && b.height > 0.5; })"
            ".map(function (d) { return d.data.name; }).join('|')");
    }

    long segmentsShown() {
        const std::string names = visibleSegments();
        return names.empty() ? 0 : std::count(names.begin(), names.end(), '|') + 1;
    }

    // A real click at the middle of a segment, which must be the topmost
    // element there.
    void clickSegment(const QString& name) {
        const QString where =
            js("(function () { var d = _root.descendants().filter(function (n) { return n.data.name === '" + name +
               "'; })[0]; var c = arc.centroid(d); var x = Math.round(c[0] + width / 2), y = Math.round(c[1] + "
               "height / 2); var hit = document.elementFromPoint(x, y); return (hit && hit.__data__ === d ? 'hit' : "
               "'miss') + ',' + x + ',' + y; })()");
        const QStringList parts = where.split(',');
        ASSERT_EQ(parts.value(0), "hit") << name.toStdString() << " at " << where.toStdString();
        QTest::mouseClick(dock->webView(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(parts.value(1).toInt(), parts.value(2).toInt()));
    }
    void clickBreadcrumb(int i) {
        const QString where = js(QString("(function () { var b = d3.selectAll('#_breadCrumbs text').nodes()[%1]"
                                         ".getBoundingClientRect(); return Math.round(b.left + b.width / 2) + ',' + "
                                         "Math.round(b.top + b.height / 2); })()")
                                     .arg(i));
        const QStringList parts = where.split(',');
        QTest::mouseClick(dock->webView(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(parts.value(0).toInt(), parts.value(1).toInt()));
    }

    std::unique_ptr<UI_HierarchyWidget> dock;
};

TEST_F(HierarchyView, DrawsOneSegmentPerNodeOfTheSampleNumberedInPreOrderAndColouredBySize) {
    // Walks the sample itself, independently of the page's numbering.
    EXPECT_EQ(str("(function () { var names = [], k = 0, bad = [];"
                  "  (function walk(n) { var g = document.getElementById('UID' + k++);"
                  "    if (!g || g.querySelectorAll('path').length !== 1 ||"
                  "        g.querySelector('title').textContent.split('\\n')[0] !== n.name) bad.push(n.name);"
                  "    names.push(n.name); (n.children || []).forEach(walk); })(_data_hierarchy_);"
                  "  return names.length + ' ' + d3.selectAll('#_sunburst path').size() + ' ' + bad.join('|'); })()"),
              "16 16 ");
    EXPECT_EQ(trail(), "Leukocytes");

    // Tooltips carry the summed value; plain leaves take Viridis over [0, largest size].
    EXPECT_EQ(str("d3.select('#UID0 title').text() + '/' + d3.select('#UID2 title').text()"),
              "Leukocytes\n13770/T Cells\n5600");
    EXPECT_EQ(str("_root.leaves().filter(function (d) { return !d.data.image && d3.color(d3.select('#' + "
                  "d.data.uniqueID + ' path').attr('fill')).toString() !== "
                  "d3.color(d3.interpolateViridis(d.data.size / 5000)).toString(); }).length"),
              "0");
    // The image is not shipped: the segment keeps its (empty) pattern.
    EXPECT_EQ(str("var g = _root.leaves().filter(function (d) { return d.data.image; })[0];"
                  "var p = document.getElementById('granulocytes.png');"
                  "d3.select('#' + g.data.uniqueID + ' path').attr('fill') + ' ' + p.getAttribute('width') + ' ' +"
                  "p.firstChild.getAttribute('width') + ' ' + "
                  "p.firstChild.getAttributeNS('http://www.w3.org/1999/xlink', 'href')"),
              "url(#granulocytes.png) 100 100 granulocytes.png");
}

TEST_F(HierarchyView, ClicksZoomInAlongTheTrailAndTheFirstBreadcrumbZoomsBackOut) {
    clickSegment("Lymphocytes");
    EXPECT_EQ(trail(), "Leukocytes|Lymphocytes");
    EXPECT_EQ(scales(), "0,1,0,1") << "the zoom runs over time, not at once";
    ASSERT_TRUE(zoomedTo("Lymphocytes")) << scales();
    EXPECT_EQ(visibleSegments(),
              "Lymphocytes|T Cells|B Cells|NK Cells|CD4+ T Cells|CD8+ T Cells|gd T Cells|Naive CD4+|Memory CD4+");

    clickSegment("T Cells");
    ASSERT_TRUE(zoomedTo("T Cells")) << scales();
    EXPECT_EQ(trail(), "Leukocytes|Lymphocytes|T Cells");
    EXPECT_EQ(visibleSegments(), "T Cells|CD4+ T Cells|CD8+ T Cells|gd T Cells|Naive CD4+|Memory CD4+");

    // The innermost breadcrumb's own segment: nothing happens.
    clickSegment("T Cells");
    EXPECT_FALSE(transitionPending());
    EXPECT_EQ(trail(), "Leukocytes|Lymphocytes|T Cells");

    clickBreadcrumb(0);
    EXPECT_EQ(trail(), "Leukocytes");
    ASSERT_TRUE(zoomedTo("Leukocytes")) << scales();
    EXPECT_EQ(scales(), "0,1,0,1");
    EXPECT_EQ(segmentsShown(), 16);

    // A click two rings out from the whole tree adds the ring between.
    clickSegment("CD4+ T Cells");
    EXPECT_EQ(trail(), "Leukocytes|Lymphocytes|T Cells|CD4+ T Cells");
    EXPECT_TRUE(zoomedTo("CD4+ T Cells")) << scales();
}

TEST_F(HierarchyView, AResizeKeepsTheZoomAndFitsTheNewSize) {
    clickSegment("Myeloid Cells");
    ASSERT_TRUE(zoomedTo("Myeloid Cells"));
    dock->resize(600, 560);
    ASSERT_TRUE(QTest::qWaitFor([&] { return js("window.innerWidth").toInt() < 700; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return js("radius") == js("Math.min(innerWidth, innerHeight - 100) / 2"); }));
    EXPECT_EQ(trail(), "Leukocytes|Myeloid Cells");
    EXPECT_TRUE(showsNow("Myeloid Cells")) << scales();
    EXPECT_EQ(visibleSegments(), "Myeloid Cells|Monocytes|Dendritic Cells|Classical|Non-classical");
}

// The page draws whatever hierarchy text arrives on qt_setData; text that is
// no hierarchy leaves the drawing as it was, and odd entries draw no NaN.
TEST_F(HierarchyView, HierarchyTextThroughTheSignalReplacesTheDrawingAndBadTextIsIgnored) {
    clickSegment("Lymphocytes");
    ASSERT_TRUE(zoomedTo("Lymphocytes"));
    emit dock->qt_setData(R"({"name": "R", "children": [{"name": "A", "size": 3},
        {"name": "B", "children": [{"name": "B1", "size": 1}, {"name": "B2", "size": 4}]}]})");
    EXPECT_EQ(trail(), "R") << "new data starts from the whole tree";
    EXPECT_EQ(scales(), "0,1,0,1");
    EXPECT_EQ(str("d3.selectAll('#_sunburst path').size() + ' ' + _color.domain().join(',') + ' ' + "
                  "d3.select('#UID3 title').text()"),
              "5 0,4 B1\n1");

    struct Case {
        const char* text;
        const char* drawn;  // segment count and root value afterwards
    };
    const Case cases[] = {
        {"not json", "5 8"},
        {"[1, 2]", "5 8"},
        {"42", "5 8"},
        {"null", "5 8"},
        {R"({"name": "Odd", "children": "abc", "size": "x"})", "1 0"},
        {R"({"name": "Neg", "children": [{"name": "a", "size": -3}, {"name": "b", "size": 2}, {"name": "c"}]})", "4 2"},
        {R"({"name": "Z", "children": [{"name": "a"}]})", "2 0"},
        {R"({"name": "N", "children": [null, 3, [], {"name": "k", "size": 1}]})", "2 1"},
    };
    for (const Case& c : cases) {
        emit dock->qt_setData(c.text);
        EXPECT_EQ(str("d3.selectAll('#_sunburst path').size() + ' ' + _root.value"), c.drawn) << c.text;
        EXPECT_FALSE(js("document.getElementById('_sunburst').innerHTML").contains("NaN")) << c.text;
    }
}

}  // namespace
