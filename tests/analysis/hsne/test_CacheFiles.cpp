// The cache files' reader and writer on their own: the bytes and checksums
// they pass on, what they refuse, and that a failed write leaves the file it
// would have replaced.
#include "analysis/hsne/MCV_CacheFileReader.h"
#include "analysis/hsne/MCV_CacheFileWriter.h"
#include "support/LeftOverTemporaries.h"
#include "support/WriteFailure.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <functional>
#include <istream>
#include <iterator>
#include <ostream>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void save(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Blocks of the reader and writer are 1 MB: lengths around and across them.
std::string randomBytes(size_t size) {
    std::mt19937 rng(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

TEST(CacheFiles, WhatIsWrittenIsReadBackWithTheSameDigestThroughStreamsAndWhole) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/cache";
    for (size_t size : {size_t(0), size_t(5), size_t(1) << 20, (size_t(5) << 19) + 3}) {
        SCOPED_TRACE(size);
        const std::string bytes = randomBytes(size);
        const MCV_CacheFileDigest expected = MCV_CacheFileDigest::of(bytes.data(), bytes.size());
        {
            MCV_CacheFileWriter file(path);
            ASSERT_TRUE(file.isOpen());
            std::ostream out(&file);
            // Pieces of odd lengths, some larger than a block.
            for (size_t done = 0, piece = 1; done < size; done += piece, piece = piece * 7 + 3)
                out.write(bytes.data() + done, static_cast<std::streamsize>(std::min(piece, size - done)));
            ASSERT_TRUE(out && file.commit());
            EXPECT_EQ(file.digest(), expected);
        }
        EXPECT_EQ(contents(path), bytes);
        EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());

        MCV_CacheFileReader streamed;
        ASSERT_TRUE(streamed.open(path));
        EXPECT_EQ(streamed.size(), size);
        std::istream in(&streamed);
        std::string back(size, '\0');
        in.read(&back[0], static_cast<std::streamsize>(size / 3));
        // The rest whole, after the stream has taken part of a block.
        std::vector<char> rest;
        ASSERT_TRUE(streamed.readRest(rest));
        std::copy(rest.begin(), rest.end(), back.begin() + static_cast<long>(size / 3));
        EXPECT_EQ(back, bytes);
        EXPECT_EQ(streamed.digest(), expected);
    }
    MCV_CacheFileDigest digest{0, 0x0123456789abcdefull};
    EXPECT_EQ(digest.checksumHex(), "0123456789abcdef");
    for (const char* text : {"0123456789ABCDEF", "0123456789abcde", "0123456789abcdefa", "0123456789abcdeg"})
        EXPECT_FALSE(digest.setChecksumHex(text)) << text;
    EXPECT_TRUE(digest.setChecksumHex("fedcba9876543210") && digest.checksum == 0xfedcba9876543210ull);
}

// None of these opens, and none blocks: a pipe without a writer would block
// an ordinary open for reading forever.
TEST(CacheFiles, TheReaderOpensOnlyRegularFiles) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    ASSERT_EQ(mkfifo((base + "pipe").c_str(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(base + "folder")));
    const struct {
        std::string path;
        bool missing;
    } cases[] = {{base + "pipe", false}, {base + "folder", false}, {"/dev/zero", false}, {base + "absent", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        MCV_CacheFileReader file;
        EXPECT_FALSE(file.open(c.path));
        EXPECT_EQ(file.missing(), c.missing);
        EXPECT_FALSE(file.problem().empty());
    }
}

// Each failure leaves the existing file as it was and no temporary behind.
TEST(CacheFiles, AWriteThatFailsLeavesTheOldFile) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string path = folder + "/cache";
    // More than a block, and more than the file-size limit below.
    const std::string bytes = randomBytes((size_t(3) << 20) + 5);
    const struct {
        const char* name;
        WriteFailure how;  // MissingFolder: none arranged
        bool commit;
        bool opens;
    } cases[] = {
        {"not committed", WriteFailure::MissingFolder, false, true},
        {"a read-only folder", WriteFailure::ReadOnlyFolder, true, false},
        {"a file-size limit", WriteFailure::FileSizeLimit, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save(path, "old");
        ASSERT_TRUE(underWriteFailure(c.how, folder, 1 << 20, [&] {
            MCV_CacheFileWriter file(path);
            EXPECT_EQ(file.isOpen(), c.opens);
            std::ostream out(&file);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            EXPECT_EQ(static_cast<bool>(out.flush()), c.how == WriteFailure::MissingFolder);
            if (c.commit) {
                EXPECT_FALSE(file.commit());
                EXPECT_FALSE(file.problem().empty());
            }
        }));
        EXPECT_EQ(contents(path), "old");
        EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());
    }
    // Where a writer once put its temporary, a folder and a pipe are in
    // nobody's way: each write has a temporary of its own.
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path + ".tmp")));
    ASSERT_EQ(mkfifo((path + ".part").c_str(), 0600), 0);
    {
        MCV_CacheFileWriter file(path);
        std::ostream out(&file);
        out << "new";
        EXPECT_TRUE(out.flush() && file.commit());
    }
    EXPECT_EQ(contents(path), "new");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path + ".tmp")).isDir());
    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(path + ".tmp")));
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path + ".part")));

    // A folder in place of the file itself is refused at once.
    QFile::remove(QString::fromStdString(path));
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path)));
    MCV_CacheFileWriter file(path);
    std::ostream out(&file);
    out << "new";
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.problem(), "Is a directory");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isDir());
    EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty());
}

// A pipe or socket in a cache's place is replaced without being opened (an
// open for writing would wait for a reader); a device never is.
TEST(CacheFiles, APipeInTheCachesPlaceIsReplacedAndADeviceIsRefused) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/cache";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    {
        MCV_CacheFileWriter file(path);
        std::ostream out(&file);
        out << "new";
        EXPECT_TRUE(out.flush() && file.commit());
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isFile());
    EXPECT_EQ(contents(path), "new");

    const std::string link = dir.path().toStdString() + "/to-null";
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    MCV_CacheFileWriter file(link);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.problem(), "not a regular file");
    struct stat status {};
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

}  // namespace
