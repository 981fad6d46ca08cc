#pragma once

#include "analysis/hsne/MCV_CacheFileDigest.h"

#include "data/MCV_ReplacingFile.h"

#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

struct XXH3_state_s;

// Writes one cache file as the stream buffer of a std::ostream, hashing the
// bytes on their way, through MCV_ReplacingFile: commit() puts the file in
// place only when every byte is written and on the disk. Without a commit,
// and after any failure, the file that was at `path` is left as it was. A
// pipe or socket in the cache's place is replaced, never opened.
//
// One thread at a time.
class MCV_CacheFileWriter : public std::streambuf {
public:
    // Opens the file; see isOpen().
    explicit MCV_CacheFileWriter(std::string path);
    ~MCV_CacheFileWriter() override;
    MCV_CacheFileWriter(const MCV_CacheFileWriter&) = delete;
    MCV_CacheFileWriter& operator=(const MCV_CacheFileWriter&) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    // Writes what is buffered and puts the file in place. False, with
    // problem() set, when any of it or an earlier write failed.
    bool commit();
    // The length and checksum of the bytes written: those of the file after a
    // commit.
    MCV_CacheFileDigest digest() const;
    // Why the file could not be created or written, in a few words.
    const std::string& problem() const { return m_file.cause(); }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize size) override;
    int sync() override;

private:
    // Hashes and writes `size` bytes; false (problem set) on an error.
    bool put(const char* bytes, std::uint64_t size);
    bool flushBlock();

    MCV_ReplacingFile m_file;
    std::uint64_t m_written = 0;
    std::vector<char> m_block;
    XXH3_state_s* m_hash = nullptr;
};
