#include "analysis/hsne/MCV_CacheFileReader.h"

#include "data/MCV_RegularFileOpen.h"

#include <xxhash.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;

}  // namespace

MCV_CacheFileReader::MCV_CacheFileReader() : m_hash(XXH3_createState()) {
    assert(m_hash);
    XXH3_64bits_reset(m_hash);
}

MCV_CacheFileReader::~MCV_CacheFileReader() { XXH3_freeState(m_hash); }

bool MCV_CacheFileReader::open(const std::string& path) {
    assert(!m_file);
    m_file = std::make_unique<MCV_RegularFileOpen>(path);
    if (!m_file->isOpen()) {
        m_missing = m_file->missing();
        m_problem = m_file->notRegular() ? "not a regular file" : m_file->error();
        m_file.reset();
        return false;
    }
    m_fd = m_file->fd();
    m_size = m_file->size();
    return true;
}

std::uint64_t MCV_CacheFileReader::readSome(char* bytes, std::uint64_t size) {
    std::uint64_t done = 0;
    while (m_fd >= 0 && done < size) {
        const ssize_t n = ::read(m_fd, bytes + done, static_cast<size_t>(std::min<std::uint64_t>(size - done, kBlock)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_problem = std::strerror(errno);
            break;
        }
        if (n == 0) break;
        done += static_cast<std::uint64_t>(n);
    }
    XXH3_64bits_update(m_hash, bytes, static_cast<size_t>(done));
    m_read += done;
    return done;
}

MCV_CacheFileReader::int_type MCV_CacheFileReader::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!m_problem.empty()) return traits_type::eof();
    m_block.resize(kBlock);
    const auto n = static_cast<std::ptrdiff_t>(readSome(m_block.data(), kBlock));
    setg(m_block.data(), m_block.data(), m_block.data() + n);
    return n > 0 ? traits_type::to_int_type(*gptr()) : traits_type::eof();
}

bool MCV_CacheFileReader::readRest(std::vector<char>& bytes) {
    // Bytes a stream has taken into the block but not handed on yet.
    bytes.assign(gptr(), egptr());
    setg(nullptr, nullptr, nullptr);
    if (m_read > m_size) {
        m_problem = "the file grew while it was read";
        return false;
    }
    const std::uint64_t have = bytes.size();
    bytes.resize(static_cast<size_t>(have + (m_size - m_read)));
    const std::uint64_t got = readSome(bytes.data() + have, m_size - m_read);
    if (!m_problem.empty()) return false;
    char extra;
    if (have + got != bytes.size() || readSome(&extra, 1) != 0) {
        m_problem = "the file changed its length while it was read";
        return false;
    }
    return true;
}

MCV_CacheFileDigest MCV_CacheFileReader::digest() const { return {m_read, XXH3_64bits_digest(m_hash)}; }
