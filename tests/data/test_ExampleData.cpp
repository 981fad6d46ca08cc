// The example data set that the run script writes for new users must load as
// three samples with the same twelve named markers.
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

TEST(ExampleData, GeneratedSamplesLoadAsOneDataSet) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess gen;
    gen.start(QLMRN_MAKE_EXAMPLES, {dir.path()});
    ASSERT_TRUE(gen.waitForFinished(60000));
    ASSERT_EQ(gen.exitCode(), 0) << gen.readAllStandardError().toStdString();

    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(nullptr);
    for (int s = 1; s <= 3; ++s)
        ASSERT_EQ(data->loadFromFile(dir.filePath(QString("sample_%1.fcs").arg(s)).toStdString()), 0) << s;
    MCV_FcsHeader* c = data->combinedHeader();
    ASSERT_EQ(c->numVariables(), 12);
    EXPECT_EQ(c->variableName(1), "CD3");
    EXPECT_EQ(c->variable(1)->label, "Pr141Di");
    EXPECT_EQ(c->numEvents(), -1) << "the samples differ in size";
    EXPECT_EQ(data->header(0)->numEvents(), 20000);

    // CD3 is bimodal after the arcsine transform: T cells bright, the rest dim.
    data->applyArcSinTransform(5, std::vector<bool>(12, true));
    int bright = 0, dim = 0;
    const float* m = data->rawData(0);
    for (int e = 0; e < 20000; ++e) {
        const float v = m[e * 12 + 1];
        ASSERT_TRUE(std::isfinite(v));
        if (v > 2.5f) ++bright;
        if (v < 1.0f) ++dim;
    }
    EXPECT_GT(bright, 6000);
    EXPECT_GT(dim, 6000);
    delete MCV_CytometryData::Instance();
}
