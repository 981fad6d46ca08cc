#include "vel/dr/BuildProgress.h"

#include <algorithm>

namespace vel {
namespace dr {

void BuildProgress::begin(Phase phase, unsigned int scale, std::size_t units) {
    if (stopRequested()) throw Stopped();
    _phase = phase;
    _scale = scale;
    _units = units;
    _builder = std::this_thread::get_id();
    _done.store(0, std::memory_order_relaxed);
    _reportedThousandths = 0;
    report(0.0);
    if (stopRequested()) throw Stopped();
}

bool BuildProgress::step(std::size_t units) {
    // Once stopped, nothing more is counted or reported.
    if (stopRequested()) return false;
    const std::size_t done = _done.fetch_add(units, std::memory_order_relaxed) + units;
    if (_units > 0 && std::this_thread::get_id() == _builder) {
        // This thread's own reads of the counter never go back, so neither do
        // the fractions it reports.
        const std::size_t thousandths = std::min<std::size_t>(done, _units) * 1000 / _units;
        if (thousandths > _reportedThousandths) {
            _reportedThousandths = thousandths;
            report(static_cast<double>(thousandths) / 1000.0);
        }
    }
    return !stopRequested();
}

void BuildProgress::block(std::size_t units) {
    if (!step(units)) throw Stopped();
}

void BuildProgress::end() {
    if (stopRequested()) throw Stopped();
    report(1.0);
    if (stopRequested()) throw Stopped();
}

void BuildProgress::report(double fraction) {
    if (_callback) _callback(_phase, _scale, fraction);
}

}  // namespace dr
}  // namespace vel
