#pragma once
// The library's optional logger. Library objects hold a non-owning pointer;
// a null pointer means silence and call sites build no text for it.

#include <string>

namespace vel {
namespace utils {

class AbstractLog {
public:
    virtual ~AbstractLog() = default;
    // Resets the logger's own state.
    virtual void clear() = 0;
    // Writes one line of text, preceded by a time-stamp line when asked.
    virtual void display(const std::string& text, bool withTimestamp = false) = 0;
};

}  // namespace utils
}  // namespace vel
