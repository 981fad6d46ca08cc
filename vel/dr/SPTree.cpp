#include "vel/dr/SPTree.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <new>

namespace vel {
namespace dr {

namespace {
// Scratch for the distance vector of one force query; larger D uses the heap.
constexpr unsigned int kStackDimensions = 16;
// Subtrees with more points than this are built as tasks of their own.
constexpr std::size_t kTaskPoints = 2048;
}  // namespace

// ---------------------------------------------------------------- Cell

template <typename scalar_type>
SPTree<scalar_type>::Cell::Cell(unsigned int dimension) : _dimension(dimension), _values(2 * dimension, 0.0) {}

template <typename scalar_type>
SPTree<scalar_type>::Cell::Cell(unsigned int dimension, const double* corner, const double* width)
    : _dimension(dimension), _values(2 * dimension) {
    for (unsigned int d = 0; d < dimension; ++d) {
        _values[d] = corner[d];
        _values[dimension + d] = width[d];
    }
}

template <typename scalar_type>
bool SPTree<scalar_type>::Cell::containsPoint(const scalar_type* point) const {
    for (unsigned int d = 0; d < _dimension; ++d) {
        const double p = static_cast<double>(point[d]);
        if (getCorner(d) - getWidth(d) > p || getCorner(d) + getWidth(d) < p) return false;
    }
    return true;
}

// ---------------------------------------------------------------- construction

template <typename scalar_type>
void SPTree<scalar_type>::init(SPTree* parent, unsigned int D, scalar_type* data, double* geometry,
                               const double* corner, const double* width) {
    _parent = parent;
    _dimension = D;
    _data = data;
    _geometry = geometry;
    _num_children = 1u << D;
    _is_leaf = true;
    _size = 0;
    _cum_size = 0;
    _duplicates = 0;
    _max_width = 0;
    for (unsigned int d = 0; d < D; ++d) {
        _geometry[d] = 0.0;
        _geometry[D + d] = corner[d];
        _geometry[2 * D + d] = width[d];
        if (width[d] > _max_width) _max_width = width[d];
    }
}

template <typename scalar_type>
SPTree<scalar_type>::SPTree(unsigned int D, scalar_type* data, unsigned int N) {
    std::vector<double> mean(D, 0.0), lo(D, DBL_MAX), hi(D, -DBL_MAX), width(D, 0.0);
    for (unsigned int n = 0; n < N; ++n)
        for (unsigned int d = 0; d < D; ++d) {
            const double v = static_cast<double>(data[static_cast<std::size_t>(n) * D + d]);
            mean[d] += v;
            if (v < lo[d]) lo[d] = v;
            if (v > hi[d]) hi[d] = v;
        }
    for (unsigned int d = 0; d < D; ++d) {
        // Without points the box is a small cell at the origin.
        if (N == 0) {
            mean[d] = 0.0;
            width[d] = 1e-5;
            continue;
        }
        mean[d] /= static_cast<double>(N);
        width[d] = std::max(mean[d] - lo[d], hi[d] - mean[d]) + 1e-5;
    }
    _owns_geometry = true;
    init(nullptr, D, data, new double[3 * static_cast<std::size_t>(D)], mean.data(), width.data());
    fill(N);
}

template <typename scalar_type>
SPTree<scalar_type>::SPTree(unsigned int D, scalar_type* data, double* corner, double* width) {
    _owns_geometry = true;
    init(nullptr, D, data, new double[3 * static_cast<std::size_t>(D)], corner, width);
}

template <typename scalar_type>
SPTree<scalar_type>::SPTree(unsigned int D, scalar_type* data, unsigned int N, double* corner, double* width) {
    _owns_geometry = true;
    init(nullptr, D, data, new double[3 * static_cast<std::size_t>(D)], corner, width);
    fill(N);
}

template <typename scalar_type>
SPTree<scalar_type>::SPTree(SPTree* parent, unsigned int D, scalar_type* data, double* corner, double* width) {
    _owns_geometry = true;
    init(parent, D, data, new double[3 * static_cast<std::size_t>(D)], corner, width);
}

template <typename scalar_type>
SPTree<scalar_type>::SPTree(SPTree* parent, unsigned int D, scalar_type* data, unsigned int N, double* corner,
                            double* width) {
    _owns_geometry = true;
    init(parent, D, data, new double[3 * static_cast<std::size_t>(D)], corner, width);
    fill(N);
}

template <typename scalar_type>
SPTree<scalar_type>::~SPTree() {
    destroyChildren();
    if (_owns_geometry) delete[] _geometry;
}

template <typename scalar_type>
void SPTree<scalar_type>::destroyChildren() {
    if (_children == nullptr) return;
    for (unsigned int c = 0; c < _num_children; ++c) _children[c].~SPTree();
    ::operator delete(static_cast<void*>(_children));
    _children = nullptr;
}

// ---------------------------------------------------------------- building

template <typename scalar_type>
bool SPTree<scalar_type>::contains(const scalar_type* point) const {
    const double* c = corner();
    const double* w = width();
    for (unsigned int d = 0; d < _dimension; ++d) {
        const double p = static_cast<double>(point[d]);
        if (c[d] - w[d] > p || c[d] + w[d] < p) return false;
    }
    return true;
}

template <typename scalar_type>
bool SPTree<scalar_type>::insert(unsigned int index) {
    const scalar_type* point = _data + static_cast<std::size_t>(index) * _dimension;
    if (!contains(point)) return false;

    ++_cum_size;
    const double keep = static_cast<double>(_cum_size - 1) / static_cast<double>(_cum_size);
    const double add = 1.0 / static_cast<double>(_cum_size);
    for (unsigned int d = 0; d < _dimension; ++d)
        _geometry[d] = _geometry[d] * keep + static_cast<double>(point[d]) * add;

    if (_is_leaf && _size == 0) {
        _index = index;
        _size = 1;
        return true;
    }
    if (_size == 1) {
        const scalar_type* stored = _data + static_cast<std::size_t>(_index) * _dimension;
        bool duplicate = true;
        for (unsigned int d = 0; d < _dimension && duplicate; ++d) duplicate = stored[d] == point[d];
        if (duplicate) {
            ++_duplicates;
            return true;
        }
    }
    if (_is_leaf) subdivide();
    for (unsigned int c = 0; c < _num_children; ++c)
        if (_children[c].insert(index)) return true;
    return false;
}

template <typename scalar_type>
void SPTree<scalar_type>::createChildren() {
    const unsigned int D = _dimension;
    const std::size_t nodeBytes = sizeof(SPTree) * _num_children;
    const std::size_t geometryValues = 3 * static_cast<std::size_t>(D);
    void* block = ::operator new(nodeBytes + sizeof(double) * geometryValues * _num_children);
    SPTree* children = static_cast<SPTree*>(block);
    double* geometry = reinterpret_cast<double*>(static_cast<char*>(block) + nodeBytes);
    const double* c = corner();
    const double* w = width();
    for (unsigned int child = 0; child < _num_children; ++child) {
        double* g = geometry + geometryValues * child;
        SPTree* node = new (children + child) SPTree();
        node->_parent = this;
        node->_dimension = D;
        node->_data = _data;
        node->_geometry = g;
        node->_num_children = _num_children;
        for (unsigned int d = 0; d < D; ++d) {
            g[d] = 0.0;
            g[D + d] = ((child >> d) & 1u) ? c[d] - 0.5 * w[d] : c[d] + 0.5 * w[d];
            g[2 * D + d] = 0.5 * w[d];
            if (g[2 * D + d] > node->_max_width) node->_max_width = g[2 * D + d];
        }
    }
    _children = children;
}

template <typename scalar_type>
void SPTree<scalar_type>::subdivide() {
    if (_children != nullptr) return;
    createChildren();
    // The stored point moves down together with the duplicates stacked on it,
    // so that the children still account for every point of this node.
    if (_size == 1) {
        for (unsigned int child = 0; child < _num_children; ++child)
            if (_children[child].insert(_index)) {
                for (unsigned int k = 0; k < _duplicates; ++k) _children[child].insert(_index);
                break;
            }
    }
    _duplicates = 0;
    _size = 0;
    _is_leaf = false;
}

template <typename scalar_type>
void SPTree<scalar_type>::fill(unsigned int N) {
    if (N == 0) return;
    if (_cum_size != 0 || !_is_leaf) {
        for (unsigned int i = 0; i < N; ++i) insert(i);
        return;
    }
    // Into an empty node: build top-down. Every node sees its points in
    // ascending index order, so counts, centres of mass, stored points and
    // duplicates come out exactly as from inserting 0 .. N-1 one by one.
    std::vector<unsigned int> points, scratch(N);
    points.reserve(N);
    for (unsigned int i = 0; i < N; ++i)
        if (contains(_data + static_cast<std::size_t>(i) * _dimension)) points.push_back(i);
    if (points.empty()) return;
    // The factors (c - 1) / c and 1 / c of the incremental mean, once per count.
    std::vector<double> weights(2 * (static_cast<std::size_t>(N) + 1), 0.0);
    for (std::size_t c = 1; c <= N; ++c) {
        weights[2 * c] = static_cast<double>(c - 1) / static_cast<double>(c);
        weights[2 * c + 1] = 1.0 / static_cast<double>(c);
    }
#pragma omp parallel
#pragma omp single
    build(points.data(), points.size(), scratch.data(), weights.data());
}

template <typename scalar_type>
void SPTree<scalar_type>::build(unsigned int* points, std::size_t count, unsigned int* scratch, const double* weights) {
    const unsigned int D = _dimension;
    for (std::size_t k = 0; k < count; ++k) {
        const scalar_type* p = _data + static_cast<std::size_t>(points[k]) * D;
        ++_cum_size;
        const double keep = weights[2 * _cum_size];
        const double add = weights[2 * _cum_size + 1];
        for (unsigned int d = 0; d < D; ++d) _geometry[d] = _geometry[d] * keep + static_cast<double>(p[d]) * add;
    }
    _index = points[0];
    _size = 1;
    const scalar_type* first = _data + static_cast<std::size_t>(_index) * D;
    std::size_t distinct = 1;
    while (distinct < count) {
        const scalar_type* p = _data + static_cast<std::size_t>(points[distinct]) * D;
        bool equal = true;
        for (unsigned int d = 0; d < D && equal; ++d) equal = p[d] == first[d];
        if (!equal) break;
        ++distinct;
    }
    if (distinct == count) {
        _duplicates = static_cast<unsigned int>(count - 1);
        return;
    }

    createChildren();
    _size = 0;
    _is_leaf = false;
    // Stable distribution over the children, each point to the first child
    // whose box holds it (points that fall between children stay counted here).
    std::vector<std::size_t> start(_num_children + 1, 0);
    std::vector<unsigned int> target(count);
    const unsigned int none = _num_children;
    for (std::size_t k = 0; k < count; ++k) {
        const scalar_type* p = _data + static_cast<std::size_t>(points[k]) * D;
        target[k] = none;
        for (unsigned int child = 0; child < _num_children; ++child)
            if (_children[child].contains(p)) {
                target[k] = child;
                ++start[child + 1];
                break;
            }
    }
    for (unsigned int child = 0; child < _num_children; ++child) start[child + 1] += start[child];
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < count; ++k)
        if (target[k] != none) scratch[next[target[k]]++] = points[k];
    for (unsigned int child = 0; child < _num_children; ++child) {
        const std::size_t n = start[child + 1] - start[child];
        if (n == 0) continue;
        SPTree* node = _children + child;
        unsigned int* childPoints = scratch + start[child];
        unsigned int* childScratch = points + start[child];
#pragma omp task default(none) firstprivate(node, childPoints, childScratch, n, weights) if (n > kTaskPoints)
        node->build(childPoints, n, childScratch, weights);
    }
#pragma omp taskwait
}

template <typename scalar_type>
void SPTree<scalar_type>::setData(scalar_type* data) {
    _data = data;
    if (_children != nullptr)
        for (unsigned int c = 0; c < _num_children; ++c) _children[c].setData(data);
}

// ---------------------------------------------------------------- forces

template <typename scalar_type>
void SPTree<scalar_type>::forces(const double* point, unsigned int index, double theta, double* force,
                                 double& normaliser, double* scratch) const {
    if (_cum_size == 0) return;
    // A point exerts no force on itself, nor do its duplicates stacked in its leaf.
    if (_is_leaf && _size == 1 && _index == index) return;

    const double* com = centerOfMass();
    double sq = 0.0;
    for (unsigned int d = 0; d < _dimension; ++d) {
        scratch[d] = point[d] - com[d];
        sq += scratch[d] * scratch[d];
    }
    if (_is_leaf || _max_width / std::sqrt(sq) < theta) {
        const double q = 1.0 / (1.0 + sq);
        double mult = static_cast<double>(_cum_size) * q;
        normaliser += mult;
        mult *= q;
        for (unsigned int d = 0; d < _dimension; ++d) force[d] += mult * scratch[d];
        return;
    }
    for (unsigned int c = 0; c < _num_children; ++c)
        _children[c].forces(point, index, theta, force, normaliser, scratch);
}

template <typename scalar_type>
void SPTree<scalar_type>::computeNonEdgeForcesOMP(unsigned int index, double theta, double* force,
                                                  double& normaliser) const {
    const unsigned int D = _dimension;
    double stackPoint[kStackDimensions] = {};
    double stackScratch[kStackDimensions] = {};
    std::vector<double> heapPoint, heapScratch;
    double* point = stackPoint;
    double* scratch = stackScratch;
    if (D > kStackDimensions) {
        heapPoint.resize(D);
        heapScratch.resize(D);
        point = heapPoint.data();
        scratch = heapScratch.data();
    }
    const scalar_type* p = _data + static_cast<std::size_t>(index) * D;
    for (unsigned int d = 0; d < D; ++d) point[d] = static_cast<double>(p[d]);
    forces(point, index, theta, force, normaliser, scratch);
}

template <typename scalar_type>
void SPTree<scalar_type>::computeNonEdgeForces(unsigned int index, double theta, double* force,
                                               double* normaliser) const {
    computeNonEdgeForcesOMP(index, theta, force, *normaliser);
}

template <typename scalar_type>
void SPTree<scalar_type>::computeEdgeForces(unsigned int* rowStarts, unsigned int* columns, double* values,
                                            double multiplier, int N, double* force) const {
    const unsigned int D = _dimension;
#pragma omp parallel for schedule(static)
    for (int n = 0; n < N; ++n) {
        std::vector<double> delta(D);
        const scalar_type* xn = _data + static_cast<std::size_t>(n) * D;
        for (unsigned int k = rowStarts[n]; k < rowStarts[n + 1]; ++k) {
            const scalar_type* xj = _data + static_cast<std::size_t>(columns[k]) * D;
            double w = 1.0;
            for (unsigned int d = 0; d < D; ++d) {
                delta[d] = static_cast<double>(static_cast<scalar_type>(xn[d] - xj[d]));
                w += delta[d] * delta[d];
            }
            const double f = values[k] * multiplier / w;
            for (unsigned int d = 0; d < D; ++d) force[static_cast<std::size_t>(n) * D + d] += f * delta[d];
        }
    }
}

// ---------------------------------------------------------------- inspection

template <typename scalar_type>
unsigned int SPTree<scalar_type>::collectIndices(unsigned int* indices, unsigned int count) const {
    if (_size == 1) indices[count++] = _index;
    if (_children != nullptr)
        for (unsigned int c = 0; c < _num_children; ++c) count = _children[c].collectIndices(indices, count);
    return count;
}

template <typename scalar_type>
unsigned int SPTree<scalar_type>::getAllIndices(unsigned int* indices) const {
    return collectIndices(indices, 0);
}

template <typename scalar_type>
unsigned int SPTree<scalar_type>::getDepth() const {
    if (_is_leaf || _children == nullptr) return 1;
    unsigned int depth = 0;
    for (unsigned int c = 0; c < _num_children; ++c) {
        const unsigned int childDepth = _children[c].getDepth();
        if (childDepth > depth) depth = childDepth;
    }
    return 1 + depth;
}

template <typename scalar_type>
bool SPTree<scalar_type>::isCorrect() const {
    if (_size == 1 && !contains(_data + static_cast<std::size_t>(_index) * _dimension)) return false;
    if (_children != nullptr)
        for (unsigned int c = 0; c < _num_children; ++c)
            if (!_children[c].isCorrect()) return false;
    return true;
}

template <typename scalar_type>
void SPTree<scalar_type>::print() const {
    if (_cum_size == 0) {
        std::printf("Empty node\n");
        return;
    }
    if (_is_leaf) {
        std::printf("Leaf node; _emb_positions = [");
        for (unsigned int i = 0; i < _size; ++i) {
            const scalar_type* p = _data + static_cast<std::size_t>(_index) * _dimension;
            for (unsigned int d = 0; d < _dimension; ++d) std::printf("%f, ", static_cast<double>(p[d]));
            std::printf(" (index = %d)", static_cast<int>(_index));
            std::printf(i + 1 < _size ? "\n" : "]\n");
        }
        return;
    }
    std::printf("Intersection node with center-of-mass = [");
    for (unsigned int d = 0; d < _dimension; ++d) std::printf("%f, ", centerOfMass()[d]);
    std::printf("]; children are:\n");
    for (unsigned int c = 0; c < _num_children; ++c) _children[c].print();
}

template class SPTree<float>;
template class SPTree<double>;

}  // namespace dr
}  // namespace vel
