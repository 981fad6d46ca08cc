#pragma once

#include <cstdint>
#include <string>

// One FCS parameter. `name` is the marker (stain) name by which variables are
// looked up; `label` is the channel name.
struct fcsVariable {
    std::string name;
    std::string label;
    int64_t range = 0;
    int32_t bits = 0;
    double exponent = 0.0;
};
