// The three HSNE caches beside the data: what they hold, when they are reused,
// and that every damaged or foreign cache is answered by a rebuild.
#include "HsneAnalysisTest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

namespace {

using Lists = std::vector<std::vector<MCV_DerivedDataHierarchy::PointList>>;

class HsneCache : public HsneAnalysisTest {
protected:
    void SetUp() override {
        HsneAnalysisTest::SetUp();
        loadHsneBlobs(3, 400);
        makeHsne(3, 20, true);
    }
    std::string path(const char* name) { return folder() + name; }
    std::string run() {
        return capturedStdout([&] { hsne->initHSNE(); });
    }
    Lists lists() {
        Lists all;
        for (int s = 0; s < hsne->hierarchy()->numScales(); ++s)
            all.push_back(*hsne->hierarchy()->pointBasedHierarchyForScale(s));
        return all;
    }
    // The point-list file as its format describes it (int32 counts, pairs).
    static Lists readPointFile(const QByteArray& bytes) {
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
    static QByteArray pointFile(const Lists& all) {
        std::vector<std::int32_t> words{static_cast<std::int32_t>(all.size())};
        for (const auto& scale : all) {
            words.push_back(static_cast<std::int32_t>(scale.size()));
            for (const auto& list : scale) {
                words.push_back(static_cast<std::int32_t>(list.size()));
                for (const auto& ref : list) words.insert(words.end(), {ref.first, ref.second});
            }
        }
        return QByteArray(reinterpret_cast<const char*>(words.data()), static_cast<int>(words.size() * 4));
    }
    void write(const char* name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray read(const std::string& file) {
        QFile f(QString::fromStdString(file.find('/') == std::string::npos ? path(file.c_str()) : file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static constexpr const char* kHierarchy = MCV_DerivedDataHierarchy::HierarchyCacheName;
    static constexpr const char* kPoints = MCV_DerivedDataHierarchy::PointBasedCacheName;
    static constexpr const char* kParameters = MCV_DerivedDataHierarchy::ParametersCacheName;
};

TEST_F(HsneCache, ABuildWritesThreeFilesThatTheNextRunLoadsAlsoWithAnotherSeed) {
    const std::string first = run();
    EXPECT_NE(first.find("Caching HSNE results.\n"), std::string::npos);
    const Lists built = lists();
    EXPECT_EQ(readPointFile(read(kPoints)), built);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.tmp"}).isEmpty());

    const QJsonObject json = QJsonDocument::fromJson(read(kParameters)).object();
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

    // A cache without the percentile does not match the default of 0.5.
    QJsonObject lacking = json;
    lacking.remove("Percentile");
    write(kParameters, QJsonDocument(lacking).toJson());
    const std::string third = run();
    EXPECT_NE(third.find("Percentile (0.5) does not match cache (0). Cannot load cache.\n"), std::string::npos);
    EXPECT_NE(third.find("Caching HSNE results.\n"), std::string::npos);
}

TEST_F(HsneCache, EveryDamagedOrForeignCacheIsRebuiltWithoutACrash) {
    quietly([&] { hsne->initHSNE(); });
    const Lists built = lists();
    const QByteArray hierarchy = read(kHierarchy);
    const QByteArray parameters = read(kParameters);
    std::mt19937 rng(4);
    auto damaged = [&](Lists all, int s, size_t l, std::pair<int, int> ref) {
        all[static_cast<size_t>(s)][l].push_back(ref);
        return pointFile(all);
    };
    const auto somePoint = std::find_if(built[1].begin(), built[1].end(), [](auto& l) { return !l.empty(); })->front();
    QByteArray negative = pointFile(built);
    reinterpret_cast<std::int32_t*>(negative.data())[2] = -5;  // the first list's length

    struct Case {
        const char* name;
        std::function<void()> damage;
        const char* line;
        bool sameData;
    };
    const std::vector<Case> cases = {
        {"truncated hierarchy", [&] { write(kHierarchy, hierarchy.left(hierarchy.size() / 2)); },
         "is not a hierarchy file", true},
        {"random hierarchy",
         [&] {
             QByteArray noise(hierarchy.size(), 0);
             for (char& c : noise) c = static_cast<char>(rng());
             write(kHierarchy, noise);
         },
         "is not a hierarchy file", true},
        {"foreign hierarchy", [&] { write(kHierarchy, read(folder() + "s1.fcs")); }, "is not a hierarchy file", true},
        {"hierarchy of other scales",
         [&] {
             QJsonObject two = QJsonDocument::fromJson(parameters).object();
             two["Number of Scales"] = 2;
             write(kParameters, QJsonDocument(two).toJson());
             hsne->setNumScales(2);
         },
         "the cached hierarchy has 3 scales over 1200 points, the analysis asks for 2", true},
        {"truncated point lists", [&] { write(kPoints, read(kPoints).left(1000)); }, "computed again", true},
        {"negative count", [&] { write(kPoints, negative); }, "computed again", true},
        {"event beyond the data",
         [&] {
             write(kPoints, damaged(built, 1, 0, {0, 999999}));
         },
         "computed again", true},
        {"file beyond the data",
         [&] {
             write(kPoints, damaged(built, 2, 0, {7, 0}));
         },
         "computed again", true},
        {"a point twice", [&] { write(kPoints, damaged(built, 1, 0, somePoint)); }, "computed again", true},
        {"unwritable folder",
         [&] {
             for (const char* name : {kHierarchy, kPoints, kParameters}) {
                 QFile::remove(QString::fromStdString(path(name)));
                 QDir().mkpath(QString::fromStdString(path(name) + ".tmp"));
             }
         },
         "Caching failed.", true},
        {"another cofactor",
         [&] {
             for (int f = 0; f < 2; ++f)
                 for (int e = 0; e < 600; ++e) at(f, e, 0) *= 2;
         },
         "Data Fingerprint (", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.damage();
        ui.clear();
        const std::string out = run();
        EXPECT_NE(out.find(c.line), std::string::npos) << out.substr(0, 2000);
        EXPECT_EQ(ui.count("analysisFinished"), 1);
        if (c.sameData && hsne->numScales() == 3) {
            EXPECT_EQ(lists(), built);
        }
        // Whole caches again for the next case.
        hsne->setNumScales(3);
        for (const char* name : {kHierarchy, kPoints, kParameters})
            QDir().rmdir(QString::fromStdString(path(name) + ".tmp"));
        quietly([&] { hsne->initHSNE(); });
    }
}

}  // namespace
