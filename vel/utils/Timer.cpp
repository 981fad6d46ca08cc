#include "vel/utils/Timer.h"

#include <stdexcept>

namespace vel {
namespace utils {

std::int64_t Timer::now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Timer::start() {
    if (_started) throw std::logic_error("Timer is already started...");
    _start_us = now();
    _started = true;
}

void Timer::stop() {
    if (!_started) throw std::logic_error("Timer is not running...");
    _stop_us = now();
    _started = false;
    _elapsed_available = true;
}

}  // namespace utils
}  // namespace vel
