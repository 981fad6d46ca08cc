#include "data/MCV_FcsIntegerRows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kFull = ~uint64_t(0);

// The plain reading of one stored value: its bytes assembled in the stated
// order, masked, and converted to the nearest float.
float referenceValue(const unsigned char* p, int bytes, bool bigEndian, uint64_t mask) {
    uint64_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= uint64_t(p[bigEndian ? bytes - 1 - k : k]) << (8 * k);
    return static_cast<float>(v & mask);
}

std::vector<float> referenceRows(const std::vector<unsigned char>& src, size_t rows, bool bigEndian,
                                 const std::vector<int>& bytes, const std::vector<uint64_t>& masks) {
    std::vector<float> out;
    const unsigned char* p = src.data();
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < bytes.size(); ++c) {
            out.push_back(referenceValue(p, bytes[c], bigEndian, masks[c]));
            p += bytes[c];
        }
    return out;
}

// Stored bytes for `rows` rows: mostly random (so high bits are set and wide
// values must round), with values whose rounding is a tie or that sit at the
// sign bit or the top of the type spread among them.
std::vector<unsigned char> storedRows(size_t rows, const std::vector<int>& bytes, uint32_t seed) {
    static const uint64_t edges[] = {
        0,          1,          0xFF,       0x100,      0xFFFF,     (1u << 24) + 1, (1u << 24) + 3,         0x7FFFFFFF,
        0x80000000, 0x80000001, 0xFFFFFF7F, 0xFFFFFF80, 0xFFFFFFFF, kFull,          (uint64_t(1) << 40) + 3};
    std::mt19937_64 rng(seed);
    std::vector<unsigned char> out;
    for (size_t r = 0; r < rows; ++r)
        for (int b : bytes) {
            uint64_t v = rng();
            if (v % 5 == 0) v = edges[(v >> 8) % std::size(edges)];
            for (int k = 0; k < b; ++k) out.push_back(static_cast<unsigned char>(v >> (8 * (k % 8))));
        }
    return out;
}

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

struct Layout {
    const char* name;
    std::vector<int> bytes;
    std::vector<uint64_t> masks;
};

std::vector<uint64_t> repeated(size_t n, std::vector<uint64_t> pattern) {
    std::vector<uint64_t> out;
    for (size_t i = 0; i < n; ++i) out.push_back(pattern[i % pattern.size()]);
    return out;
}

}  // namespace

// Every layout, byte order and row count gives the plain scalar reading,
// bit for bit, and writes nothing past the rows it converts.
TEST(FcsIntegerRows, EveryLayoutMatchesTheScalarReadingBitForBit) {
    const Layout layouts[] = {
        {"8-bit, one column", {1}, {kFull}},
        {"8-bit, masked", std::vector<int>(7, 1), repeated(7, {0xFF, 0x7F, 0x0F, 0, kFull})},
        {"16-bit, one column", {2}, {kFull}},
        {"16-bit, 3 columns", std::vector<int>(3, 2), {0x3FF, kFull, 0xFFFF}},
        {"16-bit, 40 columns", std::vector<int>(40, 2), repeated(40, {0xFFFF, 0x3FF, 0xFFF, 0x1FF, 0})},
        {"16-bit, 65 columns", std::vector<int>(65, 2), repeated(65, {0x3FF, 0xFFFF, 0x1})},
        {"32-bit, masks below 2^31", std::vector<int>(5, 4), repeated(5, {0x3FFFF, 0x7FFFFFFF, 0xFFFFF, 0})},
        {"32-bit, full and 31-bit masks", std::vector<int>(3, 4), {kFull, 0x7FFFFFFF, 0xFFFFFFFF}},
        {"32-bit, masks at the sign bit", std::vector<int>(2, 4), {0x80000000, 0x7FFFFFFF}},
        {"32-bit, 40 full columns", std::vector<int>(40, 4), repeated(40, {0xFFFFFFFF})},
        {"32-bit, 67 columns", std::vector<int>(67, 4), repeated(67, {0xFFFFFFFF, 0x3FFFF, 0xFFFFFF})},
        {"8-bit, 1500 columns", std::vector<int>(1500, 1), repeated(1500, {0xFF, 0x3F, 0x7})},
        {"16-bit, 1031 columns", std::vector<int>(1031, 2), repeated(1031, {0x3FF, 0xFFFF, 0xFFF})},
        {"32-bit, 1024 columns", std::vector<int>(1024, 4), repeated(1024, {0xFFFFFFFF, 0x3FFFF, 0x7FF})},
        {"mixed 8/16/24/32/64", {1, 2, 3, 4, 8, 2}, {0xFF, 0x3FF, kFull, 0x3FF, kFull, 0xFFFF}},
        {"mixed 16/32", {2, 4, 4, 2}, {0xFFFF, 0xFFFFFFFF, 0x3FFFF, 0x3FF}},
        {"64-bit", {8, 8}, {kFull, 0xFFFFFFFFFFF}},
        {"24-bit", std::vector<int>(3, 3), {0xFFFFFF, 0x3FF, kFull}},
        {"40-bit and 56-bit", {5, 7}, {kFull, 0xFFFFFFFFFF}},
    };
    const size_t rowCounts[] = {1, 2, 3, 5, 15, 16, 17, 31, 33, 63, 64, 65, 127, 129, 1001};
    for (const Layout& layout : layouts) {
        for (bool bigEndian : {false, true}) {
            const MCV_FcsIntegerRows rows(bigEndian, layout.bytes, layout.masks);
            const size_t cols = layout.bytes.size();
            ASSERT_EQ(rows.columns(), cols);
            for (size_t n : rowCounts) {
                const std::vector<unsigned char> src = storedRows(n, layout.bytes, uint32_t(n * 31 + cols));
                ASSERT_EQ(src.size(), n * rows.rowBytes());
                const std::vector<float> want = referenceRows(src, n, bigEndian, layout.bytes, layout.masks);
                const float guard = -7.5f;
                std::vector<float> got(n * cols + 16, guard);
                rows.convert(src.data(), n, got.data());
                size_t wrong = 0;
                for (size_t i = 0; i < n * cols; ++i)
                    if (bitsOf(got[i]) != bitsOf(want[i]) && wrong++ < 3)
                        ADD_FAILURE() << layout.name << (bigEndian ? " big" : " little") << "-endian, " << n
                                      << " rows: value " << i << " is " << got[i] << ", not " << want[i];
                EXPECT_EQ(wrong, 0u) << layout.name << ", " << n << " rows";
                for (size_t i = n * cols; i < got.size(); ++i)
                    ASSERT_EQ(got[i], guard) << layout.name << ": written past the rows, " << n << " rows";
            }
        }
    }
}

// A run of rows converted in pieces of any size gives the rows converted at
// once: the masks follow the columns from every row's start.
TEST(FcsIntegerRows, RowsConvertedInPiecesMatchOneCall) {
    const Layout layouts[] = {
        {"8-bit, 13 columns", std::vector<int>(13, 1), repeated(13, {0x7F, 0xFF, 0x3})},
        {"16-bit, 11 columns", std::vector<int>(11, 2), repeated(11, {0x3FF, 0xFFFF, 0xFF})},
        {"32-bit, 9 columns", std::vector<int>(9, 4), repeated(9, {0xFFFFFFFF, 0x3FFFF})},
    };
    for (const Layout& layout : layouts) {
        const MCV_FcsIntegerRows rows(true, layout.bytes, layout.masks);
        const size_t n = 777, cols = rows.columns();
        const std::vector<unsigned char> src = storedRows(n, layout.bytes, 5);
        std::vector<float> whole(n * cols), pieces(n * cols);
        rows.convert(src.data(), n, whole.data());
        for (size_t row = 0, step = 1; row < n; row += step, step = step * 3 % 97 + 1) {
            const size_t take = std::min(step, n - row);
            rows.convert(src.data() + row * rows.rowBytes(), take, pieces.data() + row * cols);
        }
        EXPECT_EQ(std::memcmp(whole.data(), pieces.data(), whole.size() * sizeof(float)), 0) << layout.name;
    }
}
