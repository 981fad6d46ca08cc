// A focus-and-context map through the real window as a user goes: Ctrl+Shift+F,
// Compute, a box over a third of the map, "Set focus and differentiate.",
// Ctrl+A, then the plot's density clusters; on "All Points" and on a
// down-sampled input. The focus's fine landmarks and the context's coarse
// ones stand for many of the same events; the shared selection, its
// statistics and the cluster set hold each event once.
#include "../data/StrictFcsReader.h"
#include "FocusContextSupport.h"
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "render/MCV_PointRenderer.h"
#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

namespace {

using Event = std::pair<int, int>;

constexpr int kFiles = 2;
constexpr int kEvents = 1500;

class FocusContextSelection : public ShellTest {
protected:
    QString blobs(const QString& name, int seed) {
        return QString::fromStdString(FcsTestFile::floats(touchingBlobs(kEvents, seed)).write(dir, name.toStdString()));
    }

    // The events the landmark of embedding point i stands for.
    const MCV_DerivedDataHierarchy::PointList& listOf(unsigned i) {
        const MCV_HsneFCAnalysis::PointNode& p = fc->pointNodes()->at(i);
        return *fc->hierarchy()->pointBasedHierarchyForLandmark(
            {p.first->scale, p.first->landmarkIdxs.at(static_cast<size_t>(p.second))});
    }

    // Compute, then a box from the left edge over the points drawn furthest
    // left, `share` of them, made the focus with "Set focus and
    // differentiate.": the map holds a focus and a context.
    void computeAndFocusOnTheLeft(UI_HsneFCSettingsWidget* panel, UI_HsneFCWidget* view, double share) {
        quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        UI_ScatterplotWidget* plot = view->plot();
        const size_t wanted = boxOverTheLeft(plot, *fc->output(), share);
        ASSERT_GE(plot->selectionIdxs()->size(), wanted * 3 / 4);
        ASSERT_LE(plot->selectionIdxs()->size(), wanted * 3 / 2);
        pickFromPlotMenu(plot, "Set focus and differentiate.");
        size_t contexts = 0;
        for (const MCV_FCTree::NodePtr& leaf : *fc->fcTree()->leaves()) contexts += !leaf->isFocus();
        ASSERT_GE(contexts, 1u) << "the map was split into a focus and a context";
    }

    // Compute, a box over the left third of the plot made the focus, Ctrl+A:
    // the shared selection is every event on the map once, and its
    // statistics are those of these events.
    void focusAndSelectAll(UI_HsneFCSettingsWidget* panel, UI_HsneFCWidget* view) {
        computeAndFocusOnTheLeft(panel, view, 1.0 / 3);
        if (HasFatalFailure()) return;
        UI_ScatterplotWidget* plot = view->plot();

        testing::internal::CaptureStderr();  // the view's line for an event it is given twice
        QTest::keyClick(plot, Qt::Key_A, Qt::ControlModifier);
        const std::string console = testing::internal::GetCapturedStderr();
        ASSERT_EQ(plot->selectionIdxs()->size(), static_cast<size_t>(fc->numDataPoints()));

        // The reference: every event that a point's landmark stands for.
        std::set<Event> onTheMap;
        size_t entries = 0;
        for (unsigned i = 0; i < static_cast<unsigned>(fc->numDataPoints()); ++i) {
            onTheMap.insert(listOf(i).begin(), listOf(i).end());
            entries += listOf(i).size();
        }
        ASSERT_GT(entries, onTheMap.size()) << "the leaves list some events more than once";
        MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
        const std::vector<Event>& selected = shared->data();
        EXPECT_EQ(selected.size(), onTheMap.size());
        EXPECT_EQ(std::set<Event>(selected.begin(), selected.end()), onTheMap);
        EXPECT_EQ(console.find("double entry"), std::string::npos) << console;

        // Selection Statistics: the mean of each marker over the distinct events.
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        const size_t width = static_cast<size_t>(data->combinedHeader()->numVariables());
        const std::vector<float>& mean = shared->meanExpression();
        ASSERT_EQ(mean.size(), width);
        for (size_t v = 0; v < 3; ++v) {
            double sum = 0;
            for (const Event& e : onTheMap) sum += data->rawData(e.first)[static_cast<size_t>(e.second) * width + v];
            EXPECT_NEAR(mean[v], sum / static_cast<double>(onTheMap.size()), 1e-4) << "marker " << v;
        }
    }

    // The plot's density clusters: each event of their points in one
    // cluster, that of the point of the lowest scale standing for it (the
    // first such cluster among equals).
    void densityClustersArePartitions(UI_HsneFCWidget* view) {
        UI_ScatterplotWidget* plot = view->plot();
        plot->settingsPanel()->setMode(1);
        QPushButton* button = childWithText<QPushButton>(plot->settingsPanel(), "Cluster");
        ASSERT_NE(button, nullptr);
        quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
        plot->settingsPanel()->setMode(0);
        MCV_DerivedDataClusters* set = nullptr;
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (s->name() == "Density Clusters - F") set = s;
        ASSERT_NE(set, nullptr);
        ASSERT_GE(set->numClusters(), 2);
        const std::vector<std::vector<unsigned>>& points = set->landmarkClusters();
        ASSERT_EQ(points.size(), set->clusters().size());
        std::map<Event, std::pair<int, size_t>> owner;  // event: (scale, cluster)
        for (size_t k = 0; k < points.size(); ++k)
            for (unsigned i : points[k]) {
                const std::pair<int, size_t> key{fc->pointNodes()->at(i).first->scale, k};
                for (const Event& e : listOf(i)) {
                    const auto [it, added] = owner.emplace(e, key);
                    if (!added && key < it->second) it->second = key;
                }
            }
        std::map<Event, size_t> cluster;
        size_t wrong = 0, twice = 0;
        for (size_t k = 0; k < points.size(); ++k)
            for (const Event& e : set->clusters()[k]) {
                twice += !cluster.emplace(e, k).second;
                wrong += !owner.count(e) || owner.at(e).second != k;
            }
        EXPECT_EQ(std::make_tuple(twice, wrong, cluster.size()), std::make_tuple(size_t(0), size_t(0), owner.size()))
            << "events in two clusters or twice in one, events in another cluster than the rule's, events";
    }

    // The window with two files of blobs and the analysis "F" of 3 scales,
    // on the CPU with a fixed seed: the same map on every run.
    void openAnalysis(UI_HsneFCSettingsWidget*& panel, UI_HsneFCWidget*& view) {
        showPlotWindow({1400, 1000});
        open({blobs("blobs_1.fcs", 0), blobs("blobs_2.fcs", 1)});
        ASSERT_EQ(MCV_CytometryData::Instance()->numFiles(), kFiles);
        UI_ModalDialogs::answerText("F");
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+F"));
        panel = qobject_cast<UI_HsneFCSettingsWidget*>(w().settingsPanels().back());
        view = qobject_cast<UI_HsneFCWidget*>(w().views().back());
        fc = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses().back());
        ASSERT_TRUE(panel && view && fc);
        panel->numScalesBox()->setValue(3);
        QCheckBox* gpu = widgetBeside<QCheckBox>(panel, "GPU Acceleration");
        ASSERT_NE(gpu, nullptr);
        if (gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
        fc->setSeed(5);
        fc->setIterations(150);
    }

    // The plot's density clusters ("Cluster" in the plot's clustering mode).
    MCV_DerivedDataClusters* densityClusters(UI_ScatterplotWidget* plot) {
        plot->settingsPanel()->setMode(1);
        QPushButton* button = childWithText<QPushButton>(plot->settingsPanel(), "Cluster");
        if (!button) return nullptr;
        quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
        plot->settingsPanel()->setMode(0);
        MCV_DerivedDataClusters* set = nullptr;
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (s->name() == plot->pointRenderer()->meanShiftClustersName()) set = s;
        return set;
    }

    // "Save Clusters ..." from the plot's menu into `file`: each cluster's
    // file holds its events, each at the position of the point of the finest
    // landmark standing for it (the first such point), a point of that
    // cluster; with `split`, the first cluster's events lie left of it and the
    // others' right of it.
    void savedAtTheirOwnLandmarks(UI_ScatterplotWidget* plot, MCV_DerivedDataClusters* set, const QString& file,
                                  const float* split) {
        UI_ModalDialogs::answerSaveFile(dir.filePath(file));
        pickFromPlotMenu(plot, "Save Clusters ...");
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        const std::vector<std::string> files =
            data->clusterFileNames(set->name(), dir.filePath(file).toStdString(), false);
        ASSERT_EQ(files.size(), set->clusters().size());
        std::map<Event, std::pair<int, unsigned>> owner;  // event: (scale, point)
        for (unsigned i = 0; i < static_cast<unsigned>(fc->numDataPoints()); ++i)
            for (const Event& e : listOf(i)) {
                const std::pair<int, unsigned> key{fc->pointNodes()->at(i).first->scale, i};
                const auto [it, added] = owner.emplace(e, key);
                if (!added && key < it->second) it->second = key;
            }
        const std::vector<float>& xy = *fc->output();
        for (size_t k = 0; k < files.size(); ++k) {
            SCOPED_TRACE(files[k]);
            QFile f(QString::fromStdString(files[k]));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            const StrictFcs fcs = StrictFcs::parse(f.readAll().toStdString());
            ASSERT_TRUE(fcs.ok) << fcs.error;
            const std::vector<Event>& events = set->clusters()[k];
            ASSERT_EQ(fcs.number("$TOT"), static_cast<int64_t>(events.size()));
            const auto width = static_cast<size_t>(fcs.number("$PAR"));
            size_t x = width, y = width;
            for (size_t p = 0; p < width; ++p) {
                const std::string name = fcs.get("$P" + std::to_string(p + 1) + "N");
                if (name == "QLMRN_HsneDataX") x = p;
                if (name == "QLMRN_HsneDataY") y = p;
            }
            ASSERT_TRUE(x < width && y < width);
            const std::vector<unsigned>& points = set->landmarkClusters()[k];
            const std::set<unsigned> own(points.begin(), points.end());
            size_t elsewhere = 0, notAtItsLandmark = 0, wrongSide = 0;
            for (size_t r = 0; r < events.size(); ++r) {
                const float fx = fcs.values[r * width + x], fy = fcs.values[r * width + y];
                const auto it = owner.find(events[r]);
                ASSERT_NE(it, owner.end());
                const unsigned i = it->second.second;
                elsewhere += !own.count(i);
                notAtItsLandmark += fx != xy[2 * i] || fy != xy[2 * i + 1];
                if (split) wrongSide += k == 0 ? !(fx < *split) : !(fx >= *split);
            }
            EXPECT_EQ(std::make_tuple(elsewhere, notAtItsLandmark, wrongSide),
                      std::make_tuple(size_t(0), size_t(0), size_t(0)))
                << "of " << events.size()
                << " events: whose landmark is in another cluster, not at their landmark's position, on the other "
                   "side of the split";
        }
    }

    MCV_HsneFCAnalysis* fc = nullptr;
};

TEST_F(FocusContextSelection, CtrlAAfterAFocusSelectsEachEventOnceAndDensityClustersShareNone) {
    UI_HsneFCSettingsWidget* panel = nullptr;
    UI_HsneFCWidget* view = nullptr;
    openAnalysis(panel, view);
    ASSERT_FALSE(HasFatalFailure());

    {
        SCOPED_TRACE("All Points");
        focusAndSelectAll(panel, view);
        densityClustersArePartitions(view);
    }
    {
        SCOPED_TRACE("down-sampled");
        QTest::mouseClick(childWithText<QPushButton>(panel, "Downsampling ..."), Qt::LeftButton);
        UI_SelectiveDownsamplingWidget* dock = panel->downsampling();
        for (int f = 0; f < kFiles; ++f) dock->countsTable()->item(f, 2)->setText("600");
        QTest::mouseClick(childWithText<QPushButton>(dock, "Downsample"), Qt::LeftButton);
        ASSERT_EQ(fc->dataSelection()->data().size(), size_t(kFiles * 600));
        // The same number of events from a fixed draw: "Downsample" draws
        // anew on every run, and the map must not depend on it.
        std::vector<Event> fixed;
        std::mt19937 draw(5);
        for (int f = 0; f < kFiles; ++f) {
            std::vector<int> events(kEvents);
            std::iota(events.begin(), events.end(), 0);
            std::shuffle(events.begin(), events.end(), draw);
            events.resize(600);
            std::sort(events.begin(), events.end());
            for (int e : events) fixed.emplace_back(f, e);
        }
        fc->dataSelection()->setPoints(fixed, true);
        panel->numScalesBox()->setValue(3);
        focusAndSelectAll(panel, view);
        densityClustersArePartitions(view);
    }
}

// "Save Clusters ..." after a focus: 3 scales, the left 30 % of the map made
// the focus with "Set focus and differentiate.", then the plot's density
// clusters, and a cluster set of the map's two halves split at the median x,
// each saved from the plot's menu. An event that a focus landmark and a
// context landmark both stand for is in the cluster of the finer one and is
// written at that landmark's position: in the left half's file every event
// lies left of the split.
TEST_F(FocusContextSelection, SavedClustersHoldEachEventAtTheLandmarkOfItsOwnCluster) {
    UI_HsneFCSettingsWidget* panel = nullptr;
    UI_HsneFCWidget* view = nullptr;
    openAnalysis(panel, view);
    ASSERT_FALSE(HasFatalFailure());
    computeAndFocusOnTheLeft(panel, view, 0.3);
    ASSERT_FALSE(HasFatalFailure());
    UI_ScatterplotWidget* plot = view->plot();
    MCV_DerivedDataClusters* set = densityClusters(plot);
    ASSERT_NE(set, nullptr);
    ASSERT_GE(set->numClusters(), 2);
    {
        SCOPED_TRACE("density clusters");
        savedAtTheirOwnLandmarks(plot, set, "density.fcs", nullptr);
    }

    // The same set made the map's two halves, as a clustering of the map
    // would give them.
    const std::vector<float>& xy = *fc->output();
    std::vector<float> xs;
    for (size_t i = 0; 2 * i < xy.size(); ++i) xs.push_back(xy[2 * i]);
    std::nth_element(xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(xs.size() / 2), xs.end());
    const float split = xs[xs.size() / 2];
    std::vector<std::vector<unsigned>> halves(2);
    for (unsigned i = 0; 2 * i < xy.size(); ++i) halves[xy[2 * i] < split ? 0 : 1].push_back(i);
    const std::string suffix = " - " + fc->name();
    ASSERT_GT(set->name().size(), suffix.size());
    ASSERT_EQ(set->name().substr(set->name().size() - suffix.size()), suffix);
    ASSERT_EQ(fc->updateClusters(&halves, set->name().substr(0, set->name().size() - suffix.size())), set);
    std::set<Event> listedRight;
    for (unsigned i : halves[1]) listedRight.insert(listOf(i).begin(), listOf(i).end());
    size_t shared = 0;
    for (const Event& e : set->clusters()[0]) shared += listedRight.count(e);
    ASSERT_GT(shared, 0u) << "no event of the left half is listed right of the split too";
    {
        SCOPED_TRACE("halves");
        savedAtTheirOwnLandmarks(plot, set, "halves.fcs", &split);
    }
}

}  // namespace
