#pragma once
// While the exaggeration lasts, both t-SNE engines keep a map from shrinking
// to a point: a map smaller than `d` is centred and scaled up until it spans
// `d`. The decision and the factor take the larger extent of the map. A map
// lying along one axis is not small: judged by its first coordinate alone, a
// map of a few points that lines up vertically would be multiplied by the
// ratio of its height to its vanishing width at every step, and run away.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "vel/data/Embedding.h"

namespace vel {
namespace dr {

// The factor that makes a map of the given largest extent span `d`, or 1 when
// it spans `d` already or has no finite extent to scale (it is only centred).
template <typename scalar_type>
scalar_type growthFactor(scalar_type extent, scalar_type d) {
    const bool scalable = extent > 0 && extent <= std::numeric_limits<scalar_type>::max();
    return scalable && extent < d ? d / extent : scalar_type(1);
}

// Centres and scales the map when its largest extent is below `d`; leaves it
// as it is otherwise. Each coordinate becomes (v + centring offset) x factor.
template <typename scalar_type>
void growIfSmallerThan(data::Embedding<scalar_type>& embedding, scalar_type d) {
    const std::size_t D = embedding.numDimensions();
    if (D == 0 || embedding.numDataPoints() == 0) return;
    std::vector<scalar_type> box;
    embedding.computeEmbeddingBBox(box, scalar_type(0), false);
    scalar_type extent = 0;
    for (std::size_t k = 0; k < D; ++k) extent = std::max(extent, box[2 * k + 1] - box[2 * k]);
    if (d <= extent) return;
    const scalar_type factor = growthFactor(extent, d);
    std::vector<scalar_type>& y = embedding.getContainer();
    for (std::size_t i = 0; i < y.size(); ++i) {
        const std::size_t k = i % D;
        y[i] = (y[i] - (box[2 * k] + box[2 * k + 1]) * scalar_type(0.5)) * factor;
    }
}

}  // namespace dr
}  // namespace vel
