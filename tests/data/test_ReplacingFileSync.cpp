// The sync the file writer owes the disk, seen through fsync itself: this
// binary is linked with fsync, close and rename wrapped (see CMakeLists.txt),
// so every call passes through the wrappers below, which note what fsync was
// asked to sync and can make each of the three steps of a commit fail.
#include "data/MCV_ReplacingFile.h"
#include "support/LeftOverTemporaries.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace {

// One call of fsync while a test watches.
struct Sync {
    ino_t file;    // the file synced
    off_t size;    // its length then
    ino_t target;  // what the watched name held then (0: nothing)
};

struct SyncWatch {
    std::mutex lock;
    std::string target;  // empty: nothing is noted
    std::vector<Sync> syncs;
    int interruptions = 0;  // calls that fail with EINTR first
    int failure = 0;        // then: the error of every call, or 0
    // The error of closing the file last synced, and of a rename onto the
    // target, or 0. Read without the lock first: close is called everywhere.
    std::atomic<int> closeFailure{0}, renameFailure{0};
};

SyncWatch& watch() {
    static SyncWatch w;
    return w;
}

ino_t inodeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int __real_fsync(int fd);

extern "C" int __wrap_fsync(int fd) {
    SyncWatch& w = watch();
    {
        std::lock_guard<std::mutex> hold(w.lock);
        if (!w.target.empty()) {
            struct stat status {};
            ::fstat(fd, &status);
            w.syncs.push_back({status.st_ino, status.st_size, inodeOf(w.target)});
            if (w.interruptions > 0) {
                --w.interruptions;
                errno = EINTR;
                return -1;
            }
            if (w.failure != 0) {
                errno = w.failure;
                return -1;
            }
        }
    }
    return __real_fsync(fd);
}

extern "C" int __real_close(int fd);

extern "C" int __wrap_close(int fd) {
    SyncWatch& w = watch();
    int code = w.closeFailure.load();
    if (code != 0) {
        std::lock_guard<std::mutex> hold(w.lock);
        struct stat status {};
        if (w.syncs.empty() || ::fstat(fd, &status) != 0 || status.st_ino != w.syncs.back().file) code = 0;
    }
    // A close that fails has still released the descriptor.
    const int closed = __real_close(fd);
    if (code == 0) return closed;
    errno = code;
    return -1;
}

extern "C" int __real_rename(const char* from, const char* to);

extern "C" int __wrap_rename(const char* from, const char* to) {
    SyncWatch& w = watch();
    if (const int code = w.renameFailure.load()) {
        std::lock_guard<std::mutex> hold(w.lock);
        if (w.target == to) {
            errno = code;
            return -1;
        }
    }
    return __real_rename(from, to);
}

// The new file is synced, whole, before it takes the target's name: when the
// sync runs the name still holds the old file, and afterwards it holds the file
// that was synced. A failed sync, close or rename ends the write, says why,
// keeps the old file byte for byte and leaves no temporary.
TEST(ReplacingFileSync, TheNewFileIsSyncedWholeBeforeItTakesTheName) {
    const struct {
        const char* name;
        int interruptions, failure;
        int closeFailure, renameFailure;
        size_t syncs;  // calls of fsync
        bool written;
        const char* error;
    } cases[] = {
        {"a sync", 0, 0, 0, 0, 1, true, ""},
        {"a sync interrupted twice", 2, 0, 0, 0, 3, true, ""},
        {"a failed sync", 0, EIO, 0, 0, 1, false,
         "the file could not be put on the disk (Input/output error); the existing file is unchanged"},
        {"a sync that finds no room", 0, ENOSPC, 0, 0, 1, false,
         "the file could not be put on the disk (No space left on device); the existing file is unchanged"},
        {"a failed close", 0, 0, EIO, 0, 1, false,
         "closing the file failed (Input/output error); the existing file is unchanged"},
        {"a rename across file systems", 0, 0, 0, EXDEV, 1, false,
         "the new file could not take its name (Invalid cross-device link); the existing file is unchanged"},
        {"a rename refused", 0, 0, 0, EACCES, 1, false,
         "the new file could not take its name (Permission denied); the existing file is unchanged"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string target = dir.filePath("keep").toStdString();
    const std::string bytes(100000, 'n');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(target, std::ios::binary) << "old";
        const ino_t old = inodeOf(target);
        SyncWatch& w = watch();
        {
            std::lock_guard<std::mutex> hold(w.lock);
            w.target = target;
            w.syncs.clear();
            w.interruptions = c.interruptions;
            w.failure = c.failure;
            w.closeFailure = c.closeFailure;
            w.renameFailure = c.renameFailure;
        }
        MCV_ReplacingFile file;
        const bool opened = file.open(target) && file.write(bytes.data(), bytes.size());
        size_t syncsBeforeCommit = 0;
        {
            std::lock_guard<std::mutex> hold(w.lock);
            syncsBeforeCommit = w.syncs.size();
        }
        const bool written = opened && file.commit();
        std::vector<Sync> syncs;
        {
            std::lock_guard<std::mutex> hold(w.lock);
            w.target.clear();
            w.closeFailure = w.renameFailure = 0;
            syncs.swap(w.syncs);
        }
        ASSERT_TRUE(opened);
        EXPECT_EQ(syncsBeforeCommit, 0u);
        EXPECT_EQ(written, c.written);
        EXPECT_EQ(file.error(), c.error);
        ASSERT_EQ(syncs.size(), c.syncs);
        for (const Sync& s : syncs) {
            EXPECT_NE(s.file, old) << "the new file is synced, not the old one";
            EXPECT_EQ(s.size, static_cast<off_t>(bytes.size())) << "after every byte";
            EXPECT_EQ(s.target, old) << "before the rename";
        }
        if (c.written) {
            EXPECT_EQ(inodeOf(target), syncs.back().file) << "the file synced is the one that took the name";
            EXPECT_EQ(contents(target), bytes);
        } else {
            EXPECT_EQ(inodeOf(target), old);
            EXPECT_EQ(contents(target), "old");
        }
        EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());
    }
}
