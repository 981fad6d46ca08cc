#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The one way this program replaces a file: exports, caches, tables, images
// and settings files all go through here.
//
// open() makes a new temporary with a unique name in the target's folder;
// write() hands bytes to it; commit() syncs them to the disk (fsync), closes
// the temporary and renames it over the target. So the target holds either
// the file that was there or the whole new one, also after a crash, and never
// a part. Every step is checked: the first failure ends the write, removes
// the temporary and leaves the target exactly as it was; later writes do
// nothing, commit() returns false, and error() tells what happened (naming
// the folder when the folder is the cause, or the file that stands where a
// folder should be, and saying that an existing file is unchanged). Without a
// commit (discard(), or the object going) the temporary is removed as well.
//
// The target:
// - a symbolic link is followed: the file it names is replaced, the link
//   stays;
// - a replaced file keeps its permission bits; a new one gets 0666 less the
//   umask;
// - a file without write permission is not replaced;
// - a folder or a device is refused, and so is a named pipe or socket unless
//   the caller passes ReplacePipes (files of the program's own naming, such as
//   caches, whose place a pipe may have taken). Nothing is ever opened but the
//   new temporary, so no write waits on a pipe.
//
// Writes are not buffered: each goes to the system as given, so callers hand
// over blocks rather than single values. They follow one another unless
// seek() sends the next one elsewhere. Every 32 MB the system is asked to
// start putting them on the disk, so that the sync at the commit finds little
// left to do. One thread at a time.
class MCV_ReplacingFile {
public:
    enum Pipes { RefusePipes, ReplacePipes };

    MCV_ReplacingFile() = default;
    ~MCV_ReplacingFile();
    MCV_ReplacingFile(const MCV_ReplacingFile&) = delete;
    MCV_ReplacingFile& operator=(const MCV_ReplacingFile&) = delete;

    // Checks the target and makes the temporary; false, with error() set,
    // when either cannot be done. A second open() discards the first.
    bool open(const std::string& path, Pipes pipes = RefusePipes);
    // True from a successful open() until the commit, a discard or a failure.
    bool isOpen() const { return m_fd >= 0; }
    bool write(const void* bytes, size_t size);
    // Moves where the next write lands, counted from the start of the new
    // file, for formats that fill in a header once the data are written.
    // Past the end, the bytes skipped read as zeros. A failure ends the write
    // as a failed write() does.
    bool seek(std::uint64_t offset);
    // Where the next write lands, and the length of the new file so far.
    std::uint64_t position() const { return m_position; }
    std::uint64_t size() const { return m_written; }
    // Syncs, closes and renames; false when this or any earlier step failed
    // (the target then is as it was).
    bool commit();
    // Drops what was written; the target stays as it was.
    void discard();

    // What failed, as a clause that follows "... was not written: ", for
    // example "the folder /data/run1 cannot take the new file (Permission
    // denied); the existing file is unchanged". Empty while nothing failed.
    const std::string& error() const { return m_error; }
    // The reason alone, for callers that name the file and folder
    // themselves: the system's text ("Permission denied") or "not a regular
    // file".
    const std::string& cause() const { return m_cause; }

    // open(), write() and commit() of `size` bytes in one call; on failure
    // error() goes to `error` when given.
    static bool writeWhole(const std::string& path, const void* bytes, size_t size, std::string* error = nullptr,
                           Pipes pipes = RefusePipes);

    // Why open() would refuse `path` as it is now (a folder, a device, a
    // pipe, a read-only file), in the words of error(); empty when it would
    // go on to make the temporary. For writers that cannot go through here
    // but must not open such a target either.
    static std::string refusal(const std::string& path, Pipes pipes = RefusePipes);

private:
    // What open() finds at a path: the file it names and why it is refused.
    struct Target {
        std::string path;  // links followed
        bool existed = false;
        unsigned mode = 0;  // of an existing file
        std::string error, cause;
    };
    static Target examine(const std::string& path, Pipes pipes);
    // Keeps the first failure: `what`, the system's text for `code` in
    // brackets and, when there was a file, that it is unchanged.
    void fail(const std::string& what, int code);
    // Keeps the first failure as given.
    void refuse(const std::string& what, const std::string& cause);
    // "; the existing file is unchanged" when there was one.
    std::string unchanged() const;
    void dropTemporary();

    int m_fd = -1;
    std::uint64_t m_written = 0;      // the temporary's length
    std::uint64_t m_writtenBack = 0;  // of these, bytes the disk was asked to take
    std::uint64_t m_position = 0;     // where the next write lands
    bool m_existed = false;
    std::string m_target;     // the file replaced (links followed)
    std::string m_temporary;  // empty when there is none
    std::string m_error;
    std::string m_cause;
};
