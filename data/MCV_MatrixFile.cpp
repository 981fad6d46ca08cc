#include "data/MCV_MatrixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
// Floats per block: 1 MiB. A block that fits a core's L2 cache is gathered
// and handed to the kernel while still hot; measured several times faster
// than 4 MiB or larger blocks, and as fast as cp.
constexpr size_t kBlockFloats = size_t(1) << 18;

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

// A new, empty file beside `target` (permissions 0666 less the umask, as the
// target would get), named after it so that a left-over is recognisable, or
// -1 with errno set.
int createTemporary(const std::string& target, std::string* name) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Room for the marks within a file name's 255 bytes.
    const std::string stem = target.substr(folder.size(), 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = folder + "." + stem + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part";
        const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}
}  // namespace

MCV_MatrixFile::~MCV_MatrixFile() {
    if (m_file) std::fclose(m_file);
    dropTemporary();
}

void MCV_MatrixFile::fail(const char* what) {
    if (m_error.empty()) m_error = std::string(what) + ": " + std::strerror(errno);
}

void MCV_MatrixFile::dropTemporary() {
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool MCV_MatrixFile::open(const std::string& path) {
    m_error.clear();
    m_target = followLinks(path);
    m_temporary.clear();
    errno = 0;
    struct stat existing {};
    const bool exists = ::stat(m_target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or pipe cannot be replaced; a folder is refused here.
        m_file = std::fopen(m_target.c_str(), "wb");
        if (!m_file) fail("cannot open the file for writing");
        return m_file != nullptr;
    }
    // A file the user made read-only stays, although its folder would let us
    // replace it.
    if (exists && ::access(m_target.c_str(), W_OK) != 0) {
        fail("cannot open the file for writing");
        return false;
    }
    std::string temporary;
    const int fd = createTemporary(m_target, &temporary);
    if (fd < 0) {
        fail("cannot open the file for writing");
        return false;
    }
    m_temporary = temporary;
    if (exists) (void)::fchmod(fd, existing.st_mode & 07777);  // best effort, as for a rewritten file
    m_file = ::fdopen(fd, "wb");
    if (!m_file) {
        fail("cannot open the file for writing");
        ::close(fd);
        dropTemporary();
    }
    return m_file != nullptr;
}

bool MCV_MatrixFile::write(const void* bytes, size_t size) {
    if (!m_file || !m_error.empty()) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(bytes, 1, size, m_file) != size) {
        fail("writing failed");
        return false;
    }
    return true;
}

bool MCV_MatrixFile::writeRows(const std::vector<const float*>& rows, size_t V, const std::vector<int>* columns) {
    const size_t width = columns ? columns->size() : V;
    if (width == 0 || rows.empty()) return m_file && m_error.empty();
    const size_t rowsPerBlock = std::max<size_t>(1, kBlockFloats / width);
    std::vector<float> block(std::min(rows.size(), rowsPerBlock) * width);
    for (size_t first = 0; first < rows.size(); first += rowsPerBlock) {
        const size_t count = std::min(rowsPerBlock, rows.size() - first);
        float* out = block.data();
        for (size_t r = first; r < first + count; ++r, out += width) {
            const float* row = rows[r];
            if (!columns) {
                std::memcpy(out, row, width * sizeof(float));
            } else {
                for (size_t k = 0; k < width; ++k) out[k] = row[(*columns)[k]];
            }
        }
        if (!write(block.data(), count * width * sizeof(float))) return false;
    }
    return true;
}

bool MCV_MatrixFile::close() {
    if (!m_file) return false;
    errno = 0;
    if (std::fflush(m_file) != 0) fail("writing failed");
    // On the disk before it takes the target's name: after a crash the name
    // holds the old file or the whole new one.
    errno = 0;
    if (!m_temporary.empty() && m_error.empty() && ::fsync(::fileno(m_file)) != 0) fail("writing failed");
    errno = 0;
    if (std::fclose(m_file) != 0) fail("closing failed");
    m_file = nullptr;
    if (m_temporary.empty()) return m_error.empty();
    errno = 0;
    if (m_error.empty() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) fail("cannot replace the file");
    if (m_error.empty())
        m_temporary.clear();
    else
        dropTemporary();
    return m_error.empty();
}

void MCV_MatrixFile::discard() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    dropTemporary();
}
