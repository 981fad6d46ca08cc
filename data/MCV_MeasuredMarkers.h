#pragma once

#include "data/MCV_OutputVariables.h"
#include "data/MCV_SampleTag.h"

#include <string>
#include <vector>

// The variables that start chosen where nobody has chosen yet: the measured
// markers, that is every variable but the analyses' output variables and the
// sample tag (see those classes for why an analysis leaves them out). The
// analyses' marker lists start with these as inputs, and the cluster heat map
// with these as its rows. A stored default marker selection, where there is
// one, applies as it is instead.
class MCV_MeasuredMarkers {
public:
    static bool is(const std::string& variable) {
        return !MCV_OutputVariables::contains(variable) && !MCV_SampleTag::is(variable);
    }

    // One flag per variable, in order.
    static std::vector<bool> flags(const std::vector<std::string>& variables) {
        std::vector<bool> out;
        out.reserve(variables.size());
        for (const std::string& variable : variables) out.push_back(is(variable));
        return out;
    }
};
