#include "analysis/hsne/MCV_CacheFileDigest.h"

#include <xxhash.h>

#include <cstdio>

std::string MCV_CacheFileDigest::checksumHex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(checksum));
    return text;
}

bool MCV_CacheFileDigest::setChecksumHex(const std::string& text) {
    if (text.size() != 16) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    checksum = value;
    return true;
}

MCV_CacheFileDigest MCV_CacheFileDigest::of(const char* bytes, std::uint64_t size) {
    return {size, XXH3_64bits(bytes, static_cast<size_t>(size))};
}
