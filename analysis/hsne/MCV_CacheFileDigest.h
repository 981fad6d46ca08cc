#pragma once

#include <cstdint>
#include <string>

// What the parameter cache records of each hierarchy cache file as it was
// written: its length in bytes and the 64-bit XXH3 hash of all its bytes
// (seed 0). A file is read only when both are the same again, so a file of
// other data, a damaged one or one replaced by hand is never taken.
struct MCV_CacheFileDigest {
    std::uint64_t size = 0;
    std::uint64_t checksum = 0;

    bool operator==(const MCV_CacheFileDigest& other) const { return size == other.size && checksum == other.checksum; }
    bool operator!=(const MCV_CacheFileDigest& other) const { return !(*this == other); }

    // The checksum as 16 lower-case hex digits, and back; false for any other text.
    std::string checksumHex() const;
    bool setChecksumHex(const std::string& text);
    // The digest of bytes held in memory.
    static MCV_CacheFileDigest of(const char* bytes, std::uint64_t size);
};
