#include <gtest/gtest.h>

#include <stdexcept>

#include "support/CapturedOutput.h"
#include "vel/utils/CoutLog.h"
#include "vel/utils/LogProgress.h"
#include "vel/utils/LogValue.h"
#include "vel/utils/ScopedTimer.h"
#include "vel/utils/Timer.h"

// No logger or a hidden value writes nothing.
// Timers refuse a double start and a stop while idle, and a scope left by an
// exception still records its time.
TEST(Logging, LinesAsWrittenAndTimers) {
    vel::utils::CoutLog log;
    vel::utils::LogProgress silent;
    EXPECT_EQ(capturedStdout([&] {
                  vel::utils::logValue(&log, "Total time", 1.5f, true, 1);
                  vel::utils::logValue(&log, "hidden", 1.f, false, 1);
                  vel::utils::logValue(nullptr, "silent", 1.f, true, 1);
                  silent.start(), silent.finish();
              }),
              "Total time:\t1.5\n");

    vel::utils::Timer timer;
    EXPECT_THROW(timer.stop(), std::logic_error);
    timer.start();
    EXPECT_THROW(timer.start(), std::logic_error);
    timer.stop();
    EXPECT_TRUE(timer.isElapsedTimeAvailable());
    float seconds = -1.f;
    try {
        vel::utils::ScopedTimer<float> scoped(seconds);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {}
    EXPECT_GE(seconds, 0.f);
}
