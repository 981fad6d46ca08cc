#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A 64-bit FNV-1a checksum, as the analyses' caches record what data they
// were made from. Words and floats are taken as their little-endian bytes
// (floats by bit pattern), so a checksum is the same on any machine.
class MCV_Checksum {
public:
    void addBytes(const unsigned char* bytes, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            m_hash ^= bytes[i];
            m_hash *= 1099511628211ull;
        }
    }
    void addWord(std::uint32_t word) {
        for (int b = 0; b < 4; ++b) {
            m_hash ^= (word >> (8 * b)) & 0xffu;
            m_hash *= 1099511628211ull;
        }
    }
    void addFloat(float value);

    std::uint64_t value() const { return m_hash; }
    // 16 lower-case hex digits.
    std::string hex() const;

private:
    std::uint64_t m_hash = 14695981039346656037ull;
};
