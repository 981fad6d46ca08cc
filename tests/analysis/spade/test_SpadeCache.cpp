// The density cache beside each file: its bytes, its reuse, and that every
// cache of other settings or other data, damaged or half written, is answered
// by a recomputation.
#include "SpadeAnalysisTest.h"
#include "support/LeftOverTemporaries.h"

#include <QDir>

#include <sys/stat.h>

#include <cstring>
#include <functional>

namespace {

class SpadeCache : public SpadeAnalysisTest {
protected:
    void SetUp() override {
        SpadeAnalysisTest::SetUp();
        file = write("c.fcs", blobRows(3, 100, 5, 3));
        load({file});
    }
    std::string cache(const char* suffix) { return path(std::string("c") + suffix); }
    void put(const char* suffix, const QByteArray& content) {
        QFile f(QString::fromStdString(cache(suffix)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    static QByteArray int32s(const std::vector<int>& values) {
        QByteArray out(static_cast<int>(values.size() * 4), '\0');
        std::memcpy(out.data(), values.data(), values.size() * 4);
        return out;
    }
    QStringList leftovers() { return leftOverTemporaries(dir.path()); }

    std::string file;
};

// Of the same settings and data it is reloaded; of other settings or data,
// or damaged, it is answered by a recomputation.
TEST_F(SpadeCache, HoldsTheSettingsAndDensitiesAndIsReloadedOnlyForTheSameData) {
    makeSpade();
    EXPECT_TRUE(contains(run(), "\nProcessing File: " + file + " (File 1 of 1, containing 300 data points)\n"));
    const std::vector<int> densities = spade->localDensities()[0];
    EXPECT_EQ(bytes(cache("_parameters.txt")), QByteArray("1 1 1 1 1 2000 3 3 1 10 50 "));
    EXPECT_EQ(bytes(cache("_densities.raw")), int32s(densities));
    const QByteArray written = bytes(cache("_checksum.txt"));
    EXPECT_TRUE(written.startsWith("events 300\nvalues ")) << written.toStdString();
    EXPECT_TRUE(written.endsWith("\nmarkers 5\n3 Ch1 2 M1\n3 Ch2 2 M2\n3 Ch3 2 M3\n3 Ch4 2 M4\n3 Ch5 2 M5\n"))
        << written.toStdString();
    EXPECT_TRUE(leftovers().isEmpty());

    makeSpade();
    const std::string reloaded = run();
    EXPECT_TRUE(contains(reloaded, "\tTrying to load cached densities .. succes.\n")) << reloaded;
    EXPECT_FALSE(contains(reloaded, "Processing File")) << reloaded;
    EXPECT_EQ(spade->localDensities()[0], densities);

    const QByteArray parameters = bytes(cache("_parameters.txt")), raw = bytes(cache("_densities.raw")),
                     checksum = bytes(cache("_checksum.txt"));
    // Another checksum of the values: its first digit changed.
    QByteArray foreign = checksum;
    const int digit = foreign.indexOf("values ") + 7;
    foreign[digit] = foreign[digit] == '0' ? '1' : '0';
    QByteArray flipped = raw;
    flipped[5] = static_cast<char>(flipped[5] ^ 1);
    const std::string otherData =
        "\n\t\tData in cache differs from current data, cache file is invalid. Recomputing.\n";
    const auto remove = [&](const char* suffix) {
        return [=] { QFile::remove(QString::fromStdString(cache(suffix))); };
    };
    const auto replace = [&](const char* suffix, QByteArray content) { return [=] { put(suffix, content); }; };
    struct Case {
        const char* name;
        std::function<void()> change;  // to the files or the data
        std::function<void(MCV_SpadeAnalysis&)> set;
        std::string message;  // printed after "\tTrying to load cached densities .."
    };
    const std::vector<Case> cases = {
        {"marker state", nullptr, [](MCV_SpadeAnalysis& s) { s.setMarkerState(2, false); },
         "\n\t\tMarker state 2 in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        {"sample size", nullptr, [](MCV_SpadeAnalysis& s) { s.setMaxRandomSampleSize(1000); },
         "\n\t\tRandom sample size in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        // Written as "3.14159", which reads back as another float.
        {"alpha", nullptr, [](MCV_SpadeAnalysis& s) { s.setAlpha(3.14159274f); },
         "\n\t\tAlpha in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        {"garbage parameters", replace("_parameters.txt", "x"), nullptr,
         "\n\t\tMarker state 0 in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        {"truncated densities", replace("_densities.raw", raw.left(400)), nullptr,
         "\n\t\tSize of cache does not match data. Reading cache failed.\n"},
        {"other densities", replace("_densities.raw", flipped), nullptr, otherData},
        {"no checksum", remove("_checksum.txt"), nullptr, otherData},
        {"foreign checksum", replace("_checksum.txt", foreign), nullptr, otherData},
        {"a value changed", [&] { at(0, 7, 3) += 0.25f; }, nullptr, otherData},
        {"no densities", remove("_densities.raw"), nullptr, "\nProcessing File: "},
        // Changes every value, not the number of events (last: not undone).
        {"another cofactor", [&] { data->applyArcSinTransform(150, std::vector<bool>(5, true)); }, nullptr, otherData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put("_parameters.txt", parameters);
        put("_densities.raw", raw);
        put("_checksum.txt", checksum);
        if (c.change) c.change();
        const auto fresh = [&] {
            makeSpade();
            if (c.set) c.set(*spade);
            return run();
        };
        const std::string out = fresh();
        EXPECT_TRUE(contains(out, "\tTrying to load cached densities .." + c.message)) << out;
        EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        EXPECT_EQ(spade->localDensities()[0], bruteDensities(0, spade->densityRadii()[0]));
        // The recomputation rewrote the cache for these settings and data;
        // an alpha that its text does not keep never matches.
        const std::string again = fresh();
        EXPECT_EQ(contains(again, " succes.\n"), std::string(c.name) != "alpha") << again;
        if (std::string(c.name) == "a value changed") at(0, 7, 3) -= 0.25f;
    }
}

// A write that fails at any file (here a folder in its place, which is never
// replaced) leaves no temporary behind and no cache that a later run would
// take.
TEST_F(SpadeCache, ThatCannotBeWrittenLeavesNothingThatLoads) {
    for (const char* blocked : {"_parameters.txt", "_densities.raw", "_checksum.txt"}) {
        SCOPED_TRACE(blocked);
        removeCaches();
        const QString blocker = QString::fromStdString(cache(blocked));
        ASSERT_TRUE(QDir().mkpath(blocker + "/inside"));
        makeSpade();
        EXPECT_TRUE(contains(run(), "\n\t\tCaching densities failed: " + cache(blocked) + " could not be written.\n"));
        // The same with the reason, for the window.
        EXPECT_EQ(spade->cacheNote(), "SPADE density cache " + cache(blocked) + " was not written: it is a folder.");
        ASSERT_TRUE(QDir(blocker).removeRecursively());
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(" ").toStdString();
        // The parameter file comes first: without it nothing is written.
        if (std::string(blocked) != "_checksum.txt") {
            EXPECT_FALSE(QFile::exists(QString::fromStdString(cache("_parameters.txt"))));
            EXPECT_FALSE(QFile::exists(QString::fromStdString(cache("_densities.raw"))));
        }
        makeSpade();
        const std::string out = run();
        EXPECT_FALSE(contains(out, " succes.")) << out;
        EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        EXPECT_EQ(spade->cacheNote(), "") << "a run whose caches were written";
    }
}

// Columns appended after the cache was made (the output of another analysis)
// leave it valid while they are not selected; a change of what it was
// computed from does not.
TEST_F(SpadeCache, StaysValidWhenUnselectedColumnsAreAppended) {
    makeSpade();
    run();
    const std::vector<int> densities = spade->localDensities()[0];
    data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 1.0f);
    const auto unselectAppended = [](MCV_SpadeAnalysis& s) {
        s.setMarkerState(5, false);
        s.setMarkerState(6, false);
    };
    const std::string otherMarkers = "Marker state ";
    struct Case {
        const char* name;
        std::function<void(MCV_SpadeAnalysis&)> set;
        std::string message;  // printed after "\tTrying to load cached densities .."; empty: loaded
    } cases[] = {
        {"appended and not selected", unselectAppended, ""},
        {"an appended column selected", [&](MCV_SpadeAnalysis& s) { s.setMarkerState(6, false); },
         "\n\t\tMarker state 5 in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        {"a selected marker changed",
         [&](MCV_SpadeAnalysis& s) {
             unselectAppended(s);
             s.setMarkerState(1, false);
         },
         "\n\t\tMarker state 1 in cache differs from current setting, cache file is invalid. Recomputing.\n"},
        {"the data changed",
         [&](MCV_SpadeAnalysis& s) {
             unselectAppended(s);
             at(0, 3, 2) += 0.5f;
         },
         "\n\t\tData in cache differs from current data, cache file is invalid. Recomputing.\n"},
    };
    const QByteArray parameters = bytes(cache("_parameters.txt")), raw = bytes(cache("_densities.raw")),
                     checksum = bytes(cache("_checksum.txt"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put("_parameters.txt", parameters);
        put("_densities.raw", raw);
        put("_checksum.txt", checksum);
        makeSpade();
        c.set(*spade);
        const std::string out = run();
        if (c.message.empty()) {
            EXPECT_TRUE(contains(out, "\tTrying to load cached densities .. succes.\n")) << out;
            EXPECT_FALSE(contains(out, "Processing File")) << out;
            EXPECT_EQ(spade->localDensities()[0], densities);
        } else {
            EXPECT_TRUE(contains(out, "\tTrying to load cached densities .." + c.message)) << out;
            EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        }
    }
}

// A named pipe or a folder in place of a cache file would block the load or
// the write; it is passed over and the densities are recomputed.
TEST_F(SpadeCache, ThatIsNoRegularFileIsRecomputedWithoutBlocking) {
    makeSpade();
    run();
    const std::vector<int> densities = spade->localDensities()[0];
    for (const char* suffix : {"_densities.raw", "_parameters.txt", "_checksum.txt"}) {
        SCOPED_TRACE(suffix);
        const std::string at = cache(suffix);
        ASSERT_TRUE(QFile::remove(QString::fromStdString(at)));
        ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
        makeSpade();
        const std::string out = run();
        EXPECT_TRUE(contains(out, "\n\t\t" + at + " is not a regular file, cache file is invalid. Recomputing.\n"))
            << out;
        EXPECT_TRUE(contains(out, "\nProcessing File: ")) << out;
        EXPECT_EQ(spade->localDensities()[0], bruteDensities(0, spade->densityRadii()[0]));
        // The new cache took the pipe's place.
        makeSpade();
        EXPECT_TRUE(contains(run(), " succes.\n"));
    }
    // A pipe where a temporary was once written is in nobody's way: each
    // write has a temporary of its own, and the pipe is never opened.
    const std::string pipe = cache("_densities.raw") + ".tmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    removeCaches();
    makeSpade();
    EXPECT_FALSE(contains(run(), "Caching densities failed"));
    EXPECT_EQ(spade->localDensities()[0], densities);
    makeSpade();
    EXPECT_TRUE(contains(run(), " succes.\n"));
    struct stat status {};
    ASSERT_EQ(::stat(pipe.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    ASSERT_EQ(::unlink(pipe.c_str()), 0);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(" ").toStdString();
}

// Cache names: the file's path without ".fcs" (the names caches always had);
// another extension stays, so files that differ only in it keep their own
// caches; a dotted folder above a file without extension keeps them inside.
TEST_F(SpadeCache, IsNamedAfterTheFileKeepingExtensionsOtherThanFcs) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("run.1"));
    const struct {
        std::vector<std::string> files;
        std::vector<std::string> bases;  // per file, in the folder
    } cases[] = {
        {{"x.fcs"}, {"x"}},
        {{"y.FCS"}, {"y"}},
        {{"a.B08", "a.B09"}, {"a.B08", "a.B09"}},
        {{"run.1/sample"}, {"run.1/sample"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.front());
        removeCaches();
        fresh();
        std::vector<std::string> paths;
        for (size_t i = 0; i < c.files.size(); ++i)
            paths.push_back(write(c.files[i], blobRows(1, 30 + static_cast<int>(i), 2, 4)));
        load(paths);
        makeSpade();
        run();
        for (const std::string& base : c.bases)
            for (const char* suffix : {"_parameters.txt", "_densities.raw", "_checksum.txt"})
                EXPECT_TRUE(QFile::exists(QString::fromStdString(path(base + suffix)))) << base << suffix;
        // Each file finds its own cache again.
        makeSpade();
        const std::string again = run();
        EXPECT_FALSE(contains(again, "Processing File")) << again;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("run_densities.raw"))));
}

}  // namespace
