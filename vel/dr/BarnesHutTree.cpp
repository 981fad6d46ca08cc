#include "vel/dr/BarnesHutTree.h"

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace vel {
namespace dr {

namespace {
// Subtrees of at most this many points are built by one task. Larger ones are
// split serially first, so that there are tasks for every thread.
constexpr std::size_t kTaskPoints = 4096;
// Below this many points the whole tree is built on the calling thread.
constexpr std::size_t kParallelPoints = 16384;
}  // namespace

template <typename scalar_type, unsigned int D>
typename BarnesHutTree<scalar_type, D>::Box BarnesHutTree<scalar_type, D>::childBox(const Box& box,
                                                                                    unsigned int child) {
    Box b;
    for (unsigned int d = 0; d < D; ++d) {
        b.centre[d] = ((child >> d) & 1u) ? box.centre[d] - 0.5 * box.width[d] : box.centre[d] + 0.5 * box.width[d];
        b.width[d] = 0.5 * box.width[d];
    }
    return b;
}

template <typename scalar_type, unsigned int D>
double BarnesHutTree<scalar_type, D>::maxWidth(const Box& box) {
    double m = 0;
    for (unsigned int d = 0; d < D; ++d)
        if (box.width[d] > m) m = box.width[d];
    return m;
}

template <typename scalar_type, unsigned int D>
bool BarnesHutTree<scalar_type, D>::summarise(const Record* records, std::size_t count, Node& node) const {
    double com[D] = {};
    for (std::size_t k = 0; k < count; ++k) {
        const double keep = _weights[2 * (k + 1)];
        const double add = _weights[2 * (k + 1) + 1];
        for (unsigned int d = 0; d < D; ++d) com[d] = com[d] * keep + static_cast<double>(records[k].position[d]) * add;
    }
    for (unsigned int d = 0; d < D; ++d) node.centreOfMass[d] = com[d];
    node.count = static_cast<std::uint32_t>(count);
    const Record& first = records[0];
    std::size_t distinct = 1;
    while (distinct < count) {
        bool equal = true;
        for (unsigned int d = 0; d < D && equal; ++d) equal = records[distinct].position[d] == first.position[d];
        if (!equal) break;
        ++distinct;
    }
    if (distinct == count) {
        node.point = first.index;
        return false;
    }
    node.point = kNoPoint;
    return true;
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::distribute(const Record* records, std::size_t count, const Box& box,
                                               Record* scratch, std::size_t* start) const {
    // The closed boxes of the two halves per dimension, as the children's own
    // centre and half-width give them; the upper half (bit 0) comes first.
    double upperLo[D], upperHi[D], lowerLo[D], lowerHi[D];
    for (unsigned int d = 0; d < D; ++d) {
        const double w = 0.5 * box.width[d];
        const double up = box.centre[d] + 0.5 * box.width[d], down = box.centre[d] - 0.5 * box.width[d];
        upperLo[d] = up - w;
        upperHi[d] = up + w;
        lowerLo[d] = down - w;
        lowerHi[d] = down + w;
    }
    auto childOf = [&](const Record& r) {
        unsigned int child = 0;
        for (unsigned int d = 0; d < D; ++d) {
            const double p = static_cast<double>(r.position[d]);
            if (upperLo[d] <= p && p <= upperHi[d]) continue;
            if (lowerLo[d] <= p && p <= lowerHi[d])
                child |= 1u << d;
            else
                return kChildren;  // between the children
        }
        return child;
    };
    for (unsigned int c = 0; c <= kChildren; ++c) start[c] = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = childOf(records[k]);
        if (c < kChildren) ++start[c + 1];
    }
    for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += start[c];
    std::size_t next[kChildren];
    for (unsigned int c = 0; c < kChildren; ++c) next[c] = start[c];
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = childOf(records[k]);
        if (c < kChildren) scratch[next[c]++] = records[k];
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildSubtree(Record* records, Record* scratch, std::size_t count, const Box& box,
                                                 std::vector<Node>& out) const {
    const std::size_t self = out.size();
    Node node;
    node.maxWidth = maxWidth(box);
    const bool inner = summarise(records, count, node);
    out.push_back(node);
    if (inner) {
        std::size_t start[kChildren + 1];
        distribute(records, count, box, scratch, start);
        for (unsigned int c = 0; c < kChildren; ++c) {
            const std::size_t n = start[c + 1] - start[c];
            if (n > 0) buildSubtree(scratch + start[c], records + start[c], n, childBox(box, c), out);
        }
    }
    out[self].next = static_cast<std::uint32_t>(out.size());
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildTop(Record* records, Record* scratch, std::size_t count, const Box& box,
                                             std::size_t cutoff) {
    const std::size_t self = _items.size();
    Item item;
    item.job = -1;
    item.node.maxWidth = maxWidth(box);
    const bool inner = summarise(records, count, item.node);
    _items.push_back(item);
    if (inner) {
        std::size_t start[kChildren + 1];
        distribute(records, count, box, scratch, start);
        for (unsigned int c = 0; c < kChildren; ++c) {
            const std::size_t n = start[c + 1] - start[c];
            if (n == 0) continue;
            if (n > cutoff) {
                buildTop(scratch + start[c], records + start[c], n, childBox(box, c), cutoff);
                continue;
            }
            Item job;
            job.job = static_cast<long long>(_jobs.size());
            job.end = _items.size() + 1;
            _jobs.push_back(Job{scratch + start[c], records + start[c], n, childBox(box, c), {}});
            _items.push_back(job);
        }
    }
    _items[self].end = _items.size();
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::build(const scalar_type* y, unsigned int N) {
    _nodes.clear();
    Box root;
    {
        double mean[D] = {}, lo[D], hi[D];
        for (unsigned int d = 0; d < D; ++d) {
            lo[d] = DBL_MAX;
            hi[d] = -DBL_MAX;
        }
        for (unsigned int n = 0; n < N; ++n)
            for (unsigned int d = 0; d < D; ++d) {
                const double v = static_cast<double>(y[static_cast<std::size_t>(n) * D + d]);
                mean[d] += v;
                if (v < lo[d]) lo[d] = v;
                if (v > hi[d]) hi[d] = v;
            }
        for (unsigned int d = 0; d < D; ++d) {
            if (N == 0) {
                root.centre[d] = 0.0;
                root.width[d] = 1e-5;
                continue;
            }
            root.centre[d] = mean[d] / static_cast<double>(N);
            root.width[d] = std::max(root.centre[d] - lo[d], hi[d] - root.centre[d]) + 1e-5;
        }
    }
    // Points outside the root box (not-a-number coordinates) take no part.
    _records.resize(N);
    std::size_t count = 0;
    for (unsigned int i = 0; i < N; ++i) {
        Record r;
        bool inside = true;
        for (unsigned int d = 0; d < D; ++d) {
            r.position[d] = y[static_cast<std::size_t>(i) * D + d];
            const double p = static_cast<double>(r.position[d]);
            if (root.centre[d] - root.width[d] > p || root.centre[d] + root.width[d] < p) inside = false;
        }
        r.index = i;
        if (inside) _records[count++] = r;
    }
    if (count == 0) return;
    _scratch.resize(count);
    if (_weights.size() != 2 * (static_cast<std::size_t>(N) + 1)) {
        _weights.assign(2 * (static_cast<std::size_t>(N) + 1), 0.0);
        for (std::size_t c = 1; c <= N; ++c) {
            _weights[2 * c] = static_cast<double>(c - 1) / static_cast<double>(c);
            _weights[2 * c + 1] = 1.0 / static_cast<double>(c);
        }
    }
    const int threads = omp_in_parallel() ? 1 : omp_get_max_threads();
    if (count < kParallelPoints || threads == 1) {
        buildSubtree(_records.data(), _scratch.data(), count, root, _nodes);
        return;
    }

    // The top levels serially, the subtrees below them as parallel jobs, then
    // every job's nodes copied to its place in depth-first order.
    _jobs.clear();
    _items.clear();
    buildTop(_records.data(), _scratch.data(), count, root, std::max(kTaskPoints, count / (8 * threads)));
#pragma omp parallel for schedule(dynamic, 1)
    for (long long j = 0; j < static_cast<long long>(_jobs.size()); ++j) {
        Job& job = _jobs[static_cast<std::size_t>(j)];
        job.nodes.clear();
        buildSubtree(job.records, job.scratch, job.count, job.box, job.nodes);
    }
    std::vector<std::size_t> place(_items.size() + 1, 0);
    for (std::size_t k = 0; k < _items.size(); ++k)
        place[k + 1] = place[k] + (_items[k].job < 0 ? 1 : _jobs[static_cast<std::size_t>(_items[k].job)].nodes.size());
    _nodes.resize(place[_items.size()]);
    for (std::size_t k = 0; k < _items.size(); ++k)
        if (_items[k].job < 0) {
            _nodes[place[k]] = _items[k].node;
            _nodes[place[k]].next = static_cast<std::uint32_t>(place[_items[k].end]);
        }
#pragma omp parallel for schedule(dynamic, 1)
    for (long long k = 0; k < static_cast<long long>(_items.size()); ++k) {
        const Item& item = _items[static_cast<std::size_t>(k)];
        if (item.job < 0) continue;
        const std::vector<Node>& nodes = _jobs[static_cast<std::size_t>(item.job)].nodes;
        const std::uint32_t base = static_cast<std::uint32_t>(place[static_cast<std::size_t>(k)]);
        Node* out = _nodes.data() + base;
        for (std::size_t n = 0; n < nodes.size(); ++n) {
            out[n] = nodes[n];
            out[n].next += base;
        }
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::repulsion(const scalar_type* position, std::uint32_t index, double theta,
                                              double* force, double& normaliser) const {
    double p[D], f[D];
    for (unsigned int d = 0; d < D; ++d) {
        p[d] = static_cast<double>(position[d]);
        f[d] = force[d];
    }
    double z = normaliser;
    // The rule is SPTree's maxWidth / sqrt(sq) < theta. Its square form
    // decides every node whose ratio is not within a relative 1e-12 of theta,
    // far beyond the rounding of either form; the few left take the rule as
    // written, so that the same nodes are summarised.
    const double theta2 = theta * theta;
    const Node* nodes = _nodes.data();
    const std::size_t end = _nodes.size();
    std::size_t k = 0;
    while (k < end) {
        const Node& node = nodes[k];
        if (node.point == index) {  // the point's own leaf, with the equal points stacked on it
            k = node.next;
            continue;
        }
        double diff[D];
        double sq = 0.0;
        for (unsigned int d = 0; d < D; ++d) {
            diff[d] = p[d] - node.centreOfMass[d];
            sq += diff[d] * diff[d];
        }
        if (node.point == kNoPoint) {
            const double width2 = node.maxWidth * node.maxWidth, bound = theta2 * sq;
            const bool summarised = width2 < bound * (1.0 - 1e-12)   ? true
                                    : width2 > bound * (1.0 + 1e-12) ? false
                                                                     : node.maxWidth / std::sqrt(sq) < theta;
            if (!summarised) {
                ++k;
                continue;
            }
        }
        const double q = 1.0 / (1.0 + sq);
        double mult = static_cast<double>(node.count) * q;
        z += mult;
        mult *= q;
        for (unsigned int d = 0; d < D; ++d) f[d] += mult * diff[d];
        k = node.next;
    }
    for (unsigned int d = 0; d < D; ++d) force[d] = f[d];
    normaliser = z;
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::queryOrder(std::vector<unsigned int>& order, unsigned int N) const {
    order.clear();
    order.reserve(N);
    std::vector<unsigned char> listed(N, 0);
    for (const Node& node : _nodes)
        if (node.point != kNoPoint) {
            order.push_back(node.point);
            listed[node.point] = 1;
        }
    for (unsigned int i = 0; i < N; ++i)
        if (!listed[i]) order.push_back(i);
}

template class BarnesHutTree<float, 1>;
template class BarnesHutTree<float, 2>;
template class BarnesHutTree<float, 3>;
template class BarnesHutTree<double, 1>;
template class BarnesHutTree<double, 2>;
template class BarnesHutTree<double, 3>;

}  // namespace dr
}  // namespace vel
