#include "analysis/MCV_Checksum.h"

#include <cstdio>
#include <cstring>

void MCV_Checksum::addFloat(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    addWord(bits);
}

std::string MCV_Checksum::hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_hash));
    return text;
}
