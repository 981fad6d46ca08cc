#include "data/MCV_FcsInputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>

MCV_FcsInputFile::MCV_FcsInputFile(const std::string& path) : m_file(path) {
#ifdef POSIX_FADV_SEQUENTIAL
    if (m_file.isOpen()) ::posix_fadvise(m_file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

int64_t MCV_FcsInputFile::currentSize() const {
    struct stat st {};
    return ::fstat(m_file.fd(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool MCV_FcsInputFile::readAt(int64_t offset, void* dst, size_t n) {
    assert(offset >= 0);
    char* p = static_cast<char*>(dst);
    while (n > 0) {
        const size_t step = std::min(n, size_t(1) << 30);
        const ssize_t got = ::pread(m_file.fd(), p, step, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        offset += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}
