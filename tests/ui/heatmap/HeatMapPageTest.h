#pragma once

// The heat map page in the real engine with a probe standing in for the dock:
// it is exposed as "Qt", emits the dock's signals and records every call the
// page makes. Choosing a set the probe knows answers with its JSON at once,
// as the dock does.

#include "data/readTextFile.h"
#include "ui/PageSettling.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_WebPageHost.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class HeatMapProbe : public QObject {
    Q_OBJECT
public:
    QMap<QString, QString> sets;  // name -> JSON sent when the page chooses it
    QStringList chosen, requests, debugLines;
    QList<QList<int>> selections, merges;
    QList<int> highlights;
    QList<QPair<int, QString>> renames;

signals:
    void qt_addAvailableData(QString name);
    void qt_setMarkerSelection(QList<int> selection);
    void qt_setData(QString data);
    void qt_setSelection(QList<int> selection);
    void qt_setHighlight(int highlightId);

public slots:
    void js_selectData(QString name) {
        chosen << name;
        if (sets.contains(name)) emit qt_setData(sets[name]);
    }
    void js_selectionUpdated(QList<int> selected) { selections << selected; }
    void js_highlightUpdated(int id) { highlights << id; }
    void js_mergeClusters(QList<int> selected) { merges << selected; }
    void js_setSubsetName(int idx, QString name) { renames << qMakePair(idx, name); }
    void js_saveSVG(QString) { requests << "svg"; }
    void js_saveCSV() { requests << "csv"; }
    void js_saveStatistics() { requests << "origins"; }
    void js_saveClusters(bool perSample) { requests << (perSample ? "fcs per sample" : "fcs"); }
    void js_debug(QString text) { debugLines << text; }
};

namespace heatmaptest {

// A cluster table as the data model writes it: `medians[c]` per cluster,
// deviations of 0.5.
inline QString clusterJson(const QStringList& markers, const QStringList& clusters,
                           const std::vector<std::vector<double>>& medians) {
    QJsonArray nodes;
    for (int c = 0; c < clusters.size(); ++c) {
        QJsonArray expression, stddev;
        for (double v : medians[size_t(c)]) {
            expression.append(v);
            stddev.append(0.5);
        }
        nodes.append(QJsonObject{{"name", clusters[c]}, {"size", 10}, {"expression", expression}, {"stddev", stddev}});
    }
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{"nodes", nodes}, {"names", QJsonArray::fromStringList(markers)}}).toJson());
}

// A script string literal of `text`.
inline QString quoted(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

class HeatMapPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        UI_WebPageHost::registerBridgeTypes();
        view = std::make_unique<QWebView>();
        view->resize(800, 600);
        QObject::connect(view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, &probe,
                         [this] { view->page()->mainFrame()->addToJavaScriptWindowObject("Qt", &probe); });
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        ASSERT_TRUE(
            pagetest::setHtmlAndWait(view.get(), readTextFile(":/heatmap/heatmap.html"), QUrl("qrc:/heatmap/")));
        ASSERT_EQ(js("typeof setData + typeof clusterTree + isQtAvailable").toString(), "functionfunctiontrue");
    }
    void TearDown() override {
        for (const QString& line : probe.debugLines) EXPECT_FALSE(line.startsWith("Error: ")) << line.toStdString();
        view.reset();
    }

    QVariant js(const QString& script) { return pagetest::js(view.get(), script); }
    QString text(const QString& script) { return js(script).toString(); }
    // The value of a script expression that JSON can carry.
    QJsonValue value(const QString& expression) {
        const QString json = text("JSON.stringify([" + expression + "])");
        return QJsonDocument::fromJson(json.toUtf8()).array().at(0);
    }
    std::vector<int> ints(const QString& expression) {
        std::vector<int> out;
        for (const QJsonValue& v : value(expression).toArray()) out.push_back(v.toInt());
        return out;
    }
    // The colours of cluster c's cells, "#rrggbb" per marker.
    QStringList fills(int c) {
        return text("d3.select('#cluster" + QString::number(c) +
                    "').selectAll('rect.cellPaint').nodes().map(function (r) { "
                    "var c = d3.rgb(getComputedStyle(r).fill); return '#' + [c.r, c.g, c.b].map(function (v) { "
                    "return ('0' + v.toString(16)).slice(-2); }).join(''); }).join(' ')")
            .split(' ');
    }
    // Top and height of cluster c's cells on the page, "top/height" per
    // marker, to a tenth of a pixel.
    QString cellBoxes(int c) {
        return text("d3.select('#cluster" + QString::number(c) +
                    "').selectAll('rect.cellPaint').nodes().map(function (r) { var b = r.getBoundingClientRect(); "
                    "return Math.round(b.top * 10) / 10 + '/' + Math.round(b.height * 10) / 10; }).join(' ')");
    }
    // Emits the JSON as the dock would.
    void show(const QString& json) { emit probe.qt_setData(json); }

    // Centre of the first element matching `selector`, in view pixels.
    QPoint centre(const QString& selector) {
        const QJsonArray r = value(
                                 "(function (e) { var b = e.getBoundingClientRect(); "
                                 "return [b.left + b.width / 2, b.top + b.height / 2]; })(document.querySelector(" +
                                 quoted(selector) + "))")
                                 .toArray();
        return QPoint(qRound(r.at(0).toDouble()), qRound(r.at(1).toDouble()));
    }
    void click(const QString& selector, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(view.get(), Qt::LeftButton, modifiers, centre(selector));
    }
    void press(const QString& selector) { QTest::mousePress(view.get(), Qt::LeftButton, {}, centre(selector)); }
    void key(Qt::Key k) {
        view->setFocus();
        QTest::keyClick(view.get(), k);
    }
    // Opens the page's context menu over `selector` and returns its entries
    // (dividers as "-").
    QStringList openMenu(const QString& selector) {
        const QPoint at = centre(selector);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
        QApplication::sendEvent(view.get(), &event);
        QStringList entries;
        for (const QJsonValue& v :
             value("[].map.call(document.querySelectorAll('.d3-context-menu li'), function (li) { "
                   "return li.classList.contains('is-divider') ? '-' : li.textContent; })")
                 .toArray())
            entries << v.toString();
        return entries;
    }
    // Clicks the open menu's entry with that text.
    void chooseFromMenu(const QString& entry) {
        const QString index = text(
            "[].map.call(document.querySelectorAll('.d3-context-menu li'), function (li) { "
            "return li.textContent; }).indexOf(" +
            quoted(entry) + ")");
        ASSERT_NE(index, "-1") << entry.toStdString();
        click(".d3-context-menu li:nth-child(" + QString::number(index.toInt() + 1) + ")");
    }
    // Waits until the drawing's transitions have ended, the slider has placed
    // its handles (on the next animation frame) and a closed rename dialog has
    // hidden its overlay.
    void settle() {
        ASSERT_TRUE(pagetest::waitUntilSettled(view.get(), "_renameHideTimer === null")) << "the page never settles";
    }

    HeatMapProbe probe;
    std::unique_ptr<QWebView> view;
};

}  // namespace heatmaptest
