#pragma once
// Settings of one t-SNE gradient descent, copied whole into an engine by its
// initialize(); later changes to the caller's copy do not reach a running engine.

#include <cstdint>

namespace vel {
namespace dr {

struct TsneParameters {
    int seed = -1;                    // negative: the wall-clock second seeds the start
    float initialSpread = 0.1f;       // standard deviation of the Gaussian start positions
    int embeddingDimensionality = 2;  // at least 2
    double minimumGain = 0.1;
    double learningRate = 200;  // both engines step with at most the number of points
    double momentum = 0.2;      // while the iteration counter is below momentumSwitchIteration
    double finalMomentum = 0.5;
    double momentumSwitchIteration = 250.0;  // compared with the counter as a double
    double exaggerationFactor = 4.0;
    std::uint32_t removeExaggerationIteration = 250;  // last iteration with the full factor
    std::uint32_t exaggerationDecayIterations = 150;  // linear ramp to the baseline; 0 drops at once
    bool presetEmbedding = false;                     // honoured by the GPU engine only
};

}  // namespace dr
}  // namespace vel
