#pragma once

#include <cstdint>
#include <string>

// A file opened for reading only when it is a regular file. Folders, devices
// and named pipes are refused unopened: opening a pipe for reading blocks
// until a writer comes. The open itself does not block either, and the file
// is checked again once open, since the path may have been replaced in
// between. The descriptor is blocking once handed out and belongs to this
// object.
class MCV_RegularFileOpen {
public:
    explicit MCV_RegularFileOpen(const std::string& path);
    ~MCV_RegularFileOpen();
    MCV_RegularFileOpen(const MCV_RegularFileOpen&) = delete;
    MCV_RegularFileOpen& operator=(const MCV_RegularFileOpen&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The size when it was opened.
    std::uint64_t size() const { return m_size; }
    // Why it is not open: the system's text, or "it is a folder, not a file"
    // and the like for what is there instead.
    const std::string& error() const { return m_error; }
    // Nothing is at the path.
    bool missing() const { return m_missing; }
    // Something other than a regular file is at the path.
    bool notRegular() const { return m_notRegular; }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_error;
    bool m_missing = false;
    bool m_notRegular = false;
};
