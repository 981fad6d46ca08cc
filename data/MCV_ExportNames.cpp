#include "data/MCV_ExportNames.h"

#include <algorithm>
#include <cctype>

namespace {
// Index of the last '.' of the file name, npos when it has none.
size_t suffixDot(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : std::string::npos;
}
}  // namespace

std::string MCV_ExportNames::folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string MCV_ExportNames::fileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string MCV_ExportNames::base(const std::string& path) {
    const size_t dot = suffixDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string MCV_ExportNames::extension(const std::string& path) {
    const size_t dot = suffixDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool MCV_ExportNames::isFcs(const std::string& path) {
    const std::string suffix = extension(path);
    return suffix.size() == 3 && std::equal(suffix.begin(), suffix.end(), "fcs", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
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
