#include "MCV_RegularFileOpen.h"

#include "data/fileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// What a reader is told when something other than a regular file is at the
// path.
std::string whatItIs(mode_t mode) {
    const std::string kind = fileKind(mode);
    return kind.empty() ? "it is not a regular file" : "it is " + kind + ", not a file";
}

}  // namespace

MCV_RegularFileOpen::MCV_RegularFileOpen(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        m_missing = errno == ENOENT;
        m_error = std::strerror(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        m_notRegular = true;
        m_error = whatItIs(st.st_mode);
        return;
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_missing = errno == ENOENT;
        m_error = std::strerror(errno);
        return;
    }
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        m_notRegular = true;
        m_error = "it changed while it was opened";
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_size = static_cast<std::uint64_t>(st.st_size);
}

MCV_RegularFileOpen::~MCV_RegularFileOpen() {
    if (m_fd >= 0) ::close(m_fd);
}
