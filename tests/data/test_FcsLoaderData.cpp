#include "FcsTestFile.h"
#include "support/CapturedOutput.h"

#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kLowest = std::numeric_limits<float>::lowest();

// Loads `f`, with what the load printed.
std::unique_ptr<FcsLoad> load(const QTemporaryDir& dir, const FcsTestFile& f, std::string* out = nullptr) {
    std::unique_ptr<FcsLoad> l;
    const std::string path = f.write(dir, "d.fcs");
    const std::string printed = capturedStdout([&] { l.reset(new FcsLoad(path)); });
    if (out) *out = printed;
    return l;
}

std::string invalidCount(int n) { return "Warning: Read " + std::to_string(n) + " invalid entries (NAN/INF)."; }

}  // namespace

TEST(FcsLoaderData, FloatsInEitherByteOrderWithNonFiniteValuesReplacedAndCounted) {
    QTemporaryDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<std::vector<float>> rows = {{1.5f, -2.25f, 1e6f}, {nan, inf, -inf}, {3.0e-7f, nan, -65536.0f}};
    const float want[] = {1.5f, -2.25f, 1e6f, 0, kMax, kLowest, 3.0e-7f, 0, -65536.0f};
    for (const char* order : {"1,2,3,4", "4,3,2,1", "2,1"}) {
        FcsTestFile f = FcsTestFile::floats(rows, order[0] != '1');
        f.set("$BYTEORD", order);
        std::string out;
        auto l = load(dir, f, &out);
        ASSERT_EQ(l->code, 0) << order;
        for (size_t i = 0; i < 9; ++i) EXPECT_EQ(l->at(i / 3, i % 3), want[i]) << order << " " << i;
        EXPECT_NE(out.find(invalidCount(4)), std::string::npos) << out;
    }
    std::string out;
    load(dir, FcsTestFile::floats({{nan}}), &out);
    EXPECT_NE(out.find(invalidCount(1)), std::string::npos) << "a single event is scanned too";
    load(dir, FcsTestFile::floats({{1, 2}}), &out);
    EXPECT_EQ(out, "");
}

TEST(FcsLoaderData, DoublesSaturateAndIntegersOfMixedWidthsAreMaskedByTheirRange) {
    QTemporaryDir dir;
    const double doubles[] = {0.1, -1e300, 1e300, 12345.678, std::nan(""), -INFINITY};
    const float fromDoubles[] = {0.1f, kLowest, kMax, 12345.678f, 0.0f, kLowest};
    const std::vector<int> bits = {8, 16, 24, 32, 64, 16};
    const char* ranges[] = {"256", "1024", "16777216", "1000", nullptr, "65536"};
    const uint64_t ints[] = {255,      0xFC05, 0x123456, 0xFFFFF3E8, (uint64_t(1) << 40) + 3, 65535, 7, 1023,
                             0xFFFFFF, 999,    0,        0};
    const float fromInts[] = {255,      5,   0x123456, 1000, float((uint64_t(1) << 40) + 3), 65535, 7, 1023,
                              0xFFFFFF, 999, 0,        0};
    for (bool big : {false, true}) {
        FcsTestFile d = FcsTestFile::listMode("D", 2, {64, 64, 64}, big ? "8,7,6,5,4,3,2,1" : "1,2,3,4");
        for (double x : doubles) d.data += FcsTestFile::stored(x, big);
        std::string out;
        auto l = load(dir, d, &out);
        ASSERT_EQ(l->code, 0);
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(l->at(i / 3, i % 3), fromDoubles[i]) << big << " " << i;
        EXPECT_NE(out.find(invalidCount(2)), std::string::npos) << "out-of-range finite values are not invalid";

        FcsTestFile f = FcsTestFile::listMode("I", 2, bits, big ? "4,3,2,1" : "1,2,3,4");
        for (size_t v = 0; v < 6; ++v) {
            const std::string key = "$P" + std::to_string(v + 1) + "R";
            ranges[v] ? f.set(key, ranges[v]) : f.remove(key);
        }
        for (size_t i = 0; i < 12; ++i) f.data += FcsTestFile::stored(ints[i], big, size_t(bits[i % 6] / 8));
        l = load(dir, f);
        ASSERT_EQ(l->code, 0) << MCV_loadMessage(l->code);
        for (size_t i = 0; i < 12; ++i) EXPECT_EQ(l->at(i / 6, i % 6), fromInts[i]) << big << " " << i;
        EXPECT_EQ(l->header->variable(4)->range, -1);
    }
}

TEST(FcsLoaderData, DataOffsetsFromHeaderOrTextWhicheverFitsAndOnlyTheFirstDataSet) {
    const std::pair<const char*, std::function<void(FcsTestFile&)>> cases[] = {
        {"stale header start without an end", [](FcsTestFile& f) { f.headerShift[0] = 4, f.headerField[3] = "0"; }},
        {"header pair too short", [](FcsTestFile& f) { f.headerField[2] = "100", f.headerField[3] = "110"; }},
        {"text pair wrong", [](FcsTestFile& f) { f.textShift[0] = f.textShift[1] = -7; }},
        // The TEXT pair names one byte more than the events need; the HEADER
        // pair is longer still and starts in the wrong place.
        {"one extra byte", [](FcsTestFile& f) { f.afterData = "XXXXX", f.textShift[1] = 1, f.headerShift[0] = -4; }},
        // $NEXTDATA chains a second data set (of one event); only the first is read.
        {"chained data sets",
         [](FcsTestFile& f) {
             f.set("$NEXTDATA", "000000000000");
             const std::string next = std::to_string(f.bytes().size());
             f.set("$NEXTDATA", std::string(12 - next.size(), '0') + next);
             f.afterData = FcsTestFile::floats({{9, 9}}).bytes();
         }},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        FcsTestFile f = FcsTestFile::floats({{1.5f, 0, 0}, {0, 0, -65536.0f}});
        c.second(f);
        auto l = load(dir, f);
        ASSERT_EQ(l->code, 0) << c.first << ": " << MCV_loadMessage(l->code);
        EXPECT_EQ(std::make_pair(l->header->numEvents(), l->header->numVariables()), std::make_pair(2, 3)) << c.first;
        EXPECT_EQ(l->at(0, 0), 1.5f) << c.first;
        EXPECT_EQ(l->at(1, 2), -65536.0f) << c.first;
    }
}

TEST(FcsLoaderData, DataBlocksOf2GiBAndMoreLoad) {
    // 270,000,000 events x 2 floats = 2,160,000,000 bytes, beyond any 32-bit
    // count. The file is sparse: only its ends hold data.
    QTemporaryDir dir;
    const int events = 270000000;
    const int64_t dataBytes = int64_t(events) * 8;
    FcsTestFile f = FcsTestFile::listMode("F", events, {32, 32});
    f.textShift[1] = dataBytes;
    f.headerField[3] = "0";
    const std::string bytes = f.bytes();
    const int64_t textSize = int64_t(bytes.size());
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
