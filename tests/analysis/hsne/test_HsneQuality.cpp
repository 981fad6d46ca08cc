// Embedding quality of the overview level on well separated blobs, and a
// drill-down into one of them. A landmark's label is the majority label of
// the events it stands for.
#include "HsneAnalysisTest.h"

namespace {

class HsneQuality : public HsneAnalysisTest {};

TEST_F(HsneQuality, OverviewKeepsTheBlobsApartAndADrillStaysInsideOne) {
    // 5 x 4,000 events rather than 5 x 10,000, to keep the test short; the
    // default scale count is 3 for both.
    loadHsneBlobs(5, 4000, 6);
    makeHsne(MCV_HsneAnalysisHierarchy::defaultNumScales(20000), 500);
    quietly([&] { hsne->initHSNE(); });
    MCV_HsneAnalysis* top = overview();
    const std::vector<int> labels = landmarkLabels(top);
    const auto& y = *top->output();
    const size_t n = labels.size();
    ASSERT_GT(n, 50u);

    // 10-NN label agreement in the embedding.
    EXPECT_GE(tenNearestAgreement(y, labels), 0.95);

    MCV_HsneAnalysis* drilled = nullptr;
    quietly([&] { drilled = drill(top, blob(top, 2), "D"); });
    const std::vector<int> inside = landmarkLabels(drilled);
    EXPECT_GT(inside.size(), n / 10);
    EXPECT_EQ(std::count(inside.begin(), inside.end(), 2), static_cast<long>(inside.size()));
}

}  // namespace
