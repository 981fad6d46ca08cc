#pragma once
// Times the enclosing scope into a variable, also when the scope is left by an
// exception. Unit as for Timer::elapsedTime (seconds by default).

#include <ratio>

#include "vel/utils/Timer.h"

namespace vel {
namespace utils {

template <typename T, typename Unit = std::ratio<1>>
class ScopedTimer {
public:
    explicit ScopedTimer(T& elapsed) : _elapsed(elapsed) { _timer.start(); }
    ~ScopedTimer() {
        _timer.stop();
        _elapsed = static_cast<T>(_timer.template elapsedTime<Unit>());
    }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;

private:
    T& _elapsed;
    Timer _timer;
};

}  // namespace utils
}  // namespace vel
