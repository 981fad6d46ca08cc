#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

// The default-marker file, as "Load Selection" and the import read it: one
// flag per marker in marker order, each the single character 0 (off) or 1
// (on), separated by white space (spaces, tabs, line breaks). Nothing else is
// a marker file: no other number, sign, word or byte-order mark.

enum class MarkerFlagsRead {
    Read,        // one flag per marker
    Unreadable,  // missing, not a regular file, or not readable
    NotFlags,    // something other than flags separated by white space
    WrongCount,  // flags, but not one per marker
};

// Reads `path` for data of `markerCount` markers. Only Read fills `out`; any
// other result leaves it as it was. `flagCount`, when given, receives the
// number of flags of a WrongCount file. The file is read once, in pieces, so
// a large file costs no more memory than a small one.
MarkerFlagsRead readMarkerFlags(const std::string& path, size_t markerCount, std::vector<bool>* out,
                                size_t* flagCount = nullptr);

// Why `path` was refused, one sentence: "<path> could not be read.",
// "<path> is not a marker file: ..." or "<path> holds N flags for M markers."
// Empty for Read.
QString markerFlagsRefusal(MarkerFlagsRead result, const QString& path, size_t flagCount, size_t markerCount);
