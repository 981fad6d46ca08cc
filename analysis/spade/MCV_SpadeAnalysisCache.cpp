// The density cache beside each input file. With base = the file's full path,
// without its extension when that is ".fcs" (any case; the dot must be in the
// file's name, not in a folder's):
//
// - base + "_parameters.txt": one "1" or "0" per marker state (every variable
//   at the time of writing), then the sample size, alpha, the target and
//   outlier density percentiles, the density limit and the number of
//   clusters, each followed by a space, floats in the stream's default
//   format, no line break. Variables appended since (another analysis's
//   output) have no state here; the cache still fits while they are not
//   selected.
// - base + "_densities.raw": the local densities, one native (little-endian)
//   int32 per event, event 0 first, no header.
// - base + "_checksum.txt": what the two files were computed from, four lines
//   of text:
//     "events <N>\n"
//     "columns <c1> <c2> ...\n"   the selected variable indices, ascending
//     "values <16 hex digits>\n"  checksum of the selected values
//     "densities <16 hex digits>\n" checksum of the densities file's bytes
//   Both checksums are 64-bit FNV-1a over bytes: the values' float bit
//   patterns (little-endian, event by event, the selected columns in order)
//   and the densities file as stored. A cache is loaded only when this text
//   equals, byte for byte, the one made from the current data and the
//   densities file found: so the parameters and densities of other data (a
//   different transform, file content or marker choice), or of a write that
//   did not finish, are never taken.
//
// Files are replaced through MCV_ReplacingFile; the checksum file is removed
// first and written last, so it never vouches for files that were not written
// whole. Only regular files are read, and a named pipe in place of a cache
// file is replaced, never opened: opening it would block the program.
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "analysis/MCV_Checksum.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_ReplacingFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <sys/stat.h>

namespace {

// The parameter and checksum texts of a file with many variables stay far
// below this.
constexpr std::streamoff kMaxTextFile = 1 << 20;
// The settings after the marker states in the parameter file: sample size,
// alpha, the two percentiles, the density limit and the number of clusters.
constexpr size_t kSettings = 6;

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A whole regular file, or nothing when it is missing, no regular file (a
// named pipe would block the read) or larger than `limit`.
bool readWhole(const std::string& path, std::streamoff limit, std::string& out) {
    if (!isRegularFile(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > limit) return false;
    in.seekg(0, std::ios::beg);
    out.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(out.data(), static_cast<std::streamsize>(size)));
}

// Hands `bytes` to `file`, opened over `path`; a pipe in the cache's place
// is replaced, never opened.
bool writeTo(MCV_ReplacingFile& file, const std::string& path, const std::string& bytes) {
    return file.open(path, MCV_ReplacingFile::ReplacePipes) && file.write(bytes.data(), bytes.size());
}

void failed(const std::string& path) {
    std::cout << "\n\t\tCaching densities failed: " << path << " could not be written.\n";
}

// The cache names' common start for the data file at `path`.
std::string cacheBaseOf(const std::string& path) {
    // Only a dot of the file's own name starts an extension; a dotted folder
    // keeps its caches inside it.
    const size_t slash = path.rfind('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < name) return path;
    // Files that differ only in their extension (an instrument's numbered
    // files) keep it, so each has its own cache; FCS files keep the names
    // their caches always had.
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "fcs" ? path.substr(0, dot) : path;
}

}  // namespace

std::string MCV_SpadeAnalysis::cacheBase(int file) const {
    return cacheBaseOf(MCV_CytometryData::Instance()->fileName(file, false));
}

std::string MCV_SpadeAnalysis::checksumText(int file, const char* densityBytes, size_t size) const {
    const size_t n = static_cast<size_t>(numEvents(file));
    const size_t width = rowWidth();
    const float* data = rows(file);
    MCV_Checksum values;
    for (size_t e = 0; e < n; ++e) {
        const float* row = data + e * width;
        for (unsigned m : m_selectedMarkers) values.addFloat(row[m]);
    }
    MCV_Checksum densities;
    densities.addBytes(reinterpret_cast<const unsigned char*>(densityBytes), size);
    std::ostringstream text;
    text << "events " << n << "\ncolumns";
    for (unsigned m : m_selectedMarkers) text << " " << m;
    text << "\nvalues " << values.hex() << "\ndensities " << densities.hex() << "\n";
    return text.str();
}

bool MCV_SpadeAnalysis::loadCachedDensities(int file) {
    if (!m_due.densities) return true;
    const size_t f = static_cast<size_t>(file);
    const std::string base = cacheBase(file);
    std::cout << "\tTrying to load cached densities ..";
    const std::string rawPath = base + "_densities.raw";
    const std::string parametersPath = base + "_parameters.txt";
    for (const std::string& path : {rawPath, parametersPath, base + "_checksum.txt"})
        if (!isRegularFile(path) && pathExists(path)) {
            std::cout << "\n\t\t" << path << " is not a regular file, cache file is invalid. Recomputing.\n";
            return false;
        }
    std::ifstream raw(rawPath, std::ios::binary);
    std::string parameters;
    if (!raw || !readWhole(parametersPath, kMaxTextFile, parameters)) return false;
    std::istringstream words(parameters);
    const std::vector<std::string> tokens{std::istream_iterator<std::string>(words),
                                          std::istream_iterator<std::string>()};

    // The states are the words before the settings. A cache made before
    // variables were appended holds fewer: those variables were not part of
    // it, so it fits only when they are not selected now.
    const size_t numStored = tokens.size() >= kSettings ? tokens.size() - kSettings : 0;
    const size_t current = m_markerStates.size();
    for (size_t i = 0; i < std::max(numStored, current); ++i) {
        const bool known = i >= numStored || tokens[i] == "0" || tokens[i] == "1";
        const bool cached = i < numStored && tokens[i] == "1";
        if (!known || i >= current || cached != m_markerStates[i]) {
            std::cout << "\n\t\tMarker state " << i << " in cache differs from current setting, cache file is invalid. "
                      << "Recomputing.\n";
            return false;
        }
    }
    std::istringstream settings(tokens.size() >= kSettings ? tokens[numStored] + " " + tokens[numStored + 1]
                                                           : std::string());
    int sampleSize = 0;
    if (!(settings >> sampleSize) || sampleSize != m_maxRandomSampleSize) {
        std::cout << "\n\t\tRandom sample size in cache differs from current setting, cache file is invalid. "
                     "Recomputing.\n";
        return false;
    }
    float alpha = 0.0f;
    if (!(settings >> alpha) || !(alpha == m_alpha)) {
        std::cout << "\n\t\tAlpha in cache differs from current setting, cache file is invalid. Recomputing.\n";
        return false;
    }

    const size_t n = static_cast<size_t>(numEvents(file));
    raw.seekg(0, std::ios::end);
    const std::streamoff size = raw.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) != static_cast<std::uint64_t>(n) * 4) {
        std::cout << "\n\t\tSize of cache does not match data. Reading cache failed.\n";
        return false;
    }
    std::string bytes(n * 4, '\0');
    raw.seekg(0, std::ios::beg);
    std::string stored;
    if (!raw.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
        !readWhole(base + "_checksum.txt", kMaxTextFile, stored) ||
        stored != checksumText(file, bytes.data(), bytes.size())) {
        std::cout << "\n\t\tData in cache differs from current data, cache file is invalid. Recomputing.\n";
        return false;
    }
    std::vector<int> densities(n);
    for (size_t e = 0; e < n; ++e) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * e);
        const std::uint32_t u =
            std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
        const auto d = static_cast<std::int32_t>(u);
        // A count of other events of the file.
        if (d < 0 || static_cast<size_t>(d) >= n) {
            std::cout << "\n\t\tDensities in cache are out of range, cache file is invalid. Recomputing.\n";
            return false;
        }
        densities[e] = d;
    }
    m_localDensities[f] = std::move(densities);
    m_sortedDensities[f] = m_localDensities[f];
    std::sort(m_sortedDensities[f].begin(), m_sortedDensities[f].end());
    std::cout << " succes.\n";
    return true;
}

void MCV_SpadeAnalysis::cacheDensities(int file) {
    const std::string base = cacheBase(file);
    const std::string parametersPath = base + "_parameters.txt";
    const std::string rawPath = base + "_densities.raw";
    const std::string checksumPath = base + "_checksum.txt";

    std::ostringstream parameters;
    for (bool state : m_markerStates) parameters << (state ? "1" : "0") << " ";
    parameters << m_maxRandomSampleSize << " " << m_alpha << " " << m_targetDensityPercentile << " "
               << m_outlierDensityPercentile << " " << m_densityLimit << " " << m_targetNumberOfClusters << " ";
    const std::vector<int>& densities = m_localDensities[static_cast<size_t>(file)];
    std::string raw(densities.size() * 4, '\0');
    for (size_t e = 0; e < densities.size(); ++e) {
        const auto u = static_cast<std::uint32_t>(densities[e]);
        for (int b = 0; b < 4; ++b) raw[4 * e + static_cast<size_t>(b)] = static_cast<char>((u >> (8 * b)) & 0xff);
    }

    std::remove(checksumPath.c_str());
    // The parameter file first: when it cannot be made, nothing is written.
    // A file not committed is dropped when it goes.
    MCV_ReplacingFile parametersFile, rawFile;
    if (!writeTo(parametersFile, parametersPath, parameters.str())) return failed(parametersPath);
    if (!writeTo(rawFile, rawPath, raw)) return failed(rawPath);
    if (!parametersFile.commit()) return failed(parametersPath);
    if (!rawFile.commit()) return failed(rawPath);
    const std::string checksum = checksumText(file, raw.data(), raw.size());
    if (!MCV_ReplacingFile::writeWhole(checksumPath, checksum.data(), checksum.size(), nullptr,
                                       MCV_ReplacingFile::ReplacePipes))
        return failed(checksumPath);
}
