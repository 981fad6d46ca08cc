// Influence queries between the scales of a hierarchy. They only read it;
// landmark indices are checked only where they index a row or an output.

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "vel/dr/HierarchicalSNE.h"

namespace vel {
namespace dr {

namespace {

// Refuses a caller's index that the query would read a row with.
void checkIndex(unsigned int index, std::size_t rows, const char* query) {
    if (index >= rows)
        throw std::out_of_range(std::string(query) + ": index " + std::to_string(index) + " out of range");
}

void checkIndices(const std::vector<unsigned int>& indices, std::size_t rows, const char* query) {
    for (unsigned int index : indices) checkIndex(index, rows, query);
}

// v x A: every product reaches its column, also when it is 0. v's columns are
// points of the scale A's rows belong to.
template <typename Row, typename Matrix>
void multiplyInto(const Row& v, const Matrix& A, Row& result) {
    for (const auto& [a, w] : v) {
        assert(a < A.size());
        for (const auto& [b, x] : A[a]) result[b] += w * x;
    }
}

// Divides every value by the double sum; a sum of 0 leaves the map unchanged.
template <typename Map>
void normaliseMap(Map& map) {
    double sum = 0;
    for (const auto& entry : map) sum += entry.second;
    if (sum == 0) return;
    for (auto& entry : map) entry.second = static_cast<float>(entry.second / sum);
}

}  // namespace

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getInfluencedLandmarksInPreviousScale(
    unsigned int scale, std::vector<unsigned int>& landmarks, std::map<unsigned int, scalar_type>& out) const {
    out.clear();
    if (scale == 0 || scale >= _hierarchy.size()) return;
    // A flag per landmark of the scale: a drill-down over a million points
    // tests every entry of the area of influence, and a table beats a hash
    // set. Selected indices beyond the scale are looked up among themselves.
    std::vector<unsigned char> selected(_hierarchy[scale].size(), 0);
    std::vector<unsigned int> beyond;
    for (unsigned int l : landmarks) {
        if (l < selected.size())
            selected[l] = 1;
        else
            beyond.push_back(l);
    }
    std::sort(beyond.begin(), beyond.end());
    const auto isSelected = [&](unsigned int b) {
        return b < selected.size() ? selected[b] != 0 : std::binary_search(beyond.begin(), beyond.end(), b);
    };
    const auto& area = _hierarchy[scale].areaOfInfluence;
    // Each row's sum is taken in the row's order, whatever the thread.
    std::vector<double> sums(area.size(), 0.0);
#pragma omp parallel for schedule(dynamic, 4096)
    for (long long li = 0; li < static_cast<long long>(area.size()); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        double sum = 0;
        for (const auto& [b, v] : area[i])
            if (isSelected(b)) sum += v;
        sums[i] = sum;
    }
    for (std::size_t i = 0; i < sums.size(); ++i)
        if (sums[i] > 0.0) out.emplace_hint(out.end(), static_cast<unsigned int>(i), static_cast<scalar_type>(sums[i]));
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getInfluencingLandmarksInNextScale(
    unsigned int scale, std::vector<unsigned int>& points, std::map<unsigned int, scalar_type>& out) const {
    out.clear();
    if (static_cast<std::size_t>(scale) + 2 > _hierarchy.size()) return;
    const auto& area = _hierarchy[scale + 1].areaOfInfluence;
    checkIndices(points, area.size(), "getInfluencingLandmarksInNextScale");
    for (unsigned int p : points)
        for (const auto& [b, v] : area[p]) out[b] += v;
    std::vector<scalar_type> total(_hierarchy[scale + 1].size(), 0);
    for (const auto& row : area)
        for (const auto& [b, v] : row) {
            assert(b < total.size());
            total[b] += v;
        }
    // Values are shares, never negative: a total of 0 means every share is 0.
    for (auto& [b, v] : out) v = total[b] > 0 ? v / total[b] : scalar_type(0);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getInfluenceOnDataPoint(unsigned int p,
                                                                                      influence_rows& influence,
                                                                                      scalar_type threshold,
                                                                                      bool normalise) const {
    influence.resize(_hierarchy.size());
    for (auto& map : influence) map.clear();
    if (_hierarchy.empty()) return;
    checkIndex(p, _hierarchy[0].size(), "getInfluenceOnDataPoint");
    influence[0][p] = 1;
    if (_hierarchy.size() == 1) return;
    assert(p < _hierarchy[1].areaOfInfluence.size());
    for (const auto& [b, v] : _hierarchy[1].areaOfInfluence[p]) influence[1][b] = v;
    if (normalise) normaliseMap(influence[1]);
    // The float sums are taken in landmark order, not in the map's iteration
    // order, which depends on the history of the caller's maps: the same point
    // gives the same bits whatever rows the caller passes in.
    std::vector<std::pair<unsigned int, scalar_type>> previous;
    for (std::size_t s = 2; s < _hierarchy.size(); ++s) {
        const auto& area = _hierarchy[s].areaOfInfluence;
        previous.assign(influence[s - 1].begin(), influence[s - 1].end());
        std::sort(previous.begin(), previous.end());
        for (const auto& [a, w] : previous) {
            if (!(w >= threshold)) continue;
            assert(a < area.size());
            for (const auto& [b, v] : area[a]) influence[s][b] += v * w;
        }
        if (normalise) normaliseMap(influence[s]);
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getInterpolationWeights(
    sparse_scalar_matrix_type& weights, int scale) const {
    std::vector<unsigned int> all(_hierarchy.empty() ? 0 : _hierarchy[0].size());
    for (unsigned int i = 0; i < all.size(); ++i) all[i] = i;
    getInterpolationWeights(all, weights, scale);
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getInterpolationWeights(
    const std::vector<unsigned int>& points, sparse_scalar_matrix_type& weights, int scale) const {
    weights.clear();
    weights.resize(points.size());
    const unsigned int top =
        scale < 0 ? static_cast<unsigned int>(_hierarchy.size()) - 1u : static_cast<unsigned int>(scale);
    // Every row starts from A_1, so a single scale has nothing to give.
    if (top >= _hierarchy.size() || _hierarchy.size() < 2)
        throw std::logic_error("getInterpolationWeights: Invalid scale");
    checkIndices(points, _hierarchy[1].areaOfInfluence.size(), "getInterpolationWeights");
    const auto n = static_cast<unsigned int>(points.size());
#pragma omp parallel for schedule(static)
    for (unsigned int k = 0; k < n; ++k) {
        weights[k] = _hierarchy[1].areaOfInfluence[points[k]];
        for (unsigned int s = 2; s <= top; ++s) {
            typename sparse_scalar_matrix_type::value_type next;
            multiplyInto(weights[k], _hierarchy[s].areaOfInfluence, next);
            weights[k] = std::move(next);
        }
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getAreaOfInfluence(
    unsigned int scale, const std::vector<unsigned int>& landmarks, std::vector<scalar_type>& area) const {
    if (scale >= _hierarchy.size()) throw std::logic_error("getAreaOfInfluence (3)");
    const auto n = _hierarchy[0].size();
    area.assign(n, 0);
    if (scale == 0) {
        checkIndices(landmarks, n, "getAreaOfInfluence");
        for (unsigned int l : landmarks) area[l] = 1;
        return;
    }
    const std::unordered_set<unsigned int> set(landmarks.begin(), landmarks.end());
#pragma omp parallel for schedule(static)
    for (unsigned int i = 0; i < n; ++i) {
        auto r = _hierarchy[1].areaOfInfluence[i];
        for (unsigned int s = 2; s <= scale; ++s) {
            std::map<unsigned int, scalar_type> product;
            const auto& A = _hierarchy[s].areaOfInfluence;
            for (const auto& [a, w] : r) {
                assert(a < A.size());
                for (const auto& [b, x] : A[a]) product[b] += w * x;
            }
            r.clear();
            r.initialize(product.begin(), product.end(), scalar_type(0));
        }
        scalar_type sum = 0;
        for (const auto& [b, v] : r)
            if (set.count(b) != 0) sum += v;
        area[i] = sum;
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getAreaOfInfluenceTopDown(
    unsigned int scale, const std::vector<unsigned int>& landmarks, std::vector<scalar_type>& area) const {
    if (scale >= _hierarchy.size()) throw std::logic_error("getAreaOfInfluenceTopDown (3)");
    if (scale == 0) checkIndices(landmarks, _hierarchy[0].size(), "getAreaOfInfluenceTopDown");
    area.assign(_hierarchy[0].size(), 0);
    std::vector<unsigned int> current = landmarks;
    for (unsigned int s = scale; s >= 1; --s) {
        std::map<unsigned int, scalar_type> influenced;
        getInfluencedLandmarksInPreviousScale(s, current, influenced);
        current.clear();
        for (const auto& [l, v] : influenced)
            if (static_cast<double>(v) > 0.3) current.push_back(l);
    }
    for (unsigned int l : current) area[l] = 1;
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getStochasticLocationAtHigherScale(
    unsigned int origin, unsigned int destination, const std::vector<unsigned int>& points,
    sparse_scalar_matrix_type& location) const {
    if (destination <= origin) throw std::logic_error("getStochasticLocationAtHigherScale (0)");
    if (static_cast<std::size_t>(origin) + 1 >= _hierarchy.size())
        throw std::logic_error("getStochasticLocationAtHigherScale (2)");
    if (destination >= _hierarchy.size()) throw std::logic_error("getStochasticLocationAtHigherScale (3)");
    checkIndices(points, _hierarchy[origin + 1].areaOfInfluence.size(), "getStochasticLocationAtHigherScale");
    location.clear();
    location.resize(points.size());
    const auto n = static_cast<unsigned int>(points.size());
#pragma omp parallel for schedule(static)
    for (unsigned int k = 0; k < n; ++k) {
        location[k] = _hierarchy[origin + 1].areaOfInfluence[points[k]];
        for (unsigned int s = origin + 2; s <= destination; ++s) {
            typename sparse_scalar_matrix_type::value_type next;
            multiplyInto(location[k], _hierarchy[s].areaOfInfluence, next);
            location[k] = std::move(next);
        }
    }
}

template <typename scalar_type, typename sparse_scalar_matrix_type>
void HierarchicalSNE<scalar_type, sparse_scalar_matrix_type>::getHighDimensionalDescriptor(
    std::vector<scalar_type>& out, unsigned int p) const {
    if (_highDimensionalData == nullptr)
        throw std::logic_error("getHighDimensionalDescriptor: the hierarchy holds no data");
    checkIndex(p, _numDataPoints, "getHighDimensionalDescriptor");
    const auto d = static_cast<std::size_t>(_dimensionality);
    out.assign(_highDimensionalData + p * d, _highDimensionalData + (p + 1) * d);
}

using HierarchicalSNEF = HierarchicalSNE<float, std::vector<data::MapMemEff<unsigned int, float>>>;

template void HierarchicalSNEF::getInfluencedLandmarksInPreviousScale(unsigned int, std::vector<unsigned int>&,
                                                                      std::map<unsigned int, float>&) const;
template void HierarchicalSNEF::getInfluencingLandmarksInNextScale(unsigned int, std::vector<unsigned int>&,
                                                                   std::map<unsigned int, float>&) const;
template void HierarchicalSNEF::getInfluenceOnDataPoint(unsigned int, influence_rows&, float, bool) const;
template void HierarchicalSNEF::getInterpolationWeights(sparse_scalar_matrix&, int) const;
template void HierarchicalSNEF::getInterpolationWeights(const std::vector<unsigned int>&, sparse_scalar_matrix&,
                                                        int) const;
template void HierarchicalSNEF::getAreaOfInfluence(unsigned int, const std::vector<unsigned int>&,
                                                   std::vector<float>&) const;
template void HierarchicalSNEF::getAreaOfInfluenceTopDown(unsigned int, const std::vector<unsigned int>&,
                                                          std::vector<float>&) const;
template void HierarchicalSNEF::getStochasticLocationAtHigherScale(unsigned int, unsigned int,
                                                                   const std::vector<unsigned int>&,
                                                                   sparse_scalar_matrix&) const;
template void HierarchicalSNEF::getHighDimensionalDescriptor(std::vector<float>&, unsigned int) const;

}  // namespace dr
}  // namespace vel
