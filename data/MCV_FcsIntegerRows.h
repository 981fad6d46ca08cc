#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Turns rows of stored unsigned integers ($DATATYPE I) into rows of floats.
//
// Every column has its own width (1 to 8 bytes) and mask; all share one byte
// order. A value becomes the float nearest to (stored value & mask), exactly
// as a scalar conversion of the 64-bit masked value would round it. Rows whose
// columns are all 1, 2 or 4 bytes wide (nearly every file) are converted by
// vector code; any other layout value by value, with the same results.
class MCV_FcsIntegerRows {
public:
    // `bytes` and `masks` hold one entry per column; widths must lie in 1..8.
    MCV_FcsIntegerRows(bool bigEndian, const std::vector<int>& bytes, const std::vector<uint64_t>& masks);

    size_t columns() const { return m_bytes.size(); }
    size_t rowBytes() const { return m_rowBytes; }
    // Converts `rows` whole rows from `src` (rows x rowBytes() bytes) into
    // `dst` (rows x columns() floats). Safe to call from several threads.
    void convert(const unsigned char* src, size_t rows, float* dst) const;

private:
    template <typename T>
    void tileMasks(std::vector<T>* tile) const;
    void convertMixed(const unsigned char* src, size_t rows, float* dst) const;

    bool m_bigEndian;
    std::vector<int> m_bytes;
    std::vector<uint64_t> m_masks;
    size_t m_rowBytes = 0;
    // When every column has the same width of 1, 2 or 4 bytes, that width;
    // otherwise 0. The masks are then repeated over a whole number of rows
    // that is also a whole number of vectors, so a run of rows is one flat
    // array of values with no per-row edge (very long rows are a tile each).
    int m_width = 0;
    bool m_masksBelowSignBit = false;  // 4-byte masks all < 2^31: values convert as signed
    size_t m_period = 0;               // values in one mask tile
    std::vector<uint8_t> m_tile8;
    std::vector<uint16_t> m_tile16;
    std::vector<uint32_t> m_tile32;
};
