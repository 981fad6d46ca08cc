#pragma once
// The user's gestures on a SPADE tree view's page, with real mouse events on
// the view's window, and what the page then shows: for tests of a view on
// its own and of views in the main window.

#include "../../data/StrictFcsReader.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/spade/UI_SpadeWidget.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <QTest>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace spadepage {

inline QString page(UI_SpadeWidget* view, const QString& script) {
    return view->view()->page()->mainFrame()->evaluateJavaScript(script).toString();
}

// `text` as a script's string literal.
inline QString quoted(const QString& text) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

inline bool waitForNodes(UI_SpadeWidget* view, int count) {
    return QTest::qWaitFor([&] { return page(view, "graph ? graph.nodes.length : 0").toInt() == count; }, 15000);
}

// The nodes on a grid, three to a row, pinned there and laid out no
// further, so that the mouse finds them. The grid is also the tree's stored
// layout, which a follower is sent again whenever the highlight changes (as
// when the mouse enters a node); a follower may place it a frame late, so
// this returns once none waits.
inline void placeOnGrid(UI_SpadeWidget* view, MCV_DerivedDataClusters* clusters) {
    page(view,
         "stopLayout(); graph.nodes.forEach((d, i) => { d.x = d.fx = i % 3; d.y = d.fy = Math.floor(i / 3); });"
         "fitScales(graph.nodes.map(d => d.x), graph.nodes.map(d => d.y)); placeNodes()");
    QString grid;
    for (int i = 0; i < clusters->numClusters(); ++i)
        grid += QString("%1{\"px\":%2,\"py\":%3}").arg(i ? "," : "").arg(i % 3).arg(i / 3);
    clusters->updateSpadePositions(("[" + grid + "]").toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return page(view, "!window.waitingPositions") == "true"; }, 15000));
    ASSERT_EQ(page(view, "graph.nodes.every((d, i) => d.x == i % 3 && d.y == Math.floor(i / 3))"), "true");
}

// Page coordinates ("x,y" from `xy`) into the view's window, where the mouse
// goes.
inline QPoint onWindow(UI_SpadeWidget* view, const QString& xy) {
    const QStringList p = page(view, xy).split(',');
    const QPoint at(qRound(p.value(0).toDouble()), qRound(p.value(1).toDouble()));
    return view->view()->mapTo(view->window(), at);
}
inline QPoint nodeAt(UI_SpadeWidget* view, int i) {
    return onWindow(view, QString("[screenX(graph.nodes[%1]), screenY(graph.nodes[%1])].join()").arg(i));
}
inline void rightClickNode(UI_SpadeWidget* view, int i) {
    QTest::mouseClick(view->window()->windowHandle(), Qt::RightButton, {}, nodeAt(view, i));
}
// The open context menu's entries, "|" between them.
inline std::string menu(UI_SpadeWidget* view) {
    return page(view, "d3.selectAll('.d3-context-menu li').nodes().map(li => li.textContent).join('|')").toStdString();
}
inline void clickMenuItem(UI_SpadeWidget* view, const QString& title) {
    const QString item =
        "d3.selectAll('.d3-context-menu li').nodes().filter(li => li.textContent == " + quoted(title) + ")[0]";
    ASSERT_EQ(page(view, "!!" + item), "true") << title.toStdString() << " in " << menu(view);
    const QPoint at = onWindow(
        view, "(r => [r.left + r.width / 2, r.top + r.height / 2].join())(" + item + ".getBoundingClientRect())");
    QTest::mouseClick(view->window()->windowHandle(), Qt::LeftButton, {}, at);
}
// The label menu of the view's first bubble, opened with the mouse.
inline void rightClickFirstLabel(UI_SpadeWidget* view) {
    QTest::mouseClick(
        view->window()->windowHandle(), Qt::RightButton, {},
        onWindow(view, "(r => [r.x + r.width / 2, r.y + r.height / 2].join())(subTrees[0].label.getExtentOfChar(0))"));
}
// "name:node+node ..." of the page's bubbles.
inline std::string bubbles(UI_SpadeWidget* view) {
    return page(view, "subTrees.map(b => b.name + ':' + bubbleMembers(b.name).map(d => d.index).join('+')).join(' ')")
        .toStdString();
}

// Each bubble is drawn: a hull with a path, and its label.
inline bool everyBubbleDrawn(UI_SpadeWidget* view) {
    return page(view,
                "d3.selectAll('path.bubbleHull').nodes().filter(h => h.getAttribute('d')).length == subTrees.length &&"
                "d3.selectAll('.bubbleLabel').nodes().map(l => l.textContent).join() == "
                "subTrees.map(b => b.name).join()") == "true";
}

// The events of these nodes of the tree (clusters of its set).
inline std::set<std::pair<int, int>> cellsOf(MCV_DerivedDataClusters* clusters, const std::vector<int>& nodes) {
    std::set<std::pair<int, int>> events;
    for (int c : nodes) {
        const auto& members = clusters->clusters()[static_cast<size_t>(c)];
        events.insert(members.begin(), members.end());
    }
    return events;
}
// The events of the registered point set `name` (none without one) and how
// many it lists; looking the set up through the data model would make one.
inline std::pair<std::set<std::pair<int, int>>, size_t> pointSetCells(const std::string& name) {
    for (MCV_DerivedDataPoints* set : MCV_CytometryData::Instance()->derivedDataPoints())
        if (set->name() == name) return {{set->data().begin(), set->data().end()}, set->data().size()};
    return {};
}
// Every bubble the view shows is a point set of exactly the cells of the
// nodes it shows in it.
inline void expectBubblesHoldTheirNodes(UI_SpadeWidget* view, MCV_DerivedDataClusters* clusters) {
    for (const QString& bubble : QString::fromStdString(bubbles(view)).split(' ', Qt::SkipEmptyParts)) {
        std::vector<int> nodes;
        for (const QString& i : bubble.section(':', 1).split('+')) nodes.push_back(i.toInt());
        const std::set<std::pair<int, int>> cells = cellsOf(clusters, nodes);
        EXPECT_EQ(pointSetCells(bubble.section(':', 0, 0).toStdString()), std::make_pair(cells, cells.size()))
            << bubble.toStdString();
    }
}

// The rows of every variable of these events, as loaded, sorted.
inline std::vector<std::vector<float>> rowsOf(const std::set<std::pair<int, int>>& events) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    const size_t width = static_cast<size_t>(data->combinedHeader()->numVariables());
    std::vector<std::vector<float>> rows;
    for (const std::pair<int, int>& p : events) {
        const float* row = data->rawData(p.first) + static_cast<size_t>(p.second) * width;
        rows.emplace_back(row, row + width);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}
// Rows of all variables one after the other (as an FCS file's DATA), sorted.
inline std::vector<std::vector<float>> rowsOf(const std::vector<float>& values) {
    const size_t width = static_cast<size_t>(MCV_CytometryData::Instance()->combinedHeader()->numVariables());
    std::vector<std::vector<float>> rows;
    for (size_t at = 0; at + width <= values.size(); at += width)
        rows.emplace_back(values.begin() + static_cast<long>(at), values.begin() + static_cast<long>(at + width));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// `file` is an FCS file of exactly these cells.
inline void expectFileHolds(const QString& file, const std::set<std::pair<int, int>>& cells) {
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << file.toStdString();
    const StrictFcs fcs = StrictFcs::parse(written.readAll().toStdString());
    ASSERT_TRUE(fcs.ok) << fcs.error;
    EXPECT_EQ(fcs.number("$TOT"), static_cast<int64_t>(cells.size())) << file.toStdString();
    EXPECT_EQ(rowsOf(fcs.values), rowsOf(cells)) << file.toStdString();
}

// "Save Bubble ..." in the label menu of the view's first bubble writes
// exactly these cells to `file`.
inline void expectSavedFromTheLabel(UI_SpadeWidget* view, const QString& file,
                                    const std::set<std::pair<int, int>>& cells) {
    UI_ModalDialogs::answerSaveFile(file);
    page(view, "d3.contextMenu('close'); deselectAllNodes()");
    rightClickFirstLabel(view);
    clickMenuItem(view, "Save Bubble ...");
    expectFileHolds(file, cells);
}

}  // namespace spadepage
