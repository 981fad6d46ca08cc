#include "vel/utils/LogValue.h"

#include <sstream>

namespace vel {
namespace utils {

namespace {
template <typename T>
void writeValueLine(AbstractLog* logger, const std::string& name, T value, bool enabled, unsigned int tabs) {
    if (logger == nullptr || !enabled) return;
    std::stringstream line;
    line << name << ":" << std::string(tabs, '\t') << value;
    logger->display(line.str(), false);
}
}  // namespace

void logValue(AbstractLog* logger, const std::string& name, float value, bool enabled, unsigned int tabs) {
    writeValueLine(logger, name, value, enabled, tabs);
}

void logValue(AbstractLog* logger, const std::string& name, unsigned int value, bool enabled, unsigned int tabs) {
    writeValueLine(logger, name, value, enabled, tabs);
}

void logValue(AbstractLog* logger, const std::string& name, int value, bool enabled, unsigned int tabs) {
    writeValueLine(logger, name, value, enabled, tabs);
}

}  // namespace utils
}  // namespace vel
