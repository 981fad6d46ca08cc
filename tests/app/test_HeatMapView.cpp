// "HeatMap View" in the real main window: every use opens a dock of its own,
// and on a real A-tSNE run the heat map of the plot's density clusters shows
// their medians, shares selections with the plot both ways, merges and
// renames.
#include "ShellTestSupport.h"
#include "support/Pixels.h"
#include "support/WidgetFinders.h"
#include "ui/PageSettling.h"
#include "ui/PageTestSupport.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_Settings.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

#include <algorithm>
#include <random>

namespace {

class HeatMapView : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        setApplicationSurfaceFormat();
        w().resize(1500, 1000);
        showWindow();
    }
    void TearDown() override {
        ShellTest::TearDown();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
    }

    // Opens a heat map with Ctrl+Shift+H and waits for its page.
    UI_HeatMapWidget* openHeatMap() {
        QApplication::setActiveWindow(&w());
        QTest::keyClick(&w(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        auto* dock = qobject_cast<UI_HeatMapWidget*>(w().views().back());
        EXPECT_NE(dock, nullptr);
        if (dock) {
            EXPECT_TRUE(pagetest::waitForPage(dock->webView()));
        }
        return dock;
    }
    // Waits until the page's transitions have ended and the rename dialog's
    // overlay is gone, if it was shown.
    static void settle(UI_HeatMapWidget* dock) {
        ASSERT_TRUE(pagetest::waitUntilSettled(dock->webView(), "_renameHideTimer === null"))
            << "the page never settles";
    }
    static QString js(UI_HeatMapWidget* dock, const QString& script) {
        return pagetest::js(dock->webView(), script).toString();
    }
    static QJsonValue value(UI_HeatMapWidget* dock, const QString& expression) {
        return QJsonDocument::fromJson(js(dock, "JSON.stringify([" + expression + "])").toUtf8()).array().at(0);
    }
    static QString literal(const QString& text) {
        const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(a.mid(1, a.size() - 2));
    }
    // Chooses `name` in the page's selector once the dock has listed it.
    static void choose(UI_HeatMapWidget* dock, const QString& name) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return js(dock,
                      "[].some.call(document.getElementById('clusterSelector').options, "
                      "function (o) { return o.value === " +
                          literal(name) + "; })") == "true";
        }));
        js(dock, "var s = document.getElementById('clusterSelector'); s.value = " + literal(name) +
                     "; s.dispatchEvent(new Event('change'))");
    }
    // Centre of the element that the script expression names, in view pixels.
    static QPoint elementCentre(UI_HeatMapWidget* dock, const QString& element) {
        const QJsonArray r = value(dock, "(function (b) { return [b.left + b.width / 2, b.top + b.height / 2]; })(" +
                                             element + ".getBoundingClientRect())")
                                 .toArray();
        return QPoint(qRound(r[0].toDouble()), qRound(r[1].toDouble()));
    }
    static QPoint centre(UI_HeatMapWidget* dock, const QString& selector) {
        return elementCentre(dock, "document.querySelector(" + literal(selector) + ")");
    }
    static void click(UI_HeatMapWidget* dock, const QString& selector, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(dock->webView(), Qt::LeftButton, modifiers, centre(dock, selector));
    }
};

TEST_F(HeatMapView, EveryUseOpensADockOfItsOwnThatFollowsItsOwnSet) {
    open({makeFile("cells.fcs", 30, 3)});
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataClusters* sets[2] = {data->derivedDataClusters("A", false), data->derivedDataClusters("B", false)};
    for (MCV_DerivedDataClusters* set : sets) set->setClusters({{{0, 0}, {0, 1}}, {{0, 2}}}, nullptr, {}, nullptr);
    const size_t views = w().views().size();
    trigger("actionHeatMap");
    trigger("actionHeatMap");
    ASSERT_EQ(w().views().size(), views + 2);
    UI_HeatMapWidget* docks[2];
    for (int i = 0; i < 2; ++i) {
        docks[i] = qobject_cast<UI_HeatMapWidget*>(w().views()[views + size_t(i)]);
        ASSERT_NE(docks[i], nullptr);
        EXPECT_EQ(docks[i]->windowTitle(), "HeatMap View");
        EXPECT_EQ(w().dockWidgetArea(docks[i]), Qt::RightDockWidgetArea);
        EXPECT_TRUE(docks[i]->visibilityFlag());
        ASSERT_TRUE(pagetest::waitForPage(docks[i]->webView()));
        choose(docks[i], i == 0 ? "A" : "B");
        EXPECT_EQ(docks[i]->currentSet(), sets[i]);
    }

    for (int changed = 0; changed < 2; ++changed) {
        QSignalSpy data0(docks[0], &UI_HeatMapWidget::qt_setData), data1(docks[1], &UI_HeatMapWidget::qt_setData);
        QSignalSpy selection0(docks[0], &UI_HeatMapWidget::qt_setSelection),
            selection1(docks[1], &UI_HeatMapWidget::qt_setSelection);
        std::vector<unsigned> landmarks;
        sets[changed]->setClusterName(1, "renamed");
        sets[changed]->selectCluster(1, false, landmarks);
        EXPECT_EQ(data0.size(), changed == 0 ? 1 : 0);
        EXPECT_EQ(data1.size(), changed == 1 ? 1 : 0);
        EXPECT_EQ(selection0.size(), changed == 0 ? 1 : 0);
        EXPECT_EQ(selection1.size(), changed == 1 ? 1 : 0);
        EXPECT_EQ(js(docks[changed], "document.getElementById('subsetLabel1').textContent"), "renamed");
    }
}

// Three blobs of 60 events, each high in one of CD3, CD4 and CD8.
class HeatMapOfAnEmbedding : public HeatMapView {
protected:
    QString blobFile() {
        std::mt19937 random(5);
        std::normal_distribution<float> noise(0.0f, 0.4f);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < 180; ++e) {
            std::vector<float> row = {noise(random) + 1.0f, noise(random) + 1.0f, noise(random) + 1.0f,
                                      noise(random) + 2.0f};
            row[size_t(e % 3)] += 8.0f + float(e % 3);
            rows.push_back(row);
        }
        FcsTestFile f = FcsTestFile::floats(rows);
        const char* names[] = {"CD3", "CD4", "CD8", "CD19"};
        for (int v = 0; v < 4; ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
        return QString::fromStdString(f.write(dir, "blobs.fcs"));
    }
    // Where point p of the plot is drawn in an image of the plot: a centred
    // square, one scale for both axes (see the point renderer).
    QPointF inImage(const std::vector<float>& xy, size_t p, QSize size) {
        float lo = 0, hi = 0;
        for (float v : xy) lo = std::min(lo, v), hi = std::max(hi, v);
        if (lo < 0) hi = std::max(hi, -lo), lo = -hi;
        const double side = std::min(size.width(), size.height());
        const double x = (xy[2 * p] - lo) / (hi - lo) * 0.8 + 0.1, y = (xy[2 * p + 1] - lo) / (hi - lo) * 0.8 + 0.1;
        return {(size.width() - side) / 2 + x * side, (size.height() - side) / 2 + (1 - y) * side};
    }
};

TEST_F(HeatMapOfAnEmbedding, ShowsTheClustersMediansSharesSelectionsMergesAndRenames) {
    // ---- An A-tSNE run and the plot's density clusters ----
    UI_ModalDialogs::answerText("Heat Run");
    open({blobFile()}, [](QDialog* d) {
        childWithText<QCheckBox>(d, "Add Unique Sample Tag as Channel.")->click();
        d->findChild<QPushButton*>("importButton2")->click();  // "Start A-tSNE"
        return d->result();
    });
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses()[0]);
    auto* view = qobject_cast<UI_TsneWidget*>(w().views()[0]);
    auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]);
    ASSERT_TRUE(tsne && view && panel);
    tsne->setSeed(3);
    tsne->setIterations(400);
    UI_ScatterplotWidget* plot = view->plot();
    QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
    QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
    ASSERT_EQ(tsne->numDataPoints(), 180);
    plot->settingsPanel()->setMode(1);  // the overlay's clustering page
    QPushButton* clusterButton = childWithText<QPushButton>(plot->settingsPanel(), "Cluster");
    ASSERT_NE(clusterButton, nullptr);
    QTest::mouseClick(clusterButton, Qt::LeftButton);
    plot->settingsPanel()->setMode(0);  // back to the points, where selections show
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataClusters* set = nullptr;
    for (MCV_DerivedDataClusters* s : data->derivedDataClusters())
        if (s->name() == "Density Clusters - Heat Run") set = s;
    ASSERT_NE(set, nullptr);
    const int n = set->numClusters();
    ASSERT_GE(n, 3);

    // ---- Ctrl+Shift+H, the set chosen on the page ----
    UI_HeatMapWidget* heat = openHeatMap();
    ASSERT_NE(heat, nullptr);
    choose(heat, "Density Clusters - Heat Run");
    ASSERT_EQ(heat->currentSet(), set);
    ASSERT_EQ(js(heat, "document.querySelectorAll('g.column').length"), QString::number(n));
    // The rows are the measured markers: the plot's coordinates and the
    // sample tag would set the colours and decide the dendrogram.
    ASSERT_EQ(js(heat, "_data.names.join()"), "CD3,CD4,CD8,CD19,QLMRN_ST,QLMRN_TsneX,QLMRN_TsneY");
    EXPECT_EQ(js(heat, "selectedMarkerIndices().map(function (m) { return _data.names[m]; }).join()"),
              "CD3,CD4,CD8,CD19");

    // Cells are the medians: element floor(k / 2) of a cluster's sorted values.
    const int width = data->combinedHeader()->numVariables();
    std::vector<std::vector<double>> medians(size_t(n), std::vector<double>(size_t(width), 0.0));
    const QJsonArray shown = value(heat, "_data.nodes.map(function (c) { return c.expression; })").toArray();
    for (int c = 0; c < n; ++c)
        for (int v = 0; v < width; ++v) {
            std::vector<float> values;
            for (const auto& [f, e] : set->clusters()[size_t(c)])
                values.push_back(data->rawData(f)[size_t(e) * size_t(width) + size_t(v)]);
            std::sort(values.begin(), values.end());
            medians[size_t(c)][size_t(v)] = values[values.size() / 2];
            EXPECT_NEAR(shown[c].toArray()[v].toDouble(), values[values.size() / 2], 1e-6) << c << " " << v;
        }

    // The drawn cells in Viridis: the lowest median #440154, the highest
    // #FDE725, and the colours in between in the order of their medians.
    settle(heat);
    const QImage page = heat->webView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::vector<std::pair<double, QRgb>> cells;
    for (const QJsonValue& m : value(heat, "selectedMarkerIndices()").toArray())
        for (int c = 0; c < n; ++c) {
            const QPoint at = elementCentre(
                heat, QString("d3.select('#cluster%1').selectAll('rect.cellPaint').nodes()[%2]").arg(c).arg(m.toInt()));
            cells.push_back({medians[size_t(c)][size_t(m.toInt())], page.pixel(at)});
        }
    std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_GE(cells.size(), size_t(2 * n));
    EXPECT_TRUE(rgbNear(cells.front().second, qRgb(0x44, 0x01, 0x54), 2)) << std::hex << cells.front().second;
    EXPECT_TRUE(rgbNear(cells.back().second, qRgb(0xFD, 0xE7, 0x25), 2)) << std::hex << cells.back().second;
    for (size_t i = 1; i < cells.size(); ++i) EXPECT_GE(qGreen(cells[i].second) + 2, qGreen(cells[i - 1].second)) << i;

    // ---- A column click halos that cluster's points, no others ----
    const std::vector<std::pair<int, int>>& refs = *tsne->pointReferences();
    auto clusterOf = [&](size_t p) {
        for (int c = 0; c < n; ++c) {
            const auto& members = set->clusters()[size_t(c)];
            if (std::find(members.begin(), members.end(), refs[p]) != members.end()) return c;
        }
        return -1;
    };
    const QImage before = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    click(heat, "#cluster1 rect.cellPaint");
    for (size_t p = 0; p < refs.size(); ++p) ASSERT_EQ(view->selectionFlags()[p] != 0, clusterOf(p) == 1) << p;
    const QImage after = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    int changed = 0, nearCluster = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            if (rgbNear(before.pixel(x, y), after.pixel(x, y), 8)) continue;
            ++changed;
            size_t nearest = 0;
            double best = 1e30;
            for (size_t p = 0; p < refs.size(); ++p) {
                const QPointF d = inImage(*tsne->output(), p, after.size()) - QPointF(x, y);
                if (QPointF::dotProduct(d, d) < best) best = QPointF::dotProduct(d, d), nearest = p;
            }
            nearCluster += clusterOf(nearest) == 1;
        }
    EXPECT_GT(changed, 20);
    EXPECT_GE(nearCluster, changed * 95 / 100) << nearCluster << " of " << changed;

    // ---- A cluster clicked in the plot marks its column ----
    size_t point = 0;
    while (clusterOf(point) != 2) ++point;
    const QPointF at =
        inImage(*tsne->output(), point, plot->size() * plot->devicePixelRatio()) / plot->devicePixelRatio();
    QTest::mouseClick(plot, Qt::LeftButton, {}, at.toPoint());
    std::vector<int> oneHot(size_t(n), 0);
    oneHot[2] = 1;
    QStringList expected;
    for (int f : oneHot) expected << QString::number(f);
    EXPECT_EQ(js(heat, "_selection.join()"), expected.join(","));
    settle(heat);
    EXPECT_EQ(js(heat, "d3.selectAll('g.columnSelect line.selected').size()"), "4");
    EXPECT_NEAR(
        value(heat, "+/translate\\(([-0-9.e]+)/.exec(d3.select('g.columnSelect').attr('transform'))[1]").toDouble(),
        value(heat, "+/translate\\(([-0-9.e]+)/.exec(d3.select('#cluster2').attr('transform'))[1]").toDouble(), 0.01);

    // ---- Merging two columns leaves n - 1 ----
    click(heat, "#cluster0 rect.cellPaint");
    click(heat, "#cluster1 rect.cellPaint", Qt::ShiftModifier);
    const QPoint menuAt = centre(heat, "#cluster0 rect.cellPaint");
    QContextMenuEvent menu(QContextMenuEvent::Mouse, menuAt, heat->webView()->mapToGlobal(menuAt));
    QApplication::sendEvent(heat->webView(), &menu);
    click(heat, ".d3-context-menu li:first-child");
    EXPECT_EQ(set->numClusters(), n - 1);
    EXPECT_EQ(js(heat, "document.querySelectorAll('g.column').length"), QString::number(n - 1));

    // ---- Renaming: the name is shown as typed and travels as UTF-8 ----
    const QString name = QString::fromUtf8("CD4 \"na\xc3\xafve\" <T> & \xe7\xbb\x86\xe8\x83\x9e");
    click(heat, "#subsetLabel0");
    settle(heat);
    // Typed through the input method, as text in other scripts arrives.
    QTest::keyClick(heat->webView(), Qt::Key_A, Qt::ControlModifier);
    QInputMethodEvent typed;
    typed.setCommitString(name);
    QApplication::sendEvent(heat->webView(), &typed);
    QTest::keyClick(heat->webView(), Qt::Key_Return);
    EXPECT_EQ(QString::fromStdString(set->clusterName(0)), name);
    EXPECT_EQ(js(heat, "document.getElementById('subsetLabel0').textContent"), name);
    EXPECT_EQ(js(heat,
                 "document.getElementById('subsetLabel0').childElementCount + ' ' + "
                 "document.querySelectorAll('#container T').length"),
              "0 0");
    UI_ModalDialogs::answerSaveFile(dir.filePath("medians.csv"));
    settle(heat);  // the dialog slides away and its overlay goes
    QContextMenuEvent again(QContextMenuEvent::Mouse, menuAt, heat->webView()->mapToGlobal(menuAt));
    QApplication::sendEvent(heat->webView(), &again);
    const QString entry = js(heat,
                             "[].map.call(document.querySelectorAll('.d3-context-menu li'), "
                             "function (li) { return li.textContent; }).indexOf('Save Heatmap as CSV ...') + 1");
    click(heat, ".d3-context-menu li:nth-child(" + entry + ")");
    QFile csv(dir.filePath("medians.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    // A quoted field, its quotes doubled.
    EXPECT_TRUE(csv.readAll().contains("\n\"" + name.toUtf8().replace("\"", "\"\"") + "\","));
}

}  // namespace
