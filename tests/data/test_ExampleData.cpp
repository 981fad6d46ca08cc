// The example files the run script writes for new users.
#include "DerivedDataFixture.h"

#include <QProcess>

#include <algorithm>

TEST_F(DerivedDataTest, GeneratedExampleSamplesLoadAsOneDataSetWithStructure) {
    ASSERT_EQ(QProcess::execute(QLMRN_MAKE_EXAMPLES, {dir.path()}), 0);
    for (int s = 1; s <= 3; ++s) ASSERT_EQ(data->loadFromFile(path("sample_" + std::to_string(s) + ".fcs")), 0) << s;
    ASSERT_EQ(data->combinedHeader()->numVariables(), 12);
    EXPECT_EQ(data->combinedHeader()->variableName(1), "CD3");
    // CD3 is bimodal after the arcsine transform: T cells bright, the rest dim.
    data->applyArcSinTransform(5, std::vector<bool>(12, true));
    int bright = 0, dim = 0;
    for (int e = 0; e < data->header(0)->numEvents(); ++e) {
        bright += at(0, e, 1) > 2.5f;
        dim += at(0, e, 1) < 1.0f;
    }
    EXPECT_GT(std::min(bright, dim), 6000);
}
