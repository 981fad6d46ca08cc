#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

// The default-marker file, as "Load Selection" and the import read it: flags
// in marker order, each the single character 0 (off) or 1 (on), separated by
// white space (spaces, tabs, line breaks). Nothing else is a marker file: no
// other number, sign, word or byte-order mark. The first flags are those of
// the markers the data files bring; a further flag is the sample tag's, and
// any after it stood for variables an earlier version had added
// (MCV_MarkerDefault).

enum class MarkerFlagsRead {
    Read,        // at least one flag per marker
    Unreadable,  // missing, not a regular file, or not readable
    NotFlags,    // something other than flags separated by white space
    TooFew,      // flags, but fewer than the markers: made for other data
};

// Reads `path` for data whose files bring `markerCount` markers. Only Read
// fills `out`: with the markers' flags and, when the file has one, the flag
// after them. Any other result leaves it as it was. `flagCount`, when given,
// receives the number of flags in the file (Read and TooFew). The file is
// read once, in pieces, and flags after the tag's are only counted, so a
// large file costs no more memory than a small one.
MarkerFlagsRead readMarkerFlags(const std::string& path, size_t markerCount, std::vector<bool>* out,
                                size_t* flagCount = nullptr);

// Why `path` was refused, one sentence: "<path> could not be read.",
// "<path> is not a marker file: ..." or "<path> holds N flags for M markers."
// Empty for Read.
QString markerFlagsRefusal(MarkerFlagsRead result, const QString& path, size_t flagCount, size_t markerCount);
