#pragma once
// The learning rate a t-SNE step uses.
//
// The gradient of a point scales with its share of P and of the normaliser,
// about 1 / N: with a rate above N a step moves the points of a small map
// further than their whole neighbourhood spans. Such a map oscillates, its
// groups tear apart and, on the raster field, it runs away. A map of a few dozen landmarks (a
// focus-and-context step, the top scale of a small hierarchy) meets this
// with the usual rate of 200; maps of 200 points or more keep the rate they
// were given.

#include <algorithm>
#include <cstddef>

namespace vel {
namespace dr {

inline double stableLearningRate(double learningRate, std::size_t points) {
    return std::min(learningRate, static_cast<double>(points));
}

}  // namespace dr
}  // namespace vel
