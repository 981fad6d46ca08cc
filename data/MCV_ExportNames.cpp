#include "data/MCV_ExportNames.h"

std::string MCV_ExportNames::base(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string MCV_ExportNames::component(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return out;
}

std::string MCV_ExportNames::unique(const std::string& stem, const std::string& suffix) {
    std::string name = stem + suffix;
    for (int k = 2; m_used.count(name); ++k) name = stem + "-" + std::to_string(k) + suffix;
    m_used.insert(name);
    return name;
}
