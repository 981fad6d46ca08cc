// The three HSNE caches beside the data: what they hold, when they are reused,
// and that every damaged or foreign cache is answered by a rebuild.
#include "HsneAnalysisTest.h"
#include "support/LeftOverTemporaries.h"
#include "support/ReadOnlyFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

#include <sys/stat.h>

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

// The first build writes the caches; each case damages or replaces what is
// in place of one or more of them, and the first build's files are put back
// after it. Every case is answered by a build and a note for the status bar.
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
    auto scaleData = [&](float factor) {
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 600; ++e) at(f, e, 0) *= factor;
    };
    // Files of the same size and settings over other data.
    scaleData(2.f);
    hsne->setSeed(5);
    quietly([&] { hsne->initHSNE(); });
    const QByteArray foreignHierarchy = read(kHierarchy), foreignPoints = read(kPoints);
    scaleData(0.5f);
    hsne->setSeed(3);
    for (const char* name : {kHierarchy, kPoints, kParameters}) QFile::remove(QString::fromStdString(path(name)));

    EXPECT_NE(run().find("Caching HSNE results.\n"), std::string::npos);
    const Lists built = lists();
    const QByteArray hierarchy = read(kHierarchy), points = read(kPoints), parameters = read(kParameters);
    EXPECT_EQ(readPointFile(points), built);
    EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());
    ASSERT_NE(foreignHierarchy, hierarchy);
    ASSERT_NE(foreignPoints, points);

    const QJsonObject json = QJsonDocument::fromJson(parameters).object();
    EXPECT_EQ(json.keys(), QStringList({"## VERSION ##",
                                        "Data Fingerprint",
                                        "Files",
                                        "Fixed Percentile Landmark Selection",
                                        "Hierarchy File Checksum",
                                        "Hierarchy File Size",
                                        "Knn distance metric",
                                        "Knn library",
                                        "Memory preserving computation",
                                        "Nr. Checks in AKNN",
                                        "Nr. Neighbors",
                                        "Nr. RW for Monte Carlo",
                                        "Nr. RW for influence",
                                        "Nr. Trees for AKNN",
                                        "Number of Scales",
                                        "Percentile",
                                        "Point Lists File Checksum",
                                        "Point Lists File Size",
                                        "Pruning threshold",
                                        "Random walks length",
                                        "Random walks threshold",
                                        "Selected Dimensions"}));
    EXPECT_EQ(json["Files"].toArray(), QJsonArray({"s1.fcs", "s2.fcs"}));
    EXPECT_EQ(json["Data Fingerprint"].toString().size(), 16);
    // The files' lengths and checksums as written: computed here from the bytes.
    for (const auto& [key, bytes] : {std::pair{"Hierarchy File", hierarchy}, {"Point Lists File", points}}) {
        const MCV_CacheFileDigest digest = MCV_CacheFileDigest::of(bytes.constData(), bytes.size());
        EXPECT_EQ(json[QString(key) + " Size"].toDouble(), bytes.size()) << key;
        EXPECT_EQ(json[QString(key) + " Checksum"].toString().toStdString(), digest.checksumHex()) << key;
    }

    hsne->setSeed(99);
    const std::string second = run();
    for (const std::string& line : {std::string("trying to load HSNE cache.\n"), "Loading " + path(kHierarchy) + "\n",
                                    "Loading " + path(kPoints) + "\n"})
        EXPECT_NE(second.find(line), std::string::npos) << line;
    EXPECT_EQ(second.find("Caching HSNE results."), std::string::npos);
    EXPECT_EQ(hsne->builder().cacheNote(), "");
    EXPECT_EQ(lists(), built);
    hsne->setSeed(3);  // rebuilds below give the first build's lists

    auto put = [&](const char* name, const QByteArray& bytes) { return [=] { write(name, bytes); }; };
    // A file and a parameter cache that records its length and checksum: its
    // content is refused all the same.
    auto vouched = [&](const char* name, const QByteArray& bytes) {
        return [=] {
            QJsonObject record = json;
            const QString key = name == std::string(kHierarchy) ? "Hierarchy File" : "Point Lists File";
            record[key + " Size"] = static_cast<double>(bytes.size());
            record[key + " Checksum"] =
                QString::fromStdString(MCV_CacheFileDigest::of(bytes.constData(), bytes.size()).checksumHex());
            write(kParameters, QJsonDocument(record).toJson());
            write(name, bytes);
        };
    };
    auto flipped = [](QByteArray bytes, int offset) {
        return bytes[offset] = static_cast<char>(~bytes[offset]), bytes;
    };
    auto directory = [&](const char* name) {
        return [=] {
            QFile::remove(QString::fromStdString(path(name))), QDir().mkdir(QString::fromStdString(path(name)));
        };
    };
    auto pipe = [&](const char* name) {
        return [=] {
            QFile::remove(QString::fromStdString(path(name)));
            ASSERT_EQ(mkfifo(path(name).c_str(), 0600), 0);
        };
    };
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
    QJsonObject lacking = json, two = json, old = json;
    lacking.remove("Percentile");
    two["Number of Scales"] = 2;
    for (const char* key :
         {"Hierarchy File Size", "Hierarchy File Checksum", "Point Lists File Size", "Point Lists File Checksum"})
        old.remove(key);
    QByteArray padded = QJsonDocument(json).toJson();
    padded.append(QByteArray(1 << 20, ' '));
    const std::string damaged = " is damaged or was replaced";
    const std::string notRegular = " cannot be read (not a regular file)";

    // Lives from a case's damage to the end of its run.
    std::unique_ptr<ReadOnlyFolder> readOnly;
    // (case, damage, a text of the note or the console)
    std::vector<std::tuple<std::string, std::function<void()>, std::string>> cases = {
        // A cache without the percentile does not match the default of 0.5.
        {"no percentile", put(kParameters, QJsonDocument(lacking).toJson()),
         "Percentile (0.5) does not match cache (0). Cannot load cache.\n"},
        {"a cache without checksums", put(kParameters, QJsonDocument(old).toJson()),
         "not used: it was written without checksums of its files."},
        {"a parameter file over 1 MB", put(kParameters, padded), "not used: its parameter file is damaged."},
        {"foreign hierarchy file", put(kHierarchy, foreignHierarchy), kHierarchy + damaged},
        {"foreign point lists", put(kPoints, foreignPoints), kPoints + damaged},
        {"foreign hierarchy and point lists",
         [&] { write(kHierarchy, foreignHierarchy), write(kPoints, foreignPoints); }, kHierarchy + damaged},
        {"truncated hierarchy", put(kHierarchy, hierarchy.left(hierarchy.size() / 2)), kHierarchy + damaged},
        {"longer hierarchy", put(kHierarchy, hierarchy + QByteArray(4, 0)), kHierarchy + damaged},
        {"truncated point lists", put(kPoints, points.left(points.size() - 4)), kPoints + damaged},
        {"a data file as hierarchy", put(kHierarchy, read("s1.fcs")), kHierarchy + damaged},
        {"random hierarchy, vouched for", vouched(kHierarchy, noise), "is not a hierarchy file"},
        {"hierarchy of other scales", [&] { put(kParameters, QJsonDocument(two).toJson())(), hsne->setNumScales(2); },
         "the cached hierarchy has 3 scales over 1200 points, the analysis asks for 2"},
        {"negative count, vouched for", vouched(kPoints, negative), "has a list longer than the file"},
        {"event beyond the data, vouched for", vouched(kPoints, added(1, {0, 999999})), "refers to events"},
        {"file beyond the data, vouched for", vouched(kPoints, added(2, {7, 0})), "refers to events"},
        {"a point twice, vouched for", vouched(kPoints, added(1, somePoint)), "places a point twice"},
        {"unwritable folder",
         [&] {
             for (const char* name : {kHierarchy, kPoints, kParameters})
                 QFile::remove(QString::fromStdString(path(name)));
             readOnly = std::make_unique<ReadOnlyFolder>(dir.path().toStdString());
             ASSERT_TRUE(readOnly->ok());
         },
         "Caching failed."},
    };
    // Single bytes changed across the files: counts, indices, values, the ends.
    for (int offset : {0, 8, 12, 20, 24, 28, hierarchy.size() / 3, hierarchy.size() / 2, hierarchy.size() - 1})
        cases.emplace_back("hierarchy byte " + std::to_string(offset), put(kHierarchy, flipped(hierarchy, offset)),
                           kHierarchy + damaged);
    for (int offset : {0, 4, 8, 12, points.size() / 2, points.size() - 1})
        cases.emplace_back("point-list byte " + std::to_string(offset), put(kPoints, flipped(points, offset)),
                           kPoints + damaged);
    for (const char* name : {kHierarchy, kPoints}) {
        cases.emplace_back(std::string("a directory as ") + name, directory(name), name + notRegular);
        cases.emplace_back(std::string("a named pipe as ") + name, pipe(name), name + notRegular);
    }
    cases.emplace_back("a directory as parameter file", directory(kParameters), "its parameter file" + notRegular);
    cases.emplace_back("a named pipe as parameter file", pipe(kParameters), "its parameter file" + notRegular);

    for (const auto& [name, damage, text] : cases) {
        SCOPED_TRACE(name);
        damage();
        ui.clear();
        const std::string out = run();
        readOnly.reset();
        const std::string note = hsne->builder().cacheNote();
        EXPECT_NE((out + note).find(text), std::string::npos) << note << "\n" << out.substr(0, 2000);
        const std::string line = name == "unwritable folder" ? "HSNE cache not written to " : "HSNE cache in ";
        EXPECT_EQ(note.rfind(line + dir.path().toStdString() + "/", 0), 0u) << note;
        EXPECT_EQ(out.find("could not be computed"), std::string::npos);
        EXPECT_NE(out.find("Caching HSNE results.\n"), std::string::npos);
        EXPECT_EQ(ui.count("analysisFinished"), 1);
        ASSERT_NE(hsne->hierarchy(), nullptr);
        if (hsne->numScales() == 3) {
            EXPECT_EQ(lists(), built);
        }
        hsne->setNumScales(3);
        EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());
        for (const char* file : {kHierarchy, kPoints, kParameters}) QDir().rmdir(QString::fromStdString(path(file)));
        write(kHierarchy, hierarchy), write(kPoints, points), write(kParameters, parameters);
    }
    // Another cofactor: other data under the same file names.
    scaleData(2.f);
    EXPECT_NE(run().find("Data Fingerprint ("), std::string::npos);
}

}  // namespace
