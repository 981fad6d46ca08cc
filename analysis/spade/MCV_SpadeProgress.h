#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// Progress of one loop of the SPADE stages, reported on the calling thread
// between blocks of the loop, never from inside a parallel region: the
// console marks (a percentage followed by "%..", at every tenth of the loop,
// in ascending order whatever thread finished which item) and the progress
// hook, which gets the first and the last report and otherwise at most one
// call per 100 ms.
class MCV_SpadeProgress {
public:
    using Hook = std::function<void(const std::string& what, int percent)>;

    // Where the tenths fall, with step = max(1, count / 10):
    // AtIndex: as the loop reaches item k with k % step == 0, it prints
    //   (k / step) * 10 (so "0%.." first);
    // AtCount: once c items are done with c % step == 0, it prints
    //   (int)((float)c / (float)count * 100).
    enum class Marks { AtIndex, AtCount };

    // Reports 0 percent through the hook (an empty hook is allowed).
    MCV_SpadeProgress(const Hook& hook, std::string what, size_t count, Marks marks);

    // The loop has finished its first `done` items (done never decreases).
    void advance(size_t done);

    size_t step() const { return m_step; }
    // Items per block for items of `cost` distance terms each on `threads`
    // threads: about 50 ms of work, at least one item per thread, at most one
    // step, so that the marks appear when they are due.
    size_t blockSize(double cost, int threads) const;

private:
    Hook m_hook;
    std::string m_what;
    size_t m_count;
    size_t m_step;
    Marks m_marks;
    size_t m_done = 0;
    std::chrono::steady_clock::time_point m_lastReport;
};
