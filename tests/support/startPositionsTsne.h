#pragma once

// An A-tSNE analysis over "All Points" of the loaded data that holds its start
// positions from `seed` as its embedding (no descent): the variable "label"
// and the output variables, which this adds to the data, are switched off.

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include "support/CapturedOutput.h"

#include <gtest/gtest.h>

#include <memory>

inline std::unique_ptr<MCV_TsneAnalysis> startPositionsTsne(unsigned seed = 1) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->initAllDerviedDataPointer();
    data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
    auto tsne = std::make_unique<MCV_TsneAnalysis>();
    tsne->init(nullptr, "A");
    for (const char* off : {"label", "QLMRN_TsneX", "QLMRN_TsneY"})
        tsne->setMarkerState(data->combinedHeader()->variableIdx(off), false);
    tsne->setActiveDataSelection(data->derivedDataPoints("All Points", true));
    tsne->setIterations(0);
    tsne->setSeed(static_cast<int>(seed));
    quietly([&] { tsne->computeTSNE(); });
    return tsne;
}
