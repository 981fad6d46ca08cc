#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// An output file of the exports, written in large blocks. Every step is
// checked: once a step fails, later writes do nothing and close() reports the
// failure, with the reason in error().
//
// The bytes go to a temporary file beside the target, which close() flushes
// to the disk, closes and renames over the target only when every step has
// succeeded. So a failed export (full disk, file-size limit, unwritable
// folder) leaves a file that was there before exactly as it was, and never a
// truncated file under the chosen name. A symbolic link is followed and its
// target replaced; a replaced file keeps its permissions. A target that
// exists and is not a regular file (a device, a pipe) is written directly,
// as it cannot be replaced; a folder is refused when opened.
class MCV_MatrixFile {
public:
    MCV_MatrixFile() = default;
    // Removes the temporary of a file neither closed nor discarded.
    ~MCV_MatrixFile();

    bool open(const std::string& path);
    bool write(const void* bytes, size_t size);
    // For each row in order, the values of `columns` (ascending indices below
    // V) or, with null `columns`, all V values, as 32-bit floats in the
    // machine's byte order. Rows are gathered into a buffer of one
    // megabyte and written a buffer at a time; the matrices are only read.
    bool writeRows(const std::vector<const float*>& rows, size_t V, const std::vector<int>* columns);
    // Flushes, closes and puts the file in place; false when this or any
    // earlier step failed, and then the target is as it was before open().
    bool close();
    // Closes (if open) and drops what was written; the target stays as it was.
    void discard();
    const std::string& error() const { return m_error; }

private:
    MCV_MatrixFile(const MCV_MatrixFile&) = delete;
    MCV_MatrixFile& operator=(const MCV_MatrixFile&) = delete;
    void fail(const char* what);
    void dropTemporary();

    std::FILE* m_file = nullptr;
    std::string m_target;     // where the file ends up (links followed)
    std::string m_temporary;  // empty when writing the target directly
    std::string m_error;
};
