#pragma once

#include <string>
#include <vector>

class MCV_DerivedDataPoints;
class MCV_FcsHeader;

// Writes a point subset as a raw binary matrix (".bin"): no header, 32-bit
// floats in the machine's byte order, one row per point in the set's order,
// each row holding the chosen variables in ascending variable index. Readers
// get the row count from the file size and the row width.
class MCV_BinWriter {
public:
    MCV_BinWriter();
    ~MCV_BinWriter();

    void setData(MCV_DerivedDataPoints* data);
    // Its variable count is the stride of the event matrices.
    void setHeader(MCV_FcsHeader* header);

    // Mode 0 writes one file at `path`; mode 1 one file per loaded file, named
    // from `path` without its extension, "-", the loaded file's name without
    // folder and extension, and ".bin" (files without points of the set get
    // an empty file). Returns 1 when every file was written and closed, 0
    // otherwise (an "[ERROR]" line says why; a file that failed leaves its
    // target as it was).
    // Repeated marker indices count once; an index that is not a variable, a
    // point that names no loaded event, or another mode write nothing.
    int writeToFile(std::string path, std::vector<int>* markers, int mode);

private:
    MCV_DerivedDataPoints* m_data = nullptr;
    MCV_FcsHeader* m_header = nullptr;
};
