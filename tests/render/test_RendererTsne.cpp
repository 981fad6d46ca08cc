// The renderer on a real A-tSNE analysis (its start positions, no descent):
// it reads the analysis's embedding, marker rows and file indices, draws
// every point where the embedding puts it, hides samples, and hands its
// density clusters to the analysis, which keeps them as events of the data
// set for picking.
#include "RenderTest.h"
#include "support/startPositionsTsne.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"

#include <algorithm>
#include <random>

namespace {

using namespace rendertest;

class RendererTsneTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        // Three well separated blobs in four markers, 60 events each, over two
        // files; the fifth variable is the blob.
        std::mt19937 random(9);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        std::vector<std::vector<std::vector<float>>> files(2);
        for (int b = 0; b < 3; ++b)
            for (int i = 0; i < 60; ++i) {
                std::vector<float> row;
                for (int d = 0; d < 4; ++d) row.push_back((d == b ? 30.0f : 0.0f) + noise(random));
                row.push_back(static_cast<float>(b));
                files[static_cast<size_t>(i % 2)].push_back(row);
            }
        loadFiles(files, {"M1", "M2", "M3", "M4", "label"});
        // No descent: a seeded layout is an embedding like any other.
        tsne = startPositionsTsne();
        ASSERT_EQ(tsne->numDataPoints(), 180);
    }
    // Pixel of point p's coordinate `axis` in a side x side view.
    int pixel(int p, int axis, int side = 300) const {
        const std::vector<float>& y = *tsne->output();
        float extent = 0.0f;
        for (float v : y) extent = std::max(extent, std::fabs(v));
        return static_cast<int>(((y[static_cast<size_t>(2 * p + axis)] + extent) / (2 * extent) * 0.8f + 0.1f) * side);
    }
    void TearDown() override {
        RenderTest::TearDown();
        tsne.reset();
    }
    std::unique_ptr<MCV_TsneAnalysis> tsne;
};

TEST_F(RendererTsneTest, PointsAreDrawnWhereTheEmbeddingPutsThem) {
    makeRenderer(300, 300);
    renderer->setPointSize(0.02f);
    renderer->setPointOpacity(1.0f);
    renderer->setPointHaloSize(0.0f);
    const int variables = MCV_CytometryData::Instance()->combinedHeader()->numVariables();
    renderer->setLocalData(tsne.get(), variables);
    renderer->setActiveMarker(4);  // the blob label
    ASSERT_EQ(renderer->markerRanges()->size(), static_cast<size_t>(variables));
    EXPECT_EQ((*renderer->markerRanges())[4], (std::pair<float, float>(0, 2)));

    const std::vector<unsigned char> image = drawAndRead();
    for (int p = 0; p < 180; ++p) {
        const Rgb c = pixelAt(image, 300, pixel(p, 0), pixel(p, 1));
        EXPECT_NE(c, kBackground) << "point " << p;
    }

    // Hiding the second file removes its points (the odd events of each blob
    // are in file 1); a point of file 0 stays.
    std::vector<bool> samples = {true, false};
    renderer->setSampleSelection(&samples);
    const std::vector<unsigned char> hidden = drawAndRead();
    int shown = 0;
    for (int p = 0; p < 180; ++p) shown += pixelAt(hidden, 300, pixel(p, 0), pixel(p, 1)) != kBackground;
    EXPECT_LT(shown, 180);
    EXPECT_GE(shown, 90);
}

TEST_F(RendererTsneTest, DensityClustersBecomeTheAnalysisClusterSetOfEvents) {
    // Two pixels a cell of the 128-cell grid: every pixel lies in one cell.
    makeRenderer(256, 256);
    const int variables = MCV_CytometryData::Instance()->combinedHeader()->numVariables();
    renderer->setLocalData(tsne.get(), variables);
    renderer->clusterOnce();
    EXPECT_EQ(renderer->meanShiftClustersName(), "Density Clusters - A");
    MCV_DerivedDataClusters* set = MCV_CytometryData::Instance()->derivedDataClusters("Density Clusters - A", true);
    ASSERT_GE(set->numClusters(), 1);
    // Every point is in one cluster, and each cluster holds the events of its
    // points.
    const auto& refs = *tsne->pointReferences();
    size_t total = 0;
    for (int c = 0; c < set->numClusters(); ++c) {
        const std::vector<unsigned>& members = set->landmarkClusters()[static_cast<size_t>(c)];
        ASSERT_EQ(set->clusters()[static_cast<size_t>(c)].size(), members.size());
        for (size_t i = 0; i < members.size(); ++i)
            EXPECT_EQ(set->clusters()[static_cast<size_t>(c)][i], refs[members[i]]);
        total += members.size();
    }
    EXPECT_EQ(total, 180u);

    // A click where a point is drawn selects the point's cluster.
    for (int p = 0; p < 180; ++p) {
        const std::vector<int> picked = *renderer->selectClusterAt(pixel(p, 0, 256), pixel(p, 1, 256), false);
        ASSERT_EQ(std::count(picked.begin(), picked.end(), p), 1) << "point " << p;
    }
    const std::vector<int> first = *renderer->selectClusterAt(pixel(0, 0, 256), pixel(0, 1, 256), false);
    EXPECT_EQ(first.size(), set->landmarkClusters()[0].size());
}

}  // namespace
