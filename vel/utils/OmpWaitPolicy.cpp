#include "vel/utils/OmpWaitPolicy.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace vel {
namespace utils {

bool ompWaitPolicyChosen() {
    return std::getenv("OMP_WAIT_POLICY") != nullptr || std::getenv("GOMP_SPINCOUNT") != nullptr;
}

void ensurePassiveOmpWaitPolicy() {
    if (ompWaitPolicyChosen()) return;
#if defined(__linux__)
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload != nullptr && std::strstr(preload, "vgpreload") != nullptr) return;
    // The arguments as the kernel holds them: main()'s argv may have been
    // rearranged by then (Qt takes its own options out).
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<char*> arguments;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\0', start);
        arguments.push_back(const_cast<char*>(text.c_str()) + start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (arguments.empty()) return;
    arguments.push_back(nullptr);
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return;
    path[length] = '\0';
    if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
    execv(path, arguments.data());
    // Not started again: this process goes on as it is, and its children
    // would inherit a policy this runtime does not follow.
    unsetenv("OMP_WAIT_POLICY");
#endif
}

}  // namespace utils
}  // namespace vel
