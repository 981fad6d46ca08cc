#pragma once

#include <string>

// The variable the import may add that holds each event's file index. It
// tells the samples apart in the views, but an analysis that took it as an
// input would split every population into one island per file, so the
// analyses' marker lists leave it out unless the user or a stored default
// chooses it.
class MCV_SampleTag {
public:
    static constexpr const char* name = "QLMRN_ST";

    static bool is(const std::string& variable) { return variable == name; }
};
