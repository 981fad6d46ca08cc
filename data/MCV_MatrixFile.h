#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// An output file of the exports, written in large blocks. Every step is
// checked: once a step fails, later writes do nothing and close() reports the
// failure, with the reason in error(). A failed file should be discarded so
// that no truncated export is left behind under the chosen name.
class MCV_MatrixFile {
public:
    MCV_MatrixFile() = default;
    ~MCV_MatrixFile();

    // Creates or truncates `path` for binary writing.
    bool open(const std::string& path);
    bool write(const void* bytes, size_t size);
    // For each row in order, the values of `columns` (ascending indices below
    // V) or, with null `columns`, all V values, as 32-bit floats in the
    // machine's byte order. Rows are gathered into a buffer of one
    // megabyte and written a buffer at a time; the matrices are only read.
    bool writeRows(const std::vector<const float*>& rows, size_t V, const std::vector<int>* columns);
    // Flushes and closes; false when this or any earlier step failed.
    bool close();
    // Closes (if open) and removes the file when it is a regular file.
    void discard();
    const std::string& error() const { return m_error; }

private:
    MCV_MatrixFile(const MCV_MatrixFile&) = delete;
    MCV_MatrixFile& operator=(const MCV_MatrixFile&) = delete;
    void fail(const char* what);

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_error;
};
