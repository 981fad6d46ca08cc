// The heat map page in a crowded dock, 600 x 400 with its drawer open: menus,
// lists, the drawer's controls and the cluster names stay inside the page,
// uncovered and readable.
#include "HeatMapPageTest.h"

#include <QRectF>
#include <QRegularExpression>

#include <cmath>

namespace {

using namespace heatmaptest;

// Relative luminance of a computed CSS colour drawn over white: 0 black, 1
// white.
double luminance(const QString& css) {
    const QRegularExpressionMatch m =
        QRegularExpression("rgba?\\(([0-9.]+), ([0-9.]+), ([0-9.]+)(?:, ([0-9.]+))?\\)").match(css);
    if (!m.hasMatch()) return 1.0;
    const double alpha = m.captured(4).isEmpty() ? 1.0 : m.captured(4).toDouble();
    double channel[3];
    for (int i = 0; i < 3; ++i) {
        const double c = (alpha * m.captured(i + 1).toDouble() + (1.0 - alpha) * 255.0) / 255.0;
        channel[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return 0.2126 * channel[0] + 0.7152 * channel[1] + 0.0722 * channel[2];
}

// Text as dark as the window's own: #666 on white has a contrast of 5.7.
constexpr double kDarkest = 0.134;

class HeatMapSmallDock : public HeatMapPageTest {
protected:
    void SetUp() override {
        HeatMapPageTest::SetUp();
        view->resize(600, 400);
        ASSERT_TRUE(QTest::qWaitFor([&] { return text("window.innerWidth + 'x' + window.innerHeight") == "600x400"; }))
            << text("window.innerWidth + 'x' + window.innerHeight").toStdString();
        ASSERT_EQ(text("uiActive"), "true");
        for (int i = 0; i < 16; ++i)
            emit probe.qt_addAvailableData(i == 5 ? "Density Clusters - a run with a name far too long for any list"
                                                  : "Density Clusters - run " + QString::number(i));
        show(clusterJson({"CD3", "CD4", "CD8", "CD19", "CD45"}, {"T cells", "B cells", "NK cells", "Monocytes"},
                         {{4, 1, 3, 0.5, 2}, {0.5, 0.2, 0.1, 4, 3}, {1, 0.5, 2, 0.2, 3}, {0.2, 0.3, 0.1, 0.5, 4}}));
        settle();
    }
    // The page boxes of the elements the selector matches.
    std::vector<QRectF> boxes(const QString& selector) {
        std::vector<QRectF> out;
        for (const QJsonValue& v : value("[].map.call(document.querySelectorAll(" + quoted(selector) +
                                         "), function (e) { var b = e.getBoundingClientRect(); "
                                         "return [b.left, b.top, b.width, b.height]; })")
                                       .toArray()) {
            const QJsonArray b = v.toArray();
            out.push_back(QRectF(b[0].toDouble(), b[1].toDouble(), b[2].toDouble(), b[3].toDouble()));
        }
        return out;
    }
    void expectInside(const QString& selector, const QRectF& area = QRectF(0, 0, 600, 400)) {
        const std::vector<QRectF> found = boxes(selector);
        EXPECT_FALSE(found.empty()) << selector.toStdString();
        for (const QRectF& b : found)
            EXPECT_TRUE(area.adjusted(-0.5, -0.5, 0.5, 0.5).contains(b))
                << selector.toStdString() << ": " << b.left() << "," << b.top() << " " << b.width() << "x"
                << b.height();
    }
    void expectDark(const QString& selector) {
        const QStringList colours = text("[].map.call(document.querySelectorAll(" + quoted(selector) +
                                         "), function (e) { return getComputedStyle(e).color; }).join(';')")
                                        .split(';');
        for (const QString& colour : colours)
            EXPECT_LE(luminance(colour), kDarkest) << selector.toStdString() << ": " << colour.toStdString();
    }
    double drawerTop() { return boxes("#ui")[0].top(); }
};

TEST_F(HeatMapSmallDock, ContextMenusOpenInsideThePageWhereverTheMouseIs) {
    const QRectF drawing = boxes("#container")[0];
    ASSERT_GT(drawing.height(), 200);
    for (bool twoSelected : {false, true}) {
        SCOPED_TRACE(twoSelected ? "with Merge" : "without Merge");
        if (twoSelected) emit probe.qt_setSelection({1, 1, 0, 0});
        for (const QPointF& f :
             {QPointF(0.05, 0.05), QPointF(0.3, 0.45), QPointF(0.9, 0.5), QPointF(0.5, 0.7), QPointF(0.95, 0.98)}) {
            const QPoint at(qRound(drawing.width() * f.x()), qRound(drawing.height() * f.y()));
            SCOPED_TRACE(QString("at %1,%2").arg(at.x()).arg(at.y()).toStdString());
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
            QApplication::sendEvent(view.get(), &event);
            ASSERT_EQ(boxes(".d3-context-menu").size(), 1u);
            expectInside(".d3-context-menu");
            // Every entry is whole on the page: none is scrolled away.
            expectInside(".d3-context-menu li");
            js("d3.contextMenu('close')");
        }
    }
    openMenu("#cluster1 rect.cellPaint");
    expectDark(".d3-context-menu li");
}

TEST_F(HeatMapSmallDock, TheSetListOpensInsideThePageReadableAndChoosesByMouseAndKeys) {
    expectDark("#clusterSelector");
    click("#clusterSelector");
    ASSERT_EQ(text("isPageListOpen()"), "true");
    expectInside("#clusterSelectorList");
    EXPECT_EQ(boxes(".pageListItem").size(), 16u) << "every set, not the placeholder";
    EXPECT_EQ(text("var l = document.getElementById('clusterSelectorList'); l.scrollHeight > l.clientHeight"), "true")
        << "taller than the room: it scrolls";
    expectDark(".pageListItem:not(.active)");
    EXPECT_EQ(text("document.querySelector('.pageListItem:nth-child(6)').textContent"),
              "Density Clusters - a run with a name far too long for any list");

    click(".pageListItem:nth-child(2)");
    EXPECT_EQ(probe.chosen, QStringList{"Density Clusters - run 1"});
    EXPECT_EQ(text("isPageListOpen() + ' ' + document.getElementById('clusterSelector').value"),
              "false Density Clusters - run 1");

    // Keys: the arrows move in the list (not the column selection), Return
    // chooses, Escape closes without a choice.
    probe.selections.clear();
    click("#clusterSelector");
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(probe.chosen.last(), "Density Clusters - run 3");
    click("#clusterSelector");
    QTest::keyClick(view.get(), Qt::Key_Up);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(text("isPageListOpen()"), "false");
    EXPECT_EQ(probe.chosen.size(), 2);
    EXPECT_TRUE(probe.selections.isEmpty());

    // A new set changes the choices: an open list closes.
    click("#clusterSelector");
    emit probe.qt_addAvailableData("Density Clusters - run 16");
    EXPECT_TRUE(QTest::qWaitFor([&] { return text("isPageListOpen()") == "false"; }));

    // A press outside closes it; so does the drawer going away.
    click("#clusterSelector");
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, QPoint(560, 250));  // beside the list
    EXPECT_EQ(text("isPageListOpen()"), "false");
    click("#clusterSelector");
    js("hideUi()");
    EXPECT_EQ(text("isPageListOpen()"), "false");
    EXPECT_EQ(probe.chosen.size(), 2);
}

TEST_F(HeatMapSmallDock, TheDrawersControlsAndTheLegendsMapsFitThePage) {
    const QRectF drawer(0, drawerTop(), 600, 400 - drawerTop());
    for (const char* selector : {"#ui .uiItem", "#markerRange .noUi-handle", "#markerRange .noUi-value"})
        expectInside(selector, drawer);
    press("#legend");
    settle();
    expectInside("#legendWrapper");
}

TEST_F(HeatMapSmallDock, ClusterNamesStayClearOfTheDrawerOpenOrHidden) {
    auto lowestName = [&] {
        double bottom = 0;
        for (const QRectF& b : boxes("g.subsetLabel")) bottom = std::max(bottom, b.bottom());
        return bottom;
    };
    EXPECT_LE(lowestName(), drawerTop() + 0.5);
    EXPECT_GT(lowestName(), drawerTop() - 10) << "and the drawing uses the room above it";
    js("toggleDendrogram()");
    settle();
    EXPECT_LE(lowestName(), drawerTop() + 0.5);

    // Hidden, the drawer leaves its peek; the drawing grows down to it.
    press("#drawer");
    settle();
    EXPECT_NEAR(lowestName(), 380, 0.5);
    press("#drawer");
    settle();
    EXPECT_LE(lowestName(), drawerTop() + 0.5);
}

}  // namespace
