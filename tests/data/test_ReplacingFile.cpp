// The program's one file writer on its own: where the bytes land for each
// kind of target, and what a failure leaves behind and says.
#include "data/MCV_ReplacingFile.h"
#include "support/FolderSnapshot.h"
#include "support/LeftOverTemporaries.h"
#include "support/PipeWatchdog.h"
#include "support/SmallFileSystem.h"
#include "support/WriteFailure.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

std::string randomBytes(size_t size) {
    std::mt19937 rng(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void save(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct stat statusOf(const std::string& path, bool followLinks = true) {
    struct stat status {};
    EXPECT_EQ(followLinks ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status), 0) << path;
    return status;
}

class ReplacingFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // A new, empty folder of the test.
    std::string folder() {
        const QString name = "case" + QString::number(m_folders++);
        EXPECT_TRUE(QDir(dir.path()).mkdir(name));
        return dir.filePath(name).toStdString();
    }
    QTemporaryDir dir;

private:
    int m_folders = 0;
};

TEST_F(ReplacingFile, PutsTheExactBytesWhereTheNameLeads) {
    const struct {
        const char* name;
        std::function<std::string(const std::string&)> prepare;  // the path to open, in the folder given
        const char* lands;                                       // the file that gets the bytes
        MCV_ReplacingFile::Pipes pipes;
        mode_t mode;  // of the file written; 0: as the umask gives
    } cases[] = {
        {"a new file", [](const std::string& f) { return f + "/new"; }, "new", MCV_ReplacingFile::RefusePipes, 0},
        {"a longer file, whose mode stays",
         [](const std::string& f) {
             save(f + "/old", std::string(100000, 'x'));
             ::chmod((f + "/old").c_str(), 0640);
             return f + "/old";
         },
         "old", MCV_ReplacingFile::RefusePipes, 0640},
        {"a link, which stays a link",
         [](const std::string& f) {
             save(f + "/real", "x");
             EXPECT_EQ(::symlink("real", (f + "/link").c_str()), 0);
             return f + "/link";
         },
         "real", MCV_ReplacingFile::RefusePipes, 0},
        {"a dangling link",
         [](const std::string& f) {
             EXPECT_EQ(::symlink("made", (f + "/dangling").c_str()), 0);
             return f + "/dangling";
         },
         "made", MCV_ReplacingFile::RefusePipes, 0},
        {"a named pipe, where the caller has it replaced",
         [](const std::string& f) {
             EXPECT_EQ(::mkfifo((f + "/pipe").c_str(), 0600), 0);
             return f + "/pipe";
         },
         "pipe", MCV_ReplacingFile::ReplacePipes, 0},
    };
    for (const auto& c : cases)
        for (size_t size : {size_t(0), size_t(5), (size_t(3) << 20) + 7}) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(size) + " bytes");
            const std::string f = folder();
            const std::string path = c.prepare(f);
            const std::string bytes = randomBytes(size);
            MCV_ReplacingFile file;
            ASSERT_TRUE(file.open(path, c.pipes)) << file.error();
            for (size_t done = 0, piece = 1; done < size; done += piece, piece = piece * 5 + 1)
                ASSERT_TRUE(file.write(bytes.data() + done, std::min(piece, size - done)));
            ASSERT_TRUE(file.commit()) << file.error();
            EXPECT_EQ(file.error(), "");
            const std::string landed = f + "/" + c.lands;
            EXPECT_TRUE(S_ISREG(statusOf(landed, false).st_mode));
            EXPECT_EQ(contents(landed), bytes);
            if (c.mode) {
                EXPECT_EQ(statusOf(landed).st_mode & 07777, c.mode);
            }
            if (path != landed) {
                EXPECT_TRUE(S_ISLNK(statusOf(path, false).st_mode));
            }
            EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
        }

    // A file past a few steps of the write-back, in pieces across them.
    {
        const std::string f = folder();
        const std::string bytes = randomBytes((size_t(100) << 20) + 3);
        MCV_ReplacingFile file;
        ASSERT_TRUE(file.open(f + "/large"));
        for (size_t done = 0, piece; done < bytes.size(); done += piece) {
            piece = std::min(bytes.size() - done, (size_t(7) << 20) + 1);
            ASSERT_TRUE(file.write(bytes.data() + done, piece));
        }
        ASSERT_TRUE(file.commit()) << file.error();
        EXPECT_EQ(contents(f + "/large"), bytes);
    }

    // A bare name is a file of the working folder.
    const std::string f = folder();
    const std::string previous = QDir::currentPath().toStdString();
    ASSERT_EQ(::chdir(f.c_str()), 0);
    std::string error;
    const bool written = MCV_ReplacingFile::writeWhole("bare", "abc", 3, &error);
    ASSERT_EQ(::chdir(previous.c_str()), 0);
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(contents(f + "/bare"), "abc");
}

// Until the commit the bytes are in a hidden temporary of the target's folder,
// one for each write, so that two writes of one file never mix; the last
// commit gives the file.
TEST_F(ReplacingFile, EachWriteHasATemporaryOfItsOwnBesideTheTarget) {
    const std::string f = folder();
    const std::string target = f + "/same";
    save(target, "old");
    MCV_ReplacingFile first, second;
    ASSERT_TRUE(first.open(target) && first.write("first", 5));
    ASSERT_TRUE(second.open(target) && second.write("second", 6));
    const QStringList temporaries = leftOverTemporaries(QString::fromStdString(f));
    ASSERT_EQ(temporaries.size(), 2);
    for (const QString& t : temporaries) EXPECT_TRUE(t.startsWith(".same.")) << t.toStdString();
    EXPECT_EQ(contents(target), "old");
    EXPECT_TRUE(second.commit());
    EXPECT_EQ(contents(target), "second");
    EXPECT_TRUE(first.commit());
    EXPECT_EQ(contents(target), "first");
    EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
}

// Each failure leaves the folder exactly as it was (the old file, no
// temporary), never opens a pipe or device, and says what failed in words
// that name the folder when the folder is the cause.
TEST_F(ReplacingFile, AFailureLeavesTheFolderAsItWasAndSaysWhatFailed) {
    const auto none = WriteFailure::MissingFolder;  // nothing arranged: the case makes its own obstacle
    const auto keepOld = [](const std::string& f) {
        save(f + "/keep", "old");
        return f + "/keep";
    };
    const auto fresh = [](const std::string& f) { return f + "/keep"; };
    const struct {
        const char* name;
        WriteFailure how;
        std::function<std::string(const std::string&)> prepare;  // the path to open
        std::function<std::string(const std::string&)> error;    // what error() says
        const char* cause;
        MCV_ReplacingFile::Pipes pipes;
        bool commit;
        bool refusedAtOnce;  // by open() and refusal(), before anything is made
    } cases[] = {
        {"a file-size limit over a file", WriteFailure::FileSizeLimit, keepOld,
         [](const std::string&) { return "writing failed (File too large); the existing file is unchanged"; },
         "File too large", MCV_ReplacingFile::RefusePipes, true, false},
        {"a file-size limit", WriteFailure::FileSizeLimit, fresh,
         [](const std::string&) { return "writing failed (File too large)"; }, "File too large",
         MCV_ReplacingFile::RefusePipes, true, false},
        {"a read-only folder over a file", WriteFailure::ReadOnlyFolder, keepOld,
         [](const std::string& f) {
             return "the folder " + f + " cannot take the new file (Permission denied); the existing file is unchanged";
         },
         "Permission denied", MCV_ReplacingFile::RefusePipes, true, false},
        {"a read-only folder", WriteFailure::ReadOnlyFolder, fresh,
         [](const std::string& f) { return "the folder " + f + " cannot take the new file (Permission denied)"; },
         "Permission denied", MCV_ReplacingFile::RefusePipes, true, false},
        {"a folder in the way", none,
         [](const std::string& f) {
             EXPECT_TRUE(QDir().mkpath(QString::fromStdString(f + "/keep/inside")));
             return f + "/keep";
         },
         [](const std::string&) { return "it is a folder"; }, "Is a directory", MCV_ReplacingFile::ReplacePipes, true,
         true},
        {"a missing folder", none, [](const std::string& f) { return f + "/none/keep"; },
         [](const std::string& f) { return "the folder " + f + "/none does not exist"; }, "No such file or directory",
         MCV_ReplacingFile::RefusePipes, true, false},
        {"a file where the folder should be", none,
         [](const std::string& f) {
             save(f + "/data.fcs", "x");
             return f + "/data.fcs/keep";
         },
         [](const std::string& f) { return f + "/data.fcs is a regular file, not a folder"; }, "Not a directory",
         MCV_ReplacingFile::RefusePipes, true, false},
        {"a file where a folder above the folder should be", none,
         [](const std::string& f) {
             save(f + "/data.fcs", "x");
             return f + "/data.fcs/run/keep";
         },
         [](const std::string& f) { return f + "/data.fcs is a regular file, not a folder"; }, "Not a directory",
         MCV_ReplacingFile::RefusePipes, true, false},
        {"a device where the folder should be", none, [](const std::string&) { return "/dev/null/keep"; },
         [](const std::string&) { return "/dev/null is a device, not a folder"; }, "Not a directory",
         MCV_ReplacingFile::RefusePipes, true, false},
        {"a named pipe without a reader", none,
         [](const std::string& f) {
             EXPECT_EQ(::mkfifo((f + "/keep").c_str(), 0600), 0);
             return f + "/keep";
         },
         [](const std::string&) { return "it is a named pipe, not a regular file"; }, "not a regular file",
         MCV_ReplacingFile::RefusePipes, true, true},
        {"a link to a named pipe", none,
         [](const std::string& f) {
             EXPECT_EQ(::mkfifo((f + "/pipe").c_str(), 0600), 0);
             EXPECT_EQ(::symlink("pipe", (f + "/keep").c_str()), 0);
             return f + "/keep";
         },
         [](const std::string& f) { return "it links to " + f + "/pipe, which is a named pipe, not a regular file"; },
         "not a regular file", MCV_ReplacingFile::RefusePipes, true, true},
        {"a link to a device, also where pipes are replaced", none,
         [](const std::string& f) {
             EXPECT_EQ(::symlink("/dev/null", (f + "/keep").c_str()), 0);
             return f + "/keep";
         },
         [](const std::string&) { return "it links to /dev/null, which is a device, not a regular file"; },
         "not a regular file", MCV_ReplacingFile::ReplacePipes, true, true},
        {"a write not committed", none, keepOld, [](const std::string&) { return ""; }, "",
         MCV_ReplacingFile::RefusePipes, false, false},
    };
    const std::string bytes = randomBytes(size_t(1) << 16);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = folder();
        const std::string path = c.prepare(f);
        const auto before = folderSnapshot(QString::fromStdString(f));
        MCV_ReplacingFile file;
        bool written = true;
        size_t throughPipe = 0;
        ASSERT_TRUE(underWriteFailure(c.how, f, 4096, [&] {
            struct stat status {};
            std::unique_ptr<PipeWatchdog> watchdog;
            if (::stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode))
                watchdog = std::make_unique<PipeWatchdog>(path);
            written = file.open(path, c.pipes) && file.write(bytes.data(), bytes.size());
            if (c.commit) {
                written = written && file.commit();
            } else {
                file.discard();
                written = false;
            }
            if (watchdog) throughPipe = watchdog->bytesRead();
        }));
        EXPECT_FALSE(written);
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(throughPipe, 0u);
        EXPECT_EQ(folderSnapshot(QString::fromStdString(f)), before);
        EXPECT_EQ(file.error(), c.error(f));
        EXPECT_EQ(file.cause(), c.cause);
        EXPECT_EQ(MCV_ReplacingFile::refusal(path, c.pipes), c.refusedAtOnce ? c.error(f) : "");
    }
    EXPECT_TRUE(S_ISCHR(statusOf("/dev/null").st_mode));
}

// Formats that fill in a header after their data go back to it: the bytes land
// where the position says, the length is the farthest byte written, and a gap
// reads as zeros.
TEST_F(ReplacingFile, SeeksBackToFillInAHeaderAndOnToTheEnd) {
    const struct {
        const char* name;
        std::vector<std::pair<long, std::string>> steps;  // seek to first (-1: none), then write second
        std::string file;
    } cases[] = {
        {"a header filled in", {{-1, "HEAD"}, {-1, "data"}, {0, "head"}, {8, "tail"}}, "headdatatail"},
        {"a rewrite in the middle, then on at the end", {{-1, "0123456789"}, {3, "ab"}, {10, "!"}}, "012ab56789!"},
        {"a gap past the end", {{-1, "ab"}, {5, "c"}}, std::string("ab\0\0\0c", 6)},
        {"a seek back that writes nothing", {{-1, "abcdef"}, {2, ""}}, "abcdef"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = folder();
        save(f + "/keep", "old");
        MCV_ReplacingFile file;
        ASSERT_TRUE(file.open(f + "/keep"));
        for (const auto& [offset, bytes] : c.steps) {
            if (offset >= 0) {
                ASSERT_TRUE(file.seek(static_cast<std::uint64_t>(offset)));
                EXPECT_EQ(file.position(), static_cast<std::uint64_t>(offset));
            }
            const std::uint64_t end = std::max(file.size(), file.position() + bytes.size());
            ASSERT_TRUE(file.write(bytes.data(), bytes.size()));
            EXPECT_EQ(file.size(), end);
        }
        EXPECT_EQ(contents(f + "/keep"), "old");
        ASSERT_TRUE(file.commit()) << file.error();
        EXPECT_EQ(contents(f + "/keep"), c.file);
        EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
    }

    // A seek the system cannot make ends the write as a failed write does.
    const std::string f = folder();
    save(f + "/keep", "old");
    MCV_ReplacingFile file;
    ASSERT_TRUE(file.open(f + "/keep") && file.write("new", 3));
    EXPECT_FALSE(file.seek(~std::uint64_t(0)));
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.write("more", 4));
    EXPECT_FALSE(file.seek(0));
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.error(), "writing failed (Invalid argument); the existing file is unchanged");
    EXPECT_EQ(contents(f + "/keep"), "old");
    EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
}

// An object opened again starts a new file at 0, however its last write
// ended: formats that go back to fill in a header take their offsets from
// position() and size().
TEST_F(ReplacingFile, OpenedAgainItStartsAtTheBeginningOfANewFile) {
    const struct {
        const char* name;
        std::function<void(MCV_ReplacingFile&)> end;
    } cases[] = {
        {"committed", [](MCV_ReplacingFile& file) { EXPECT_TRUE(file.commit()); }},
        {"discarded", [](MCV_ReplacingFile& file) { file.discard(); }},
        {"failed", [](MCV_ReplacingFile& file) { EXPECT_FALSE(file.seek(~std::uint64_t(0))); }},
        {"still open", [](MCV_ReplacingFile&) {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string f = folder();
        MCV_ReplacingFile file;
        ASSERT_TRUE(file.open(f + "/keep") && file.write("0123456789", 10) && file.seek(4));
        c.end(file);
        ASSERT_TRUE(file.open(f + "/keep")) << file.error();
        EXPECT_EQ(std::make_pair(file.position(), file.size()), std::make_pair(std::uint64_t(0), std::uint64_t(0)));
        ASSERT_TRUE(file.write("new", 3));
        EXPECT_EQ(std::make_pair(file.position(), file.size()), std::make_pair(std::uint64_t(3), std::uint64_t(3)));
        ASSERT_TRUE(file.commit()) << file.error();
        EXPECT_EQ(contents(f + "/keep"), "new");
        EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
    }
}

// A file the user made read-only is not replaced, although its folder would
// allow it. Root may replace any file: run as root, the test writes as the
// user nobody, in a child process.
TEST_F(ReplacingFile, AReadOnlyFileStays) {
    const std::string f = folder();
    save(f + "/keep", "old");
    ASSERT_EQ(::chmod((f + "/keep").c_str(), 0444), 0);
    const auto attempt = [&] {
        std::string error;
        const bool written = MCV_ReplacingFile::writeWhole(f + "/keep", "new", 3, &error);
        return std::string(written ? "written" : "failed") + " | " + error + " | " + contents(f + "/keep");
    };
    std::string report;
    if (::geteuid() != 0) {
        report = attempt();
    } else {
        ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0777), 0);
        ASSERT_EQ(::chmod(f.c_str(), 0777), 0);
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(channel[0]);
            const std::string text = ::setgid(65534) == 0 && ::setuid(65534) == 0 ? attempt() : "no user nobody";
            ::_exit(::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
        }
        ::close(channel[1]);
        char buffer[1024];
        for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, size_t(n));
        ::close(channel[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    EXPECT_EQ(report, "failed | it is read-only and is unchanged | old");
    EXPECT_TRUE(leftOverTemporaries(QString::fromStdString(f)).isEmpty());
}

// A file system that fills up while the file is written (a tmpfs of a few
// pages, in a child process of its own).
TEST_F(ReplacingFile, AFullFileSystemLeavesTheOldFile) {
    const std::string f = folder();
    std::string report;
    const bool arranged = onSmallFileSystem(
        f, 64 * 1024,
        [&] {
            save(f + "/keep", "old");
            const std::string bytes = randomBytes(size_t(1) << 20);
            std::string error;
            const bool written = MCV_ReplacingFile::writeWhole(f + "/keep", bytes.data(), bytes.size(), &error);
            return std::string(written ? "written" : "failed") + " | " + error + " | " + contents(f + "/keep") + " | " +
                   std::to_string(leftOverTemporaries(QString::fromStdString(f)).size());
        },
        &report);
    if (!arranged) GTEST_SKIP() << "no mount namespace can be made here";
    EXPECT_EQ(report, "failed | writing failed (No space left on device); the existing file is unchanged | old | 0");
}

}  // namespace
