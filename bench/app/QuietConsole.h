#pragma once

#include <iostream>
#include <sstream>
#include <streambuf>

// The analyses' console lines are part of their work: while an object of this
// class lives they are formatted as usual but kept off the terminal.
class QuietConsole {
public:
    QuietConsole() : saved(std::cout.rdbuf(sink.rdbuf())) {}
    ~QuietConsole() { std::cout.rdbuf(saved); }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

private:
    std::ostringstream sink;
    std::streambuf* saved;
};
