#include "data/MCV_ReplacingFile.h"

#include "data/fileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Bytes after which the system is asked to start putting what was written on
// the disk. The sync before the rename then finds little left to do, and a
// large file costs about the time of its writes alone (measured: a 1.5 GB
// file written at about 0.5 GB/s took a quarter longer with only the final
// sync, no longer with a start every 16 to 64 MB; every 8 MB was slower).
constexpr std::uint64_t kWriteBackStep = std::uint64_t(32) << 20;

// The file a path names once symbolic links are followed (the path itself
// when it names nothing yet, or a dangling link's target). A loop of links
// stops after as many steps as the system allows.
std::string followLinks(const std::string& path) {
    fs::path p(path);
    for (int step = 0; step < 40; ++step) {
        std::error_code ec;
        if (!fs::is_symlink(p, ec)) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}

// The folder that holds `file`, as given ("." for a bare name).
std::string folderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// The folder as messages name it: absolute, without a trailing '/'.
std::string shownFolder(const std::string& folder) {
    std::error_code ec;
    std::string shown = fs::absolute(fs::path(folder), ec).lexically_normal().string();
    if (ec) shown = folder;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return shown;
}

// The nearest part of `folder` (itself or one that holds it) that exists,
// when it is no folder: what stands where a folder should be. Empty when the
// nearest existing part is a folder, or none can be examined.
std::string notAFolder(const std::string& folder, mode_t* mode) {
    for (fs::path p(folder); !p.empty(); p = p.parent_path()) {
        struct stat status {};
        if (::stat(p.c_str(), &status) == 0) {
            if (S_ISDIR(status.st_mode)) return std::string();
            *mode = status.st_mode;
            return p.string();
        }
        if (errno != ENOENT && errno != ENOTDIR) return std::string();
        if (p == p.parent_path()) break;
    }
    return std::string();
}

// A new, empty file in `folder`, named after `target` so that a left-over of
// a crash is recognisable, hidden, and unique to this process and call; or
// -1 with errno set. O_EXCL: never an existing file, pipe or link.
int createTemporary(const std::string& folder, const std::string& target, std::string* name) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    // Room for the marks within a file name's 255 bytes.
    const std::string stem = target.substr(slash == std::string::npos ? 0 : slash + 1, 200);
    const std::string prefix = folder == "/" ? "/." : folder + "/.";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = prefix + stem + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part";
        const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

MCV_ReplacingFile::~MCV_ReplacingFile() { discard(); }

void MCV_ReplacingFile::fail(const std::string& what, int code) {
    refuse(what + " (" + std::strerror(code) + ")" + unchanged(), std::strerror(code));
}

void MCV_ReplacingFile::refuse(const std::string& what, const std::string& cause) {
    if (!m_error.empty()) return;
    m_error = what;
    m_cause = cause;
}

std::string MCV_ReplacingFile::unchanged() const {
    return m_existed ? "; the existing file is unchanged" : std::string();
}

void MCV_ReplacingFile::dropTemporary() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

void MCV_ReplacingFile::discard() { dropTemporary(); }

std::string MCV_ReplacingFile::refusal(const std::string& path, Pipes pipes) { return examine(path, pipes).error; }

MCV_ReplacingFile::Target MCV_ReplacingFile::examine(const std::string& path, Pipes pipes) {
    Target t;
    if (path.empty()) {
        t.error = "no file name was given";
        t.cause = std::strerror(ENOENT);
        return t;
    }
    t.path = followLinks(path);
    const std::string subject = t.path == path ? "it is " : "it links to " + t.path + ", which is ";
    struct stat existing {};
    if (::stat(t.path.c_str(), &existing) != 0) {
        // A missing folder is found when the temporary is made.
        if (errno != ENOENT && errno != ENOTDIR) {
            t.cause = std::strerror(errno);
            t.error = subject + "out of reach (" + t.cause + ")";
        }
        return t;
    }
    t.existed = true;
    t.mode = existing.st_mode;
    const bool pipe = S_ISFIFO(t.mode) || S_ISSOCK(t.mode);
    if (S_ISDIR(t.mode)) {
        t.cause = std::strerror(EISDIR);
        t.error = subject + "a folder";
    } else if (!S_ISREG(t.mode) && !(pipe && pipes == ReplacePipes)) {
        // Opening a pipe for writing waits for a reader, and a device is no
        // file to replace: neither is opened, ever.
        const std::string kind = fileKind(t.mode);
        t.cause = "not a regular file";
        t.error = subject + (kind.empty() ? "" : kind + ", ") + "not a regular file";
    } else if (S_ISREG(t.mode) && ::access(t.path.c_str(), W_OK) != 0) {
        // A file the user made read-only stays, although its folder would
        // let it be replaced.
        t.cause = std::strerror(errno);
        t.error = subject + "read-only and is unchanged";
    }
    return t;
}

bool MCV_ReplacingFile::open(const std::string& path, Pipes pipes) {
    dropTemporary();
    m_error.clear();
    m_cause.clear();
    const Target t = examine(path, pipes);
    m_target = t.path;
    m_existed = t.existed;
    if (!t.error.empty()) {
        refuse(t.error, t.cause);
        return false;
    }

    const std::string folder = folderOf(m_target);
    std::string temporary;
    m_fd = createTemporary(folder, m_target, &temporary);
    if (m_fd < 0) {
        const int code = errno;
        const std::string shown = shownFolder(folder);
        mode_t mode = 0;
        const std::string inTheWay = code == ENOTDIR ? notAFolder(folder, &mode) : std::string();
        const std::string kind = fileKind(mode);
        if (!inTheWay.empty())
            refuse(shownFolder(inTheWay) + " is " + (kind.empty() ? "" : kind + ", ") + "not a folder",
                   std::strerror(code));
        else if (code == ENOENT || code == ENOTDIR)
            refuse("the folder " + shown + " does not exist", std::strerror(code));
        else if (code == EACCES || code == EPERM || code == EROFS || code == ENOSPC || code == EDQUOT)
            fail("the folder " + shown + " cannot take the new file", code);
        else
            fail("no temporary file can be made in the folder " + shown, code);
        return false;
    }
    m_temporary = temporary;
    m_written = m_writtenBack = m_position = 0;
    if (m_existed && S_ISREG(t.mode)) (void)::fchmod(m_fd, t.mode & 07777);  // best effort, as for a rewritten file
    return true;
}

bool MCV_ReplacingFile::write(const void* bytes, size_t size) {
    if (m_fd < 0) return false;
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        // Within what one call may move on every system.
        const ssize_t n = ::write(m_fd, next, std::min<size_t>(size, size_t(1) << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail("writing failed", n < 0 ? errno : EIO);
            dropTemporary();
            return false;
        }
        next += n;
        size -= static_cast<size_t>(n);
        m_position += static_cast<std::uint64_t>(n);
        m_written = std::max(m_written, m_position);
    }
    if (m_written - m_writtenBack >= kWriteBackStep) {
        // Only a start: errors of the write-back come from the sync.
        (void)::sync_file_range(m_fd, static_cast<off_t>(m_writtenBack), static_cast<off_t>(m_written - m_writtenBack),
                                SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
    return true;
}

bool MCV_ReplacingFile::seek(std::uint64_t offset) {
    if (m_fd < 0) return false;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        fail("writing failed", EINVAL);
        dropTemporary();
        return false;
    }
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        fail("writing failed", errno);
        dropTemporary();
        return false;
    }
    m_position = offset;
    return true;
}

bool MCV_ReplacingFile::commit() {
    if (m_fd < 0) {
        if (m_error.empty()) refuse("it was not opened", std::strerror(EBADF));
        return false;
    }
    // On the disk before it takes the target's name: after a crash the name
    // holds the old file or the whole new one.
    int synced;
    do synced = ::fsync(m_fd);
    while (synced != 0 && errno == EINTR);
    if (synced != 0) {
        fail("the file could not be put on the disk", errno);
        dropTemporary();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    // Not retried: on this system the descriptor is gone whatever close says.
    if (::close(fd) != 0) {
        fail("closing the file failed", errno);
        dropTemporary();
        return false;
    }
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        fail("the new file could not take its name", errno);
        dropTemporary();
        return false;
    }
    m_temporary.clear();
    return true;
}

bool MCV_ReplacingFile::writeWhole(const std::string& path, const void* bytes, size_t size, std::string* error,
                                   Pipes pipes) {
    MCV_ReplacingFile file;
    const bool written = file.open(path, pipes) && file.write(bytes, size) && file.commit();
    if (!written && error) *error = file.error();
    return written;
}
