// Conversion of the DATA segment into the float matrix, and where the reader
// finds it.

#include "FcsTestFile.h"

#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>

namespace {

constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kLowest = std::numeric_limits<float>::lowest();

// Standard output written while `f` runs.
template <typename F>
std::string captureStdout(F f) {
    std::ostringstream captured;
    std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
    f();
    std::cout.rdbuf(old);
    return captured.str();
}

std::string invalidWarning(int count) {
    return "\n\n=================================\n\n\nWarning: Read " + std::to_string(count) +
           " invalid entries (NAN/INF). These values will be treated as 0/max float in Quillmaren.\n"
           "If this is unexpected the file might be broken or not compatible with Quillmaren. Consider "
           "re-exporting your files.\n\n\n=================================\n\n";
}

const std::vector<std::vector<float>> kRows = {{1.5f, -2.25f, 1e6f}, {0.0f, 3.0e-7f, -65536.0f}};

}  // namespace

TEST(FcsLoaderData, FloatsInEitherByteOrder) {
    QTemporaryDir dir;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        FcsLoad l(FcsTestFile::floats(kRows, big).write(dir, "f.fcs"));
        ASSERT_EQ(l.code, 0);
        ASSERT_EQ(l.header->numEvents(), 2);
        for (size_t e = 0; e < 2; ++e)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(e, v), kRows[e][v]);
    }
    // Two-byte order names mean the same.
    FcsTestFile f = FcsTestFile::floats(kRows, true);
    f.set("$BYTEORD", "2,1");
    FcsLoad l(f.write(dir, "f21.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.at(1, 2), -65536.0f);
}

TEST(FcsLoaderData, DoublesAreNarrowedAndSaturated) {
    QTemporaryDir dir;
    const double values[] = {0.1, -1e300, 1e300, 12345.678, std::nan(""), -INFINITY};
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        FcsTestFile f = FcsTestFile::listMode("D", 2, {64, 64, 64}, big ? "8,7,6,5,4,3,2,1" : "1,2,3,4");
        for (double d : values) f.data += FcsTestFile::stored(&d, 8, big);
        std::string out;
        std::unique_ptr<FcsLoad> l;
        out = captureStdout([&] { l.reset(new FcsLoad(f.write(dir, "d.fcs"))); });
        ASSERT_EQ(l->code, 0);
        EXPECT_EQ(l->at(0, 0), 0.1f);
        EXPECT_EQ(l->at(0, 1), kLowest);
        EXPECT_EQ(l->at(0, 2), kMax);
        EXPECT_EQ(l->at(1, 0), 12345.678f);
        EXPECT_EQ(l->at(1, 1), 0.0f);
        EXPECT_EQ(l->at(1, 2), kLowest);
        EXPECT_EQ(out, invalidWarning(2));  // the out-of-range finite values are not invalid
    }
}

TEST(FcsLoaderData, IntegersOfMixedWidthsAreMaskedByTheirRange) {
    QTemporaryDir dir;
    const std::vector<int> bits = {8, 16, 24, 32, 64, 16};
    const std::vector<std::string> ranges = {"256", "1024", "16777216", "1000", "", "65536"};
    const std::vector<std::vector<uint64_t>> rows = {
        {255, 0xFC05, 0x123456, 0xFFFFF3E8, (uint64_t(1) << 40) + 3, 65535},
        {7, 1023, 0xFFFFFF, 999, 0, 0},
    };
    const float want[2][6] = {
        {255, 5, 0x123456, 1000, float((uint64_t(1) << 40) + 3), 65535},
        {7, 1023, 0xFFFFFF, 999, 0, 0},
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        FcsTestFile f = FcsTestFile::listMode("I", 2, bits, big ? "4,3,2,1" : "1,2,3,4");
        for (size_t i = 0; i < bits.size(); ++i) {
            const std::string key = "$P" + std::to_string(i + 1) + "R";
            if (ranges[i].empty())
                f.remove(key);
            else
                f.set(key, ranges[i]);
        }
        for (const auto& row : rows)
            for (size_t i = 0; i < row.size(); ++i) f.data += FcsTestFile::storedInt(row[i], bits[i] / 8, big);
        FcsLoad l(f.write(dir, "i.fcs"));
        ASSERT_EQ(l.code, 0) << MCV_loadMessage(l.code);
        for (size_t e = 0; e < 2; ++e)
            for (size_t v = 0; v < 6; ++v) EXPECT_EQ(l.at(e, v), want[e][v]) << e << "," << v;
        EXPECT_EQ(l.header->variable(4)->range, -1);
        EXPECT_EQ(l.header->variable(2)->bits, 24);
    }
}

TEST(FcsLoaderData, SixteenBitIntegersInBothOrders) {
    // The common layout has its own conversion path; check it over more rows
    // than one scratch chunk holds.
    QTemporaryDir dir;
    const int events = 70000;  // 70000 x 32 x 2 bytes > the 4 MiB chunk
    for (const char* order : {"1,2", "2,1"}) {
        SCOPED_TRACE(order);
        const bool big = std::string(order) == "2,1";
        FcsTestFile f = FcsTestFile::listMode("I", events, std::vector<int>(32, 16), order);
        f.set("$P3R", "1024");
        for (int e = 0; e < events; ++e)
            for (int v = 0; v < 32; ++v) f.data += FcsTestFile::storedInt(uint64_t((e * 31 + v * 7) & 0xFFFF), 2, big);
        FcsLoad l(f.write(dir, "i16.fcs"));
        ASSERT_EQ(l.code, 0);
        for (int e : {0, 1, 32767, 65535, 65536, events - 1})
            for (int v : {0, 2, 31}) {
                float expect = float((e * 31 + v * 7) & 0xFFFF);
                if (v == 2) expect = float((e * 31 + v * 7) & 1023);
                EXPECT_EQ(l.at(size_t(e), size_t(v)), expect) << e << "," << v;
            }
    }
}

TEST(FcsLoaderData, NanAndInfinitiesAreReplacedAndCounted) {
    QTemporaryDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        std::unique_ptr<FcsLoad> l;
        const std::string path = FcsTestFile::floats({{nan, inf, -inf}, {1, nan, 2}}, big).write(dir, "n.fcs");
        const std::string out = captureStdout([&] { l.reset(new FcsLoad(path)); });
        ASSERT_EQ(l->code, 0);
        EXPECT_EQ(l->at(0, 0), 0.0f);
        EXPECT_EQ(l->at(0, 1), kMax);
        EXPECT_EQ(l->at(0, 2), kLowest);
        EXPECT_EQ(l->at(1, 1), 0.0f);
        EXPECT_EQ(l->at(1, 2), 2.0f);
        EXPECT_EQ(out, invalidWarning(4));
    }
    // One event is scanned too; clean data prints nothing.
    std::unique_ptr<FcsLoad> one;
    std::string out = captureStdout([&] { one.reset(new FcsLoad(FcsTestFile::floats({{nan}}).write(dir, "1.fcs"))); });
    EXPECT_EQ(out, invalidWarning(1));
    out = captureStdout([&] { one.reset(new FcsLoad(FcsTestFile::floats(kRows).write(dir, "c.fcs"))); });
    EXPECT_EQ(out, "");
}

TEST(FcsLoaderData, DataOffsetsFromHeaderOrTextWhicheverFits) {
    QTemporaryDir dir;
    auto loadsRight = [&](const FcsTestFile& f, const char* what) {
        SCOPED_TRACE(what);
        FcsLoad l(f.write(dir, "o.fcs"));
        ASSERT_EQ(l.code, 0) << MCV_loadMessage(l.code);
        EXPECT_EQ(l.at(0, 0), 1.5f);
        EXPECT_EQ(l.at(1, 2), -65536.0f);
    };
    const FcsTestFile base = FcsTestFile::floats(kRows);

    FcsTestFile f = base;
    f.dataOffsetsInHeader = false;  // zeros, as writers do for offsets above 99,999,999
    loadsRight(f, "header zeros");
    f.headerField[2] = f.headerField[3] = "        ";
    loadsRight(f, "header blanks");

    f = base;
    f.dataOffsetsInText = false;
    loadsRight(f, "header only");

    f = base;
    f.headerDataShift = 4;  // stale HEADER: same length, wrong place
    f.headerField[3] = "       0";
    loadsRight(f, "header start without an end");

    f = base;
    f.headerField[2] = "     100";
    f.headerField[3] = "     110";  // too short for the events: the TEXT pair fits
    loadsRight(f, "header pair too short");

    f = base;
    f.textDataShift = -7;  // TEXT wrong, HEADER right
    loadsRight(f, "text pair wrong");

    // The TEXT pair names one byte more than the events need; the HEADER
    // pair is longer still and starts in the wrong place.
    f = base;
    f.afterData = "XXXXX";
    f.textDataEndShift = 1;
    f.headerDataShift = -4;
    f.headerDataEndShift = 5;
    loadsRight(f, "one extra byte");

    // The writer of this system: delimiter '\', HEADER DATA offsets 0.
    f = base;
    f.delimiter = '\\';
    f.version = "FCS3.0";
    f.dataOffsetsInHeader = false;
    loadsRight(f, "own writer");
}

TEST(FcsLoaderData, OnlyTheFirstDataSetIsRead) {
    QTemporaryDir dir;
    FcsTestFile first = FcsTestFile::floats(kRows);
    FcsTestFile second = FcsTestFile::floats({{9, 9}});
    first.set("$NEXTDATA", "000000000000");
    std::string bytes = first.bytes();
    const size_t next = bytes.size();
    const size_t at = bytes.find("$NEXTDATA/") + 10;
    const std::string offset = std::to_string(next);
    bytes.replace(at, 12, std::string(12 - offset.size(), '0') + offset);
    bytes += second.bytes();
    const std::string path = dir.filePath("two.fcs").toStdString();
    FcsTestFile::writeBytes(path, bytes);
    FcsLoad l(path);
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->numEvents(), 2);
    EXPECT_EQ(l.header->numVariables(), 3);
    EXPECT_EQ(l.at(1, 2), -65536.0f);
}

TEST(FcsLoaderData, NoEventsGivesAnEmptyMatrix) {
    QTemporaryDir dir;
    FcsTestFile f = FcsTestFile::listMode("F", 0, {32, 32});
    f.dataOffsetsInHeader = f.dataOffsetsInText = false;
    FcsLoad l(f.write(dir, "empty.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_TRUE(l.matrix);
    EXPECT_EQ(l.header->numEvents(), 0);
    EXPECT_EQ(l.header->markerList(0)->size(), 2u);
}

TEST(FcsLoaderData, DataBlocksOf2GiBAndMoreLoad) {
    // 270,000,000 events x 2 floats = 2,160,000,000 bytes, beyond any 32-bit
    // count. The file is sparse: only its ends hold data.
    QTemporaryDir dir;
    const int events = 270000000;
    FcsTestFile f = FcsTestFile::listMode("F", events, {32, 32});
    const std::string head = f.bytes();  // with empty DATA; offsets fixed below
    f.data = std::string(8, '\0');
    const size_t textSize = f.bytes().size() - 8;  // offsets are fixed-width
    ASSERT_EQ(textSize, head.size());
    const int64_t dataBytes = int64_t(events) * 8;
    f.headerField[2] = std::to_string(textSize);
    f.headerField[3] = "       0";
    std::string bytes = f.bytes().substr(0, textSize);
    const size_t endAt = bytes.find("$ENDDATA/") + 9;
    const std::string end = std::to_string(int64_t(textSize) + dataBytes - 1);
    bytes.replace(endAt, 12, std::string(12 - end.size(), '0') + end);

    const std::string path = dir.filePath("big.fcs").toStdString();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        const float firstRow[2] = {1.0f, 2.0f}, lastRow[2] = {3.0f, 4.0f};
        out.write(reinterpret_cast<const char*>(firstRow), 8);
        out.seekp(std::streamoff(int64_t(textSize) + dataBytes - 8));
        out.write(reinterpret_cast<const char*>(lastRow), 8);
        ASSERT_TRUE(out.good());
    }
    FcsLoad l(path);
    ASSERT_EQ(l.code, 0) << MCV_loadMessage(l.code);
    EXPECT_EQ(l.at(0, 1), 2.0f);
    EXPECT_EQ(l.at(size_t(events) / 2, 0), 0.0f);
    EXPECT_EQ(l.at(size_t(events) - 1, 0), 3.0f);
    EXPECT_EQ(l.at(size_t(events) - 1, 1), 4.0f);
}
