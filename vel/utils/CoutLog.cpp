#include "vel/utils/CoutLog.h"

#include <chrono>
#include <ctime>
#include <iostream>

namespace vel {
namespace utils {

void CoutLog::clear() { _num_written_chars = 0; }

void CoutLog::display(const std::string& text, bool withTimestamp) {
    if (withTimestamp) {
        const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::string stamp = std::ctime(&now);
        if (!stamp.empty()) stamp.pop_back();  // ctime's own newline
        std::cout << "[" << stamp << "]" << std::endl;
    }
    std::cout << text << std::endl;
    _num_written_chars += static_cast<std::uint32_t>(text.size()) + 1u;
}

}  // namespace utils
}  // namespace vel
