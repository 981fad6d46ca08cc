// The build of an HSNE hierarchy as both analyses run it through their
// builder: the steps it reports, a stop at any of them, and the line it
// leaves about the caches.
#include "analysis/fc/HsneFCAnalysisTest.h"
#include "support/LeftOverTemporaries.h"
#include "support/ReadOnlyFolder.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <mutex>
#include <omp.h>
#include <thread>

#include <sys/stat.h>

namespace {

constexpr const char* kHierarchy = MCV_DerivedDataHierarchy::HierarchyCacheName;
constexpr const char* kPoints = MCV_DerivedDataHierarchy::PointBasedCacheName;
constexpr const char* kParameters = MCV_DerivedDataHierarchy::ParametersCacheName;

// One of the two analyses that build a hierarchy, made afresh for a run.
struct Kind {
    const char* name;
    std::function<MCV_HsneHierarchyBuilder&()> make;
    std::function<void()> run;
    std::function<MCV_DerivedDataHierarchy*()> hierarchy;
};

class HsneBuild : public HsneFCAnalysisTest {
protected:
    std::vector<Kind> kinds() {
        return {
            {"HSNE", [this]() -> MCV_HsneHierarchyBuilder& { return makeHsne(3, 5, true)->builder(); },
             [this] { hsne->initHSNE(); }, [this] { return hsne->hierarchy().get(); }},
            {"focus and context", [this]() -> MCV_HsneHierarchyBuilder& { return makeFc(3, 5, true)->builder(); },
             [this] { fc->initHSNE(); }, [this] { return fc->hierarchy(); }},
        };
    }
    // The cache files (and temporaries) in the data folder.
    QStringList cacheFiles() {
        return QDir(dir.path()).entryList({"hsne-*"}, QDir::Files | QDir::Dirs) + leftOverTemporaries(dir.path());
    }
    std::string path(const char* name) { return folder() + name; }
    QByteArray read(const char* name) {
        QFile f(QString::fromStdString(path(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const char* name, const QByteArray& bytes) {
        QFile f(QString::fromStdString(path(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
};

// Stopped at any of these steps, a build leaves neither a hierarchy nor a
// cache file and says so; the analysis reports the end of its run. The next
// build of the same analysis runs to its end and writes the caches.
TEST_F(HsneBuild, AStopLeavesNoHierarchyAndNoCacheFileAndALaterBuildRunsNormally) {
    loadHsneBlobs(3, 400);
    for (const Kind& kind : kinds()) {
        for (const char* step : {"Scale 2 of 2: landmarks", "Points per landmark", "Writing the cache"}) {
            SCOPED_TRACE(std::string(kind.name) + ", " + step);
            for (const QString& file : cacheFiles()) QFile::remove(dir.filePath(file));
            MCV_HsneHierarchyBuilder& builder = kind.make();
            std::mutex mutex;
            std::string stoppedAt;
            builder.setStatusObserver([&](const MCV_HsneHierarchyBuilder::Status& s) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!stoppedAt.empty() || s.what != step) return;
                stoppedAt = s.what;
                builder.stop();
            });
            ui.clear();
            const std::string out = capturedStdout(kind.run);
            EXPECT_EQ(stoppedAt, step);
            EXPECT_NE(out.find("was not built: the build was stopped."), std::string::npos) << out.substr(0, 3000);
            EXPECT_EQ(kind.hierarchy(), nullptr);
            EXPECT_EQ(cacheFiles(), QStringList());
            EXPECT_EQ(ui.count("analysisFinished"), 1);
            EXPECT_TRUE(builder.cacheNote().empty());

            builder.setStatusObserver(nullptr);
            quietly(kind.run);
            ASSERT_NE(kind.hierarchy(), nullptr);
            EXPECT_EQ(kind.hierarchy()->numScales(), 3);
            EXPECT_EQ(cacheFiles(), QStringList({kHierarchy, kParameters, kPoints}));
        }
    }
}

// The steps come in the order the work runs them, on the builder's thread;
// the progress hook runs on the calling thread, the last time with
// `finished`. A second run loads the cache the first one wrote.
TEST_F(HsneBuild, ReportsEveryStepInOrderAndTheHookRunsOnTheCallingThread) {
    loadHsneBlobs(3, 400);
    const std::vector<std::string> built = {"Reading the cache",
                                            "Nearest neighbours",
                                            "Transition probabilities",
                                            "Scale 1 of 2: landmarks",
                                            "Scale 1 of 2: area of influence",
                                            "Scale 1 of 2: transition matrix",
                                            "Scale 2 of 2: landmarks",
                                            "Scale 2 of 2: area of influence",
                                            "Scale 2 of 2: transition matrix",
                                            "Points per landmark",
                                            "Writing the cache"};
    const std::vector<std::string> loaded = {"Reading the cache", "Loading the cached hierarchy"};
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        for (const QString& file : cacheFiles()) QFile::remove(dir.filePath(file));
        for (const std::vector<std::string>* expected : {&built, &loaded}) {
            MCV_HsneHierarchyBuilder& builder = kind.make();
            std::mutex mutex;
            std::vector<std::string> steps;
            bool backwards = false;
            double last = 0;
            builder.setStatusObserver([&](const MCV_HsneHierarchyBuilder::Status& s) {
                std::lock_guard<std::mutex> lock(mutex);
                if (steps.empty() || steps.back() != s.what) {
                    steps.push_back(s.what);
                } else {
                    backwards = backwards || s.fraction < last;
                }
                last = s.fraction;
            });
            std::vector<bool> finished;
            bool elsewhere = false;
            const std::thread::id caller = std::this_thread::get_id();
            builder.setProgressHook([&](const MCV_HsneHierarchyBuilder::Status& s) {
                finished.push_back(s.finished);
                elsewhere = elsewhere || std::this_thread::get_id() != caller;
            });
            quietly(kind.run);
            EXPECT_EQ(steps, *expected);
            EXPECT_FALSE(backwards);
            ASSERT_GE(finished.size(), 2u);
            EXPECT_FALSE(finished.front());
            EXPECT_TRUE(finished.back());
            EXPECT_EQ(std::count(finished.begin(), finished.end(), true), 1);
            EXPECT_FALSE(elsewhere);
        }
    }
}

// The builder's thread runs its parallel loops on as many threads as the
// caller's would.
TEST_F(HsneBuild, TheBuildRunsOnAsManyThreadsAsTheCaller) {
    loadHsneBlobs(3, 200);
    const int threads = omp_get_max_threads();
    for (int t : {1, 3}) {
        omp_set_num_threads(t);
        MCV_HsneHierarchyBuilder& builder = makeHsne(2, 5)->builder();
        std::atomic<int> seen{-1};
        builder.setStatusObserver([&](const MCV_HsneHierarchyBuilder::Status& s) {
            if (s.what == "Nearest neighbours" && s.fraction == 0) seen = omp_get_max_threads();
        });
        quietly([&] { hsne->initHSNE(); });
        EXPECT_EQ(seen, t);
    }
    omp_set_num_threads(threads);
}

// One line about the caches beside the data, naming the folder and the
// reason, when a cache exists and is not used or cannot be written; nothing
// when a cache is written or loaded, or the settings it does not record
// changed.
TEST_F(HsneBuild, TheCacheNoteNamesTheFolderAndWhyTheCacheWasNotUsedOrNotWritten) {
    loadHsneBlobs(3, 400);
    makeHsne(3, 5, true);
    quietly([&] { hsne->initHSNE(); });
    EXPECT_EQ(hsne->builder().cacheNote(), "");
    const QByteArray hierarchy = read(kHierarchy), points = read(kPoints), parameters = read(kParameters);
    ASSERT_FALSE(hierarchy.isEmpty() || points.isEmpty() || parameters.isEmpty());
    const std::string notUsed = "HSNE cache in " + folder() + " not used: ";
    std::unique_ptr<ReadOnlyFolder> readOnly;

    auto scale = [&](float factor) {
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 600; ++e) at(f, e, 0) *= factor;
    };
    const struct {
        const char* name;
        std::function<void()> change, undo;
        std::string note;
    } cases[] = {
        {"the cache of the same build", [] {}, [] {}, ""},
        {"another seed", [&] { hsne->setSeed(9); }, [&] { hsne->setSeed(3); }, ""},
        {"other settings", [&] { hsne->setNumScales(2); }, [&] { hsne->setNumScales(3); },
         notUsed + "it was built with other settings (Number of Scales 3, not 2)."},
        {"other markers", [&] { hsne->setMarkerState(var("M1"), false); },
         [&] { hsne->setMarkerState(var("M1"), true); }, notUsed + "it was built with other markers."},
        {"other data", [&] { scale(2.f); }, [&] { scale(0.5f); }, notUsed + "it was built from other data."},
        {"a damaged hierarchy file", [&] { write(kHierarchy, hierarchy.left(100)); }, [] {},
         notUsed + kHierarchy + " is damaged or was replaced."},
        {"a missing hierarchy file", [&] { QFile::remove(QString::fromStdString(path(kHierarchy))); }, [] {},
         notUsed + kHierarchy + " is missing."},
        {"a damaged parameter file", [&] { write(kParameters, "{"); }, [] {},
         notUsed + "its parameter file is damaged."},
        {"an unwritable folder",
         [&] {
             for (const char* name : {kHierarchy, kPoints, kParameters})
                 QFile::remove(QString::fromStdString(path(name)));
             readOnly = std::make_unique<ReadOnlyFolder>(dir.path().toStdString());
             ASSERT_TRUE(readOnly->ok());
         },
         [&] { readOnly.reset(); }, "HSNE cache not written to " + folder() + ": Permission denied."},
        {"a folder in a cache file's place",
         [&] {
             QFile::remove(QString::fromStdString(path(kPoints)));
             QDir().mkpath(QString::fromStdString(path(kPoints)));
         },
         [&] { QDir().rmdir(QString::fromStdString(path(kPoints))); },
         notUsed + kPoints + " cannot be read (not a regular file). HSNE cache not written to " + folder() +
             ": Is a directory."},
        {"caching off", [&] { hsne->setCachingEnabled(false), write(kParameters, "{"); },
         [&] { hsne->setCachingEnabled(true); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(kHierarchy, hierarchy), write(kPoints, points), write(kParameters, parameters);
        c.change();
        quietly([&] { hsne->initHSNE(); });
        EXPECT_EQ(hsne->builder().cacheNote(), c.note);
        EXPECT_NE(hsne->hierarchy(), nullptr);
        c.undo();
    }
}

// Both analyses go through the same gate: a pipe in place of a cache file or
// a changed byte is answered by a build and the note, and the files that
// build writes are loaded by the next run.
TEST_F(HsneBuild, BothAnalysesRebuildForPipesAndDamagedFilesAndLoadWhatTheyWrote) {
    loadHsneBlobs(3, 300);
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        for (const QString& file : cacheFiles()) QFile::remove(dir.filePath(file));
        quietly([&] { kind.make(), kind.run(); });
        const QByteArray hierarchy = read(kHierarchy);
        QByteArray flipped = hierarchy;
        flipped[40] = static_cast<char>(flipped[40] ^ 1);
        const std::string notUsed = "HSNE cache in " + folder() + " not used: ";
        const struct {
            const char* name;
            std::function<void()> damage;
            std::string note;
        } cases[] = {
            {"a pipe as parameter file",
             [&] {
                 QFile::remove(QString::fromStdString(path(kParameters)));
                 ASSERT_EQ(mkfifo(path(kParameters).c_str(), 0600), 0);
             },
             notUsed + "its parameter file cannot be read (not a regular file)."},
            {"a pipe as point lists",
             [&] {
                 QFile::remove(QString::fromStdString(path(kPoints)));
                 ASSERT_EQ(mkfifo(path(kPoints).c_str(), 0600), 0);
             },
             notUsed + kPoints + " cannot be read (not a regular file)."},
            {"a changed byte", [&] { write(kHierarchy, flipped); },
             notUsed + kHierarchy + " is damaged or was replaced."},
            {"the files that build wrote", [] {}, ""},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            MCV_HsneHierarchyBuilder& builder = kind.make();
            c.damage();
            const std::string out = capturedStdout(kind.run);
            EXPECT_EQ(builder.cacheNote(), c.note);
            EXPECT_EQ(out.find("aching HSNE results.") == std::string::npos, c.note.empty()) << out.substr(0, 2000);
            ASSERT_NE(kind.hierarchy(), nullptr);
            EXPECT_EQ(kind.hierarchy()->numScales(), 3);
            EXPECT_EQ(read(kHierarchy), hierarchy);
        }
    }
}

}  // namespace
