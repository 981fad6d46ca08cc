// The console bar of the embedding runs: when it redraws and what it shows.
#include "analysis/MCV_ProgressBar.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

// The text of a run of `n` iterations, advanced to `upTo`.
std::string barRun(int n, int upTo) {
    std::ostringstream out;
    MCV_ProgressBar bar(out, n);
    bar.start();
    for (int i = 1; i <= upTo; ++i) bar.advance(i, n);
    bar.finish();
    return out.str();
}

std::string redraw(int filled, int i, int n) {
    return "\r[" + std::string(static_cast<size_t>(filled), '=') + std::string(static_cast<size_t>(40 - filled), ' ') +
           "] iteration " + std::to_string(i) + "/" + std::to_string(n);
}

const std::string kEmpty = "[" + std::string(41, ' ') + "]";
const std::string kDone = "\r[" + std::string(40, '=') + "] done";

TEST(ProgressBar, TheLastRedrawOfAnUnevenRunComesAtTheLastMultipleOfTheStep) {
    // 1010 / 40 = 25: redraws at 25 .. 1000, none at 1010.
    std::string expected = kEmpty;
    for (int i = 25; i <= 1000; i += 25) expected += redraw(i / 25, i, 1010);
    EXPECT_EQ(barRun(1010, 1010), expected + kDone);

    // 1079 / 40 = 26 gives 41 redraws; the bar stays 40 cells wide.
    const std::string text = barRun(1079, 1079);
    EXPECT_NE(text.find(redraw(40, 1040, 1079)), std::string::npos);
    EXPECT_NE(text.find(redraw(40, 1066, 1079)), std::string::npos);
    EXPECT_EQ(text.find("=========================================]"), std::string::npos);
}

TEST(ProgressBar, RunsShorterThanTheBarRedrawEveryIterationInProportion) {
    std::string expected = kEmpty;
    for (int i = 1; i <= 10; ++i) expected += redraw(4 * i, i, 10);
    EXPECT_EQ(barRun(10, 10), expected + kDone);
    EXPECT_EQ(MCV_ProgressBar(std::cout, 1).step(), 1);
    EXPECT_EQ(barRun(0, 0), kEmpty + kDone);
}

}  // namespace
