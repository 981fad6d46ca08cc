// The sync the file writer owes the disk, seen through fsync itself: this
// binary is linked with fsync wrapped (see CMakeLists.txt), so every call
// passes through __wrap_fsync below, which notes what it was asked to sync
// and can make it fail.
#include "data/MCV_ReplacingFile.h"
#include "support/LeftOverTemporaries.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// The new file is synced, whole, before it takes the target's name: when the
// sync runs the name still holds the old file, and afterwards it holds the file
// that was synced. A failed sync ends the write and keeps the old file.
TEST(ReplacingFileSync, TheNewFileIsSyncedWholeBeforeItTakesTheName) {
    const struct {
        const char* name;
        int interruptions, failure;
        size_t syncs;  // calls of fsync
        bool written;
        const char* error;
    } cases[] = {
        {"a sync", 0, 0, 1, true, ""},
        {"a sync interrupted twice", 2, 0, 3, true, ""},
        {"a failed sync", 0, EIO, 1, false,
         "the file could not be put on the disk (Input/output error); the existing file is unchanged"},
        {"a sync that finds no room", 0, ENOSPC, 1, false,
         "the file could not be put on the disk (No space left on device); the existing file is unchanged"},
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
