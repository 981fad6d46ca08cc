#pragma once

// An A-tSNE analysis over "All Points" of the loaded data that holds a random
// layout as its embedding (no descent): the variable "label" and the output
// variables, which this adds to the data, are switched off. The analysis draws
// its start positions from the wall clock; the layout here has the same spread
// but comes from `seed`, so every run tests the same one.

#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include "support/CapturedOutput.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

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
    quietly([&] { tsne->computeTSNE(); });
    std::mt19937 random(seed);
    std::normal_distribution<float> start(0.0f, 0.1f);
    for (float& v : *tsne->output()) v = start(random);
    return tsne;
}
