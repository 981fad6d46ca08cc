#pragma once

#include "data/MCV_ReplacingFile.h"

#include <cstddef>
#include <vector>

// An output file of the exports (MCV_ReplacingFile), which also writes rows of
// the event matrices in large blocks.
class MCV_MatrixFile : public MCV_ReplacingFile {
public:
    // For each row in order, the values of `columns` (ascending indices below
    // V) or, with null `columns`, all V values, as 32-bit floats in the
    // machine's byte order. Rows are gathered into a buffer of one
    // megabyte and written a buffer at a time; the matrices are only read.
    bool writeRows(const std::vector<const float*>& rows, size_t V, const std::vector<int>* columns);
};
