// The three HSNE caches beside the data: what they hold, when they are reused,
// and that every damaged or foreign cache is answered by a rebuild.
#include "HsneAnalysisTest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

namespace {

constexpr const char* kHierarchy = MCV_DerivedDataHierarchy::HierarchyCacheName;
constexpr const char* kPoints = MCV_DerivedDataHierarchy::PointBasedCacheName;
constexpr const char* kParameters = MCV_DerivedDataHierarchy::ParametersCacheName;

// The point-list file as its format describes it (int32 counts, pairs).
Lists readPointFile(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const std::int32_t*>(bytes.constData());
    Lists all(static_cast<size_t>(*p++));
    for (auto& scale : all) {
        scale.resize(static_cast<size_t>(*p++));
        for (auto& list : scale) {
            list.resize(static_cast<size_t>(*p++));
            for (auto& ref : list) ref = {p[0], p[1]}, p += 2;
        }
    }
    EXPECT_EQ(reinterpret_cast<const char*>(p), bytes.constData() + bytes.size());
    return all;
}

using HsneCache = HsneAnalysisTest;

// The first build writes the caches; each case damages or replaces one of
// them, and the first build's files are put back after it.
TEST_F(HsneCache, ABuildWritesThreeFilesThatLaterRunsLoadOrRebuildWhenDamagedOrForeign) {
    loadHsneBlobs(3, 400);
    makeHsne(3, 20, true);
    auto path = [&](const char* name) { return dir.path().toStdString() + "/" + name; };
    auto run = [&] { return capturedStdout([&] { hsne->initHSNE(); }); };
    auto lists = [&] { return pointLists(*hsne->hierarchy()); };
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    auto read = [&](const char* name) {
        QFile f(QString::fromStdString(path(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_NE(run().find("Caching HSNE results.\n"), std::string::npos);
    const Lists built = lists();
    const QByteArray hierarchy = read(kHierarchy), points = read(kPoints), parameters = read(kParameters);
    EXPECT_EQ(readPointFile(points), built);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.tmp"}).isEmpty());

    const QJsonObject json = QJsonDocument::fromJson(parameters).object();
    EXPECT_EQ(json.keys(),
              QStringList({"## VERSION ##", "Data Fingerprint", "Files", "Fixed Percentile Landmark Selection",
                           "Knn distance metric", "Knn library", "Memory preserving computation", "Nr. Checks in AKNN",
                           "Nr. Neighbors", "Nr. RW for Monte Carlo", "Nr. RW for influence", "Nr. Trees for AKNN",
                           "Number of Scales", "Percentile", "Pruning threshold", "Random walks length",
                           "Random walks threshold", "Selected Dimensions"}));
    EXPECT_EQ(json["Files"].toArray(), QJsonArray({"s1.fcs", "s2.fcs"}));
    EXPECT_EQ(json["Data Fingerprint"].toString().size(), 16);

    hsne->setSeed(99);
    const std::string second = run();
    for (const std::string& line : {std::string("trying to load HSNE cache.\n"), "Loading " + path(kHierarchy) + "\n",
                                    "Loading " + path(kPoints) + "\n"})
        EXPECT_NE(second.find(line), std::string::npos) << line;
    EXPECT_EQ(second.find("Caching HSNE results."), std::string::npos);
    EXPECT_EQ(lists(), built);
    hsne->setSeed(3);  // rebuilds below give the first build's lists

    QByteArray noise(hierarchy.size(), 0);
    std::mt19937 rng(4);
    for (char& c : noise) c = static_cast<char>(rng());
    QByteArray negative = points;
    reinterpret_cast<std::int32_t*>(negative.data())[2] = -5;  // the first list's length
    // The point lists with one more reference in the first list of scale
    // `s`, as the hierarchy writes them.
    auto added = [&](int s, std::pair<int, int> ref) {
        auto* list = hsne->hierarchy()->pointBasedHierarchyForLandmark({s, 0});
        list->push_back(ref);
        quietly([&] { hsne->hierarchy()->cacheHsnePointBasedHierarchy(path(kPoints)); });
        list->pop_back();
        return read(kPoints);
    };
    const auto somePoint = std::find_if(built[1].begin(), built[1].end(), [](auto& l) { return !l.empty(); })->front();
    QJsonObject lacking = json, two = json;
    lacking.remove("Percentile");
    two["Number of Scales"] = 2;
    auto put = [&](const char* name, const QByteArray& bytes) { return [=] { write(name, bytes); }; };

    const std::vector<std::tuple<const char*, std::function<void()>, const char*>> cases = {
        // A cache without the percentile does not match the default of 0.5.
        {"no percentile", put(kParameters, QJsonDocument(lacking).toJson()),
         "Percentile (0.5) does not match cache (0). Cannot load cache.\n"},
        {"truncated hierarchy", put(kHierarchy, hierarchy.left(hierarchy.size() / 2)), "is not a hierarchy file"},
        {"random hierarchy", put(kHierarchy, noise), "is not a hierarchy file"},
        {"foreign hierarchy", put(kHierarchy, read("s1.fcs")), "is not a hierarchy file"},
        {"hierarchy of other scales", [&] { put(kParameters, QJsonDocument(two).toJson())(), hsne->setNumScales(2); },
         "the cached hierarchy has 3 scales over 1200 points, the analysis asks for 2"},
        {"truncated point lists", put(kPoints, points.left(1000)), "computed again"},
        {"negative count", put(kPoints, negative), "computed again"},
        {"event beyond the data", put(kPoints, added(1, {0, 999999})), "computed again"},
        {"file beyond the data", put(kPoints, added(2, {7, 0})), "computed again"},
        {"a point twice", put(kPoints, added(1, somePoint)), "computed again"},
        {"unwritable folder",
         [&] {
             for (const char* name : {kHierarchy, kPoints, kParameters}) {
                 QFile::remove(QString::fromStdString(path(name)));
                 QDir().mkpath(QString::fromStdString(path(name) + ".tmp"));
             }
         },
         "Caching failed."},
    };
    for (const auto& [name, damage, line] : cases) {
        SCOPED_TRACE(name);
        damage();
        ui.clear();
        const std::string out = run();
        EXPECT_NE(out.find(line), std::string::npos) << out.substr(0, 2000);
        EXPECT_EQ(ui.count("analysisFinished"), 1);
        if (hsne->numScales() == 3) {
            EXPECT_EQ(lists(), built);
        }
        hsne->setNumScales(3);
        for (const char* file : {kHierarchy, kPoints, kParameters})
            QDir().rmdir(QString::fromStdString(path(file) + ".tmp"));
        write(kHierarchy, hierarchy), write(kPoints, points), write(kParameters, parameters);
    }
    // Another cofactor: other data under the same file names.
    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 600; ++e) at(f, e, 0) *= 2;
    EXPECT_NE(run().find("Data Fingerprint ("), std::string::npos);
}

}  // namespace
