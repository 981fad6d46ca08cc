#include "vel/utils/ThreadCountTuner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace vel {
namespace utils {

ThreadCountTuner::ThreadCountTuner(SpareProbe spare) : _spare(std::move(spare)) {}

int ThreadCountTuner::spareProcessors() {
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    if (processors <= 0) return 1 << 20;  // unknown: nothing to hold back for
    // Linux gives the threads runnable now as the fourth field of
    // /proc/loadavg ("0.50 0.40 0.30 3/210 4711"); elsewhere the load
    // average of the last minute stands in.
    long runnable = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        double a = 0, b = 0, c = 0;
        long total = 0;
        if (std::fscanf(f, "%lf %lf %lf %ld/%ld", &a, &b, &c, &runnable, &total) != 5) runnable = -1;
        std::fclose(f);
    }
    double others = 0.0;
    if (runnable >= 1) {
        others = static_cast<double>(runnable - 1);
    } else if (getloadavg(&others, 1) != 1) {
        others = 0.0;
    }
    return static_cast<int>(static_cast<double>(processors) - others);
}

int ThreadCountTuner::next(int most) {
    most = std::max(most, 1);
    if (_current == 0 || _current > most) {
        _current = most;
        if (_spare) _current = std::max(1, std::min(most, _spare()));
        _trial = 0;
        _settle = kSettleRuns;
        _settled = 0;
        _currentRuns.clear();
    }
    if (_trial > most) _trial = 0;
    if (_trial == 0 && _settled >= _settle) {
        // The neighbours in turn; one that does not exist, or fewer threads
        // on a machine that is not busy, is skipped.
        const bool busy = _current > 1 && _spare && _current > _spare();
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
        _currentRuns.push_back(seconds);
        if (_currentRuns.size() > static_cast<std::size_t>(kSettleRuns))
            _currentRuns.erase(_currentRuns.begin(), _currentRuns.end() - kSettleRuns);
        ++_settled;
        return;
    }
    _trialRuns.push_back(seconds);
    if (static_cast<int>(_trialRuns.size()) < kTrialRuns) return;
    if (!_currentRuns.empty() && mean(_trialRuns) < (1.0 - kMargin) * mean(_currentRuns)) {
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

double ThreadCountTuner::mean(const std::vector<double>& runs) {
    double sum = 0.0;
    for (const double t : runs) sum += t;
    return sum / static_cast<double>(runs.size());
}

}  // namespace utils
}  // namespace vel
