// Exports over existing files: a failed write leaves the old file byte for
// byte and no temporary beside it; a successful one replaces it whole.
#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"
#include "support/FolderSnapshot.h"
#include "support/PipeWatchdog.h"
#include "support/WriteFailure.h"

#include "data/MCV_BinWriter.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsWriter.h"
#include "data/MCV_ReplacingFile.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <set>

namespace {

// Every file written below is larger than this.
constexpr rlim_t kLimit = 2048;

class ExportReplacing : public DerivedDataTest {
protected:
    // Files s1 and s2 of 1000 events of variables A, B, C; event e of file f
    // holds 10000 f + 10 e + v. Point set P and clusters a, b take events of
    // both files.
    void SetUp() override {
        DerivedDataTest::SetUp();
        std::vector<Rows> files(2);
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 1000; ++e) {
                const float base = 10000.0f * f + 10.0f * e;
                files[size_t(f)].push_back({base, base + 1, base + 2});
            }
        load(files, {"A", "B", "C"});
        Points p, a, b;
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 1000; ++e) (e % 2 ? a : b).emplace_back(f, e), p.emplace_back(f, e);
        data->derivedDataPoints("P", true)->setPoints(p, false);
        MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
        c->setClusters({a, b}, nullptr, {}, nullptr);
        c->setClusterName(0, "a");
        c->setClusterName(1, "b");
    }

    struct Writer {
        const char* what;
        std::string chosen;                // the file the user chose
        std::vector<std::string> targets;  // the files the export writes
        int failed, written;               // its results
        std::function<int(const std::string&)> run;
    };
    std::vector<Writer> writers() {
        auto points = [this](int mode, std::vector<int> markers) {
            return [this, mode, markers](const std::string& p) mutable {
                return data->writeToFile("P", p, mode, &markers);
            };
        };
        auto clusters = [this](bool perFile) {
            return [this, perFile](const std::string& p) { return data->writeClustersToFiles("C", p, perFile); };
        };
        return {
            {"FCS", "keep.fcs", {"keep.fcs"}, -1, 0, points(0, {})},
            {"binary", "keep.bin", {"keep.bin"}, 0, 1, points(0, {0, 2})},
            {"binary per sample", "keep.bin", {"keep-s1.bin", "keep-s2.bin"}, 0, 1, points(1, {1})},
            {"FCS per sample", "keep.fcs", {"keep-s1.fcs", "keep-s2.fcs"}, -1, 0, points(1, {})},
            {"clusters", "keep.fcs", {"keep-a.fcs", "keep-b.fcs"}, 0, 1, clusters(false)},
            {"clusters per sample",
             "keep.fcs",
             {"keep-a-s1.fcs", "keep-a-s2.fcs", "keep-b-s1.fcs", "keep-b-s2.fcs"},
             0,
             1,
             clusters(true)},
        };
    }

    QString folder(const std::string& name) {
        EXPECT_TRUE(QDir(dir.path()).mkpath(QString::fromStdString(name)));
        return dir.filePath(QString::fromStdString(name));
    }
};

TEST_F(ExportReplacing, AFailedExportLeavesTheOldFilesAsTheyWereAndNoTemporary) {
    int n = 0;
    for (const Writer& w : writers())
        for (WriteFailure how :
             {WriteFailure::FileSizeLimit, WriteFailure::ReadOnlyFolder, WriteFailure::FolderInTheWay}) {
            SCOPED_TRACE(std::string(w.what) + ", " + writeFailureName(how));
            const QString out = folder("fail" + std::to_string(n++));
            for (const std::string& t : w.targets) {
                if (how == WriteFailure::FolderInTheWay) {
                    ASSERT_TRUE(QDir(out).mkpath(QString::fromStdString(t) + "/inside"));
                    continue;
                }
                QFile old(out + "/" + QString::fromStdString(t));
                ASSERT_TRUE(old.open(QIODevice::WriteOnly));
                old.write("the good old " + QByteArray::fromStdString(t));
            }
            const auto before = folderSnapshot(out);
            int result = -100;
            std::string log;
            ASSERT_TRUE(underWriteFailure(how, out.toStdString(), kLimit, [&] {
                log = capturedStdout([&] { result = w.run((out + "/").toStdString() + w.chosen); });
            }));
            EXPECT_EQ(result, w.failed);
            EXPECT_EQ(folderSnapshot(out), before) << "old files byte for byte, no temporary";
            EXPECT_NE(log.find("[ERROR]"), std::string::npos) << log;
            EXPECT_EQ(log.find("succesfully"), std::string::npos) << log;
            // The reason: a folder that cannot take the new file is named as
            // the cause, not the file.
            const std::string why =
                how == WriteFailure::FileSizeLimit ? "writing failed (File too large); the existing file is unchanged"
                : how == WriteFailure::ReadOnlyFolder
                    ? "the folder " + out.toStdString() +
                          " cannot take the new file (Permission denied); the existing file is unchanged"
                    : "it is a folder";
            EXPECT_NE(log.find(" was not written: " + why + ".\n"), std::string::npos) << log;
            // The same reasons reach the caller, one line per file.
            std::string lines;
            for (const std::string& t : w.targets)
                lines += (lines.empty() ? "" : "\n") + (out + "/").toStdString() + t + ": " + why;
            EXPECT_EQ(data->exportFailure(), lines);
        }
}

// A named pipe (with no reader) or a device in the place of an export's file
// is refused at once with a reason, without being opened: opening a pipe for
// writing would wait for a reader for ever. The other files of the export are
// written.
TEST_F(ExportReplacing, APipeOrDeviceInAFilesPlaceIsRefusedWithoutWaiting) {
    int n = 0;
    for (const Writer& w : writers())
        for (const bool pipe : {true, false}) {
            SCOPED_TRACE(std::string(w.what) + (pipe ? ", a named pipe" : ", a link to a device"));
            const QString out = folder("special" + std::to_string(n++));
            const std::string first = (out + "/").toStdString() + w.targets[0];
            if (pipe) {
                ASSERT_EQ(::mkfifo(first.c_str(), 0600), 0);
            } else {
                ASSERT_EQ(::symlink("/dev/null", first.c_str()), 0);
            }
            int result = -100;
            std::string log;
            size_t throughPipe = 0;
            {
                PipeWatchdog watchdog(pipe ? first : out.toStdString() + "/none");
                log = capturedStdout([&] { result = w.run((out + "/").toStdString() + w.chosen); });
                throughPipe = watchdog.bytesRead();
            }
            EXPECT_EQ(result, w.failed);
            EXPECT_EQ(throughPipe, 0u);
            const std::string why = pipe ? "it is a named pipe, not a regular file"
                                         : "it links to /dev/null, which is a device, not a regular file";
            EXPECT_NE(log.find(first + " was not written: " + why + ".\n"), std::string::npos) << log;
            EXPECT_EQ(data->exportFailure(), first + ": " + why);
            struct stat status {};
            ASSERT_EQ(::lstat(first.c_str(), &status), 0);
            EXPECT_TRUE(pipe ? S_ISFIFO(status.st_mode) : S_ISLNK(status.st_mode));
            for (size_t t = 1; t < w.targets.size(); ++t)
                EXPECT_TRUE(QFileInfo(out + "/" + QString::fromStdString(w.targets[t])).isFile()) << w.targets[t];
        }
    struct stat status {};
    ASSERT_EQ(::stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST_F(ExportReplacing, ASuccessfulExportReplacesTheFileWholeKeepingItsPermissionsAndLinks) {
    int n = 0;
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.what);
        // The same export into an empty folder gives the bytes expected.
        const QString fresh = folder("fresh" + std::to_string(n));
        int result = -100;
        quietly([&] { result = w.run((fresh + "/").toStdString() + w.chosen); });
        ASSERT_EQ(result, w.written);

        const QString out = folder("over" + std::to_string(n++));
        for (const std::string& t : w.targets) {
            QFile old(out + "/" + QString::fromStdString(t));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'x'));  // longer than the new file: nothing of it may remain
            ASSERT_TRUE(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        }
        // The first target is a link to a file elsewhere: the file is replaced, the link stays.
        const QString linked = folder("linked" + std::to_string(n)) + "/real";
        const QString first = out + "/" + QString::fromStdString(w.targets[0]);
        ASSERT_TRUE(QFile::rename(first, linked));
        ASSERT_TRUE(QFile::link(linked, first));

        quietly([&] { result = w.run((out + "/").toStdString() + w.chosen); });
        ASSERT_EQ(result, w.written);
        EXPECT_EQ(data->exportFailure(), "");
        auto expected = folderSnapshot(fresh);
        auto got = folderSnapshot(out);
        EXPECT_EQ(QFileInfo(first).symLinkTarget(), linked);
        got[QString::fromStdString(w.targets[0])] = QByteArray::fromStdString(readAll(linked.toStdString()));
        EXPECT_EQ(got, expected) << "exact bytes, no temporary";
        for (const std::string& t : w.targets)
            EXPECT_EQ(QFile::permissions(out + "/" + QString::fromStdString(t)) & 0x7077,
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup)
                << t;
    }
    // The binary file holds variables 0 and 2 of each point in set order.
    const std::string bytes = readAll(dir.filePath("fresh1/keep.bin").toStdString());
    ASSERT_EQ(bytes.size(), 2000u * 2 * 4);
    float row[2];
    std::memcpy(row, bytes.data() + (1000 + 7) * 8, 8);
    EXPECT_EQ(std::make_pair(row[0], row[1]), std::make_pair(10070.0f, 10072.0f));
}

// A writer used again after a failure: once a file is written, it reports no
// reason, so that nothing stale is shown for a good write.
TEST_F(ExportReplacing, AWriteAfterAFailedOneKeepsNoReason) {
    MCV_FcsWriter fcs;
    MCV_BinWriter bin;
    fcs.setData(data->derivedDataPoints("P", false));
    fcs.setHeader(data->combinedHeader());
    bin.setData(data->derivedDataPoints("P", false));
    bin.setHeader(data->combinedHeader());
    MCV_ReplacingFile file;
    std::vector<float> raw(3 * 4, 1.5f);
    std::vector<int> markers = {0, 2};
    const struct {
        const char* what;
        std::function<bool(const std::string&)> write;
        std::function<std::string()> reason;
    } writers[] = {
        {"FCS", [&](const std::string& p) { return fcs.writeToFile(p) == MCV_FcsWriter::Written; },
         [&] { return fcs.error(); }},
        {"FCS from values",
         [&](const std::string& p) { return fcs.writeToFileFromRaw(p, raw.data(), 4) == MCV_FcsWriter::Written; },
         [&] { return fcs.error(); }},
        {"binary", [&](const std::string& p) { return bin.writeToFile(p, &markers, 0) == 1; },
         [&] { return bin.error(); }},
        {"file writer", [&](const std::string& p) { return file.open(p) && file.write("x", 1) && file.commit(); },
         [&] { return file.error() + file.cause(); }},
    };
    int n = 0;
    for (const auto& w : writers) {
        SCOPED_TRACE(w.what);
        const QString out = folder("again" + std::to_string(n++));
        ASSERT_TRUE(QDir(out).mkpath("taken/inside"));
        bool failed = true, written = false;
        quietly([&] { failed = !w.write((out + "/taken").toStdString()); });
        EXPECT_TRUE(failed);
        EXPECT_NE(w.reason().find("it is a folder"), std::string::npos) << w.reason();
        quietly([&] { written = w.write((out + "/free").toStdString()); });
        EXPECT_TRUE(written);
        EXPECT_EQ(w.reason(), "");
        EXPECT_TRUE(QFileInfo(out + "/free").isFile());
    }
}

// Suffixes are the file name's: a '.' in a folder's name is not one, and the
// per-sample and per-cluster files land inside the chosen folder.
TEST_F(ExportReplacing, NamesAreCutAtTheFileNamesSuffixOnlyAndFcsIsRecognisedInAnyCase) {
    struct Case {
        const char* chosen;
        std::function<int(const std::string&)> run;
        int result;
        std::set<std::string> files;  // every file written, relative to the test folder
    };
    std::vector<int> markers = {0};
    auto points = [&](int mode) {
        return [&, mode](const std::string& p) { return data->writeToFile("P", p, mode, &markers); };
    };
    auto clusters = [&](const std::string& p) { return data->writeClustersToFiles("C", p, false); };
    const Case cases[] = {
        {"run.1/bubble", points(1), 0, {"run.1/bubble-s1.fcs", "run.1/bubble-s2.fcs"}},
        {"run.bin/bubble", points(0), 0, {"run.bin/bubble"}},  // no suffix: FCS
        {"run.2/bubble.bin", points(1), 1, {"run.2/bubble-s1.bin", "run.2/bubble-s2.bin"}},
        {"run.3/out.FCS", clusters, 1, {"run.3/out-a.fcs", "run.3/out-b.fcs"}},
        {"run.4/out.Fcs", clusters, 1, {"run.4/out-a.fcs", "run.4/out-b.fcs"}},
        {"run.fcs/out", clusters, 0, {}},
        {"run.5/out.fcs.bin", clusters, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        QTemporaryDir top;
        const QString chosen = top.filePath(c.chosen);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(chosen).path()));
        int result = -100;
        quietly([&] { result = c.run(chosen.toStdString()); });
        EXPECT_EQ(result, c.result);
        std::set<std::string> files;
        for (const auto& [name, bytes] : folderSnapshot(top.path()))
            if (bytes != "<dir>") files.insert(name.toStdString());
        EXPECT_EQ(files, c.files);
        for (const std::string& f : c.files)
            if (QFileInfo(QString::fromStdString(f)).suffix() != "bin") {
                EXPECT_EQ(FcsLoad(top.filePath(QString::fromStdString(f)).toStdString()).code, 0) << f;
            }
    }
    for (const auto& [path, base, suffix] :
         {std::tuple("run.1/bubble", "run.1/bubble", ""), std::tuple("/x/run.1/b.tar.fcs", "/x/run.1/b.tar", "fcs"),
          std::tuple("plain.", "plain", ""), std::tuple("/x/.fcs", "/x/", "fcs")}) {
        EXPECT_EQ(MCV_ExportNames::base(path), base) << path;
        EXPECT_EQ(MCV_ExportNames::extension(path), suffix) << path;
    }
}

// The names the cluster export announces before it writes (for the question
// about files it would replace) are the files it then writes: clusters of
// one name, a cluster without events of a sample, both modes.
TEST_F(ExportReplacing, TheClusterFileNamesAreTheFilesTheExportWrites) {
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    Points onlyFirst;
    for (int e = 0; e < 10; ++e) onlyFirst.emplace_back(0, e);
    c->setClusters({c->clusters()[0], c->clusters()[1], onlyFirst, {}}, nullptr, {}, nullptr);
    for (int k = 0; k < 4; ++k) c->setClusterName(k, k == 3 ? "empty" : "a/b");
    // {per sample, files}
    const std::pair<bool, std::set<std::string>> cases[] = {
        {false, {"x-a_b.fcs", "x-a_b-2.fcs", "x-a_b-3.fcs", "x-empty.fcs"}},
        {true, {"x-a_b-s1.fcs", "x-a_b-s2.fcs", "x-a_b-s1-2.fcs", "x-a_b-s2-2.fcs", "x-a_b-s1-3.fcs"}},
    };
    int n = 0;
    for (const auto& [perFile, expected] : cases) {
        SCOPED_TRACE(perFile);
        const QString out = folder("names" + std::to_string(n++));
        const std::string chosen = (out + "/x.fcs").toStdString();
        const std::vector<std::string> names = data->clusterFileNames("C", chosen, perFile);
        int result = -100;
        quietly([&] { result = data->writeClustersToFiles("C", chosen, perFile); });
        ASSERT_EQ(result, 1);
        std::set<std::string> written, announced;
        for (const auto& [name, bytes] : folderSnapshot(out)) written.insert(name.toStdString());
        for (const std::string& name : names) announced.insert(name.substr(size_t(out.size()) + 1));
        EXPECT_EQ(written, expected);
        EXPECT_EQ(announced, expected);
        EXPECT_EQ(names.size(), expected.size()) << "each name once";
    }
    // What writes nothing announces nothing.
    EXPECT_TRUE(data->clusterFileNames("C", dir.filePath("x.bin").toStdString(), false).empty());
    EXPECT_TRUE(data->clusterFileNames("none", dir.filePath("x.fcs").toStdString(), false).empty());
    EXPECT_TRUE(data->clusterFileNames("", dir.filePath("x.fcs").toStdString(), false).empty());
}

}  // namespace
