#pragma once
// The exact t-SNE repulsion of a 2-D embedding, summed over all pairs with
// vectors: what Barnes-Hut approximates, and cheaper than the tree where a
// small theta makes the tree visit most of its nodes anyway.
//
// For point i: normaliser_i = sum over j != i of q_ij, force_i = sum over j of
// q_ij^2 (y_i - y_j), with q_ij = 1 / (1 + |y_i - y_j|^2). The terms are formed
// in float, eight columns at a time, and summed per lane in float over blocks
// of columns, the blocks' sums in double. Each point's sums run over the
// columns in one fixed order whatever the thread or the vector width, so the
// result depends on the positions alone.

#include <cstddef>
#include <vector>

namespace vel {
namespace dr {

class ExactRepulsion {
public:
    static constexpr std::size_t kLanes = 8;

    // Sizes the columns for N points; call it before load, outside the team.
    void resize(std::size_t N);
    // Copies the positions (x, y of point i at 2i) into the padded columns.
    // Orphaned work-sharing: call it from every thread of a team, or from one
    // thread outside any parallel region; the columns are ready when it returns.
    void load(const float* positions);
    // The sums of point i, from the loaded columns (any thread, any order).
    void repulsion(std::size_t i, double* force, double& normaliser) const;

private:
    std::size_t _n = 0;
    std::vector<float> _x, _y;  // padded to whole vectors with far points that add exactly 0
};

}  // namespace dr
}  // namespace vel
