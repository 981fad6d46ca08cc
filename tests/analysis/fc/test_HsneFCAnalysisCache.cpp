// The focus-and-context analysis shares the HSNE caches only through their
// gate: "All Points", caching on, a parameter cache of its own settings.
#include "HsneFCAnalysisTest.h"

#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class HsneFCCache : public HsneFCAnalysisTest {};

TEST_F(HsneFCCache, OnlyAllPointsWithItsOwnSettingsReadsAndWritesTheCaches) {
    loadHsneBlobs(3, 300);
    const std::string parameters = folder() + MCV_DerivedDataHierarchy::ParametersCacheName;
    // An HSNE run caches its hierarchy; F+C on a subset neither reads nor
    // writes it, and embeds its own points.
    makeHsne(2, 5, true);
    quietly([&] { hsne->initHSNE(); });
    const QByteArray hsneCache = [&] {
        QFile f(QString::fromStdString(parameters));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(hsneCache.isEmpty());
    MCV_DerivedDataPoints* subset = data->derivedDataPoints("Subset", false);
    subset->setPoints(Points(allPoints()->data().begin(), allPoints()->data().begin() + 400), false);
    makeFc(2, 5, true)->setActiveDataSelection(subset);
    std::string out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("can only cache and load caches for non-downsampled data"), std::string::npos);
    EXPECT_EQ(fc->hierarchy()->numDataPoints(), 400);
    QFile f(QString::fromStdString(parameters));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), hsneCache);
    f.close();

    // On All Points the HSNE cache is refused (other settings) and replaced,
    // parameter cache with F+C's own settings; the next F+C run loads it.
    makeFc(2, 5, true);
    out = capturedStdout([&] { fc->initHSNE(); });
    EXPECT_NE(out.find("does not match cache"), std::string::npos);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    EXPECT_EQ(json["Nr. Neighbors"].toInt(), 90);
    EXPECT_EQ(json["Nr. Checks in AKNN"].toInt(), 256);
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
