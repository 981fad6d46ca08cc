// The two binary cache files of the derived hierarchy: the library's hierarchy
// file and the point lists, little-endian int32 fields without a header:
// scale count S; per scale its landmark count L; per landmark its reference
// count n and n (file index, event index) pairs.
//
// Files are written to a temporary name and renamed over the cache only when
// every byte is written and on the disk, so a cache is either whole or the
// old one; the length and checksum of each file as written go into the
// parameter cache, and a file is read only when it has them again. Even so
// nothing read is trusted: a file is taken only when it fits the input and
// the hierarchy in every count and index.
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"

#include "analysis/hsne/MCV_CacheFileReader.h"
#include "analysis/hsne/MCV_CacheFileWriter.h"

#include "data/MCV_ExportNames.h"

#include "vel/dr/HierarchyIO.h"
#include "vel/utils/CoutLog.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <istream>
#include <limits>
#include <ostream>
#include <unordered_map>

namespace {

// Writes through `write` into a temporary file beside `path` and renames it
// over `path`; `digest` receives what was written. Prints why, says it in
// `problem` and leaves no temporary file on any failure.
bool writeReplacing(const std::string& path, const std::function<void(std::ostream&)>& write, std::string& problem,
                    MCV_CacheFileDigest& digest) {
    MCV_CacheFileWriter file(path);
    if (!file.isOpen()) {
        std::cout << "Caching failed. File could not be opened. " << std::endl;
        problem = file.problem();
        return false;
    }
    std::ostream out(&file);
    try {
        write(out);
    } catch (const std::exception& e) {
        std::cout << "Caching failed. " << path << ": " << e.what() << std::endl;
        problem = e.what();
        return false;
    }
    if (!out || !file.commit()) {
        std::cout << "Caching failed. " << path << " could not be written completely." << std::endl;
        problem = "a file could not be written completely" +
                  (file.problem().empty() ? std::string() : " (" + file.problem() + ")");
        return false;
    }
    digest = file.digest();
    return true;
}

// Opens a cache file that the parameter cache vouches for with `expected`.
// False, with the console line and `problem`, when it is missing, not a
// regular file or not of the length recorded.
bool openVouched(MCV_CacheFileReader& reader, const std::string& path, const MCV_CacheFileDigest& expected,
                 std::string& problem) {
    if (!reader.open(path)) {
        if (reader.missing()) {
            problem = MCV_ExportNames::fileName(path) + " is missing";
        } else {
            std::cout << "Loading cache failed: " << path << " cannot be read (" << reader.problem() << ")."
                      << std::endl;
            problem = MCV_ExportNames::fileName(path) + " cannot be read (" + reader.problem() + ")";
        }
        return false;
    }
    if (reader.size() != expected.size) {
        std::cout << "Loading cache failed: " << path << " has " << reader.size() << " bytes, the parameter cache "
                  << expected.size << "." << std::endl;
        problem = MCV_ExportNames::fileName(path) + " is damaged or was replaced";
        return false;
    }
    return true;
}

// After the whole file has been read: whether it is the one vouched for.
bool checkVouched(const MCV_CacheFileReader& reader, const std::string& path, const MCV_CacheFileDigest& expected,
                  std::string& problem) {
    if (!reader.problem().empty()) {
        std::cout << "Loading cache failed: " << path << " cannot be read (" << reader.problem() << ")." << std::endl;
        problem = MCV_ExportNames::fileName(path) + " cannot be read (" + reader.problem() + ")";
        return false;
    }
    if (reader.digest() != expected) {
        std::cout << "Loading cache failed: " << path << " does not have the checksum the parameter cache records."
                  << std::endl;
        problem = MCV_ExportNames::fileName(path) + " is damaged or was replaced";
        return false;
    }
    return true;
}

void putInt32(std::ostream& out, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
                           static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
    out.write(bytes, 4);
}

// Reads int32 fields from a whole file held in memory.
class FieldReader {
public:
    explicit FieldReader(std::vector<char> bytes) : m_bytes(std::move(bytes)) {}
    bool next(std::int32_t& value) {
        if (m_bytes.size() - m_pos < 4) return false;
        std::uint32_t u = 0;
        for (int b = 0; b < 4; ++b)
            u |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_bytes[m_pos + b])) << (8 * b);
        m_pos += 4;
        value = static_cast<std::int32_t>(u);
        return true;
    }
    size_t fieldsLeft() const { return (m_bytes.size() - m_pos) / 4; }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    std::vector<char> m_bytes;
    size_t m_pos = 0;
};

std::uint64_t refKey(const std::pair<int, int>& ref) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(ref.first)) << 32) |
           static_cast<std::uint32_t>(ref.second);
}

}  // namespace

// ---- Writing ----

bool MCV_DerivedDataHierarchy::cacheHsne(std::string directory) {
    if (!m_hsne) return false;
    m_cacheProblem.clear();
    m_cacheFilesKnown = false;
    const bool hierarchy = cacheHsneHierarchy(directory + HierarchyCacheName);
    const bool points = cacheHsnePointBasedHierarchy(directory + PointBasedCacheName);
    m_cacheFilesKnown = hierarchy && points;
    return m_cacheFilesKnown;
}

bool MCV_DerivedDataHierarchy::cacheHsneHierarchy(std::string path) {
    if (!m_hsne) return false;
    std::cout << "Wrting " << path << std::endl;
    return writeReplacing(
        path, [this](std::ostream& out) { vel::dr::IO::saveHSNE(*m_hsne, out, m_logger.get()); }, m_cacheProblem,
        m_hierarchyFile);
}

bool MCV_DerivedDataHierarchy::cacheHsnePointBasedHierarchy(std::string path) {
    if (!m_hsne) return false;
    std::cout << "Writing " << path << std::endl;
    return writeReplacing(
        path,
        [this](std::ostream& out) {
            putInt32(out, static_cast<std::int32_t>(m_pointBasedHierarchy.size()));
            for (const std::vector<PointList>& scale : m_pointBasedHierarchy) {
                putInt32(out, static_cast<std::int32_t>(scale.size()));
                for (const PointList& list : scale) {
                    putInt32(out, static_cast<std::int32_t>(list.size()));
                    for (const PointRef& ref : list) {
                        putInt32(out, ref.first);
                        putInt32(out, ref.second);
                    }
                }
            }
        },
        m_cacheProblem, m_pointListsFile);
}

// ---- Reading ----

bool MCV_DerivedDataHierarchy::loadCache(std::string directory) {
    m_cacheProblem.clear();
    if (!m_cacheFilesKnown) {
        m_cacheProblem = "it was written without checksums of its files";
        return false;
    }
    // Both files or neither: a refused file leaves the object as it was.
    std::unique_ptr<Hsne> previous = std::move(m_hsne);
    std::vector<std::vector<PointList>> previousLists = std::move(m_pointBasedHierarchy);
    if (loadHsneHierarchyCache(directory + HierarchyCacheName, m_hierarchyFile) &&
        loadHsnePointBasedHierarchyCache(directory + PointBasedCacheName, m_pointListsFile))
        return true;
    m_hsne = std::move(previous);
    m_pointBasedHierarchy = std::move(previousLists);
    return false;
}

bool MCV_DerivedDataHierarchy::loadHsneHierarchyCache(std::string path, const MCV_CacheFileDigest& expected) {
    MCV_CacheFileReader file;
    if (!openVouched(file, path, expected, m_cacheProblem)) return false;
    std::cout << "Loading " << path << std::endl;
    auto fresh = std::make_unique<Hsne>();
    fresh->setLogger(m_logger.get());
    std::istream in(&file);
    try {
        vel::dr::IO::loadHSNE(*fresh, in, file.size(), m_logger.get());
    } catch (const std::exception& e) {
        // Read to its end, a file that is not the one vouched for says so.
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max());
        if (!checkVouched(file, path, expected, m_cacheProblem)) return false;
        std::cout << "Loading cache failed: " << path << " is not a hierarchy file (" << e.what() << ")." << std::endl;
        m_cacheProblem = MCV_ExportNames::fileName(path) + " is damaged";
        return false;
    }
    if (in.peek() != std::istream::traits_type::eof()) {
        std::cout << "Loading cache failed: " << path << " holds more than a hierarchy." << std::endl;
        m_cacheProblem = MCV_ExportNames::fileName(path) + " is damaged";
        return false;
    }
    if (!checkVouched(file, path, expected, m_cacheProblem)) return false;
    const size_t scales = fresh->hierarchy().size();
    const unsigned points = scales > 0 ? fresh->scale(0).size() : 0;
    if (static_cast<int>(scales) != m_numScales || static_cast<int>(points) != m_numDataPoints) {
        std::cout << "Loading cache failed: the cached hierarchy has " << scales << " scales over " << points
                  << " points, the analysis asks for " << m_numScales << " over " << m_numDataPoints << "."
                  << std::endl;
        m_cacheProblem = "it holds " + std::to_string(scales) + " scales over " + std::to_string(points) +
                         " points, not " + std::to_string(m_numScales) + " over " + std::to_string(m_numDataPoints);
        return false;
    }
    m_hsne = std::move(fresh);
    m_pointBasedHierarchy.clear();
    return true;
}

bool MCV_DerivedDataHierarchy::loadHsnePointBasedHierarchyCache(std::string path, const MCV_CacheFileDigest& expected) {
    if (!m_hsne) return false;
    MCV_CacheFileReader file;
    if (!openVouched(file, path, expected, m_cacheProblem)) return false;
    std::cout << "Loading " << path << std::endl;
    std::vector<char> bytes;
    file.readRest(bytes);
    if (!checkVouched(file, path, expected, m_cacheProblem)) return false;
    const auto refuse = [this, &path](const std::string& why) {
        std::cout << "Loading cache failed: " << path << " " << why << "." << std::endl;
        m_cacheProblem = MCV_ExportNames::fileName(path) + " is damaged";
        return false;
    };
    // Data point of each reference; the lists are kept in data-point order.
    std::unordered_map<std::uint64_t, unsigned> pointOf;
    pointOf.reserve(m_pointReferences.size());
    for (size_t i = 0; i < m_pointReferences.size(); ++i)
        pointOf.emplace(refKey(m_pointReferences[i]), static_cast<unsigned>(i));

    FieldReader reader(std::move(bytes));
    std::int32_t scales = 0;
    if (!reader.next(scales) || scales != static_cast<std::int32_t>(m_hsne->hierarchy().size()))
        return refuse("does not have the scales of the hierarchy");
    std::vector<std::vector<PointList>> lists(static_cast<size_t>(scales));
    std::vector<char> seen;
    for (std::int32_t s = 0; s < scales; ++s) {
        std::int32_t landmarks = 0;
        if (!reader.next(landmarks) || landmarks != static_cast<std::int32_t>(m_hsne->scale(s).size()))
            return refuse("does not have the landmarks of scale " + std::to_string(s));
        seen.assign(m_pointReferences.size(), 0);
        lists[static_cast<size_t>(s)].resize(static_cast<size_t>(landmarks));
        for (std::int32_t l = 0; l < landmarks; ++l) {
            std::int32_t count = 0;
            if (!reader.next(count) || count < 0 || static_cast<size_t>(count) > reader.fieldsLeft() / 2)
                return refuse("has a list longer than the file");
            if (s == 0 && count != 1) return refuse("does not hold one point per landmark of scale 0");
            std::vector<std::pair<unsigned, PointRef>> members;
            members.reserve(static_cast<size_t>(count));
            for (std::int32_t k = 0; k < count; ++k) {
                PointRef ref;
                reader.next(ref.first);
                reader.next(ref.second);
                const auto it = pointOf.find(refKey(ref));
                if (it == pointOf.end()) return refuse("refers to events that are not points of the hierarchy");
                if (s == 0 && it->second != static_cast<unsigned>(l))
                    return refuse("does not hold the data points at scale 0");
                if (seen[it->second]++) return refuse("places a point twice at scale " + std::to_string(s));
                members.emplace_back(it->second, ref);
            }
            std::sort(members.begin(), members.end());
            PointList& list = lists[static_cast<size_t>(s)][static_cast<size_t>(l)];
            list.reserve(members.size());
            for (const auto& m : members) list.push_back(m.second);
        }
    }
    if (!reader.atEnd()) return refuse("holds more than the point lists");
    m_pointBasedHierarchy = std::move(lists);
    return true;
}
