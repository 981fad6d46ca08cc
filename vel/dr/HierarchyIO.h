#pragma once
// The hierarchy file: every scale of a HierarchicalSNE as a run of 4-byte
// little-endian fields (binary32 floats, uint32 and int32), without magic
// number, checksum or padding. The version words, the scale count and the scale
// sizes are floats; element counts are uint32. Scale 0 stores only its size and
// its transition matrix; the loader rebuilds its other fields as the
// construction of scale 0 makes them.
//
// Only the scales are stored: parameters, statistics, dimensionality, data
// pointer and logger are not part of the file.
//
// Instantiated for the float hierarchy over MapMemEff rows, with std::ostream,
// std::ofstream, std::istream and std::ifstream (opened in binary mode).

#include "vel/utils/AbstractLog.h"

#include <cstdint>

namespace vel {
namespace dr {
namespace IO {

// Writes with the stream's unformatted write only; neither opens, flushes nor
// closes it. Throws std::logic_error, before writing anything, for a hierarchy
// without scales, with more than 64 scales or with a scale of more than 2^24
// points (sizes are floats, exact only up to 2^24, and the loader refuses both).
template <typename Hierarchy, typename OutputStream>
void saveHSNE(const Hierarchy& hierarchy, OutputStream& stream, utils::AbstractLog* logger);

// Replaces all scales of `hierarchy` with those of the stream. The stream is
// trusted in nothing: a version word other than 0.0, a scale count that is not
// in (0, 64], a stream that ends early, a count larger than the bytes left, a
// scale-0 size that is not its matrix's row count, vectors of one scale that
// disagree in length, an index or column out of range, landmark maps that do
// not invert each other or a value that is not finite raise std::runtime_error,
// and the object keeps its scales. A row stored out of column order is sorted
// once, so a load costs time linear in the stream's length up to the log factor
// of that sort, whatever the order of the entries.
template <typename Hierarchy, typename InputStream>
void loadHSNE(Hierarchy& hierarchy, InputStream& stream, utils::AbstractLog* logger);
// The same for a stream that need not seek and holds `length` bytes from its
// position on (fewer raise std::runtime_error); counts are checked against
// them. Instantiated for std::istream.
template <typename Hierarchy, typename InputStream>
void loadHSNE(Hierarchy& hierarchy, InputStream& stream, std::uint64_t length, utils::AbstractLog* logger);

}  // namespace IO
}  // namespace dr
}  // namespace vel
