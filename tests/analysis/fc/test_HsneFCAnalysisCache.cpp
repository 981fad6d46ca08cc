// The focus-and-context analysis shares the HSNE caches only through their
// gate: "All Points", caching on, a parameter cache of its own settings.
#include "HsneFCAnalysisTest.h"

#include "data/MCV_DerivedDataPoints.h"

#include <QFile>

namespace {

TEST_F(HsneFCAnalysisTest, OnlyAllPointsWithItsOwnSettingsReadsAndWritesTheCaches) {
    loadHsneBlobs(3, 300);
    const std::string parameters = folder() + MCV_DerivedDataHierarchy::ParametersCacheName;
    // An HSNE run caches its hierarchy; F+C on a subset neither reads nor
    // writes it, and embeds its own points.
    makeHsne(2, 5, true);
    quietly([&] { hsne->initHSNE(); });
    const auto read = [&] {
        QFile f(QString::fromStdString(parameters));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray hsneCache = read();
    ASSERT_FALSE(hsneCache.isEmpty());
    MCV_DerivedDataPoints* subset = data->derivedDataPoints("Subset", false);
    subset->setPoints(Points(allPoints()->data().begin(), allPoints()->data().begin() + 400), false);
    makeFc(2, 5, true)->setActiveDataSelection(subset);
    std::string out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("can only cache and load caches for non-downsampled data"), std::string::npos);
    EXPECT_EQ(fc->hierarchy()->numDataPoints(), 400);
    EXPECT_EQ(read(), hsneCache);

    // On All Points the HSNE cache is refused (other settings) and replaced,
    // parameter cache with F+C's own settings: the next F+C run passes the
    // gate and loads it, the HSNE run after it is refused.
    makeFc(2, 5, true);
    quietly([&] { fc->initHSNE(); });
    EXPECT_NE(read(), hsneCache);
    makeFc(2, 5, true);
    out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("Loading " + folder() + MCV_DerivedDataHierarchy::HierarchyCacheName), std::string::npos);
    EXPECT_EQ(fc->hierarchy()->numDataPoints(), 900);
    // And the HSNE analysis does not take F+C's hierarchy for its own.
    makeHsne(2, 5, true);
    out = capturedStdout([&] { hsne->initHSNE(); });
    EXPECT_NE(out.find("does not match cache"), std::string::npos);
}

}  // namespace
