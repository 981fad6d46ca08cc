#pragma once

#include <utility>
#include <vector>

// Per-variable statistics of a list of events of the loaded data set, shared by
// point subsets and cluster sets.
//
// Rules: every variable of the combined header is covered; NaN values are left
// out; a variable with no value left gets 0. The median is the element at index
// floor(k / 2) of the k sorted values (the upper middle for even k); mean and
// deviation are summed in single precision in point order, and the deviation is
// the population deviation (divisor k).
//
// The statistics read the data set's event matrices in place through a table
// of row pointers; they never copy the matrices. A point that names no event
// of the data set (a file or event index out of range) has a null row and is
// left out like a NaN.
class MCV_PointStatistics {
public:
    using Rows = std::vector<const float*>;

    // One row pointer per point: the V values of point (f, e) in file f's
    // matrix, or null when the data set has no such event.
    static Rows rows(const std::vector<std::pair<int, int>>& points);
    // The data set's combined header's variable count (0 without one).
    static int numVariables();

    // Each fills `out` with one value per variable (V values). With `parallel`
    // the variables are shared among OpenMP threads (static schedule); the
    // result is the same either way, since each variable is summed alone and
    // in point order.
    static void median(const Rows& rows, int V, std::vector<float>* out, bool parallel);
    static void mean(const Rows& rows, int V, std::vector<float>* out, bool parallel);
    // `mean` must hold the means of the same rows. A NaN result is kept and
    // reported on standard output as three lines (point count, sum of squares,
    // result).
    static void deviation(const Rows& rows, int V, const std::vector<float>& mean, std::vector<float>* out,
                          bool parallel);
};
