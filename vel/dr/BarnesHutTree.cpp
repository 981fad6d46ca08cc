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
bool BarnesHutTree<scalar_type, D>::oneStack(const Record* records, std::size_t count) {
    const Record& first = records[0];
    for (std::size_t k = 1; k < count; ++k)
        for (unsigned int d = 0; d < D; ++d)
            if (!(records[k].position[d] == first.position[d])) return false;
    return true;
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::leaf(const Record* records, std::size_t count, Node& node, double* sum) {
    node.point = records[0].index;
    for (unsigned int d = 0; d < D; ++d) {
        node.centreOfMass[d] = static_cast<double>(records[0].position[d]);
        sum[d] = node.centreOfMass[d] * static_cast<double>(count);
    }
}

namespace {

// The closed boxes of the two halves of a box per dimension, as the children's
// own centre and half-width give them; the upper half (bit 0) comes first.
template <unsigned int D>
struct Halves {
    double upperLo[D], upperHi[D], lowerLo[D], lowerHi[D];

    Halves(const double* centre, const double* width) {
        for (unsigned int d = 0; d < D; ++d) {
            const double w = 0.5 * width[d];
            const double up = centre[d] + 0.5 * width[d], down = centre[d] - 0.5 * width[d];
            upperLo[d] = up - w;
            upperHi[d] = up + w;
            lowerLo[d] = down - w;
            lowerHi[d] = down + w;
        }
    }
    // The child of a position; 1 << D for one between the children.
    template <typename scalar_type>
    unsigned int childOf(const scalar_type* position) const {
        unsigned int child = 0;
        for (unsigned int d = 0; d < D; ++d) {
            const double p = static_cast<double>(position[d]);
            if (upperLo[d] <= p && p <= upperHi[d]) continue;
            if (lowerLo[d] <= p && p <= lowerHi[d])
                child |= 1u << d;
            else
                return 1u << D;
        }
        return child;
    }
};

// Records per run of the parallel distribution: fixed, so that the runs, and
// with them every order, do not depend on the thread count.
constexpr std::size_t kDistributionRun = 8192;

}  // namespace

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::distribute(const Record* records, std::size_t count, const Box& box,
                                               Record* scratch, std::size_t* start, double* between) const {
    const Halves<D> halves(box.centre, box.width);
    for (unsigned int d = 0; d < D; ++d) between[d] = 0.0;
    for (unsigned int c = 0; c <= kChildren; ++c) start[c] = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = halves.childOf(records[k].position);
        if (c < kChildren) ++start[c + 1];
    }
    for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += start[c];
    std::size_t next[kChildren];
    for (unsigned int c = 0; c < kChildren; ++c) next[c] = start[c];
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = halves.childOf(records[k].position);
        if (c < kChildren)
            scratch[next[c]++] = records[k];
        else
            for (unsigned int d = 0; d < D; ++d) between[d] += static_cast<double>(records[k].position[d]);
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::distributeInParallel(const Record* records, std::size_t count, const Box& box,
                                                         Record* scratch, std::size_t* start, double* between) {
    const Halves<D> halves(box.centre, box.width);
    const std::size_t runs = (count + kDistributionRun - 1) / kDistributionRun;
    const std::size_t width = kChildren + 1;  // the children, then the points between them
    _runCounts.assign(runs * width, 0);
#pragma omp parallel for schedule(static)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        std::size_t* counts = _runCounts.data() + static_cast<std::size_t>(r) * width;
        const std::size_t end = std::min(count, static_cast<std::size_t>(r + 1) * kDistributionRun);
        for (std::size_t k = static_cast<std::size_t>(r) * kDistributionRun; k < end; ++k)
            ++counts[halves.childOf(records[k].position)];
    }
    // Each run's first place per child: the children in order, within a child
    // the runs in order, as the serial distribution places them.
    for (unsigned int c = 0; c <= kChildren; ++c) start[c] = 0;
    std::size_t betweenCount = 0;
    for (std::size_t r = 0; r < runs; ++r) {
        for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += _runCounts[r * width + c];
        betweenCount += _runCounts[r * width + kChildren];
    }
    for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += start[c];
    std::size_t next[kChildren];
    for (unsigned int c = 0; c < kChildren; ++c) next[c] = start[c];
    for (std::size_t r = 0; r < runs; ++r)
        for (unsigned int c = 0; c < kChildren; ++c) {
            const std::size_t n = _runCounts[r * width + c];
            _runCounts[r * width + c] = next[c];
            next[c] += n;
        }
#pragma omp parallel for schedule(static)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        std::size_t* place = _runCounts.data() + static_cast<std::size_t>(r) * width;
        const std::size_t end = std::min(count, static_cast<std::size_t>(r + 1) * kDistributionRun);
        for (std::size_t k = static_cast<std::size_t>(r) * kDistributionRun; k < end; ++k) {
            const unsigned int c = halves.childOf(records[k].position);
            if (c < kChildren) scratch[place[c]++] = records[k];
        }
    }
    for (unsigned int d = 0; d < D; ++d) between[d] = 0.0;
    if (betweenCount > 0)  // rare: rounding at a box's edge; summed in record order as above
        for (std::size_t k = 0; k < count; ++k)
            if (halves.childOf(records[k].position) == kChildren)
                for (unsigned int d = 0; d < D; ++d) between[d] += static_cast<double>(records[k].position[d]);
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildSubtree(Record* records, Record* scratch, std::size_t count, const Box& box,
                                                 std::vector<Node>& out, double* sum) const {
    const std::size_t self = out.size();
    Node node;
    node.maxWidth = maxWidth(box);
    node.count = static_cast<std::uint32_t>(count);
    node.next = static_cast<std::uint32_t>(self + 1);
    if (oneStack(records, count)) {
        leaf(records, count, node, sum);
        out.push_back(node);
        return;
    }
    node.point = kNoPoint;
    out.push_back(node);
    std::size_t start[kChildren + 1];
    distribute(records, count, box, scratch, start, sum);
    for (unsigned int c = 0; c < kChildren; ++c) {
        const std::size_t n = start[c + 1] - start[c];
        if (n == 0) continue;
        double childSum[D];
        buildSubtree(scratch + start[c], records + start[c], n, childBox(box, c), out, childSum);
        for (unsigned int d = 0; d < D; ++d) sum[d] += childSum[d];
    }
    Node& done = out[self];
    for (unsigned int d = 0; d < D; ++d) done.centreOfMass[d] = sum[d] / static_cast<double>(count);
    done.next = static_cast<std::uint32_t>(out.size());
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildTop(Record* records, Record* scratch, std::size_t count, const Box& box,
                                             std::size_t cutoff) {
    const std::size_t self = _items.size();
    _items.emplace_back();
    Item& item = _items.back();
    item.job = -1;
    item.node.maxWidth = maxWidth(box);
    item.node.count = static_cast<std::uint32_t>(count);
    if (oneStack(records, count)) {
        leaf(records, count, item.node, item.sum);
        item.end = self + 1;
        return;
    }
    item.node.point = kNoPoint;
    std::size_t start[kChildren + 1];
    double between[D];
    distributeInParallel(records, count, box, scratch, start, between);
    for (unsigned int d = 0; d < D; ++d) _items[self].sum[d] = between[d];
    for (unsigned int c = 0; c < kChildren; ++c) {
        const std::size_t n = start[c + 1] - start[c];
        if (n == 0) continue;
        _items[self].children.push_back(_items.size());
        if (n > cutoff) {
            buildTop(scratch + start[c], records + start[c], n, childBox(box, c), cutoff);
            continue;
        }
        Item job;
        job.job = static_cast<long long>(_jobs.size());
        job.end = _items.size() + 1;
        _jobs.push_back(Job{scratch + start[c], records + start[c], n, childBox(box, c), {}, {}});
        _items.push_back(std::move(job));
    }
    _items[self].end = _items.size();
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::build(const scalar_type* y, unsigned int N) {
    _nodes.clear();
    const int threads = omp_in_parallel() ? 1 : omp_get_max_threads();
    const bool parallel = N >= kParallelPoints && threads > 1;
    Box root;
    {
        // The mean as sums over fixed runs of points, added in order.
        const std::size_t runs = (static_cast<std::size_t>(N) + kDistributionRun - 1) / kDistributionRun;
        std::vector<double> partial(runs * 3 * D);
#pragma omp parallel for schedule(static) if (parallel)
        for (long long r = 0; r < static_cast<long long>(runs); ++r) {
            double* sum = partial.data() + static_cast<std::size_t>(r) * 3 * D;
            double* lo = sum + D;
            double* hi = lo + D;
            for (unsigned int d = 0; d < D; ++d) {
                sum[d] = 0.0;
                lo[d] = DBL_MAX;
                hi[d] = -DBL_MAX;
            }
            const std::size_t end = std::min<std::size_t>(N, static_cast<std::size_t>(r + 1) * kDistributionRun);
            for (std::size_t n = static_cast<std::size_t>(r) * kDistributionRun; n < end; ++n)
                for (unsigned int d = 0; d < D; ++d) {
                    const double v = static_cast<double>(y[n * D + d]);
                    sum[d] += v;
                    if (v < lo[d]) lo[d] = v;
                    if (v > hi[d]) hi[d] = v;
                }
        }
        double mean[D] = {}, lo[D], hi[D];
        for (unsigned int d = 0; d < D; ++d) {
            lo[d] = DBL_MAX;
            hi[d] = -DBL_MAX;
        }
        for (std::size_t r = 0; r < runs; ++r)
            for (unsigned int d = 0; d < D; ++d) {
                const double* p = partial.data() + r * 3 * D;
                mean[d] += p[d];
                if (p[D + d] < lo[d]) lo[d] = p[D + d];
                if (p[2 * D + d] > hi[d]) hi[d] = p[2 * D + d];
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
    long long outside = 0;
#pragma omp parallel for schedule(static) reduction(+ : outside) if (parallel)
    for (long long li = 0; li < static_cast<long long>(N); ++li) {
        const std::size_t i = static_cast<std::size_t>(li);
        Record& r = _records[i];
        for (unsigned int d = 0; d < D; ++d) {
            r.position[d] = y[i * D + d];
            const double p = static_cast<double>(r.position[d]);
            if (root.centre[d] - root.width[d] > p || root.centre[d] + root.width[d] < p) {
                ++outside;
                break;
            }
        }
        r.index = static_cast<std::uint32_t>(i);
    }
    std::size_t count = N;
    if (outside > 0) {
        count = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const Record& r = _records[i];
            bool inside = true;
            for (unsigned int d = 0; d < D; ++d) {
                const double p = static_cast<double>(r.position[d]);
                if (root.centre[d] - root.width[d] > p || root.centre[d] + root.width[d] < p) inside = false;
            }
            if (inside) _records[count++] = r;
        }
    }
    if (count == 0) return;
    _scratch.resize(count);
    if (!parallel || count < kParallelPoints) {
        double sum[D];
        buildSubtree(_records.data(), _scratch.data(), count, root, _nodes, sum);
        return;
    }

    // The top levels partitioned in parallel, the subtrees below them built as
    // parallel jobs, then every job's nodes copied to its place in depth-first
    // order and the top nodes' centres formed from their children's sums.
    _jobs.clear();
    _items.clear();
    buildTop(_records.data(), _scratch.data(), count, root, std::max(kTaskPoints, count / (8 * threads)));
#pragma omp parallel for schedule(dynamic, 1)
    for (long long j = 0; j < static_cast<long long>(_jobs.size()); ++j) {
        Job& job = _jobs[static_cast<std::size_t>(j)];
        job.nodes.clear();
        buildSubtree(job.records, job.scratch, job.count, job.box, job.nodes, job.sum);
    }
    for (std::size_t k = _items.size(); k-- > 0;) {
        Item& item = _items[k];
        if (item.job >= 0) {
            for (unsigned int d = 0; d < D; ++d) item.sum[d] = _jobs[static_cast<std::size_t>(item.job)].sum[d];
            continue;
        }
        if (item.node.point != kNoPoint) continue;
        for (const std::size_t child : item.children)
            for (unsigned int d = 0; d < D; ++d) item.sum[d] += _items[child].sum[d];
        for (unsigned int d = 0; d < D; ++d)
            item.node.centreOfMass[d] = item.sum[d] / static_cast<double>(item.node.count);
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
    for (const Node& node : _nodes)
        if (node.point != kNoPoint) order.push_back(node.point);
    if (order.size() == N) return;  // no stacked points, none left out
    std::vector<unsigned char> listed(N, 0);
    for (const unsigned int i : order) listed[i] = 1;
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
