// Runs code with the process's standard output captured (through file
// descriptor 1, so printf, std::cout and Qt's debug stream are all caught).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

// What `f` printed to standard output.
template <typename F>
std::string capturedStdout(F&& f) {
    testing::internal::CaptureStdout();
    std::forward<F>(f)();
    return testing::internal::GetCapturedStdout();
}

// Runs `f` and drops what it printed (progress lines that would flood the log).
template <typename F>
void quietly(F&& f) {
    (void)capturedStdout(std::forward<F>(f));
}
