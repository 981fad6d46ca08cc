#include "analysis/hsne/MCV_CacheFileWriter.h"

#include <xxhash.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;

}  // namespace

MCV_CacheFileWriter::MCV_CacheFileWriter(std::string path)
    : m_path(std::move(path)), m_temporary(m_path + ".tmp"), m_hash(XXH3_createState()) {
    assert(m_hash);
    XXH3_64bits_reset(m_hash);
    // Not blocking: a pipe left under the temporary's name is refused (no
    // reader) or found below, never waited on.
    m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_problem = std::strerror(errno);
        return;
    }
    struct stat status {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        m_problem = "not a regular file";
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_block.resize(kBlock);
    setp(m_block.data(), m_block.data() + m_block.size());
}

MCV_CacheFileWriter::~MCV_CacheFileWriter() {
    discard();
    XXH3_freeState(m_hash);
}

void MCV_CacheFileWriter::discard() {
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
    std::remove(m_temporary.c_str());
}

bool MCV_CacheFileWriter::put(const char* bytes, std::uint64_t size) {
    if (m_fd < 0) return false;
    XXH3_64bits_update(m_hash, bytes, static_cast<size_t>(size));
    for (std::uint64_t done = 0; done < size;) {
        const ssize_t n =
            ::write(m_fd, bytes + done, static_cast<size_t>(std::min<std::uint64_t>(size - done, kBlock)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_problem = n < 0 ? std::strerror(errno) : "nothing could be written";
            discard();
            return false;
        }
        done += static_cast<std::uint64_t>(n);
    }
    m_written += size;
    return true;
}

bool MCV_CacheFileWriter::flushBlock() {
    const auto size = static_cast<std::uint64_t>(pptr() - pbase());
    setp(m_block.data(), m_block.data() + m_block.size());
    return put(m_block.data(), size);
}

MCV_CacheFileWriter::int_type MCV_CacheFileWriter::overflow(int_type c) {
    if (m_fd < 0 || !flushBlock()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize MCV_CacheFileWriter::xsputn(const char* bytes, std::streamsize size) {
    if (m_fd < 0 || size <= 0) return 0;
    const auto room = epptr() - pptr();
    if (size <= room) {
        std::memcpy(pptr(), bytes, static_cast<size_t>(size));
        pbump(static_cast<int>(size));
        return size;
    }
    // Larger than the room left: what is buffered goes first, then these.
    if (!flushBlock() || !put(bytes, static_cast<std::uint64_t>(size))) return 0;
    return size;
}

int MCV_CacheFileWriter::sync() { return m_fd >= 0 && flushBlock() ? 0 : -1; }

bool MCV_CacheFileWriter::commit() {
    if (m_fd < 0) return false;
    if (!flushBlock()) return false;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        m_problem = std::strerror(errno);
        std::remove(m_temporary.c_str());
        return false;
    }
    if (std::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        m_problem = std::strerror(errno);
        std::remove(m_temporary.c_str());
        return false;
    }
    return true;
}

MCV_CacheFileDigest MCV_CacheFileWriter::digest() const { return {m_written, XXH3_64bits_digest(m_hash)}; }
