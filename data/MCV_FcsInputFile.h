#pragma once

#include "data/MCV_RegularFileOpen.h"

#include <cstddef>
#include <cstdint>
#include <string>

// An FCS file opened for positioned reads, from any thread at once. Only a
// regular file is opened (MCV_RegularFileOpen).
class MCV_FcsInputFile {
public:
    explicit MCV_FcsInputFile(const std::string& path);
    MCV_FcsInputFile(const MCV_FcsInputFile&) = delete;
    MCV_FcsInputFile& operator=(const MCV_FcsInputFile&) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    // Why the file is not open.
    const std::string& error() const { return m_file.error(); }
    // The size when it was opened.
    int64_t size() const { return static_cast<int64_t>(m_file.size()); }
    // The size the file has now, which a writer may have changed since it
    // was opened; -1 when it cannot be asked.
    int64_t currentSize() const;

    // Reads exactly n bytes from `offset`; false when the file ends first or
    // reading fails.
    bool readAt(int64_t offset, void* dst, size_t n);

private:
    MCV_RegularFileOpen m_file;
};
