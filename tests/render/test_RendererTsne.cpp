// The renderer on a real A-tSNE analysis (a seeded layout, no descent) hands
// its density clusters to the analysis, which keeps them as events of the data
// set; a click on any drawn point picks that point's cluster, as clustering
// and picking share one grid-cell mapping.
#include "RenderTest.h"
#include "support/startPositionsTsne.h"

namespace {

using namespace rendertest;

TEST_F(RenderTest, DensityClustersBecomeTheAnalysisClusterSetAndEveryPointPicksItsOwnCluster) {
    // 180 events over two files, so that events are told apart by file too.
    std::vector<std::vector<std::vector<float>>> files(2);
    for (int i = 0; i < 180; ++i)
        files[static_cast<size_t>(i % 2)].push_back({static_cast<float>(i), static_cast<float>(i % 7), 0});
    loadFiles(files, {"M1", "M2", "label"});
    const std::unique_ptr<MCV_TsneAnalysis> tsne = startPositionsTsne();
    ASSERT_EQ(tsne->numDataPoints(), 180);
    // Two pixels a cell of the 128-cell grid: every pixel lies in one cell.
    makeRenderer(256, 256);
    renderer->setLocalData(tsne.get(), MCV_CytometryData::Instance()->combinedHeader()->numVariables());
    renderer->clusterOnce();
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - A");
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - A", true);
    ASSERT_GE(set->numClusters(), 1);
    // Every point is in one cluster, and each cluster holds its points' events.
    const auto& refs = *tsne->pointReferences();
    size_t total = 0;
    for (size_t c = 0; c < static_cast<size_t>(set->numClusters()); ++c) {
        const std::vector<unsigned>& members = set->landmarkClusters()[c];
        ASSERT_EQ(set->clusters()[c].size(), members.size());
        for (size_t i = 0; i < members.size(); ++i) EXPECT_EQ(set->clusters()[c][i], refs[members[i]]);
        total += members.size();
    }
    EXPECT_EQ(total, 180u);

    const std::vector<float>& y = *tsne->output();
    float extent = 0.0f;
    for (float v : y) extent = std::max(extent, std::fabs(v));
    auto pixel = [&](int p, int axis) {
        return static_cast<int>(((y[static_cast<size_t>(2 * p + axis)] + extent) / (2 * extent) * 0.8f + 0.1f) * 256);
    };
    for (int p = 0; p < 180; ++p) {
        const std::vector<int> picked = *renderer->selectClusterAt(pixel(p, 0), pixel(p, 1), false);
        ASSERT_EQ(std::count(picked.begin(), picked.end(), p), 1) << "point " << p;
    }
    EXPECT_EQ(renderer->selectClusterAt(pixel(0, 0), pixel(0, 1), false)->size(), set->landmarkClusters()[0].size());
    renderer.reset();
}

}  // namespace
