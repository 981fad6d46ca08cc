#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "vel/utils/LoopFailure.h"

// Bodies that throw on some iterations of a loop on 4 threads: the loop runs
// to its end, every body that does not throw has done its work, and the
// calling thread receives one of the exceptions thrown (or none).
TEST(LoopFailure, AnExceptionOfALoopBodyReachesTheCallerAfterTheLoop) {
    const std::vector<std::tuple<const char*, int, std::string>> cases{
        {"none throws", 0, ""},
        {"every 100th throws", 100, "iteration"},
        {"every one throws", 1, "iteration"},
    };
    for (const auto& [what, every, message] : cases) {
        std::atomic<int> done{0};
        vel::utils::LoopFailure failure;
#pragma omp parallel for schedule(dynamic, 16) num_threads(4)
        for (int i = 0; i < 5000; ++i)
            failure.guard([&] {
                if (every > 0 && i % every == 0) throw std::runtime_error("iteration " + std::to_string(i));
                ++done;
            });
        std::string caught;
        try {
            failure.rethrow();
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        EXPECT_EQ(caught.substr(0, message.size()), message) << what;
        EXPECT_EQ(caught.empty(), message.empty()) << what;
        EXPECT_EQ(done.load(), every > 0 ? 5000 - (4999 / every + 1) : 5000) << what;
    }
}
