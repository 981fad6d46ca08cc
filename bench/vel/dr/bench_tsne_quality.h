#pragma once
// Quality figures of bench_tsne, computed outside the timed part: the exact
// Kullback-Leibler divergence of an embedding on a joint matrix, and the
// preservation of the 10 nearest neighbours.

#include <vector>

#include "vel/data/MapMemEff.h"

namespace benchtsne {

using Matrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;

// KL(P || Q) with P normalised to sum 1 and Q the Student-t similarities of
// all pairs of the 2-D embedding y, in double, in parallel over rows (the
// per-row sums are added in row order).
double exactKL(const Matrix& P, const std::vector<float>& y);

// Mean share of the exact 10 nearest neighbours in the data that are also
// among the 10 nearest in the 2-D embedding, over a fixed sample of at most
// 1000 points.
double neighbourPreservation(const std::vector<float>& data, unsigned int dims, const std::vector<float>& y,
                             unsigned int n);

}  // namespace benchtsne
