// The focus-and-context analysis's set-up, embed loop, output and requests.
#include "HsneFCAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include "vel/dr/RandomStartPositions.h"

#include <omp.h>

#include <cmath>

#include <functional>
#include <map>
#include <numeric>
#include <set>

namespace {

TEST_F(HsneFCAnalysisTest, ComputeKeptPositionsRequestsMidRunClustersAndDeletion) {
    computed(3, 600, 3, 7);
    MCV_DerivedDataHierarchy* h = fc->hierarchy();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(fc->activeNumScales(), h->numScales());
    const int top = h->numScales() - 1;
    EXPECT_EQ(fc->numDataPoints(), h->numLandmarksInScale(top));
    EXPECT_EQ(ui.folded(), Reports({"analysisInitialized", "analysisUpdated x7", "analysisFinished"}));

    // A landmark's events hold its position; events no landmark stands for 0.
    std::set<std::pair<int, int>> seen;
    for (int i = 0; i < fc->numDataPoints(); ++i)
        for (const auto& r : *h->pointBasedHierarchyForLandmark({top, static_cast<unsigned>(i)})) {
            seen.insert(r);
            EXPECT_EQ(at(r.first, r.second, var("QLMRN_HsneDataX")), (*fc->output())[2 * static_cast<size_t>(i)]);
            EXPECT_EQ(at(r.first, r.second, var("QLMRN_HsneDataY")), (*fc->output())[2 * static_cast<size_t>(i) + 1]);
        }
    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 900; ++e) EXPECT_TRUE(seen.count({f, e}) || at(f, e, var("QLMRN_HsneDataX")) == 0);
    // The tree received the final positions.
    std::vector<float>& coords = fc->fcTree()->root()->coordinates;
    EXPECT_EQ(coords, *fc->output());

    // Every leaf coordinate, the factor set before the set-up and the factor after it.
    const struct {
        float value, factor, expected;
    } cases[] = {{20.f, 0.5f, 0.5f}, {-20.f, 0.f, 0.5f}, {0.f, 0.f, 0.5f}, {3.f, 2.f, 2.f}};
    for (const auto& c : cases) {
        std::fill(coords.begin(), coords.end(), c.value);
        fc->setRescaleFactor(c.factor);
        const std::string out = capturedStdout([&] { fc->reInitEmbedding(true); });
        EXPECT_EQ(fc->rescaleFactor(), c.expected) << c.value;
        EXPECT_NE(out.find("rescale factor = " + QString::number(c.expected).toStdString() + "\n"), std::string::npos);
        // Every point on one position: each starts parted from the others by
        // at most a unit, or no descent would ever part them.
        const std::vector<float>& start = fc->embedding()->getContainer();
        std::set<std::pair<float, float>> positions;
        for (size_t i = 0; i + 1 < start.size(); i += 2) {
            ASSERT_NEAR(start[i], c.expected * c.value, 1.0);
            ASSERT_NEAR(start[i + 1], c.expected * c.value, 1.0);
            positions.insert({start[i], start[i + 1]});
        }
        EXPECT_EQ(positions.size(), start.size() / 2) << c.value;
    }

    // The bar of a short run steps every iteration.
    const std::string out = capturedStdout([&] { fc->embed(); });
    for (int i = 1; i <= 7; ++i) EXPECT_NE(out.find("] iteration " + std::to_string(i) + "/7"), std::string::npos) << i;
    EXPECT_NE(out.find("\r[========================================] done"), std::string::npos);

    // Requests mid-run wait for the loop to return.
    ui.clear();
    int updates = 0;
    std::vector<unsigned> selection{4, 1, 2};
    ui.onUpdated = [&](void*) {
        if (++updates == 3) {  // nested, as the view's event pumping delivers them
            fc->setFocus(&selection);
            fc->differentiateFocusMore();
            fc->embed();  // a resume after the stop waits as well
        }
    };
    quietly([&] { fc->embed(); });
    EXPECT_EQ(std::make_tuple(ui.count("analysisFinished"), ui.calls.back().what, ui.count("analysisInitialized")),
              std::make_tuple(1, std::string("analysisFinished"), 2));
    const MCV_FCTree::NodePtr root = fc->fcTree()->root();
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(root->children[0]->children.size(), 1u);
    EXPECT_FALSE(fc->isRunning());
    EXPECT_EQ(fc->embedding()->getContainer().size(), 2 * fc->pointNodes()->size());

    std::vector<std::vector<unsigned>> clusters{{0, 1}, {2, 99999}};
    const auto* set = fc->updateClusters(&clusters, "Density Clusters");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->name(), "Density Clusters - F");
    std::vector<unsigned> stale{99999};  // a plot selection older than the points
    Points refs{{1, 1}};
    fc->computePointReferencesForLandmarkIdxs(&stale, &refs, nullptr);
    EXPECT_TRUE(refs.empty());

    // Running: the loop stops after the current iteration and asks to go.
    ui.clear();
    ui.onUpdated = [&](void*) { fc->markForDeletion(); };
    quietly([&] { fc->embed(); });
    EXPECT_EQ(ui.folded(), Reports({"analysisUpdated x1", "readyForDeletion"}));
    // Idle: at once, and once.
    auto idle = std::make_unique<MCV_HsneFCAnalysis>();
    idle->init(&ui, "G");
    ui.clear();
    idle->markForDeletion();
    idle->markForDeletion();
    EXPECT_EQ(ui.folded(), Reports({"readyForDeletion"}));

    MCV_FCTree* tree = fc->fcTree();
    fc.reset();
    EXPECT_EQ(tree->hierarchy(), nullptr);
}

// After every change of the points, each event holds the position of the
// point of the finest landmark that lists it (the first such point), and 0
// where none does, also on one thread.
TEST_F(HsneFCAnalysisTest, OutputColumnsFollowThePointsAfterEveryChange) {
    computed(3, 600, 3, 5);
    const auto expectColumns = [&](const char* step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(fc->output()->size(), 2 * fc->pointNodes()->size());
        const Owners owner = positionOwners();
        size_t wrong = 0;
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 900; ++e) {
                const auto it = owner.find({f, e});
                const float x = it == owner.end() ? 0.f : (*fc->output())[2 * it->second];
                const float y = it == owner.end() ? 0.f : (*fc->output())[2 * it->second + 1];
                wrong += at(f, e, var("QLMRN_HsneDataX")) != x || at(f, e, var("QLMRN_HsneDataY")) != y;
            }
        EXPECT_EQ(wrong, 0u);
    };
    expectColumns("first run");
    const struct {
        const char* name;
        std::function<void()> change;
        int threads;
    } steps[] = {
        {"focus on a blob, refined", [&] { focusOn(0), quietly([&] { fc->differentiateFocusMore(); }); }, 8},
        {"refine all", [&] { quietly([&] { fc->refineAll(); }); }, 1},
        {"coarsen all", [&] { quietly([&] { fc->coarsenAll(); }); }, 3},
    };
    for (const auto& step : steps) {
        omp_set_num_threads(step.threads);
        step.change();
        quietly([&] { fc->embed(); });
        expectColumns(step.name);
    }
    omp_set_num_threads(omp_get_num_procs());
}

// A seed above 0 fixes the map: the random start is the one that seed draws,
// and a map computed and refined twice around a focus is the same to the bit
// on 1, 2 and 8 threads, its output columns included. (A start drawn from the
// clock made a focus chosen by map position differ from run to run.)
TEST_F(HsneFCAnalysisTest, ASeedFixesTheMapOnAnyThreadCount) {
    loadHsneBlobs(3, 600);
    for (int seed : {3, 8}) {
        makeFc(3, 0)->setSeed(seed);
        quietly([&] { fc->initHSNE(); });
        ASSERT_GT(fc->numDataPoints(), 0);
        vel::data::Embedding<float> drawn(2, static_cast<unsigned>(fc->numDataPoints()));
        vel::dr::drawRandomStartPositions(drawn, seed, static_cast<double>(0.1f));
        EXPECT_EQ(*fc->output(), drawn.getContainer()) << "the start of seed " << seed;
    }

    const int threads = omp_get_max_threads();
    std::vector<float> firstMap, firstColumns;
    for (int threadCount : {1, 2, 8}) {
        SCOPED_TRACE(testing::Message() << threadCount << " threads");
        omp_set_num_threads(threadCount);
        makeFc(4, 60);
        quietly([&] { fc->initHSNE(); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        // The focus by map position, as a box drawn over the map: the points
        // nearest to point 0.
        std::vector<unsigned> focus(static_cast<size_t>(fc->numDataPoints()));
        std::iota(focus.begin(), focus.end(), 0u);
        const std::vector<float>& y = *fc->output();
        const auto distance = [&](unsigned i) { return std::hypot(y[2 * i] - y[0], y[2 * i + 1] - y[1]); };
        std::stable_sort(focus.begin(), focus.end(), [&](unsigned a, unsigned b) { return distance(a) < distance(b); });
        focus.resize(focus.size() / 3);
        quietly([&] {
            fc->setFocus(&focus);
            fc->differentiateFocusMore();
            fc->differentiateFocusMore();
        });
        std::vector<float> columns;
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 900; ++e)
                columns.insert(columns.end(), {at(f, e, var("QLMRN_HsneDataX")), at(f, e, var("QLMRN_HsneDataY"))});
        if (firstMap.empty()) {
            ASSERT_GT(leaves().size(), 1u) << "the map was split";
            firstMap = *fc->output();
            firstColumns = columns;
            continue;
        }
        EXPECT_TRUE(*fc->output() == firstMap) << "the map differs";
        EXPECT_TRUE(columns == firstColumns) << "the output columns differ";
    }
    omp_set_num_threads(threads);
}

// Each run of an HSNE level and of a focus-and-context map tells the data set
// that it wrote its output columns: statistics kept from the values before the
// run (the shared selection's, a cluster set's texts) are computed afresh.
TEST_F(HsneFCAnalysisTest, EveryRunTellsTheDataSetThatItsOutputColumnsChanged) {
    loadHsneBlobs(3, 600);
    const struct {
        const char* name;
        std::function<void()> first, again;
    } runs[] = {
        {"HSNE level",
         [&] {
             makeHsne(2, 20);
             hsne->initHSNE();
         },
         [&] { overview()->embed(); }},
        {"focus and context",
         [&] {
             makeFc(2, 20);
             fc->initHSNE();
         },
         [&] { fc->embed(); }},
    };
    const Points events{{0, 0}, {0, 7}, {1, 5}};
    for (const auto& run : runs) {
        for (const bool first : {true, false}) {
            SCOPED_TRACE(std::string(run.name) + (first ? ", first run" : ", a later run"));
            MCV_DerivedDataPoints* selection = data->selectionPoints();
            selection->setPoints(events, false);
            MCV_DerivedDataClusters* clusters = data->derivedDataClusters("Kept", true);
            clusters->setClusters({events}, nullptr, {}, nullptr);
            // Values no run writes, so that statistics kept from before the
            // run cannot pass for those of the run's values.
            for (const auto& [f, e] : events) at(f, e, var("QLMRN_HsneDataX")) = 1000.f;
            const float kept = selection->meanExpression().at(static_cast<size_t>(var("QLMRN_HsneDataX")));
            ASSERT_EQ(kept, 1000.f);
            clusters->jsonObject();
            ASSERT_FALSE(clusters->jsonStale());

            quietly(first ? run.first : run.again);

            float mean = 0;
            for (const auto& [f, e] : events) mean += at(f, e, var("QLMRN_HsneDataX")) / 3.f;
            const float tolerance = 1e-4f * (1.f + std::fabs(mean));
            ASSERT_GT(std::fabs(mean - kept), 100 * tolerance) << "the run wrote the events' positions";
            EXPECT_NEAR(selection->meanExpression()[static_cast<size_t>(var("QLMRN_HsneDataX"))], mean, tolerance);
            EXPECT_TRUE(clusters->jsonStale());
        }
    }
}

// A map of fewer than 4 points cannot be embedded: the columns then follow
// the points as the map shows them, and every other event reads 0.
TEST_F(HsneFCAnalysisTest, AMapTooSmallToEmbedLeavesNoEventAnEarlierPosition) {
    computed(3, 600, 1, 5);
    const MCV_FCTree::NodePtr root = fc->fcTree()->root();
    std::vector<unsigned> three{5, 1, 9};
    quietly([&] { fc->setFocus(&three); });
    ASSERT_EQ(root->children.size(), 2u);
    fc->fcTree()->purge(root->children[1]);  // a map of the three alone
    const std::string out = capturedStdout([&] { fc->differentiateFocusMore(); });
    EXPECT_NE(out.find("has 3 points to embed; it needs at least 4."), std::string::npos);
    ASSERT_EQ(fc->numDataPoints(), 3);
    ASSERT_EQ(fc->output()->size(), 6u);
    std::map<std::pair<int, int>, size_t> owner;
    for (size_t i = 0; i < 3; ++i) owner[(*fc->pointReferences())[i]] = i;
    size_t wrong = 0;
    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 900; ++e) {
            const auto it = owner.find({f, e});
            wrong += at(f, e, var("QLMRN_HsneDataX")) != (it == owner.end() ? 0.f : (*fc->output())[2 * it->second]);
            wrong +=
                at(f, e, var("QLMRN_HsneDataY")) != (it == owner.end() ? 0.f : (*fc->output())[2 * it->second + 1]);
        }
    EXPECT_EQ(wrong, 0u);
    EXPECT_NE((*fc->output())[0], 0.f) << "the points keep the positions the tree holds";
}

TEST_F(HsneFCAnalysisTest, MissingOutputVariablesAreSkippedScaleZeroOnlyReEmbedsAndBadInputIsRefused) {
    loadBlobs(3, 600, 4, 2, 10.0, false);
    makeFc(1, 10);
    std::string out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("the data have no variable QLMRN_HsneDataX"), std::string::npos);
    for (int e = 0; e < 900; ++e) EXPECT_EQ(at(1, e, var("label")), static_cast<float>((2 * e + 1) / 600));
    // Refining at scale 0 only re-embeds.
    ui.clear();
    quietly([&] { fc->differentiateFocusMore(); });
    EXPECT_TRUE(fc->fcTree()->root()->children.empty());
    EXPECT_EQ(ui.folded(), Reports({"analysisInitialized", "analysisUpdated x10", "analysisFinished"}));
    allPoints()->setPoints(Points(allPoints()->data().begin(), allPoints()->data().begin() + 3), false);
    makeFc(2);
    ui.clear();
    out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("needs at least 4 points; the data selection has 3."), std::string::npos);
    EXPECT_EQ(fc->hierarchy(), nullptr);
    EXPECT_EQ(ui.count("analysisInitialized"), 0);
    // A library error (an unknown kNN back end) is caught and told.
    allPoints()->setPoints(Points(200, {0, 0}), false);
    fc->setKnnLibrary(static_cast<vel::utils::knn_library>(7));
    out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("[ERROR] HSNE: F stopped: HierarchicalSNE::initialize: unknown kNN library code 7"),
              std::string::npos);
    EXPECT_EQ(fc->hierarchy(), nullptr);
    EXPECT_FALSE(fc->isRunning());
}

// The map stands for the events its build took: the input refilled
// afterwards changes neither them nor the totals its cluster sets count
// against; the next build takes the input as it is then.
TEST_F(HsneFCAnalysisTest, TheMapKeepsTheEventsItsBuildTookWhateverHappensToItsInput) {
    loadHsneBlobs(3, 600);
    makeFc(2);
    MCV_DerivedDataPoints* input = data->derivedDataPoints("input", false);
    Points taken;
    for (int e = 0; e < 700; ++e) taken.emplace_back(0, e);
    for (int e = 0; e < 200; ++e) taken.emplace_back(1, e);
    input->setPoints(taken, false);
    fc->setActiveDataSelection(input);
    EXPECT_EQ(fc->ownPoints(), nullptr) << "nothing built yet";
    quietly([&] { fc->initHSNE(); });
    MCV_DerivedDataPoints* own = fc->ownPoints();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->data(), taken);

    input->setPoints({{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}, true);
    EXPECT_EQ(fc->ownPoints(), own);
    EXPECT_EQ(own->data(), taken);
    std::vector<std::vector<unsigned>> clusters = {{0, 1, 2}};
    MCV_DerivedDataClusters* set = nullptr;
    quietly([&] { set = fc->updateClusters(&clusters, "Density Clusters"); });
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->originTotals(), (std::vector<int>{700, 200}));

    input->setPoints(Points(taken.begin(), taken.begin() + 500), true);
    quietly([&] { fc->initHSNE(); });
    ASSERT_NE(fc->ownPoints(), nullptr);
    EXPECT_EQ(fc->ownPoints()->pointsPerFile(), (std::vector<int>{500, 0}));
}

}  // namespace
