// The example files the run script writes for new users.
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

TEST(ExampleData, GeneratedSamplesLoadAsOneDataSet) {
    QTemporaryDir dir;
    QProcess gen;
    gen.start(QLMRN_MAKE_EXAMPLES, {dir.path()});
    ASSERT_TRUE(gen.waitForFinished(60000) && gen.exitCode() == 0) << gen.readAllStandardError().toStdString();
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->init(nullptr);
    for (int s = 1; s <= 3; ++s)
        ASSERT_EQ(data->loadFromFile(dir.filePath(QString("sample_%1.fcs").arg(s)).toStdString()), 0) << s;
    ASSERT_EQ(data->combinedHeader()->numVariables(), 12);
    EXPECT_EQ(data->combinedHeader()->variableName(1), "CD3");
    // CD3 is bimodal after the arcsine transform: T cells bright, the rest dim.
    data->applyArcSinTransform(5, std::vector<bool>(12, true));
    int bright = 0, dim = 0;
    for (int e = 0; e < data->header(0)->numEvents(); ++e) {
        const float v = data->rawData(0)[e * 12 + 1];
        bright += v > 2.5f;
        dim += v < 1.0f;
    }
    EXPECT_GT(std::min(bright, dim), 6000);
    delete MCV_CytometryData::Instance();
}
