// Statistics of the columns an analysis adds: a selection or a cluster set
// made before an A-tSNE run shows the medians, means and deviations of the
// embedding coordinates the run wrote, never numbers it did not compute (the
// zeros the columns held before the run).
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"
#include "ui/PageTestSupport.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_TextFormat.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using Events = std::vector<std::pair<int, int>>;

class StatisticsOfAddedColumns : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow(QSize(1500, 1000));
    }
    // Three blobs of 60 events over CD3, CD4 and CD8.
    QString blobFile() {
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0.0f, 0.4f);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < 180; ++e) {
            std::vector<float> row = {noise(random) + 1.0f, noise(random) + 1.0f, noise(random) + 1.0f};
            row[size_t(e % 3)] += 8.0f;
            rows.push_back(row);
        }
        FcsTestFile f = FcsTestFile::floats(rows);
        const char* names[] = {"CD3", "CD4", "CD8"};
        for (int v = 0; v < 3; ++v) f.set("$P" + std::to_string(v + 1) + "S", names[v]);
        return QString::fromStdString(f.write(dir, "blobs.fcs"));
    }
    // Ctrl+T's analysis: it adds QLMRN_TsneX and QLMRN_TsneY, filled with 0
    // until it runs.
    MCV_TsneAnalysis* newTsne() {
        UI_ModalDialogs::answerText("Run");
        trigger("actionNewTsneAnalysis");
        auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
        EXPECT_NE(tsne, nullptr);
        if (tsne) {
            tsne->setSeed(3);
            tsne->setIterations(200);
        }
        return tsne;
    }
    void compute() {
        auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels().back());
        ASSERT_NE(panel, nullptr);
        quietly([&] {
            QTest::mousePress(panel->computeTsneButton(), Qt::LeftButton);
            QTest::mouseRelease(panel->computeTsneButton(), Qt::LeftButton);
        });
    }
    // The values of variable v of `events`, read from the data set.
    static std::vector<float> valuesOf(const Events& events, int v) {
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        const size_t width = size_t(data->combinedHeader()->numVariables());
        std::vector<float> values;
        for (const auto& [f, e] : events) values.push_back(data->rawData(f)[size_t(e) * width + size_t(v)]);
        return values;
    }
    // Element floor(k / 2) of the sorted values.
    static float median(std::vector<float> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    static int column(const char* name) { return MCV_CytometryData::Instance()->combinedHeader()->variableIdx(name); }
};

TEST_F(StatisticsOfAddedColumns, RefreshShowsTheSelectionsStatisticsOfTheCoordinatesARunWrote) {
    open({blobFile()});
    // Two events selected before the analysis exists.
    const Events selected = {{0, 4}, {0, 97}};
    MCV_CytometryData::Instance()->selectionPoints()->setPoints(selected, true);
    MCV_TsneAnalysis* tsne = newTsne();
    ASSERT_NE(tsne, nullptr);
    auto* view = qobject_cast<UI_TsneWidget*>(w().views().back());
    ASSERT_NE(view, nullptr);
    UI_SelectionStatisticsWidget* statistics = view->plot()->selectionStatisticsPanel();
    QTableWidget* table = statistics->statisticsTable();
    ASSERT_EQ(table->columnCount(), 6) << "the panel of the new view shows the new columns";
    compute();
    ASSERT_EQ(tsne->numDataPoints(), 180);

    statistics->refreshPushButton()->click();
    for (int v = 0; v < 5; ++v) {
        const std::vector<float> values = valuesOf(selected, v);
        const float mean = (values[0] + values[1]) / 2;
        const float deviation = std::fabs(values[0] - values[1]) / 2;
        const QString name = table->horizontalHeaderItem(v + 1)->text();
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(table->item(0, v + 1)->text(), QString::asprintf("%.2f", double(median(values))));
        EXPECT_EQ(table->item(1, v + 1)->text(), QString::asprintf("%.2f", double(mean)));
        EXPECT_EQ(table->item(2, v + 1)->text(), QString::asprintf("%.2f", double(deviation)));
    }
    // The coordinates are the run's: far from the zeros they held before it.
    const int x = column("QLMRN_TsneX"), y = column("QLMRN_TsneY");
    ASSERT_EQ(std::make_pair(x, y), std::make_pair(3, 4));
    EXPECT_GT(std::fabs(valuesOf(selected, x)[0]) + std::fabs(valuesOf(selected, y)[1]), 0.1f);
    EXPECT_NE(table->item(1, x + 1)->text(), "0.00");
}

class HeatMapOfAddedColumns : public StatisticsOfAddedColumns {
protected:
    static QString js(UI_HeatMapWidget* dock, const QString& script) {
        return pagetest::js(dock->webView(), script).toString();
    }
    static void choose(UI_HeatMapWidget* dock, const QString& name) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return js(dock,
                      "[].some.call(document.getElementById('clusterSelector').options, "
                      "function (o) { return o.value === '" +
                          name + "'; })") == "true";
        }));
        js(dock, "var s = document.getElementById('clusterSelector'); s.value = '" + name +
                     "'; s.dispatchEvent(new Event('change'))");
    }
    // The medians the page holds, per cluster and variable.
    static QJsonArray shownMedians(UI_HeatMapWidget* dock) {
        return QJsonDocument::fromJson(
                   js(dock, "JSON.stringify(_data.nodes.map(function (c) { return c.expression; }))").toUtf8())
            .array();
    }
};

TEST_F(HeatMapOfAddedColumns, TheMediansOfTheCoordinatesARunWroteReachAnOpenHeatMapAndEveryLaterChoice) {
    open({blobFile()});
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataClusters* set = data->derivedDataClusters("Blobs", false);
    std::vector<MCV_DerivedDataClusters::PointList> clusters(3);
    for (int e = 0; e < 180; ++e) clusters[size_t(e % 3)].push_back({0, e});
    set->setClusters(clusters, nullptr, {}, nullptr);
    trigger("actionHeatMap");
    auto* heat = qobject_cast<UI_HeatMapWidget*>(w().views().back());
    ASSERT_NE(heat, nullptr);
    ASSERT_TRUE(pagetest::waitForPage(heat->webView()));
    choose(heat, "Blobs");
    ASSERT_EQ(js(heat, "_data.names.join()"), "CD3,CD4,CD8");

    // The set chosen again between creation and run: its medians of the new
    // columns are those of the zeros they hold then.
    MCV_TsneAnalysis* tsne = newTsne();
    ASSERT_NE(tsne, nullptr);
    choose(heat, "Blobs");
    ASSERT_EQ(js(heat, "_data.names.join()"), "CD3,CD4,CD8,QLMRN_TsneX,QLMRN_TsneY");
    set->select({1});
    compute();
    ASSERT_EQ(tsne->numDataPoints(), 180);

    auto expectShownMediansOfNow = [&] {
        const QJsonArray shown = shownMedians(heat);
        ASSERT_EQ(shown.size(), 3);
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 5; ++v)
                EXPECT_NEAR(shown[c].toArray()[v].toDouble(), median(valuesOf(clusters[size_t(c)], v)), 1e-5)
                    << c << " " << v;
    };
    // The open page has the run's medians without being asked, and keeps the
    // set's cluster selection.
    EXPECT_EQ(js(heat, "_data.names.join()"), "CD3,CD4,CD8,QLMRN_TsneX,QLMRN_TsneY");
    expectShownMediansOfNow();
    EXPECT_EQ(js(heat, "_selection.join()"), "0,1,0");
    float spread = 0;
    for (int c = 0; c < 3; ++c) spread += std::fabs(median(valuesOf(clusters[size_t(c)], column("QLMRN_TsneX"))));
    EXPECT_GT(spread, 0.1f) << "the blobs lie apart in the embedding";
    // Chosen once more, and in the median table: the same.
    choose(heat, "Blobs");
    expectShownMediansOfNow();
    const std::string row = "\n1," + MCV_TextFormat::fixed6(median(valuesOf(clusters[0], 0))) + ",";
    const std::string& csv = set->csvString();
    const size_t at = csv.find(row);
    ASSERT_NE(at, std::string::npos) << csv;
    const std::string line = csv.substr(at + 1, csv.find('\n', at + 1) - at - 1);
    EXPECT_EQ(line.substr(line.rfind(',') + 1), MCV_TextFormat::fixed6(median(valuesOf(clusters[0], 4))))
        << "the last column is QLMRN_TsneY's median";
}

}  // namespace
