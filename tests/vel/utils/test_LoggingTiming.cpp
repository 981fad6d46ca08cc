#include <gtest/gtest.h>

#include <chrono>
#include <ratio>
#include <stdexcept>
#include <thread>

#include "vel/utils/CoutLog.h"
#include "vel/utils/LogProgress.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"
#include "vel/utils/Timer.h"

using vel::utils::CoutLog;
using vel::utils::Timer;

TEST(CoutLog, WritesLinesAndCountsCharacters) {
    CoutLog log;
    testing::internal::CaptureStdout();
    log.display("abc", false);
    log.display("", false);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "abc\n\n");
    EXPECT_EQ(log.num_written_chars(), 5u);
    log.clear();
    EXPECT_EQ(log.num_written_chars(), 0u);

    testing::internal::CaptureStdout();
    log.display("abc", true);
    const std::string stamped = testing::internal::GetCapturedStdout();
    // "[" + 24-character ctime text + "]\n" + "abc\n"
    ASSERT_EQ(stamped.size(), 1u + 24u + 2u + 4u);
    EXPECT_EQ(stamped.front(), '[');
    EXPECT_EQ(stamped.substr(25), "]\nabc\n");
    EXPECT_EQ(log.num_written_chars(), 4u);
}

TEST(LogValue, FormatsNameTabsAndValue) {
    CoutLog log;
    testing::internal::CaptureStdout();
    vel::utils::logValue(&log, "Total time", 1.23456789f, true, 1);
    vel::utils::logValue(&log, "\tAKNN time", 0.5f, true, 3);
    vel::utils::logValue(&log, "Number of data points", 70000u, true, 1);
    vel::utils::logValue(&log, "hidden", 1.f, false, 1);
    vel::utils::logValue(nullptr, "silent", 1.f, true, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Total time:\t1.23457\n\tAKNN time:\t\t\t0.5\nNumber of data points:\t70000\n");
}

TEST(LogProgress, StartAndFinishLines) {
    CoutLog log;
    vel::utils::LogProgress progress(&log);
    progress.name = "Landmarks";
    testing::internal::CaptureStdout();
    progress.start();
    progress.finish();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("]\nStart: Landmarks\n"), std::string::npos);
    EXPECT_NE(out.find("]\nEnd: Landmarks\n"), std::string::npos);

    vel::utils::LogProgress silent;
    testing::internal::CaptureStdout();
    silent.start();
    silent.finish();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Timer, StatesAndErrors) {
    Timer timer;
    EXPECT_FALSE(timer.isStarted());
    EXPECT_FALSE(timer.isElapsedTimeAvailable());
    try {
        timer.stop();
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Timer is not running...");
    }
    timer.start();
    try {
        timer.start();
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Timer is already started...");
    }
    EXPECT_TRUE(timer.isStarted());
    timer.stop();
    EXPECT_FALSE(timer.isStarted());
    EXPECT_TRUE(timer.isElapsedTimeAvailable());
    EXPECT_GE(timer.elapsedMicroseconds(), 0);
    EXPECT_LT(timer.elapsedTime(), 1.0);
}

TEST(Timer, UnitsAndScopedTimerOnException) {
    Timer timer;
    timer.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    timer.stop();
    EXPECT_NEAR(timer.elapsedTime<std::milli>(), timer.elapsedTime() * 1000.0, 1e-9);
    EXPECT_GE(timer.elapsedTime<std::milli>(), 19.0);

    float seconds = -1.f;
    try {
        vel::utils::ScopedTimer<float> scoped(seconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {}
    EXPECT_GE(seconds, 0.004f);
    double ms = -1;
    { vel::utils::ScopedTimer<double, std::milli> scoped(ms); }
    EXPECT_GE(ms, 0.0);
}
