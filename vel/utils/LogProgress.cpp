#include "vel/utils/LogProgress.h"

namespace vel {
namespace utils {

void LogProgress::start() {
    if (logger) logger->display("Start: " + name, true);
}

void LogProgress::finish() {
    if (logger) logger->display("End: " + name, true);
}

}  // namespace utils
}  // namespace vel
