#include "analysis/hsne/MCV_CacheFileWriter.h"

#include <xxhash.h>

#include <cassert>
#include <cstring>

namespace {

constexpr std::size_t kBlock = std::size_t(1) << 20;

}  // namespace

MCV_CacheFileWriter::MCV_CacheFileWriter(std::string path) : m_hash(XXH3_createState()) {
    assert(m_hash);
    XXH3_64bits_reset(m_hash);
    if (!m_file.open(path, MCV_ReplacingFile::ReplacePipes)) return;
    m_block.resize(kBlock);
    setp(m_block.data(), m_block.data() + m_block.size());
}

MCV_CacheFileWriter::~MCV_CacheFileWriter() { XXH3_freeState(m_hash); }

bool MCV_CacheFileWriter::put(const char* bytes, std::uint64_t size) {
    if (!m_file.isOpen()) return false;
    XXH3_64bits_update(m_hash, bytes, static_cast<size_t>(size));
    if (!m_file.write(bytes, static_cast<size_t>(size))) return false;
    m_written += size;
    return true;
}

bool MCV_CacheFileWriter::flushBlock() {
    const auto size = static_cast<std::uint64_t>(pptr() - pbase());
    setp(m_block.data(), m_block.data() + m_block.size());
    return put(m_block.data(), size);
}

MCV_CacheFileWriter::int_type MCV_CacheFileWriter::overflow(int_type c) {
    if (!m_file.isOpen() || !flushBlock()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize MCV_CacheFileWriter::xsputn(const char* bytes, std::streamsize size) {
    if (!m_file.isOpen() || size <= 0) return 0;
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

int MCV_CacheFileWriter::sync() { return m_file.isOpen() && flushBlock() ? 0 : -1; }

bool MCV_CacheFileWriter::commit() { return m_file.isOpen() && flushBlock() && m_file.commit(); }

MCV_CacheFileDigest MCV_CacheFileWriter::digest() const { return {m_written, XXH3_64bits_digest(m_hash)}; }
