#pragma once

#include <string>

// The variables the analyses write their results into. They are part of the
// data set like any measured marker, but an analysis that took them as
// inputs would embed an earlier embedding, so the analyses' marker lists
// leave them out unless the user or a stored default chooses them.
class MCV_OutputVariables {
public:
    static constexpr const char* TsneX = "QLMRN_TsneX";
    static constexpr const char* TsneY = "QLMRN_TsneY";
    static constexpr const char* HsneDataX = "QLMRN_HsneDataX";
    static constexpr const char* HsneDataY = "QLMRN_HsneDataY";

    static bool contains(const std::string& name) {
        for (const char* output : {TsneX, TsneY, HsneDataX, HsneDataY})
            if (name == output) return true;
        return false;
    }
};
