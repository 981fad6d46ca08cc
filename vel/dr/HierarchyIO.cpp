#include "vel/dr/HierarchyIO.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/dr/HierarchicalSNE.h"
#include "vel/utils/LogValue.h"

namespace vel {
namespace dr {
namespace IO {

namespace {

// Sizes are stored as floats, which hold every integer only up to 2^24.
constexpr std::size_t kMaxScaleSize = std::size_t(1) << 24;
// Far beyond any real hierarchy (each scale is a fraction of the one below), and
// it bounds the loader's loop on a damaged count.
constexpr float kMaxScales = 64;

void displayLine(utils::AbstractLog* logger, const char* text) {
    if (logger != nullptr) logger->display(text, false);
}

template <typename T>
void writeField(std::ostream& stream, T value) {
    static_assert(sizeof(T) == 4, "the file holds 4-byte fields only");
    char bytes[4];
    std::memcpy(bytes, &value, 4);
    stream.write(bytes, 4);
}

template <typename Vector>
void writeVector(std::ostream& stream, const Vector& vector) {
    writeField(stream, static_cast<std::uint32_t>(vector.size()));
    for (const auto& value : vector) writeField(stream, value);
}

template <typename Matrix>
void writeMatrix(std::ostream& stream, const Matrix& matrix) {
    writeField(stream, static_cast<std::uint32_t>(matrix.size()));
    for (const auto& row : matrix) {
        writeField(stream, static_cast<std::uint32_t>(row.size()));
        for (const auto& entry : row) {
            writeField(stream, static_cast<std::uint32_t>(entry.first));
            writeField(stream, static_cast<float>(entry.second));
        }
    }
}

[[noreturn]] void refuse(const std::string& what) { throw std::runtime_error(what); }

// Reads 4-byte fields, refusing a stream that ends early and, when the stream's
// length is known (given, or told by a stream that can seek), any count whose
// elements cannot fit in the bytes left, so that nothing is allocated for data
// the stream does not hold.
class FieldReader {
public:
    explicit FieldReader(std::istream& stream) : _stream(stream) {
        const std::istream::pos_type start = stream.tellg();
        if (start == std::istream::pos_type(-1)) return;
        stream.seekg(0, std::ios::end);
        const std::istream::pos_type end = stream.tellg();
        stream.seekg(start);
        if (end == std::istream::pos_type(-1) || !stream || end < start) {
            stream.clear();
            stream.seekg(start);
            return;
        }
        _bytesLeft = static_cast<std::uint64_t>(end - start);
        _lengthKnown = true;
    }
    FieldReader(std::istream& stream, std::uint64_t length) : _stream(stream), _bytesLeft(length), _lengthKnown(true) {}

    template <typename T>
    T read() {
        static_assert(sizeof(T) == 4, "the file holds 4-byte fields only");
        char bytes[4];
        readBytes(bytes, 4);
        T value;
        std::memcpy(&value, bytes, 4);
        return value;
    }

    // `size` bytes at once: the fields of a row or a vector cost one call.
    void readBytes(char* bytes, std::size_t size) {
        if (_lengthKnown && size > _bytesLeft) refuse("Unexpected end of the H-SNE hierarchy file");
        const auto wanted = static_cast<std::streamsize>(size);
        if (!_stream.read(bytes, wanted) || _stream.gcount() != wanted)
            refuse("Unexpected end of the H-SNE hierarchy file");
        if (_lengthKnown) _bytesLeft -= size;
    }

    // A count followed by that many elements of at least `minBytesPerElement` bytes.
    std::uint32_t readCount(std::uint64_t minBytesPerElement) {
        const std::uint32_t count = read<std::uint32_t>();
        if (_lengthKnown && count * minBytesPerElement > _bytesLeft)
            refuse("Count beyond the end of the H-SNE hierarchy file");
        return count;
    }
    bool lengthKnown() const { return _lengthKnown; }

private:
    std::istream& _stream;
    std::uint64_t _bytesLeft = 0;
    bool _lengthKnown = false;
};

// Elements are read in pieces of at most this many bytes: a count that a
// stream of unknown length does not hold costs no more memory than it holds.
constexpr std::size_t kPieceBytes = std::size_t(1) << 16;

template <typename T>
void readVector(FieldReader& reader, std::vector<T>& vector) {
    static_assert(sizeof(T) == 4, "the file holds 4-byte fields only");
    const std::uint32_t count = reader.readCount(4);
    vector.clear();
    if (reader.lengthKnown()) vector.reserve(count);
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = std::min<std::size_t>(count - done, kPieceBytes / 4);
        vector.resize(done + piece);
        reader.readBytes(reinterpret_cast<char*>(vector.data() + done), 4 * piece);
        done += piece;
    }
}

// Rows come out sorted by column; a repeated column keeps its last value. A
// row stored in order (as saveHSNE writes it) is appended as it comes; any
// other row is sorted once, so reading stays O(E log E) per row of E entries.
template <typename Matrix>
void readMatrix(FieldReader& reader, Matrix& matrix) {
    using Row = typename Matrix::value_type;
    using Entry = std::pair<std::uint32_t, float>;
    const std::uint32_t rows = reader.readCount(4);
    matrix.clear();
    if (reader.lengthKnown()) matrix.reserve(rows);
    std::vector<char> bytes;
    std::vector<Entry> entries;
    for (std::uint32_t r = 0; r < rows; ++r) {
        matrix.emplace_back();
        Row& row = matrix.back();
        const std::uint32_t count = reader.readCount(8);
        entries.clear();
        bool ordered = true;
        for (std::size_t done = 0; done < count;) {
            const std::size_t piece = std::min<std::size_t>(count - done, kPieceBytes / 8);
            bytes.resize(8 * piece);
            reader.readBytes(bytes.data(), bytes.size());
            for (std::size_t e = 0; e < piece; ++e) {
                Entry entry;
                std::memcpy(&entry.first, &bytes[8 * e], 4);
                std::memcpy(&entry.second, &bytes[8 * e + 4], 4);
                ordered = ordered && (entries.empty() || entries.back().first < entry.first);
                entries.push_back(entry);
            }
            done += piece;
        }
        if (!ordered) {
            std::stable_sort(entries.begin(), entries.end(),
                             [](const Entry& a, const Entry& b) { return a.first < b.first; });
            // Of equal columns, the last in the stream stays.
            auto kept = entries.begin();
            for (auto it = entries.begin(); it != entries.end(); ++it) {
                if (kept != entries.begin() && (kept - 1)->first == it->first)
                    *(kept - 1) = *it;
                else
                    *kept++ = *it;
            }
            entries.erase(kept, entries.end());
        }
        row.reserve(entries.size());
        // Ascending keys: every insertion lands at the end of the row.
        for (const Entry& entry : entries) row[entry.first] = entry.second;
    }
}

template <typename Matrix>
void checkMatrix(const Matrix& matrix, std::size_t rows, std::size_t columns, const char* name) {
    if (matrix.size() != rows) refuse(std::string("Wrong row count of the ") + name + " in the H-SNE hierarchy file");
    for (const auto& row : matrix) {
        for (const auto& entry : row) {
            if (entry.first >= columns)
                refuse(std::string("Column out of range in the ") + name + " of the H-SNE hierarchy file");
            if (!std::isfinite(entry.second))
                refuse(std::string("Value not finite in the ") + name + " of the H-SNE hierarchy file");
        }
    }
}

// Checks scale s >= 1 against the previous scale and the data-point count.
template <typename Scale>
void checkScale(const Scale& scale, const Scale& previous, std::size_t numDataPoints) {
    const std::size_t landmarks = scale.landmarkToOriginalIdx.size();
    const std::size_t previousPoints = previous.landmarkToOriginalIdx.size();
    if (scale.landmarkToPreviousScaleIdx.size() != landmarks || scale.landmarkWeight.size() != landmarks ||
        scale.previousScaleToLandmarkIdx.size() != previousPoints)
        refuse("Vector lengths of a scale disagree in the H-SNE hierarchy file");
    checkMatrix(scale.transitionMatrix, landmarks, landmarks, "transition matrix");
    checkMatrix(scale.areaOfInfluence, previousPoints, landmarks, "area of influence");
    for (std::size_t l = 0; l < landmarks; ++l) {
        if (scale.landmarkToOriginalIdx[l] >= numDataPoints)
            refuse("Landmark index out of range in the H-SNE hierarchy file");
        const unsigned int previousIdx = scale.landmarkToPreviousScaleIdx[l];
        if (previousIdx >= previousPoints || scale.previousScaleToLandmarkIdx[previousIdx] != static_cast<int>(l))
            refuse("Landmark maps disagree in the H-SNE hierarchy file");
        if (!std::isfinite(scale.landmarkWeight[l])) refuse("Landmark weight not finite in the H-SNE hierarchy file");
    }
    // With every landmark mapped back to itself above, a point that names a
    // landmark must be that landmark's point.
    for (std::size_t p = 0; p < previousPoints; ++p) {
        const int landmark = scale.previousScaleToLandmarkIdx[p];
        if (landmark == -1) continue;
        if (landmark < -1 || static_cast<std::size_t>(landmark) >= landmarks ||
            scale.landmarkToPreviousScaleIdx[static_cast<std::size_t>(landmark)] != p)
            refuse("Landmark maps disagree in the H-SNE hierarchy file");
    }
}

}  // namespace

template <typename Hierarchy, typename OutputStream>
void saveHSNE(const Hierarchy& hierarchy, OutputStream& stream, utils::AbstractLog* logger) {
    const auto& scales = hierarchy.hierarchy();
    if (scales.empty()) throw std::logic_error("Cannot save an empty H-SNE hierarchy!!!");
    if (scales.size() > static_cast<std::size_t>(kMaxScales))
        throw std::logic_error("Cannot save an H-SNE hierarchy of more than 64 scales");
    for (const auto& scale : scales) {
        if (scale.landmarkToOriginalIdx.size() > kMaxScaleSize)
            throw std::logic_error("Cannot save an H-SNE hierarchy of more than 16777216 points");
    }
    std::ostream& out = stream;
    displayLine(logger, "Saving H-SNE hierarchy to file");
    writeField(out, 0.f);
    writeField(out, 0.f);
    const float numScales = static_cast<float>(scales.size());
    writeField(out, numScales);

    const auto& scale0 = scales[0];
    utils::logValue(logger, "Saving scale", 0, true, 1);
    utils::logValue(logger, "\tsize", static_cast<float>(scale0.size()), true, 1);
    writeField(out, static_cast<float>(scale0.size()));
    displayLine(logger, "\t... transition matrix ...");
    writeMatrix(out, scale0.transitionMatrix);

    for (int s = 1; static_cast<float>(s) < numScales; ++s) {
        const auto& scale = scales[static_cast<std::size_t>(s)];
        utils::logValue(logger, "Saving scale", s, true, 1);
        utils::logValue(logger, "\tsize", static_cast<float>(scale.size()), true, 1);
        writeField(out, static_cast<float>(scale.size()));
        displayLine(logger, "\t... transition matrix ...");
        writeMatrix(out, scale.transitionMatrix);
        displayLine(logger, "\t... landmarks to original data ...");
        writeVector(out, scale.landmarkToOriginalIdx);
        displayLine(logger, "\t... landmarks to previous scale ...");
        writeVector(out, scale.landmarkToPreviousScaleIdx);
        displayLine(logger, "\t... landmark weights ...");
        writeVector(out, scale.landmarkWeight);
        displayLine(logger, "\t... previous scale to current scale landmarks ...");
        writeVector(out, scale.previousScaleToLandmarkIdx);
        displayLine(logger, "\t... area of influence ...");
        writeMatrix(out, scale.areaOfInfluence);
    }
}

namespace {

template <typename Hierarchy>
void loadFrom(Hierarchy& hierarchy, FieldReader& reader, utils::AbstractLog* logger) {
    using Scale = typename Hierarchy::Scale;
    const float major = reader.read<float>();
    const float minor = reader.read<float>();
    if (!(major == 0.f)) refuse("Invalid major version");
    if (!(minor == 0.f)) refuse("Invalid minor version");
    const float numScales = reader.read<float>();
    if (!(numScales > 0.f)) refuse("Cannot load an empty hierarchy");
    if (!(numScales <= kMaxScales)) refuse("Invalid number of scales in the H-SNE hierarchy file");

    // Read aside and swapped in at the end, so a refused stream changes nothing.
    std::vector<Scale> scales(1);
    Scale& scale0 = scales[0];
    utils::logValue(logger, "Loading scale", 0, true, 1);
    const float size0 = reader.read<float>();
    utils::logValue(logger, "\tsize", size0, true, 1);
    if (!std::isfinite(size0) || size0 < 0 || std::trunc(size0) != size0)
        refuse("Invalid size of scale 0 in the H-SNE hierarchy file");
    displayLine(logger, "\t... transition matrix ...");
    readMatrix(reader, scale0.transitionMatrix);
    if (static_cast<double>(size0) != static_cast<double>(scale0.transitionMatrix.size()))
        refuse("Size of scale 0 differs from its transition matrix in the H-SNE hierarchy file");
    const auto numDataPoints = static_cast<unsigned int>(scale0.transitionMatrix.size());
    checkMatrix(scale0.transitionMatrix, numDataPoints, numDataPoints, "transition matrix");

    displayLine(logger, "\t... (init) landmarks to original data ...");
    scale0.landmarkToOriginalIdx.resize(numDataPoints);
    for (unsigned int i = 0; i < numDataPoints; ++i) scale0.landmarkToOriginalIdx[i] = i;
    displayLine(logger, "\t... (init) landmarks to previous scale ...");
    scale0.landmarkToPreviousScaleIdx = scale0.landmarkToOriginalIdx;
    displayLine(logger, "\t... (init) landmark weights ...");
    scale0.landmarkWeight.resize(numDataPoints, 1.f);

    for (int s = 1; numScales > static_cast<float>(s); ++s) {
        scales.emplace_back();
        Scale& scale = scales.back();
        utils::logValue(logger, "Loading scale", s, true, 1);
        // Only logged: every vector and matrix carries its own count.
        utils::logValue(logger, "\tsize", reader.read<float>(), true, 1);
        displayLine(logger, "\t... transition matrix ...");
        readMatrix(reader, scale.transitionMatrix);
        displayLine(logger, "\t... landmarks to original data ...");
        readVector(reader, scale.landmarkToOriginalIdx);
        displayLine(logger, "\t... landmarks to previous scale ...");
        readVector(reader, scale.landmarkToPreviousScaleIdx);
        displayLine(logger, "\t... landmark weights ...");
        readVector(reader, scale.landmarkWeight);
        displayLine(logger, "\t... previous scale to current scale landmarks ...");
        readVector(reader, scale.previousScaleToLandmarkIdx);
        displayLine(logger, "\t... area of influence ...");
        readMatrix(reader, scale.areaOfInfluence);
        checkScale(scale, scales[scales.size() - 2], numDataPoints);
    }
    hierarchy.hierarchy().swap(scales);
}

}  // namespace

template <typename Hierarchy, typename InputStream>
void loadHSNE(Hierarchy& hierarchy, InputStream& stream, utils::AbstractLog* logger) {
    displayLine(logger, "Loading H-SNE hierarchy from file");
    FieldReader reader(stream);
    loadFrom(hierarchy, reader, logger);
}

template <typename Hierarchy, typename InputStream>
void loadHSNE(Hierarchy& hierarchy, InputStream& stream, std::uint64_t length, utils::AbstractLog* logger) {
    displayLine(logger, "Loading H-SNE hierarchy from file");
    FieldReader reader(stream, length);
    loadFrom(hierarchy, reader, logger);
}

using FloatHierarchy = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;
template void saveHSNE<FloatHierarchy, std::ostream>(const FloatHierarchy&, std::ostream&, utils::AbstractLog*);
template void saveHSNE<FloatHierarchy, std::ofstream>(const FloatHierarchy&, std::ofstream&, utils::AbstractLog*);
template void loadHSNE<FloatHierarchy, std::istream>(FloatHierarchy&, std::istream&, utils::AbstractLog*);
template void loadHSNE<FloatHierarchy, std::ifstream>(FloatHierarchy&, std::ifstream&, utils::AbstractLog*);
template void loadHSNE<FloatHierarchy, std::istream>(FloatHierarchy&, std::istream&, std::uint64_t,
                                                     utils::AbstractLog*);

}  // namespace IO
}  // namespace dr
}  // namespace vel
