#pragma once
// Logger that writes every line to standard output and flushes it at once.

#include <cstdint>

#include "vel/utils/AbstractLog.h"

namespace vel {
namespace utils {

class CoutLog : public AbstractLog {
public:
    CoutLog() = default;
    ~CoutLog() override = default;
    void clear() override;
    // Counts the characters of the text lines and their newlines; the time-stamp
    // line is not counted.
    void display(const std::string& text, bool withTimestamp = false) override;
    std::uint32_t num_written_chars() const { return _num_written_chars; }

private:
    std::uint32_t _num_written_chars = 0;
};

}  // namespace utils
}  // namespace vel
