#pragma once

#include <ostream>

// The console progress of an embedding run, shared by the embedding analyses:
// an empty bar when the run starts, a 40-cell bar redrawn in place every
// (iterations / 40) iterations, and a full bar followed by " done" at the end.
// A run of fewer than 40 iterations redraws after every iteration and fills
// the bar in proportion; the bar never shows more than 40 cells.
class MCV_ProgressBar {
public:
    static constexpr int kCells = 40;

    // `iterations` is the length of the run (values below 1 draw no bar steps).
    MCV_ProgressBar(std::ostream& out, int iterations);

    // "[", 41 spaces, "]", flushed.
    void start();
    // After iteration `i` (counted from 1): redraws as "\r[", the filled cells,
    // the empty ones, "] iteration i/total" when i is a multiple of the step.
    // `total` is what the line shows (the caller's current iteration count).
    void advance(int i, int total);
    // "\r[" + 40 "=" + "] done", flushed.
    void finish();

    // Iterations between two redraws: iterations / 40, at least 1.
    int step() const { return m_step; }

    // A line feed, 80 "=", a line feed: framing of the timing lines.
    static void separator(std::ostream& out);

private:
    std::ostream& m_out;
    int m_iterations;
    int m_step;
};
