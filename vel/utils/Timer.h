#pragma once
// Stopwatch for the phases of the library. Durations come from a monotonic
// clock, so a wall clock that steps back never yields a negative duration.

#include <chrono>
#include <cstdint>
#include <ratio>

namespace vel {
namespace utils {

class Timer {
public:
    Timer() = default;
    // Throws std::logic_error "Timer is already started..." when running.
    void start();
    // Throws std::logic_error "Timer is not running..." when not running.
    void stop();
    bool isStarted() const { return _started; }
    bool isElapsedTimeAvailable() const { return _elapsed_available; }
    std::int64_t elapsedMicroseconds() const { return _stop_us - _start_us; }
    // Elapsed time of the last start/stop pair in units of Unit seconds
    // (std::ratio<1> seconds, std::milli milliseconds), computed in double.
    template <typename Unit = std::ratio<1>>
    double elapsedTime() const {
        return static_cast<double>(elapsedMicroseconds()) / (1e6 * Unit::num / Unit::den);
    }

private:
    static std::int64_t now();
    std::int64_t _start_us = 0;
    std::int64_t _stop_us = 0;
    bool _started = false;
    bool _elapsed_available = false;
};

}  // namespace utils
}  // namespace vel
