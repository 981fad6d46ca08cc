#pragma once
// The part of the t-SNE normaliser Z that a raster field cannot see.
//
// The field kernel of the GPU step covers a square of half-size `support`
// around each point, so the field's own sum of Student-t values holds only
// the pairs inside it. Once the groups of a map drift apart, that sum falls
// towards 0, the repulsion left inside each group grows as 1 / Z and the map
// runs away. The sum of the pairs beyond the support is the floor the step
// keeps Z above:
//
//   Z_far = sum over ordered pairs i != j with max(|dx|, |dy|) >= support
//           of 1 / (1 + dx^2 + dy^2)
//
// exactly up to kExactPoints points; above that from the pairs of
// kExactPoints points taken at an even stride through the points, scaled by
// the ratio of the pair counts (an unbiased estimate whose cost does not
// grow with the map). The result depends on the positions alone.

#include <cstddef>
#include <vector>

namespace vel {
namespace dr {

class FarFieldNormaliser {
public:
    static constexpr std::size_t kExactPoints = 1024;

    // Positions: n points of two floats, x then y.
    double sum(const float* y, std::size_t n, float support);
    // The exact sum of all far pairs, O(n^2).
    static double exactSum(const float* y, std::size_t n, float support);

private:
    std::vector<float> _sample;
};

}  // namespace dr
}  // namespace vel
