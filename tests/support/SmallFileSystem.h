// A file system that fills up for real, without touching the machine's: a
// child process gets a mount namespace of its own (as root, or else as root
// of a new user namespace) in which a tmpfs of a few pages lies over a
// folder, and runs the test's code there. What the code returns comes back to
// the test as text, since the child's own assertions would be lost.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

namespace small_file_system_detail {

inline bool writeTo(const char* file, const std::string& text) {
    const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// In the child: a mount namespace where `folder` is a tmpfs of `bytes`.
inline bool arrange(const std::string& folder, size_t bytes) {
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        if (!writeTo("/proc/self/setgroups", "deny") ||
            !writeTo("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !writeTo("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return false;
    }
    // Nothing of this reaches the test's own namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    const std::string options = "size=" + std::to_string(bytes);
    return ::mount("none", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

}  // namespace small_file_system_detail

// Runs `body` in a child in which `folder` (which must exist) holds a file
// system of `bytes`, and puts what it returned into `report`. False when such
// a file system cannot be made here; a child that ends otherwise than by
// returning from `body` gives the report "the child did not finish".
inline bool onSmallFileSystem(const std::string& folder, size_t bytes, const std::function<std::string()>& body,
                              std::string* report) {
    constexpr int kCannot = 77;
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return false;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(channel[0]);
        if (!small_file_system_detail::arrange(folder, bytes)) ::_exit(kCannot);
        std::string text;
        try {
            text = body();
        } catch (...) {
            ::_exit(1);
        }
        const bool sent = ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannot) return false;
    *report = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "the child did not finish";
    return true;
}
