// The HSNE analysis on the CPU engine: what a build reports and writes, the
// levels' loops and output, the point lists and drill-downs, and requests that
// reach the analysis from inside its own reports.
#include "HsneAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include "vel/dr/RandomStartPositions.h"

#include <omp.h>

#include <cmath>
#include <numeric>
#include <set>

namespace {

// 1,800 events of three blobs in two files, a hierarchy of three scales.
class HsneAnalysisRun : public HsneAnalysisTest {
protected:
    void SetUp() override {
        HsneAnalysisTest::SetUp();
        loadHsneBlobs(3, 600);
        makeHsne(3);
    }
    // Whether every event of each landmark's list holds the landmark's
    // coordinates, and each marker row is the row of its list's last event
    // (a landmark no event chose stands for nothing).
    bool eventsCarryPositions(MCV_HsneAnalysis* level) {
        const auto& out = *level->output();
        const int vars = numVariables();
        for (unsigned i = 0; i < static_cast<unsigned>(level->numDataPoints()); ++i) {
            const Points refs = eventsOf(level, i);
            for (const auto& [f, e] : refs)
                if (at(f, e, var("QLMRN_HsneDataX")) != out[2 * i] ||
                    at(f, e, var("QLMRN_HsneDataY")) != out[2 * i + 1])
                    return false;
            if (!refs.empty() && !std::equal(&at(refs.back().first, refs.back().second, 0),
                                             &at(refs.back().first, refs.back().second, 0) + vars,
                                             level->markers()->begin() + static_cast<std::ptrdiff_t>(i) * vars))
                return false;
        }
        return true;
    }
    // Output writes are announced as refreshes of the data selection.
    int writes() { return dataUi.count("dataRefreshed", allPoints()); }
};

TEST_F(HsneAnalysisRun, ABuildWritesItsLandmarksEventsAsDoDrillDownsAndRefusalsKeepWhatWasThere) {
    overview()->setIterations(1000);
    hsne->setUseGPU(true);  // no OpenGL without a GUI application: the CPU engine, with a line
    dataUi.clear();
    const std::string out = capturedStdout([&] { hsne->initHSNE(); });
    EXPECT_EQ(ui.folded(),
              (Reports{"analysesRemoved", "analysisInitialized", "analysisUpdated x1000", "analysisFinished"}));
    EXPECT_EQ(ui.removedNames, (std::vector<std::vector<std::string>>{{}}));
    EXPECT_EQ(writes(), 12);
    EXPECT_EQ(std::make_pair(overview()->scale(), overview()->numDataPoints()),
              std::make_pair(2, hsne->numLandmarksInScale(2)));
    EXPECT_TRUE(eventsCarryPositions(overview()));
    EXPECT_FALSE(overview()->gpuEngineActive());
    for (const char* line : {"runs on the CPU", "Initialzing HSNE.\n", "Data Prepared for HSNE.\n", ".. done!\n",
                             "HSNE: Computing gradient descent..[", "] iteration 1000/1000",
                             "HSNE: Finished embedding of H - Overview Level in: "})
        EXPECT_NE(out.find(line), std::string::npos) << line;

    // No iterations: the start and the end are still written.
    ui.clear();
    dataUi.clear();
    overview()->setIterations(0);
    quietly([&] { overview()->embed(); });
    EXPECT_EQ(ui.folded(), (Reports{"analysisFinished"}));
    EXPECT_EQ(writes(), 2);

    // Drill-downs write their landmarks' events; a rebuild drops them in order.
    const int top = overview()->numDataPoints();
    MCV_HsneAnalysis *a = nullptr, *b = nullptr;
    quietly([&] { (a = drill(overview(), blob(overview(), 1), "H - Level 2"))->embed(); });
    quietly([&] { (b = drill(a, {3, 0, 1, 2}, "H - Data Level"))->embed(); });
    EXPECT_EQ(b->scale(), 0);
    EXPECT_TRUE(eventsCarryPositions(a));
    EXPECT_TRUE(eventsCarryPositions(b));

    // A level over the scale-1 landmarks [40, 7, 19, 2], in that order:
    // position k writes the events of landmark k of the list.
    std::vector<unsigned> ids{40, 7, 19, 2};
    MCV_HsneAnalysis* listed = levels.emplace_back(std::make_unique<MCV_HsneAnalysis>(hsne.get())).get();
    listed->init(&ui, "listed", false);
    auto matrix = std::make_unique<MCV_HsneAnalysis::SparseMatrix>();
    hsne->hierarchy()->transitionMatrixForSelection(matrix.get(), 1, &ids);
    listed->reInit(1, std::move(matrix), std::make_unique<std::vector<unsigned>>(ids));
    listed->setHierarchy(hsne->hierarchy());
    listed->setIterations(0);
    quietly([&] { listed->embed(); });
    for (unsigned k = 0; k < 4; ++k)
        for (const auto& r : *hsne->hierarchy()->pointBasedHierarchyForLandmark({1, ids[k]}))
            EXPECT_EQ(at(r.first, r.second, var("QLMRN_HsneDataX")), (*listed->output())[2 * k]);

    // The rebuild reports the drill-downs by name, in opening order, and keeps
    // the overview only; the dropped levels still work on the old hierarchy.
    ui.clear();
    quietly([&] { hsne->initHSNE(); });
    EXPECT_EQ(ui.removedNames, (std::vector<std::vector<std::string>>{{"H - Level 2", "H - Data Level"}}));
    EXPECT_EQ(*hsne->analyses(), std::vector<MCV_HsneAnalysis*>{overview()});
    EXPECT_EQ(overview()->numDataPoints(), top);
    quietly([&] { b->embed(); });
    EXPECT_TRUE(eventsCarryPositions(b));

    // Refusals print a line and keep what was there: too few points, a
    // library error, a level of too few landmarks, missing output variables.
    const auto built = hsne->hierarchy();
    MCV_DerivedDataPoints* three = data->derivedDataPoints("three", false);
    three->setPoints({{0, 0}, {0, 1}, {1, 0}}, false);
    hsne->setActiveDataSelection(three);
    ui.clear();
    EXPECT_NE(capturedStdout([&] { hsne->initHSNE(); }).find("needs at least 4 points"), std::string::npos);
    EXPECT_EQ(hsne->hierarchy(), built);
    EXPECT_EQ(ui.folded(), (Reports{"analysisFinished"}));
    // An unknown kNN back end.
    hsne->setActiveDataSelection(allPoints());
    hsne->setKnnLibrary(static_cast<vel::utils::knn_library>(7));
    EXPECT_NE(capturedStdout([&] { hsne->initHSNE(); }).find("[ERROR] HSNE: H could not be computed"),
              std::string::npos);
    EXPECT_EQ(hsne->hierarchy(), built);

    ui.clear();
    EXPECT_NE(
        capturedStdout([&] { drill(overview(), {}, "tiny")->embed(); }).find("a level needs at least 4 landmarks"),
        std::string::npos);
    EXPECT_EQ(ui.folded(), (Reports{"analysisInitialized", "analysisFinished"}));

    // Missing output variables: one line per run, nothing written.
    delete MCV_CytometryData::Instance();
    data = MCV_CytometryData::Instance();
    loadBlobs(3, 600, 4, 2, 10.0, false);
    makeHsne(2, 150);
    const std::string missing = capturedStdout([&] { hsne->initHSNE(); });
    const std::string line = "the data have no variable QLMRN_HsneDataX or QLMRN_HsneDataY";
    EXPECT_NE(missing.find(line), std::string::npos);
    EXPECT_EQ(missing.find(line), missing.rfind(line));
}

// Every level of a hierarchy stands for the events the build took, whatever
// happens to the input set afterwards; its cluster sets count against them.
// A rebuild takes the input as it is then, and a level it dropped keeps the
// events of its own hierarchy.
TEST_F(HsneAnalysisRun, LevelsKeepTheEventsTheirBuildTookAndARebuildTakesNewOnes) {
    MCV_DerivedDataPoints* input = data->derivedDataPoints("input", false);
    Points taken;
    for (int e = 0; e < 600; ++e) taken.emplace_back(0, e);
    for (int e = 0; e < 300; ++e) taken.emplace_back(1, e);
    input->setPoints(taken, false);
    hsne->setActiveDataSelection(input);
    hsne->setNumScales(3);
    overview()->setIterations(5);
    EXPECT_EQ(overview()->ownPoints(), nullptr) << "nothing built yet";
    quietly([&] { hsne->initHSNE(); });
    MCV_DerivedDataPoints* own = hsne->ownPoints();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->data(), taken);
    EXPECT_EQ(overview()->ownPoints(), own);
    MCV_HsneAnalysis* level = nullptr;
    ASSERT_GE(overview()->scale(), 1);
    quietly([&] { (level = drill(overview(), blob(overview(), 1), "H - Level 2", 5))->embed(); });
    EXPECT_EQ(level->ownPoints(), own);

    // The input refilled: the levels' events and their cluster totals stay.
    input->setPoints({{1, 599}, {1, 598}, {1, 597}, {1, 596}, {1, 595}}, true);
    EXPECT_EQ(own->data(), taken);
    std::vector<std::vector<unsigned>> clusters = {{0, 1}};
    MCV_DerivedDataClusters* set = nullptr;
    quietly([&] { set = level->updateClusters(&clusters, "Density Clusters"); });
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->originTotals(), (std::vector<int>{600, 300}));

    // A rebuild takes the five events now in the input; the dropped level
    // keeps its hierarchy's.
    quietly([&] { hsne->initHSNE(); });
    ASSERT_NE(hsne->ownPoints(), nullptr);
    EXPECT_EQ(hsne->ownPoints()->pointsPerFile(), (std::vector<int>{0, 5}));
    EXPECT_EQ(overview()->ownPoints(), hsne->ownPoints());
    EXPECT_EQ(level->ownPoints(), own);
    EXPECT_EQ(own->data(), taken);
}

TEST(HsneScaleCount, DefaultGrowsByOneScalePerFactorOfAboutEight) {
    const std::vector<std::pair<size_t, int>> table = {{1000, 1}, {4096, 2}, {32768, 3}, {100000, 4}, {1000000, 5}};
    for (const auto& [n, scales] : table) EXPECT_EQ(MCV_HsneAnalysisHierarchy::defaultNumScales(n), scales) << n;
}

// The point lists and the drill-down query against references computed here
// from the library's influence queries.
TEST_F(HsneAnalysisRun, PointListsAndDrillDownsFollowTheLandmarksInfluence) {
    overview()->setIterations(0);
    quietly([&] { hsne->initHSNE(); });
    MCV_DerivedDataHierarchy& h = *hsne->hierarchy();

    // Every point goes to its most influential landmark, the lists in point
    // order on any thread count.
    const auto& refs = *h.pointReferences();
    // Reference: the influence with the threshold lowered while a scale is
    // empty, then the largest value, the lowest landmark among equals.
    Lists lists(3);
    for (int s = 0; s < 3; ++s) lists[s].resize(static_cast<size_t>(h.numLandmarksInScale(s)));
    for (unsigned i = 0; i < refs.size(); ++i) {
        MCV_DerivedDataHierarchy::Hsne::influence_rows influence;
        float threshold = 0.01f;
        for (int attempt = 0; attempt < 4; ++attempt) {
            influence = {};
            h.hsne()->getInfluenceOnDataPoint(i, influence, threshold, false);
            if (!influence[1].empty() && !influence[2].empty()) break;
            threshold = static_cast<float>(threshold * 0.1);
        }
        lists[0][i].push_back(refs[i]);
        for (int s = 1; s < 3; ++s) {
            std::pair<float, unsigned> best{-1.f, 0};
            for (const auto& [l, v] : influence[s])
                if (v > best.first || (v == best.first && l < best.second)) best = {v, l};
            if (best.first >= 0) lists[s][best.second].push_back(refs[i]);
        }
    }
    const int threads = omp_get_max_threads();
    for (int t : {1, 8}) {
        omp_set_num_threads(t);
        quietly([&] { h.initPointBasedHierarchy(); });
        EXPECT_EQ(pointLists(h), lists) << t << " threads";
    }
    omp_set_num_threads(threads);

    // A drill-down takes the landmarks the selection influences above one half.
    std::vector<unsigned> selection;
    for (unsigned l = 0; l < static_cast<unsigned>(h.numLandmarksInScale(2)); l += 2) selection.push_back(l);
    // Summed influence of the selection on each landmark of scale 1.
    const auto& area = h.hsne()->scale(2).areaOfInfluence;
    std::vector<unsigned> expected;
    for (unsigned i = 0; i < area.size(); ++i) {
        double sum = 0;
        for (const auto& [b, v] : area[i])
            if (std::find(selection.begin(), selection.end(), b) != selection.end()) sum += v;
        // Exactly one half (in the library's float result) is not taken.
        if (static_cast<float>(sum) > 0.5f) expected.push_back(i);
    }
    std::vector<unsigned> idxs;
    MCV_DerivedDataHierarchy::SparseMatrix matrix;
    quietly([&] { h.nextLevelTransitionMatrixForSelection(&matrix, &idxs, 2, &selection, nullptr); });
    EXPECT_EQ(idxs, expected);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(matrix.size(), expected.size());
}

// Requests a view's hook makes inside analysisUpdated, on the overview and on
// a drill-down opened from inside the overview's loop.
TEST_F(HsneAnalysisRun, ComputeRestartAndDeleteFromInsideTheLoopsWaitForTheLoopsToReturn) {
    using Request = std::function<void(MCV_HsneAnalysis*)>;
    const Reports twice{"analysisInitialized", "analysisFinished", "analysisInitialized", "analysisFinished"};
    const Reports once{"analysisInitialized", "analysisFinished"}, deleted{"analysisInitialized", "readyForDeletion"};
    // Request, the overview's reports when the overview or a drill-down asks.
    const std::vector<std::tuple<const char*, Request, Reports, Reports>> cases = {
        {"compute", [&](MCV_HsneAnalysis*) { hsne->initHSNE(); }, twice, twice},
        {"restart", [](MCV_HsneAnalysis* l) { l->stopGradientDescent(), l->reInitEmbedding(), l->embed(); }, once,
         once},
        {"delete", [](MCV_HsneAnalysis* l) { l->markForDeletion(); }, deleted, once},
    };
    for (const auto& [name, request, fromOverview, fromDrillDown] : cases) {
        for (bool inDrillDown : {false, true}) {
            SCOPED_TRACE(std::string(name) + (inDrillDown ? " in a drill-down" : ""));
            makeHsne(3, 30);
            MCV_HsneAnalysis* first = overview();
            int updates = 0;
            bool requested = false;
            ui.clear();
            ui.onUpdated = [&, request = request](void* a) {
                if (a != first || ++updates != 5 || requested) return;
                MCV_HsneAnalysis* asking = inDrillDown ? drill(first, blob(first, 0), "D", 30) : first;
                ui.onUpdated = [&, asking](void* d) {
                    if (d == asking && !requested) requested = true, request(asking);
                };
                inDrillDown ? asking->embed() : ui.onUpdated(a);
            };
            ui.onReadyForDeletion = [&](void* a) {  // as the shell does
                for (auto& l : levels)
                    if (l.get() == a) l.reset();
            };
            quietly([&] { hsne->initHSNE(); });
            EXPECT_TRUE(requested);
            EXPECT_FALSE(hsne->isRunning());
            Reports mine;
            for (const auto& call : ui.calls)
                if (call.arg == first && call.what != "analysisUpdated") mine.push_back(call.what);
            EXPECT_EQ(mine, inDrillDown ? fromDrillDown : fromOverview);
            ui.onUpdated = ui.onReadyForDeletion = nullptr;
        }
    }
}

// The random start of a level, the overview's and a drill-down's alike, is
// drawn from the hierarchy analysis's "RNG Seed" when it is above 0 (at every
// set-up: a restart takes the seed set meanwhile), from the clock otherwise;
// with a seed, the same input and settings give the same maps and output
// columns on any thread count, a drill-down chosen by map position included.
TEST_F(HsneAnalysisRun, ASeedFixesTheMapsOfTheLevelsOnAnyThreadCount) {
    const auto drawn = [](MCV_HsneAnalysis* level, int seed) {
        vel::data::Embedding<float> start(2, static_cast<unsigned>(level->numDataPoints()));
        vel::dr::drawRandomStartPositions(start, seed, static_cast<double>(0.1f));
        return start.getContainer();
    };
    for (const int seed : {3, 8}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        makeHsne(3, 0)->setSeed(seed);
        quietly([&] { hsne->initHSNE(); });
        ASSERT_GT(overview()->numDataPoints(), 0);
        EXPECT_EQ(*overview()->output(), drawn(overview(), seed)) << "the overview's start";
        MCV_HsneAnalysis* drilled = nullptr;
        quietly([&] { drilled = drill(overview(), blob(overview(), 1), "D"); });
        ASSERT_GT(drilled->numDataPoints(), 0);
        EXPECT_EQ(*drilled->output(), drawn(drilled, seed)) << "the drill-down's start";
        hsne->setSeed(seed + 1);
        quietly([&] { drilled->reInitEmbedding(); });
        EXPECT_EQ(*drilled->output(), drawn(drilled, seed + 1)) << "a restart after the seed was changed";
    }
    // Seed 0 is no seed: the start is not the one srand(0) gives.
    makeHsne(3, 0)->setSeed(0);
    quietly([&] { hsne->initHSNE(); });
    ASSERT_GT(overview()->numDataPoints(), 0);
    EXPECT_NE(*overview()->output(), drawn(overview(), 0)) << "seed 0";

    struct RestoredThreads {
        int count = omp_get_max_threads();
        ~RestoredThreads() { omp_set_num_threads(count); }
    } restored;
    std::vector<float> firstOverview, firstDrilled, firstColumns;
    for (const int threadCount : {1, 2, 8}) {
        SCOPED_TRACE(testing::Message() << threadCount << " threads");
        omp_set_num_threads(threadCount);
        makeHsne(3, 60);
        quietly([&] { hsne->initHSNE(); });
        ASSERT_GT(overview()->numDataPoints(), 3);
        // The drill-down by map position, as a box drawn over the map: the
        // third of the landmarks nearest to landmark 0.
        const std::vector<float>& y = *overview()->output();
        std::vector<unsigned> box(static_cast<size_t>(overview()->numDataPoints()));
        std::iota(box.begin(), box.end(), 0u);
        const auto distance = [&](unsigned i) { return std::hypot(y[2 * i] - y[0], y[2 * i + 1] - y[1]); };
        std::stable_sort(box.begin(), box.end(), [&](unsigned a, unsigned b) { return distance(a) < distance(b); });
        box.resize(box.size() / 3);
        MCV_HsneAnalysis* drilled = nullptr;
        quietly([&] {
            drilled = drill(overview(), box, "D", 60);
            drilled->embed();
        });
        ASSERT_GT(drilled->numDataPoints(), 0);
        std::vector<float> columns;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e)
                columns.insert(columns.end(), {at(f, e, var("QLMRN_HsneDataX")), at(f, e, var("QLMRN_HsneDataY"))});
        if (firstOverview.empty()) {
            firstOverview = *overview()->output();
            firstDrilled = *drilled->output();
            firstColumns = columns;
            continue;
        }
        EXPECT_TRUE(*overview()->output() == firstOverview) << "the overview differs";
        EXPECT_TRUE(*drilled->output() == firstDrilled) << "the drill-down differs";
        EXPECT_TRUE(columns == firstColumns) << "the output columns differ";
    }
}

using Event = std::pair<int, int>;

// A level shows the landmarks of one scale, and no two lists of a scale hold
// the same event: a level's selections list each event once as they are.
TEST_F(HsneAnalysisRun, TheListsOfAScaleShareNoEventSoALevelsSelectionListsEachOnce) {
    overview()->setIterations(0);
    quietly([&] { hsne->initHSNE(); });
    const Lists lists = pointLists(*hsne->hierarchy());
    for (size_t s = 0; s < lists.size(); ++s) {
        std::set<Event> events;
        size_t entries = 0;
        for (const auto& list : lists[s]) {
            events.insert(list.begin(), list.end());
            entries += list.size();
        }
        EXPECT_EQ(events.size(), entries) << "scale " << s;
    }
    std::vector<unsigned> positions(static_cast<size_t>(overview()->numDataPoints()));
    std::iota(positions.begin(), positions.end(), 0u);
    MCV_HsneAnalysis* level = drill(overview(), positions, "H - Level 2");
    for (MCV_HsneAnalysis* l : {overview(), level}) {
        std::vector<unsigned> every(static_cast<size_t>(l->numDataPoints()));
        std::iota(every.begin(), every.end(), 0u);
        Points refs;
        l->computePointReferencesForLandmarkIdxs(&every, &refs, nullptr);
        EXPECT_FALSE(refs.empty());
        const std::set<Event> distinct(refs.begin(), refs.end());
        EXPECT_EQ(distinct.size(), refs.size()) << l->name();
    }
}

}  // namespace
