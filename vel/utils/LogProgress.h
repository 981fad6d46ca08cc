#pragma once
// Start and end lines of a long phase. The caller sets the fields before
// start(); the counters are advanced by the code that does the work.

#include <string>

#include "vel/utils/AbstractLog.h"

namespace vel {
namespace utils {

class LogProgress {
public:
    explicit LogProgress(AbstractLog* log = nullptr) : logger(log) {}
    // "Start: " + name, time-stamped; nothing without a logger.
    void start();
    // "End: " + name, time-stamped; nothing without a logger.
    void finish();

    AbstractLog* logger = nullptr;
    unsigned int totalCount = 0;
    unsigned int doneCount = 0;
    unsigned int stepCount = 0;
    unsigned int linesWritten = 0;
    std::string name;
};

}  // namespace utils
}  // namespace vel
