// The cache files' reader and writer on their own: the bytes and checksums
// they pass on, what they refuse, and that a failed write leaves the file it
// would have replaced.
#include "analysis/hsne/MCV_CacheFileReader.h"
#include "analysis/hsne/MCV_CacheFileWriter.h"

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
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path + ".tmp")));

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
    const std::string path = dir.path().toStdString() + "/cache";
    const std::string temporary = path + ".tmp";
    const struct {
        const char* name;
        std::function<void()> prepare;
        bool opens;
    } cases[] = {
        {"not committed", [] {}, true},
        {"a folder as temporary", [&] { QDir().mkdir(QString::fromStdString(temporary)); }, false},
        {"a pipe as temporary", [&] { ASSERT_EQ(mkfifo(temporary.c_str(), 0600), 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save(path, "old");
        c.prepare();
        {
            MCV_CacheFileWriter file(path);
            EXPECT_EQ(file.isOpen(), c.opens);
            std::ostream out(&file);
            out << "new";
            EXPECT_EQ(static_cast<bool>(out.flush()), c.opens);
            if (!c.opens) {
                EXPECT_FALSE(file.commit());
            }
        }
        EXPECT_EQ(contents(path), "old");
        QDir().rmdir(QString::fromStdString(temporary));
        QFile::remove(QString::fromStdString(temporary));
    }
    // A folder in place of the file itself: the rename fails.
    QFile::remove(QString::fromStdString(path));
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path)));
    MCV_CacheFileWriter file(path);
    std::ostream out(&file);
    out << "new";
    EXPECT_FALSE(file.commit());
    EXPECT_FALSE(file.problem().empty());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).isDir());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(temporary)));
}

}  // namespace
