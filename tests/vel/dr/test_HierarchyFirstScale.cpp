#include "support/CapturedOutput.h"
#include "vel/dr/HierarchyTestData.h"

using namespace hsnetest;

class HierarchyFirstScale : public testing::TestWithParam<int> {};

// Rows of at most numNeighbors others summing to 1 at the perplexity's entropy,
// nearer more probable; recall on every 40th point. Small inputs lower K (logged)
// and add three scales, empty ones among them (memory-preserving with hnswlib).
TEST_P(HierarchyFirstScale, HoldsTheCalibratedNearestNeighbours) {
    EXPECT_THROW(built(veltest::makeBlobs(1, 1, 5, 0.0, 1), GetParam()), std::logic_error);
    for (int unknown : {2, -2}) EXPECT_THROW(built(veltest::makeBlobs(1, 9, 5, 0.0, 1), unknown), std::logic_error);
    for (unsigned int n : {2u, 10u, 50u, 20000u / kShrink}) {
        const auto b = veltest::makeBlobs(n > 50 ? 10 : 1, n > 50 ? n / 10 : n, 5, 4.0, n);
        Lines log;
        const Hsne h = built(b, GetParam(), GetParam() == 0, n > 50 ? 1 : 4, &log);
        const auto& P = h.scale(0).transitionMatrix;
        const unsigned int k = std::min(30u, n - 1), step = n > 50 ? 40 : 1;
        EXPECT_EQ(log.text.find("lowered to:\t" + std::to_string(k) + "\n") != std::string::npos, n <= 30);
        const auto d = [&](unsigned i, unsigned j) { return veltest::squaredL2(&b.data[5 * i], &b.data[5 * j], 5); };
        double hits = 0;
        for (unsigned int i = 0; i < n; ++i) {
            double sum = 0, entropy = 0;
            for (const auto& e : P[i]) sum += e.second, entropy -= e.second > 0 ? e.second * std::log(e.second) : 0.0;
            EXPECT_TRUE(P[i].size() <= k && P[i].count(i) == 0 && std::abs(sum - 1) < 1e-4) << "row " << i;
            EXPECT_NEAR(entropy, P[i].size() > 1 ? std::log(P[i].size() / 3.0) : 0.0, 1e-3) << "row " << i;
            if (i % step != 0) continue;
            std::vector<std::pair<double, unsigned int>> exact;
            for (unsigned int j = 0; j < n; ++j) exact.emplace_back(i == j ? -1.0 : d(i, j), j);
            std::partial_sort(exact.begin(), exact.begin() + k + 1, exact.end());
            for (const auto& e : P[i]) {
                for (unsigned int j = 1; j <= k; ++j) hits += exact[j].second == e.first;
                for (const auto& f : P[i]) EXPECT_TRUE(d(i, e.first) >= d(i, f.first) || e.second >= f.second - 1e-6f);
            }
        }
        const double recall = hits / (k * ((n + step - 1) / step));
        std::printf("recall of back end %d on %u points: %.4f\n", GetParam(), n, recall);
        // Annoy at its default search_k (4 trees x K) finds fewer of the exact neighbours.
        EXPECT_GE(recall, n <= 31 ? 1.0 : GetParam() == 1 ? 0.7 : 0.9) << n << " points";
        expectSound(h);
        const auto& st = h.statistics();  // unmeasured on an empty scale
        EXPECT_TRUE(h.top_scale().size() > 0 || st.aoiSparsity + st.fmcSparsity + st.fmcEffectiveSparsity == -3);
    }
}

INSTANTIATE_TEST_SUITE_P(FlannHnswAnnoy, HierarchyFirstScale, testing::Values(-1, 0, 1));

// Annoy's lines in the order of the work: the search announced, its metric,
// the trees built and probed, the search, the calibration. A forest that
// finds nothing ends the construction before the search line.
TEST(HierarchyFirstScaleLog, AnnoyAnnouncesTheSearchOnceItsTreesAreBuilt) {
    const std::string annoy = "Computing approximated knn with Annoy...\n";
    const std::string euclidean = "Computing approximated knn with Annoy using Euclidean distances ...\n";
    const std::string search = "Done building tree. Beginning nearest neighbor search... \n";
    const struct {
        int metric, trees;
        std::string lines;
    } cases[] = {
        {0, 4, annoy + euclidean + search + "\tFMC computation...\n"},
        {1, 4, annoy + "Computing approximated knn with Annoy using Cosine distances ...\n" + search},
        {3, 4, annoy + "Computing approximated knn with Annoy using Manhattan distances ...\n" + search},
        {5, 4, annoy + "Computing approximated knn with Annoy using Dot product distances ...\n" + search},
        {4, 4, annoy + euclidean + search},
        {0, 0, annoy + euclidean},
    };
    const auto b = veltest::makeBlobs(4, 50, 5, 4.0, 3);
    for (const auto& c : cases) {
        Hsne::Parameters p;
        std::tie(p.knnLibrary, p.knnMetric, p.numTrees) = std::make_tuple(1, c.metric, c.trees);
        Lines log;
        Hsne h;
        h.setLogger(&log);
        h.setDimensionality(static_cast<int>(b.dims));
        bool refused = false;
        quietly([&] {
            try {
                h.initialize(const_cast<float*>(b.data.data()), b.n, p);
            } catch (const std::runtime_error&) {
                refused = true;
            }
        });
        EXPECT_EQ(refused, c.trees == 0) << "metric " << c.metric;
        const std::size_t from = log.text.find(annoy);
        ASSERT_NE(from, std::string::npos) << log.text;
        EXPECT_EQ(log.text.substr(from, c.lines.size()), c.lines)
            << "metric " << c.metric << ", " << c.trees << " trees";
        if (refused) {
            EXPECT_EQ(log.text.substr(from), c.lines) << "nothing after the failed probe";
        }
    }
}
