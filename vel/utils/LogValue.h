#pragma once
// One value line: name + ":" + `tabs` tab characters + the value as a default
// output stream writes it. Nothing is built with a null logger or a false flag.

#include <string>

#include "vel/utils/AbstractLog.h"

namespace vel {
namespace utils {

void logValue(AbstractLog* logger, const std::string& name, float value, bool enabled = true, unsigned int tabs = 1);
void logValue(AbstractLog* logger, const std::string& name, unsigned int value, bool enabled = true,
              unsigned int tabs = 1);
void logValue(AbstractLog* logger, const std::string& name, int value, bool enabled = true, unsigned int tabs = 1);

}  // namespace utils
}  // namespace vel
