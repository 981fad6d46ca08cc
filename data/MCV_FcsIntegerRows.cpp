#include "data/MCV_FcsIntegerRows.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <numeric>

namespace {

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
// Values per mask tile are a multiple of this, which covers the widest vector
// loop (and its unrolling) over the narrowest values.
constexpr size_t kTileStep = 64;
// From this many columns on, a row is long enough to be its own tile: the
// tile stays the size of the row however many parameters a file declares.
constexpr size_t kRowIsTile = 16 * kTileStep;

inline uint8_t swapBytes(uint8_t v) { return v; }
inline uint16_t swapBytes(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
// Vectorised as a byte shuffle where the processor has one (AVX2).
inline uint32_t swapBytes(uint32_t v) { return __builtin_bswap32(v); }

// One float per stored value. Narrow values and 4-byte values below 2^31 are
// exact as 32-bit signed integers. Wider unsigned values are split into two
// 16-bit halves, each exact as a float, whose sum is rounded once: the same
// nearest float a direct conversion gives.
template <typename T, bool Swap, bool Signed>
inline __attribute__((always_inline)) void convertRun(const unsigned char* src, const T* masks, size_t n,
                                                      float* __restrict dst) {
#pragma omp simd
    for (size_t i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, src + i * sizeof(T), sizeof(T));
        if (Swap) v = swapBytes(v);
        v = static_cast<T>(v & masks[i]);
        if (sizeof(T) < 4 || Signed) {
            dst[i] = static_cast<float>(static_cast<int32_t>(v));
        } else {
            const float high = static_cast<float>(static_cast<int32_t>(v >> 16)) * 65536.0f;
            dst[i] = high + static_cast<float>(static_cast<int32_t>(v & 0xFFFFu));
        }
    }
}

// `n` values from `src`, whose first is a row's first; the masks repeat every
// `period` values.
template <typename T, bool Swap, bool Signed>
inline __attribute__((always_inline)) void convertValues(const unsigned char* src, const T* tile, size_t period,
                                                         size_t n, float* dst) {
    for (size_t done = 0; done < n; done += period)
        convertRun<T, Swap, Signed>(src + done * sizeof(T), tile, std::min(period, n - done), dst + done);
}

#define QLMRN_CLONES __attribute__((target_clones("avx2", "default")))

QLMRN_CLONES void convert8(const unsigned char* src, const uint8_t* tile, size_t period, size_t n, float* dst) {
    convertValues<uint8_t, false, false>(src, tile, period, n, dst);
}
QLMRN_CLONES void convert16(const unsigned char* src, const uint16_t* tile, size_t period, size_t n, float* dst,
                            bool swap) {
    if (swap)
        convertValues<uint16_t, true, false>(src, tile, period, n, dst);
    else
        convertValues<uint16_t, false, false>(src, tile, period, n, dst);
}
QLMRN_CLONES void convert32(const unsigned char* src, const uint32_t* tile, size_t period, size_t n, float* dst,
                            bool swap, bool asSigned) {
    if (swap && asSigned)
        convertValues<uint32_t, true, true>(src, tile, period, n, dst);
    else if (swap)
        convertValues<uint32_t, true, false>(src, tile, period, n, dst);
    else if (asSigned)
        convertValues<uint32_t, false, true>(src, tile, period, n, dst);
    else
        convertValues<uint32_t, false, false>(src, tile, period, n, dst);
}

// One stored integer of `bytes` bytes (1..8).
template <bool BigEndian>
inline uint64_t loadInteger(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    if (BigEndian) {
        for (int k = 0; k < bytes; ++k) v = (v << 8) | p[k];
    } else {
        for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | p[k];
    }
    return v;
}

template <bool BigEndian>
void convertMixedRows(const unsigned char* src, size_t rows, const int* bytes, const uint64_t* masks, size_t cols,
                      float* dst) {
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < cols; ++c) {
            const int b = bytes[c];
            *dst++ = static_cast<float>(loadInteger<BigEndian>(src, b) & masks[c]);
            src += b;
        }
    }
}

}  // namespace

MCV_FcsIntegerRows::MCV_FcsIntegerRows(bool bigEndian, const std::vector<int>& bytes,
                                       const std::vector<uint64_t>& masks)
    : m_bigEndian(bigEndian), m_bytes(bytes), m_masks(masks) {
    assert(bytes.size() == masks.size() && !bytes.empty());
    for (int b : m_bytes) {
        assert(b >= 1 && b <= 8);
        m_rowBytes += static_cast<size_t>(b);
    }
    const int first = m_bytes.front();
    const bool uniform = std::all_of(m_bytes.begin(), m_bytes.end(), [&](int b) { return b == first; });
    if (!uniform || (first != 1 && first != 2 && first != 4)) return;
    m_width = first;
    const size_t cols = m_bytes.size();
    m_period = cols >= kRowIsTile ? cols : cols / std::gcd(cols, kTileStep) * kTileStep;
    if (m_width == 1) tileMasks(&m_tile8);
    if (m_width == 2) tileMasks(&m_tile16);
    if (m_width == 4) tileMasks(&m_tile32);
    m_masksBelowSignBit = std::all_of(m_masks.begin(), m_masks.end(), [](uint64_t m) { return m < (1u << 31); });
}

template <typename T>
void MCV_FcsIntegerRows::tileMasks(std::vector<T>* tile) const {
    // Masks wider than the column keep all of its bits.
    tile->resize(m_period);
    for (size_t i = 0; i < m_period; ++i) (*tile)[i] = static_cast<T>(m_masks[i % m_masks.size()]);
}

void MCV_FcsIntegerRows::convert(const unsigned char* src, size_t rows, float* dst) const {
    const size_t n = rows * columns();
    const bool swap = m_bigEndian != kHostBigEndian;
    switch (m_width) {
        case 1:
            return convert8(src, m_tile8.data(), m_period, n, dst);
        case 2:
            return convert16(src, m_tile16.data(), m_period, n, dst, swap);
        case 4:
            return convert32(src, m_tile32.data(), m_period, n, dst, swap, m_masksBelowSignBit);
        default:
            return convertMixed(src, rows, dst);
    }
}

void MCV_FcsIntegerRows::convertMixed(const unsigned char* src, size_t rows, float* dst) const {
    if (m_bigEndian)
        convertMixedRows<true>(src, rows, m_bytes.data(), m_masks.data(), columns(), dst);
    else
        convertMixedRows<false>(src, rows, m_bytes.data(), m_masks.data(), columns(), dst);
}
