#pragma once
// Low-dimensional coordinates of an embedding: point i's coordinates at
// i * numDimensions() .. i * numDimensions() + numDimensions() - 1.
// Invariant: the container holds exactly numDimensions() * numDataPoints() values.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace vel {
namespace data {

template <typename scalar_type>
class Embedding {
public:
    using scalar_vector_type = std::vector<scalar_type>;

    Embedding() = default;
    Embedding(unsigned int dimensions, unsigned int points, scalar_type value = 0)
        : _num_dimensions(dimensions),
          _num_data_points(points),
          _embedding(static_cast<unsigned int>(dimensions * points), value) {}

    // Keeps the flat positions of the surviving values; no re-layout when the
    // dimension count changes.
    void resize(unsigned int dimensions, unsigned int points, scalar_type value = 0) {
        _num_dimensions = dimensions;
        _num_data_points = points;
        _embedding.resize(static_cast<unsigned int>(dimensions * points), value);
    }
    void clear() {
        _num_dimensions = 0;
        _num_data_points = 0;
        _embedding.clear();
    }

    unsigned int numDimensions() const { return _num_dimensions; }
    unsigned int numDataPoints() const { return _num_data_points; }
    scalar_vector_type& getContainer() { return _embedding; }
    const scalar_vector_type& getContainer() const { return _embedding; }
    scalar_type& dataAt(unsigned int i, unsigned int d) {
        return _embedding[static_cast<unsigned int>(i * _num_dimensions + d)];
    }
    const scalar_type& dataAt(unsigned int i, unsigned int d) const {
        return _embedding[static_cast<unsigned int>(i * _num_dimensions + d)];
    }

    // (min, max) per dimension at (2d, 2d + 1). With padding > 0 each side grows by
    // range * padding / 2; `square` then gives every dimension the length of the
    // largest unpadded range / (1 - padding) around its own centre.
    void computeEmbeddingBBox(scalar_vector_type& bbox, scalar_type padding = 0, bool square = false) const {
        plainBox(bbox);
        if (!(padding > 0) || _num_dimensions == 0) return;
        scalar_type maxRange = 0;
        for (unsigned int d = 0; d < _num_dimensions; ++d) {
            const scalar_type range = bbox[2 * d + 1] - bbox[2 * d];
            bbox[2 * d] -= range * padding * scalar_type(0.5);
            bbox[2 * d + 1] += range * padding * scalar_type(0.5);
            if (range > maxRange) maxRange = range;
        }
        if (!square) return;
        const scalar_type half = (maxRange * scalar_type(0.5)) / (scalar_type(1) - padding);
        for (unsigned int d = 0; d < _num_dimensions; ++d) {
            const scalar_type centre = (bbox[2 * d] + bbox[2 * d + 1]) * scalar_type(0.5);
            bbox[2 * d] = centre - half;
            bbox[2 * d + 1] = centre + half;
        }
    }

    // Moves the centre of the bounding box (not the mean) to the origin.
    void zeroCentered() {
        if (_num_dimensions == 0) return;
        scalar_vector_type bbox;
        plainBox(bbox);
        const scalar_vector_type offset = centringOffsets(bbox);
        const unsigned int D = _num_dimensions;
#pragma omp parallel for schedule(static) if (static_cast <long long>(_embedding.size()) >= kParallelValues)
        for (long long i = 0; i < static_cast<long long>(_num_data_points); ++i)
            for (unsigned int d = 0; d < D; ++d) _embedding[static_cast<std::size_t>(i) * D + d] += offset[d];
    }

    // Centres and scales a cloud whose first-dimension extent is below `d` so that
    // it spans exactly `d`. A cloud without first-dimension extent cannot be scaled
    // to a width; it is only centred.
    void scaleIfSmallerThan(scalar_type d) { rescale(d, true); }
    // Centres and scales a cloud whose first-dimension extent is above `d`.
    void scaleIfBiggerThan(scalar_type d) { rescale(d, false); }

private:
    // Below this many coordinates the passes over all points run on the calling
    // thread: a parallel region would cost more than it saves.
    static constexpr long long kParallelValues = 1 << 16;
    static constexpr unsigned int kBoxRun = 1 << 14;  // points per run of the box

    // Runs of points are scanned apart and their boxes joined in order: each
    // bound is the first of its value in point order, as in one serial scan.
    void plainBox(scalar_vector_type& bbox) const {
        const unsigned int D = _num_dimensions;
        const unsigned int runs = (_num_data_points + kBoxRun - 1) / kBoxRun;
        scalar_vector_type boxes(2 * static_cast<std::size_t>(D) * (runs + 1), scalar_type(0));
        for (unsigned int r = 0; r <= runs; ++r)
            for (unsigned int d = 0; d < D; ++d) {
                boxes[(static_cast<std::size_t>(r) * D + d) * 2] = std::numeric_limits<scalar_type>::max();
                boxes[(static_cast<std::size_t>(r) * D + d) * 2 + 1] = -std::numeric_limits<scalar_type>::max();
            }
#pragma omp parallel for schedule(static) if (static_cast <long long>(_embedding.size()) >= kParallelValues)
        for (long long r = 0; r < static_cast<long long>(runs); ++r) {
            scalar_type* box = boxes.data() + 2 * static_cast<std::size_t>(r) * D;
            const unsigned int end = std::min(_num_data_points, static_cast<unsigned int>(r + 1) * kBoxRun);
            for (unsigned int i = static_cast<unsigned int>(r) * kBoxRun; i < end; ++i)
                for (unsigned int d = 0; d < D; ++d) {
                    const scalar_type v = dataAt(i, d);
                    if (v < box[2 * d]) box[2 * d] = v;
                    if (v > box[2 * d + 1]) box[2 * d + 1] = v;
                }
        }
        bbox.assign(boxes.end() - 2 * static_cast<std::ptrdiff_t>(D), boxes.end());
        for (unsigned int r = 0; r < runs; ++r)
            for (unsigned int d = 0; d < D; ++d) {
                const scalar_type lo = boxes[(static_cast<std::size_t>(r) * D + d) * 2];
                const scalar_type hi = boxes[(static_cast<std::size_t>(r) * D + d) * 2 + 1];
                if (lo < bbox[2 * d]) bbox[2 * d] = lo;
                if (hi > bbox[2 * d + 1]) bbox[2 * d + 1] = hi;
            }
    }
    scalar_vector_type centringOffsets(const scalar_vector_type& bbox) const {
        scalar_vector_type offset(_num_dimensions);
        for (unsigned int d = 0; d < _num_dimensions; ++d)
            offset[d] = -(bbox[2 * d] + bbox[2 * d + 1]) * scalar_type(0.5);
        return offset;
    }
    void rescale(scalar_type target, bool grow) {
        if (_num_dimensions == 0 || _num_data_points == 0) return;
        scalar_vector_type bbox;
        plainBox(bbox);
        const scalar_type extent = bbox[1] - bbox[0];
        if (grow ? (target <= extent) : (extent <= target)) return;
        const scalar_vector_type offset = centringOffsets(bbox);
        // A zero or non-finite extent would turn every coordinate into inf or NaN.
        const bool scalable = extent > 0 && extent <= std::numeric_limits<scalar_type>::max();
        const scalar_type factor = scalable ? target / extent : scalar_type(1);
        const unsigned int D = _num_dimensions;
#pragma omp parallel for schedule(static) if (static_cast <long long>(_embedding.size()) >= kParallelValues)
        for (long long i = 0; i < static_cast<long long>(_num_data_points); ++i)
            for (unsigned int d = 0; d < D; ++d) {
                scalar_type& v = _embedding[static_cast<std::size_t>(i) * D + d];
                v = (v + offset[d]) * factor;
            }
    }

    unsigned int _num_dimensions = 0;
    unsigned int _num_data_points = 0;
    scalar_vector_type _embedding;
};

// Output point i is the weighted mean of the input points named by weights[i].
// A row without entries, or whose weights sum to 0, leaves its point at the origin.
template <typename scalar_type, typename weight_rows_type>
void interpolateEmbeddingPositions(const Embedding<scalar_type>& input, Embedding<scalar_type>& output,
                                   const weight_rows_type& weights) {
    const unsigned int dims = input.numDimensions();
    output.clear();
    output.resize(dims, static_cast<unsigned int>(weights.size()), scalar_type(0));
    for (unsigned int i = 0; i < weights.size(); ++i) {
        scalar_type sum = 0;
        for (const auto& entry : weights[i]) {
            const scalar_type w = static_cast<scalar_type>(entry.second);
            for (unsigned int d = 0; d < dims; ++d) output.dataAt(i, d) += w * input.dataAt(entry.first, d);
            sum += w;
        }
        if (sum == 0) continue;
        for (unsigned int d = 0; d < dims; ++d) output.dataAt(i, d) /= sum;
    }
}

// Maps a one-dimensional embedding onto the vertical centre line of the
// rectangle limits = (x min, x max, y min, y max), spread over its height.
// Equal input values all land in the middle of that line.
template <typename scalar_type>
void copyAndRemap1D2DVertical(const Embedding<scalar_type>& input, Embedding<scalar_type>& output,
                              const std::vector<scalar_type>& limits) {
    if (input.numDimensions() != 1) throw std::logic_error("input embedding must be one-dimensional");
    if (limits.size() != 4) throw std::logic_error("invalid limits");
    const unsigned int n = input.numDataPoints();
    output.resize(2, n, scalar_type(0));
    scalar_type lo = std::numeric_limits<scalar_type>::max();
    scalar_type hi = -std::numeric_limits<scalar_type>::max();
    for (unsigned int i = 0; i < n; ++i) {
        const scalar_type v = input.dataAt(i, 0);
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    const scalar_type range = hi - lo;
    for (unsigned int i = 0; i < n; ++i) {
        const scalar_type t = range > 0 ? (input.dataAt(i, 0) - lo) / range : scalar_type(0.5);
        output.dataAt(i, 0) = (limits[0] + limits[1]) * scalar_type(0.5);
        output.dataAt(i, 1) = limits[2] + (limits[3] - limits[2]) * t;
    }
}

// Maps a two-dimensional embedding into the rectangle limits = (x min, x max,
// y min, y max). With keepAspect the longer side fills the rectangle and the
// shorter one is centred. An axis without extent lands in the middle.
template <typename scalar_type>
void copyAndRemap2D2D(const Embedding<scalar_type>& input, Embedding<scalar_type>& output,
                      const std::vector<scalar_type>& limits, bool keepAspect) {
    if (input.numDimensions() != 2) throw std::logic_error("input embedding must be two-dimensional");
    if (limits.size() != 4) throw std::logic_error("invalid limits");
    const unsigned int n = input.numDataPoints();
    output.resize(2, n, scalar_type(0));
    std::vector<scalar_type> box;
    input.computeEmbeddingBBox(box, scalar_type(0), false);
    if (n == 0) return;
    const scalar_type rx = box[1] - box[0];
    const scalar_type ry = box[3] - box[2];
    const auto norm = [](scalar_type v, scalar_type extent) { return extent > 0 ? v / extent : scalar_type(0.5); };
    for (unsigned int i = 0; i < n; ++i) {
        const scalar_type x = input.dataAt(i, 0) - box[0];
        const scalar_type y = input.dataAt(i, 1) - box[2];
        scalar_type u, v;
        if (!keepAspect) {
            u = norm(x, rx);
            v = norm(y, ry);
        } else if (rx > ry) {
            u = norm(x, rx);
            v = y / rx + (scalar_type(1) - ry / rx) * scalar_type(0.5);
        } else {
            u = ry > 0 ? x / ry + (scalar_type(1) - rx / ry) * scalar_type(0.5) : scalar_type(0.5);
            v = norm(y, ry);
        }
        output.dataAt(i, 0) = limits[0] + (limits[1] - limits[0]) * u;
        output.dataAt(i, 1) = limits[2] + (limits[3] - limits[2]) * v;
    }
}

}  // namespace data
}  // namespace vel
