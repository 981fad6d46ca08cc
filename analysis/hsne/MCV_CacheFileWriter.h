#pragma once

#include "analysis/hsne/MCV_CacheFileDigest.h"

#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

struct XXH3_state_s;

// Writes one cache file so that it never destroys the one it replaces: the
// bytes go to `path` + ".tmp" beside it (as the stream buffer of a
// std::ostream, hashed on their way), and commit() renames that over `path`
// only when every byte is written and the file closed. Without a commit, and
// after any failure, the temporary is removed and `path` is left as it was.
//
// One thread at a time.
class MCV_CacheFileWriter : public std::streambuf {
public:
    // Creates the temporary; see isOpen().
    explicit MCV_CacheFileWriter(std::string path);
    ~MCV_CacheFileWriter() override;
    MCV_CacheFileWriter(const MCV_CacheFileWriter&) = delete;
    MCV_CacheFileWriter& operator=(const MCV_CacheFileWriter&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Writes what is buffered, closes the temporary and renames it over the
    // path. False, with problem() set, when any of it or an earlier write
    // failed.
    bool commit();
    // The length and checksum of the bytes written: those of the file after a
    // commit.
    MCV_CacheFileDigest digest() const;
    // Why the file could not be created or written, in a few words.
    const std::string& problem() const { return m_problem; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* bytes, std::streamsize size) override;
    int sync() override;

private:
    // Hashes and writes `size` bytes; false (problem set) on an error.
    bool put(const char* bytes, std::uint64_t size);
    bool flushBlock();
    void discard();

    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
    std::uint64_t m_written = 0;
    std::string m_problem;
    std::vector<char> m_block;
    XXH3_state_s* m_hash = nullptr;
};
