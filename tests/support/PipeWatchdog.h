// Keeps a test from hanging on a writer that opens a named pipe: after
// `patience` the watchdog opens the pipe for reading itself, which releases a
// writer waiting in open(), and takes whatever comes through until it goes.
// A writer that never opens the pipe is not affected however slow the machine
// is; one that did is seen in its own result (it then succeeds) and in
// bytesRead().
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

class PipeWatchdog {
public:
    explicit PipeWatchdog(std::string pipe, std::chrono::milliseconds patience = std::chrono::seconds(1))
        : m_pipe(std::move(pipe)), m_thread([this, patience] { watch(patience); }) {}
    ~PipeWatchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    size_t bytesRead() const { return m_read; }

    PipeWatchdog(const PipeWatchdog&) = delete;
    PipeWatchdog& operator=(const PipeWatchdog&) = delete;

private:
    void watch(std::chrono::milliseconds patience) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, patience, [this] { return m_done; })) return;
        lock.unlock();
        const int fd = ::open(m_pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                m_read += static_cast<size_t>(n);
                continue;
            }
            lock.lock();
            const bool done = m_wake.wait_for(lock, std::chrono::milliseconds(1), [this] { return m_done; });
            lock.unlock();
            if (done) break;
        }
        ::close(fd);
    }

    std::string m_pipe;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<size_t> m_read{0};
    std::thread m_thread;
};
