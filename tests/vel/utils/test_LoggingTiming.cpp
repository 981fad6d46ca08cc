#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ratio>
#include <stdexcept>
#include <thread>

#include "support/CapturedOutput.h"
#include "vel/utils/CoutLog.h"
#include "vel/utils/LogProgress.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"
#include "vel/utils/Timer.h"

using vel::utils::CoutLog;
using vel::utils::Timer;

TEST(Logging, LinesAsWritten) {
    CoutLog log;
    vel::utils::LogProgress progress(&log), silent;
    progress.name = silent.name = "Landmarks";
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { log.display("abc", false), log.display("", false); }, "abc\n\n"},
        {[&] {
             vel::utils::logValue(&log, "Total time", 1.23456789f, true, 1);
             vel::utils::logValue(&log, "\tAKNN time", 0.5f, true, 3);
             vel::utils::logValue(&log, "Number of data points", 70000u, true, 1);
             vel::utils::logValue(&log, "hidden", 1.f, false, 1);
             vel::utils::logValue(nullptr, "silent", 1.f, true, 1);
         },
         "Total time:\t1.23457\n\tAKNN time:\t\t\t0.5\nNumber of data points:\t70000\n"},
        {[&] { silent.start(), silent.finish(); }, ""},
    };
    for (const auto& [write, expected] : cases) {
        log.clear();
        EXPECT_EQ(capturedStdout(write), expected);
        EXPECT_EQ(log.num_written_chars(), expected.size());
    }

    // Time-stamped: "[" + 24-character ctime text + "]\n" before the line.
    const std::string stamped = capturedStdout([&] { log.display("abc", true); });
    ASSERT_EQ(stamped.size(), 1u + 24u + 2u + 4u);
    EXPECT_EQ(stamped.front(), '[');
    EXPECT_EQ(stamped.substr(25), "]\nabc\n");
    EXPECT_EQ(log.num_written_chars(), 4u);
    const std::string phases = capturedStdout([&] { progress.start(), progress.finish(); });
    EXPECT_NE(phases.find("]\nStart: Landmarks\n["), std::string::npos) << phases;
    EXPECT_EQ(phases.substr(phases.size() - 17), "]\nEnd: Landmarks\n");
}

TEST(Timer, RefusesDoubleStartAndStopWhileIdle) {
    Timer timer;
    EXPECT_FALSE(timer.isStarted() || timer.isElapsedTimeAvailable());
    const auto expectRefusal = [](const std::function<void()>& f, const char* message) {
        try {
            f();
            ADD_FAILURE() << message;
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), message);
        }
    };
    expectRefusal([&] { timer.stop(); }, "Timer is not running...");
    timer.start();
    expectRefusal([&] { timer.start(); }, "Timer is already started...");
    timer.stop();
    EXPECT_TRUE(!timer.isStarted() && timer.isElapsedTimeAvailable());
    EXPECT_GE(timer.elapsedMicroseconds(), 0);
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
}
