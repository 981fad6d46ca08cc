#include "vel/utils/ThreadCountTuner.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace vel {
namespace utils {

ThreadCountTuner::ThreadCountTuner(BusyProbe busy) : _busy(std::move(busy)) {}

bool ThreadCountTuner::machineIsBusy() {
    double load = 0.0;
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    return getloadavg(&load, 1) == 1 && processors > 0 && load > static_cast<double>(processors);
}

int ThreadCountTuner::next(int most) {
    most = std::max(most, 1);
    if (_current == 0 || _current > most) {
        _current = most;
        _trial = 0;
        _settle = kSettleRuns;
        _settled = 0;
        _currentRuns.clear();
    }
    if (_trial > most) _trial = 0;
    if (_trial == 0 && _settled >= _settle) {
        // The neighbours in turn; one that does not exist, or fewer threads
        // on a machine that is not busy, is skipped.
        const bool busy = _current > 1 && _busy && _busy();
        for (int attempt = 0; attempt < 2 && _trial == 0; ++attempt) {
            const bool down = _downFirst;
            const int candidate = down ? _current / 2 : std::min(_current * 2, most);
            _downFirst = !_downFirst;
            if (candidate >= 1 && candidate != _current && (!down || busy)) _trial = candidate;
        }
        _trialRuns.clear();
        if (_trial == 0) _settled = 0;  // one count only: nothing to try
    }
    _given = _trial != 0 ? _trial : _current;
    return _given;
}

void ThreadCountTuner::record(double seconds) {
    if (_given == 0) return;
    if (_trial == 0) {
        // The latest runs at the current count stand for it.
        if (_currentRuns.size() == static_cast<std::size_t>(kSettleRuns)) _currentRuns.erase(_currentRuns.begin());
        _currentRuns.push_back(seconds);
        ++_settled;
        return;
    }
    _trialRuns.push_back(seconds);
    if (static_cast<int>(_trialRuns.size()) < kTrialRuns) return;
    if (!_currentRuns.empty() && median(_trialRuns) < (1.0 - kMargin) * median(_currentRuns)) {
        _current = _trial;
        _settle = kSettleRuns;
        _currentRuns = _trialRuns;
        _settled = static_cast<int>(_trialRuns.size());
    } else {
        _settle = std::min(kSettleGrowth * _settle, kLongestSettle);
        _settled = 0;
    }
    _trial = 0;
}

double ThreadCountTuner::median(std::vector<double> runs) {
    std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace utils
}  // namespace vel
