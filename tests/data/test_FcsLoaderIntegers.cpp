#include "FcsTestFile.h"

#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <random>

namespace Code = MCV_LoadCode;

namespace {

constexpr uint64_t kFull = ~uint64_t(0);

// A parameter: its $PnR (nullptr: none) and the mask that range stands for.
struct Parameter {
    const char* range;
    uint64_t mask;
};

struct IntegerFile {
    FcsTestFile file;
    std::vector<float> want;  // the plain scalar reading of every stored value
};

// `events` rows of random values, widest where the type allows, with the
// expected matrix read from the stored bytes one at a time.
IntegerFile integerFile(int bits, bool bigEndian, const std::vector<Parameter>& params, int events, uint32_t seed) {
    const int bytes = bits / 8;
    IntegerFile f{
        FcsTestFile::listMode("I", events, std::vector<int>(params.size(), bits), bigEndian ? "4,3,2,1" : "1,2,3,4"),
        {}};
    for (size_t p = 0; p < params.size(); ++p) {
        const std::string key = "$P" + std::to_string(p + 1) + "R";
        params[p].range ? f.file.set(key, params[p].range) : f.file.remove(key);
    }
    std::mt19937_64 rng(seed);
    f.file.data.reserve(size_t(events) * params.size() * size_t(bytes));
    f.want.reserve(size_t(events) * params.size());
    for (int e = 0; e < events; ++e)
        for (const Parameter& p : params) {
            const uint64_t v = rng() >> (e % 3 == 0 ? 0 : 64 - 8 * bytes + (e % 5));
            const std::string stored = FcsTestFile::stored(v, bigEndian, size_t(bytes));
            f.file.data += stored;
            uint64_t back = 0;
            for (int k = 0; k < bytes; ++k)
                back |= uint64_t(static_cast<unsigned char>(stored[size_t(bigEndian ? bytes - 1 - k : k)])) << (8 * k);
            f.want.push_back(static_cast<float>(back & p.mask));
        }
    return f;
}

std::unique_ptr<FcsLoad> loadWith(int threads, const std::string& path) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    std::unique_ptr<FcsLoad> l(new FcsLoad(path));
    omp_set_num_threads(before);
    return l;
}

// Index of the first value whose bits differ from `want`, or -1.
int64_t firstDifference(const FcsLoad& l, const std::vector<float>& want) {
    for (size_t i = 0; i < want.size(); ++i)
        if (std::memcmp(&l.matrix[i], &want[i], sizeof(float)) != 0) return int64_t(i);
    return -1;
}

}  // namespace

// Widths of 8, 16 and 32 bits in both byte orders, with ranges that mask and
// ranges that do not, over event counts that end inside and at the edges of
// the pieces the reader converts at a time: every value is the scalar reading.
TEST(FcsLoaderIntegers, WidthsByteOrdersAndRangesGiveTheScalarReading) {
    struct Case {
        const char* name;
        int bits;
        std::vector<Parameter> params;
    };
    const Case cases[] = {
        {"8-bit", 8, {{"256", 0xFF}, {"100", 0x7F}, {"128", 0x7F}, {"1", 0}, {nullptr, 0xFF}}},
        {"16-bit ranges that mask", 16, {{"1024", 0x3FF}, {"1000", 0x3FF}, {"1025", 0x7FF}, {"2", 1}}},
        {"16-bit ranges that do not mask",
         16,
         {{"65536", 0xFFFF}, {"262144", 0xFFFF}, {nullptr, 0xFFFF}, {"0", 0xFFFF}, {"-5", 0xFFFF}}},
        {"16-bit decimal ranges", 16, {{"1023.2", 0x3FF}, {"4096.0", 0xFFF}, {"4096.5", 0x1FFF}}},
        {"32-bit ranges that mask", 32, {{"262144", 0x3FFFF}, {"2147483648", 0x7FFFFFFF}, {"1000000", 0xFFFFF}}},
        {"32-bit full width",
         32,
         {{"4294967296", 0xFFFFFFFF}, {"2147483649", 0xFFFFFFFF}, {"99999999999", 0xFFFFFFFF}, {nullptr, kFull}}},
    };
    // 349,531 rows of 3+ columns fill several of the reader's tasks.
    const int eventCounts[] = {1, 2, 3, 17, 1001, 21847, 349531};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        for (bool bigEndian : {false, true}) {
            for (int events : eventCounts) {
                const IntegerFile f = integerFile(c.bits, bigEndian, c.params, events, uint32_t(events + c.bits));
                auto l = loadWith(omp_get_max_threads(), f.file.write(dir, "i.fcs"));
                const std::string what = std::string(c.name) + (bigEndian ? ", big-endian, " : ", little-endian, ") +
                                         std::to_string(events) + " events";
                ASSERT_EQ(l->code, 0) << what << ": " << MCV_loadMessage(l->code);
                ASSERT_EQ(l->header->numEvents(), events) << what;
                const int64_t at = firstDifference(*l, f.want);
                EXPECT_EQ(at, -1) << what << ": value " << at << " is " << l->matrix[size_t(std::max<int64_t>(at, 0))]
                                  << ", not " << f.want[size_t(std::max<int64_t>(at, 0))];
            }
        }
    }
}

TEST(FcsLoaderIntegers, TheMatrixDoesNotDependOnTheNumberOfThreads) {
    QTemporaryDir dir;
    const IntegerFile files[] = {
        integerFile(16, true, {{"1024", 0x3FF}, {nullptr, 0xFFFF}, {"4096", 0xFFF}}, 400009, 3),
        integerFile(32, false, {{"4294967296", 0xFFFFFFFF}, {"262144", 0x3FFFF}}, 300007, 4),
    };
    for (const IntegerFile& f : files) {
        const std::string path = f.file.write(dir, "t.fcs");
        for (int threads : {1, 2, 3, 8}) {
            auto l = loadWith(threads, path);
            ASSERT_EQ(l->code, 0) << threads << " threads";
            EXPECT_EQ(firstDifference(*l, f.want), -1) << threads << " threads";
        }
    }
}

// DATA that end before $TOT rows are refused whatever the width, however
// little is missing, and no matrix is handed out.
TEST(FcsLoaderIntegers, TruncatedDataAreRefused) {
    QTemporaryDir dir;
    for (int bits : {8, 16, 32}) {
        const IntegerFile f = integerFile(bits, bits == 16, {{"1024", 0x3FF}, {nullptr, kFull}, {"7", 7}}, 200003, 9);
        const std::string bytes = f.file.bytes();
        const size_t rowBytes = 3 * size_t(bits / 8);
        for (size_t drop : {size_t(1), rowBytes - 1, rowBytes, rowBytes + 1, f.file.data.size() / 2}) {
            const std::string path = dir.filePath("cut.fcs").toStdString();
            FcsTestFile::writeBytes(path, bytes.substr(0, bytes.size() - drop));
            auto l = loadWith(omp_get_max_threads(), path);
            EXPECT_EQ(l->code, Code::Truncated) << bits << "-bit, " << drop << " bytes missing";
            EXPECT_FALSE(l->matrix) << bits << "-bit, " << drop << " bytes missing";
        }
        auto whole = loadWith(omp_get_max_threads(), f.file.write(dir, "whole.fcs"));
        ASSERT_EQ(whole->code, 0) << bits;
        EXPECT_EQ(firstDifference(*whole, f.want), -1) << bits;
    }
}
