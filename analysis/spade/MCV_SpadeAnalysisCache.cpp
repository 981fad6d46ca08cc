// The density cache beside each input file. With base = the file's folder
// (see MCV_CytometryData::fileFolder) followed by its name, without the
// extension when that is ".fcs" (any case):
//
// - base + "_parameters.txt": one "1" or "0" per marker state (every variable
//   at the time of writing), then the sample size, alpha, the target and
//   outlier density percentiles, the density limit and the number of
//   clusters, each followed by a space, floats in the stream's default
//   format, no line break.
// - base + "_densities.raw": the local densities, one native (little-endian)
//   int32 per event, event 0 first, no header.
// - base + "_checksum.txt": what the two files were computed from, as text:
//     "events <N>\n"
//     "values <16 hex digits>\n"     checksum of the selected values
//     "densities <16 hex digits>\n"  checksum of the densities file's bytes
//     "markers <k>\n"                the selected variables, in column order,
//     "<n> <label> <m> <name>\n"     one line each: the byte lengths and bytes
//                                    of its label and name (either may hold
//                                    any byte)
//   Both checksums are 64-bit FNV-1a over bytes: the values' float bit
//   patterns (little-endian, event by event, the selected columns in order)
//   and the densities file as stored.
//
// The densities depend on the selected columns' values and on the sample
// size and alpha only, so that is what a cache must match: the selected
// markers by label and name in their order, the two settings, and this text,
// byte for byte, made from the current data and the densities file found.
// Unselected variables, wherever they stand and whether or not they exist on
// either side (another analysis's output, the sample tag), do not count, and
// the marker states of the parameter file only have to be well formed. The
// parameters and densities of other data (a different transform, file content
// or marker choice), or of a write that did not finish, are never taken.
//
// Earlier caches named the selected columns by their positions
// ("columns <c1> <c2> ...\n" after the events, in place of the markers at the
// end): they are taken, as they always were, only when every marker state
// matches position by position, and are otherwise recomputed and rewritten
// in the form above.
//
// Files are replaced through MCV_ReplacingFile; the checksum file is removed
// first and written last, so it never vouches for files that were not written
// whole. Only regular files are read, and a named pipe in place of a cache
// file is replaced, never opened: opening it would block the program.
#include "analysis/spade/MCV_SpadeAnalysis.h"

#include "analysis/MCV_Checksum.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_RegularFileOpen.h"
#include "data/MCV_ReplacingFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The parameter and checksum texts of a file with many variables stay far
// below this.
constexpr std::streamoff kMaxTextFile = 1 << 20;
// The settings after the marker states in the parameter file: sample size,
// alpha, the two percentiles, the density limit and the number of clusters.
constexpr size_t kSettings = 6;

// A whole regular file, or nothing when it is missing, no regular file (a
// named pipe would block the read) or larger than `limit`.
bool readWhole(const std::string& path, std::streamoff limit, std::string& out) {
    const MCV_RegularFileOpen in(path);
    if (!in.isOpen() || in.size() > static_cast<std::uint64_t>(limit)) return false;
    out.resize(static_cast<size_t>(in.size()));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(in.fd(), out.data() + done, out.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Hands `bytes` to `file`, opened over `path`; a pipe in the cache's place
// is replaced, never opened.
bool writeTo(MCV_ReplacingFile& file, const std::string& path, const std::string& bytes) {
    return file.open(path, MCV_ReplacingFile::ReplacePipes) && file.write(bytes.data(), bytes.size());
}

std::string stateDiffers(size_t index) {
    return "\n\t\tMarker state " + std::to_string(index) +
           " in cache differs from current setting, cache file is invalid. Recomputing.\n";
}

// A variable as the cache names it.
struct Marker {
    std::string label;
    std::string name;
    bool operator==(const Marker& other) const { return label == other.label && name == other.name; }
    bool operator!=(const Marker& other) const { return !(*this == other); }
};

void writeMarker(std::ostream& out, const Marker& marker) {
    out << marker.label.size() << " " << marker.label << " " << marker.name.size() << " " << marker.name << "\n";
}

// Reads a checksum text front to back; every step fails, without moving, on
// text that is not what it expects.
class Reader {
public:
    explicit Reader(const std::string& text) : m_text(text) {}
    bool literal(const char* word) {
        const size_t length = std::strlen(word);
        if (m_text.compare(m_at, length, word) != 0) return false;
        m_at += length;
        return true;
    }
    // A decimal count of at most 9 digits.
    bool count(size_t& value) {
        size_t digits = 0;
        value = 0;
        while (m_at + digits < m_text.size() && digits < 10 &&
               std::isdigit(static_cast<unsigned char>(m_text[m_at + digits])))
            value = value * 10 + static_cast<size_t>(m_text[m_at + digits++] - '0');
        if (digits == 0 || digits > 9) return false;
        m_at += digits;
        return true;
    }
    bool bytes(size_t length, std::string& out) {
        if (length > m_text.size() - m_at) return false;
        out = m_text.substr(m_at, length);
        m_at += length;
        return true;
    }
    bool skipLine() {
        const size_t end = m_text.find('\n', m_at);
        if (end == std::string::npos) return false;
        m_at = end + 1;
        return true;
    }
    bool atEnd() const { return m_at == m_text.size(); }

private:
    const std::string& m_text;
    size_t m_at = 0;
};

// The selected markers a checksum text of the current form names; false for
// a text of the earlier form, a damaged one or none.
bool storedSelection(const std::string& text, std::vector<Marker>& markers) {
    Reader in(text);
    size_t count = 0;
    if (!in.literal("events ") || !in.skipLine() || !in.literal("values ") || !in.skipLine() ||
        !in.literal("densities ") || !in.skipLine() || !in.literal("markers ") || !in.count(count) || !in.literal("\n"))
        return false;
    markers.clear();
    // Each line takes at least 6 bytes, so a forged count cannot reserve more
    // than the text could hold.
    markers.reserve(std::min(count, text.size() / 6));
    for (size_t i = 0; i < count; ++i) {
        Marker m;
        size_t length = 0;
        if (!in.count(length) || !in.literal(" ") || !in.bytes(length, m.label) || !in.literal(" ") ||
            !in.count(length) || !in.literal(" ") || !in.bytes(length, m.name) || !in.literal("\n"))
            return false;
        markers.push_back(std::move(m));
    }
    return in.atEnd();
}

// What a cache of the earlier form held: it fits only when every stored state
// equals the current one at its position; variables appended since have no
// state there and must not be selected. Empty when it fits, else the reason.
std::string positionDifference(const std::vector<std::string>& tokens, size_t numStored,
                               const std::vector<bool>& states) {
    for (size_t i = 0; i < std::max(numStored, states.size()); ++i) {
        const bool known = i >= numStored || tokens[i] == "0" || tokens[i] == "1";
        const bool cached = i < numStored && tokens[i] == "1";
        if (!known || i >= states.size() || cached != states[i]) return stateDiffers(i);
    }
    return std::string();
}

// Why the markers a cache was computed from (`cached`) are not the selected
// ones of `variables` (the file's, with their `states`), or empty when they
// are the same markers in the same order. The reason names the first variable
// that tells them apart.
std::string selectionDifference(const std::vector<Marker>& cached, const std::vector<fcsVariable>& variables,
                                const std::vector<bool>& states, const std::vector<unsigned>& selected) {
    const auto markerAt = [&](size_t v) {
        return v < variables.size() ? Marker{variables[v].label, variables[v].name} : Marker{};
    };
    const auto isSelected = [&](size_t v) { return v < states.size() && states[v]; };
    size_t p = 0;
    while (p < cached.size() && p < selected.size() && cached[p] == markerAt(selected[p])) ++p;
    if (p == cached.size() && p == selected.size()) return std::string();
    if (p < cached.size()) {
        // The cache's next marker is not selected now, or no longer exists.
        bool exists = false;
        for (size_t v = 0; v < variables.size(); ++v) {
            if (markerAt(v) != cached[p]) continue;
            if (!isSelected(v)) return stateDiffers(v);
            exists = true;
        }
        if (!exists)
            return "\n\t\tMarker " + cached[p].name + " (" + cached[p].label +
                   ") in cache is not in the current data, cache file is invalid. Recomputing.\n";
    }
    // A marker selected now that the cache did not have at this place.
    return stateDiffers(p < selected.size() ? selected[p] : selected.back());
}

}  // namespace

std::string MCV_SpadeAnalysis::cacheBase(int file) const {
    const MCV_CytometryData* data = MCV_CytometryData::Instance();
    const std::string name = MCV_ExportNames::fileName(data->fileName(file, false));
    // Files that differ only in their extension (an instrument's numbered
    // files) keep it, so each has its own cache; FCS files keep the names
    // their caches always had.
    return data->fileFolder(file) + (MCV_ExportNames::isFcs(name) ? MCV_ExportNames::base(name) : name);
}

std::string MCV_SpadeAnalysis::checksumText(int file, const char* densityBytes, size_t size, bool byPosition) const {
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
    text << "events " << n << "\n";
    if (byPosition) {
        text << "columns";
        for (unsigned m : m_selectedMarkers) text << " " << m;
        text << "\n";
    }
    text << "values " << values.hex() << "\ndensities " << densities.hex() << "\n";
    if (byPosition) return text.str();
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->header(file);
    text << "markers " << m_selectedMarkers.size() << "\n";
    for (unsigned m : m_selectedMarkers) {
        const fcsVariable* v = header ? header->variable(static_cast<int>(m)) : nullptr;
        writeMarker(text, v ? Marker{v->label, v->name} : Marker{});
    }
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
        if (MCV_RegularFileOpen(path).notRegular()) {
            std::cout << "\n\t\t" << path << " is not a regular file, cache file is invalid. Recomputing.\n";
            return false;
        }
    std::ifstream raw(rawPath, std::ios::binary);
    std::string parameters;
    if (!raw || !readWhole(parametersPath, kMaxTextFile, parameters)) return false;
    std::istringstream words(parameters);
    const std::vector<std::string> tokens{std::istream_iterator<std::string>(words),
                                          std::istream_iterator<std::string>()};

    // The states are the words before the settings.
    const size_t numStored = tokens.size() >= kSettings ? tokens.size() - kSettings : 0;
    std::string stored;
    if (!readWhole(base + "_checksum.txt", kMaxTextFile, stored)) stored.clear();
    std::vector<Marker> cachedSelection;
    const bool byPosition = !storedSelection(stored, cachedSelection);
    std::string difference;
    if (byPosition) {
        difference = positionDifference(tokens, numStored, m_markerStates);
    } else if (tokens.size() < kSettings) {
        difference = stateDiffers(0);
    } else {
        // The states only have to be readable: the settings follow them.
        for (size_t i = 0; i < numStored && difference.empty(); ++i)
            if (tokens[i] != "0" && tokens[i] != "1") difference = stateDiffers(i);
        MCV_FcsHeader* header = MCV_CytometryData::Instance()->header(file);
        if (difference.empty() && header)
            difference = selectionDifference(cachedSelection, *header->variables(), m_markerStates, m_selectedMarkers);
    }
    if (!difference.empty()) {
        std::cout << difference;
        return false;
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
    if (!raw.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) || stored.empty() ||
        stored != checksumText(file, bytes.data(), bytes.size(), byPosition)) {
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
    if (!writeTo(parametersFile, parametersPath, parameters.str()))
        return cacheFailed(parametersPath, parametersFile.error());
    if (!writeTo(rawFile, rawPath, raw)) return cacheFailed(rawPath, rawFile.error());
    if (!parametersFile.commit()) return cacheFailed(parametersPath, parametersFile.error());
    if (!rawFile.commit()) return cacheFailed(rawPath, rawFile.error());
    const std::string checksum = checksumText(file, raw.data(), raw.size());
    std::string why;
    if (!MCV_ReplacingFile::writeWhole(checksumPath, checksum.data(), checksum.size(), &why,
                                       MCV_ReplacingFile::ReplacePipes))
        return cacheFailed(checksumPath, why);
}

void MCV_SpadeAnalysis::cacheFailed(const std::string& path, const std::string& why) {
    std::cout << "\n\t\tCaching densities failed: " << path << " could not be written.\n";
    m_cacheFailures.push_back(path + " was not written: " + why);
}

std::string MCV_SpadeAnalysis::cacheNote() const {
    if (m_cacheFailures.empty()) return std::string();
    std::string note = "SPADE density cache " + m_cacheFailures.front();
    const size_t more = m_cacheFailures.size() - 1;
    if (more > 0) note += " (nor those of " + std::to_string(more) + (more == 1 ? " more file)" : " more files)");
    return note + ".";
}
