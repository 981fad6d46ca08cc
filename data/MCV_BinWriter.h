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
    // Why the last writeToFile did not write every file: one line per file
    // not written, its path, ": " and what failed (the clause of its
    // "[ERROR]" line); empty when every file was written.
    const std::string& error() const { return m_error; }

private:
    // Prints the "[ERROR]" line, adds it to error() and returns 0.
    int refuse(const std::string& path, const std::string& why);
    // Writes the rows to one file; on failure reports it and leaves the
    // target as it was.
    bool writeMatrix(const std::string& path, const std::vector<const float*>& rows, size_t V,
                     const std::vector<int>& columns);

    MCV_DerivedDataPoints* m_data = nullptr;
    MCV_FcsHeader* m_header = nullptr;
    std::string m_error;
};
