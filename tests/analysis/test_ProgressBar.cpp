// The console bar of the embedding runs: when it redraws and what it shows.
#include "analysis/MCV_ProgressBar.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// The text of a run of `n` iterations.
std::string barRun(int n) {
    std::ostringstream out;
    MCV_ProgressBar bar(out, n);
    bar.start();
    for (int i = 1; i <= n; ++i) bar.advance(i, n);
    bar.finish();
    return out.str();
}

std::string redraw(int filled, int i, int n) {
    return "\r[" + std::string(static_cast<size_t>(filled), '=') + std::string(static_cast<size_t>(40 - filled), ' ') +
           "] iteration " + std::to_string(i) + "/" + std::to_string(n);
}

const std::string kEmpty = "[" + std::string(41, ' ') + "]";
const std::string kDone = "\r[" + std::string(40, '=') + "] done";

TEST(ProgressBar, RedrawsEveryStepAndStaysFortyCellsWide) {
    // 1010 / 40 = 25: redraws at 25 .. 1000, none at 1010.
    std::string expected = kEmpty;
    for (int i = 25; i <= 1000; i += 25) expected += redraw(i / 25, i, 1010);
    EXPECT_EQ(barRun(1010), expected + kDone);
    // Shorter than the bar: every iteration, in proportion.
    expected = kEmpty;
    for (int i = 1; i <= 10; ++i) expected += redraw(4 * i, i, 10);
    EXPECT_EQ(barRun(10), expected + kDone);
    EXPECT_EQ(barRun(0), kEmpty + kDone);
    // 1079 / 40 = 26 gives 41 redraws, the last at 1066.
    const std::string text = barRun(1079), tail = redraw(40, 1066, 1079) + kDone;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << "the 41st redraw is still 40 cells wide";
}

}  // namespace
