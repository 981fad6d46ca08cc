// Makes writes of this process past `bytes` into any file fail with EFBIG, as
// on a full disk, for as long as the object lives: the soft RLIMIT_FSIZE is
// lowered and SIGXFSZ, which would otherwise end the process, is ignored.
// Both are restored when the object goes. For tests of the writers; the
// program itself ignores SIGXFSZ from its start-up on (startApplication), and
// tests of that go through the program's own start-up, not through this.
#pragma once

#include <sys/resource.h>

#include <csignal>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_previous) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_previous;
        small.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    bool ok() const { return m_ok; }

    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_ok = false;
};
