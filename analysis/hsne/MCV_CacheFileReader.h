#pragma once

#include "analysis/hsne/MCV_CacheFileDigest.h"

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

class MCV_RegularFileOpen;
struct XXH3_state_s;

// Reads one cache file and hashes every byte it hands on, in the same pass:
// as the stream buffer of a std::istream (in blocks of 1 MB), or all at once
// (readRest). Opens only regular files: a pipe, device or directory in place of
// a cache is refused before it is opened for reading, so it can neither block
// the program nor feed it endless bytes. Read errors end the input and are
// kept in problem(); nothing here throws.
//
// One thread at a time.
class MCV_CacheFileReader : public std::streambuf {
public:
    MCV_CacheFileReader();
    ~MCV_CacheFileReader() override;
    MCV_CacheFileReader(const MCV_CacheFileReader&) = delete;
    MCV_CacheFileReader& operator=(const MCV_CacheFileReader&) = delete;

    // Opens `path` when it is a regular file; otherwise false, with missing()
    // telling an absent file from one that is there and cannot be read.
    bool open(const std::string& path);
    bool missing() const { return m_missing; }
    // The length of the file when it was opened.
    std::uint64_t size() const { return m_size; }
    // Everything not read yet into `bytes`, hashed. False on a read error or
    // when the file is no longer the length it had when it was opened.
    bool readRest(std::vector<char>& bytes);
    // The length and checksum of the bytes taken from the file so far: those
    // of the whole file once a reader has met its end.
    MCV_CacheFileDigest digest() const;
    // Why open() or a read failed, in a few words; empty otherwise.
    const std::string& problem() const { return m_problem; }

protected:
    int_type underflow() override;

private:
    // Reads up to `size` bytes, retrying interrupted and short reads; the
    // count read, which is less only at the end or on an error.
    std::uint64_t readSome(char* bytes, std::uint64_t size);

    std::unique_ptr<MCV_RegularFileOpen> m_file;
    int m_fd = -1;  // m_file's, while it is open
    std::uint64_t m_size = 0;
    std::uint64_t m_read = 0;
    bool m_missing = false;
    std::string m_problem;
    std::vector<char> m_block;
    XXH3_state_s* m_hash = nullptr;
};
