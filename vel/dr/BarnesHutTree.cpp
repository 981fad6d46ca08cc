#include "vel/dr/BarnesHutTree.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>

namespace vel {
namespace dr {

namespace {
// Subtrees of at most this many points are built by one task. Larger ones are
// split serially first, so that there are tasks for every thread.
constexpr std::size_t kTaskPoints = 2048;
// Below this many points the whole tree is built on one thread.
constexpr std::size_t kParallelPoints = 4096;
// Nodes of at least this many points are partitioned in tasks over runs.
constexpr std::size_t kTasksDistribute = 65536;
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
    // The child of a position; 1 << D for one between the children. Without
    // branches: the children of neighbouring records are as good as random.
    template <typename scalar_type>
    unsigned int childOf(const scalar_type* position) const {
        unsigned int child = 0, outside = 0;
        for (unsigned int d = 0; d < D; ++d) {
            const double p = static_cast<double>(position[d]);
            const unsigned int upper = (upperLo[d] <= p) & (p <= upperHi[d]);
            const unsigned int lower = (lowerLo[d] <= p) & (p <= lowerHi[d]);
            child |= (upper ^ 1u) << d;
            outside |= (upper | lower) ^ 1u;
        }
        return outside ? 1u << D : child;
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
    // Each record's child, found once; the points between the children count
    // apart, in the last slot.
    thread_local std::vector<unsigned char> children;
    if (children.size() < count) children.resize(count);
    std::size_t counts[kChildren + 1] = {};
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = halves.childOf(records[k].position);
        children[k] = static_cast<unsigned char>(c);
        ++counts[c];
    }
    start[0] = 0;
    for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] = start[c] + counts[c];
    std::size_t next[kChildren];
    for (unsigned int c = 0; c < kChildren; ++c) next[c] = start[c];
    if (counts[kChildren] == 0) {
        for (std::size_t k = 0; k < count; ++k) scratch[next[children[k]]++] = records[k];
        return;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const unsigned int c = children[k];
        if (c < kChildren)
            scratch[next[c]++] = records[k];
        else
            for (unsigned int d = 0; d < D; ++d) between[d] += static_cast<double>(records[k].position[d]);
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::distributeInTasks(const Record* records, std::size_t count, const Box& box,
                                                      Record* scratch, std::size_t* start, double* between) const {
    const Halves<D> halves(box.centre, box.width);
    const std::size_t runs = (count + kDistributionRun - 1) / kDistributionRun;
    const std::size_t width = kChildren + 1;  // the children, then the points between them
    std::vector<std::size_t> counts(runs * width, 0);
#pragma omp taskloop grainsize(1) default(shared)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        std::size_t* own = counts.data() + static_cast<std::size_t>(r) * width;
        const std::size_t end = std::min(count, static_cast<std::size_t>(r + 1) * kDistributionRun);
        for (std::size_t k = static_cast<std::size_t>(r) * kDistributionRun; k < end; ++k)
            ++own[halves.childOf(records[k].position)];
    }
    // Each run's first place per child: the children in order, within a child
    // the runs in order, as the serial distribution places them.
    for (unsigned int c = 0; c <= kChildren; ++c) start[c] = 0;
    std::size_t betweenCount = 0;
    for (std::size_t r = 0; r < runs; ++r) {
        for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += counts[r * width + c];
        betweenCount += counts[r * width + kChildren];
    }
    for (unsigned int c = 0; c < kChildren; ++c) start[c + 1] += start[c];
    std::size_t next[kChildren];
    for (unsigned int c = 0; c < kChildren; ++c) next[c] = start[c];
    for (std::size_t r = 0; r < runs; ++r)
        for (unsigned int c = 0; c < kChildren; ++c) {
            const std::size_t n = counts[r * width + c];
            counts[r * width + c] = next[c];
            next[c] += n;
        }
#pragma omp taskloop grainsize(1) default(shared)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        std::size_t* place = counts.data() + static_cast<std::size_t>(r) * width;
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
bool BarnesHutTree<scalar_type, D>::descend(Record*& records, Record*& scratch, std::size_t count, Box& box,
                                            std::size_t* start, double* between) const {
    for (;;) {
        if (oneStack(records, count)) return false;
        if (count >= kTasksDistribute)
            distributeInTasks(records, count, box, scratch, start, between);
        else
            distribute(records, count, box, scratch, start, between);
        unsigned int only = kChildren;
        for (unsigned int c = 0; c < kChildren; ++c)
            if (start[c + 1] - start[c] == count) only = c;
        if (only == kChildren) return true;
        box = childBox(box, only);
        std::swap(records, scratch);
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildSubtree(Record* records, Record* scratch, std::size_t count, const Box& box,
                                                 Region& out, double* sum) const {
    const std::size_t self = out.size;
    Box own = box;
    std::size_t start[kChildren + 1];
    Node node;
    node.count = static_cast<std::uint32_t>(count);
    node.next = static_cast<std::uint32_t>(self + 1);
    const bool inner = descend(records, scratch, count, own, start, sum);
    node.maxWidth = maxWidth(own);
    if (!inner) {
        leaf(records, count, node, sum);
        out.push(node);
        return;
    }
    node.point = kNoPoint;
    out.push(node);
    for (unsigned int c = 0; c < kChildren; ++c) {
        const std::size_t n = start[c + 1] - start[c];
        if (n == 0) continue;
        double childSum[D];
        buildSubtree(scratch + start[c], records + start[c], n, childBox(own, c), out, childSum);
        for (unsigned int d = 0; d < D; ++d) sum[d] += childSum[d];
    }
    if (Node* done = out.at(self)) {
        for (unsigned int d = 0; d < D; ++d) done->centreOfMass[d] = sum[d] / static_cast<double>(count);
        done->next = static_cast<std::uint32_t>(out.size);
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildTop(Top& top, Record* records, Record* scratch, std::size_t count,
                                             const Box& box, std::size_t cutoff) {
    Box own = box;
    std::size_t start[kChildren + 1];
    top.node.count = static_cast<std::uint32_t>(count);
    const bool inner = descend(records, scratch, count, own, start, top.sum);
    top.node.maxWidth = maxWidth(own);
    if (!inner) {
        leaf(records, count, top.node, top.sum);
        return;
    }
    top.node.point = kNoPoint;
    for (unsigned int c = 0; c < kChildren; ++c) {
        const std::size_t n = start[c + 1] - start[c];
        if (n == 0) continue;
        top.children.push_back(std::make_unique<Top>());
        Top* child = top.children.back().get();
        Record* childRecords = scratch + start[c];
        Record* childScratch = records + start[c];
        const Box childBounds = childBox(own, c);
        if (n > cutoff) {
#pragma omp task default(shared) firstprivate(child, childRecords, childScratch, n, childBounds)
            buildTop(*child, childRecords, childScratch, n, childBounds, cutoff);
        } else {
            child->job = true;
            child->records = childRecords;
            child->scratch = childScratch;
            child->points = n;
            child->box = childBounds;
        }
    }
#pragma omp taskwait
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::place(Top& top, std::size_t& node, std::vector<Top*>& jobs) {
    top.place = node;
    if (top.job) {
        top.capacity = 2 * top.points + 1;
        node += top.capacity;
        jobs.push_back(&top);
        return;
    }
    ++node;
    for (const auto& child : top.children) place(*child, node, jobs);
    top.node.next = static_cast<std::uint32_t>(node);
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::summariseTop(Top& top, std::size_t& leaf, std::vector<Top*>& tops) {
    top.firstLeaf = leaf;
    if (top.job) {
        leaf += top.leaves;
        return;
    }
    tops.push_back(&top);
    if (top.node.point != kNoPoint) {
        ++leaf;
        return;
    }
    for (const auto& child : top.children) {
        summariseTop(*child, leaf, tops);
        for (unsigned int d = 0; d < D; ++d) top.sum[d] += child->sum[d];
    }
    for (unsigned int d = 0; d < D; ++d) top.node.centreOfMass[d] = top.sum[d] / static_cast<double>(top.node.count);
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::completeOrder(unsigned int N) {
    if (_order.size() == N) return;  // no stacked points, none left out
    std::vector<unsigned char> listed(N, 0);
    for (const unsigned int i : _order) listed[i] = 1;
    for (unsigned int i = 0; i < N; ++i)
        if (!listed[i]) _order.push_back(i);
}

template <typename scalar_type, unsigned int D>
std::size_t BarnesHutTree<scalar_type, D>::fillRecords(const scalar_type* y, unsigned int N) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < N; ++i) {
        Record record;
        if (makeRecord(y, i, _root, record)) _records[count++] = record;
    }
    return count;
}

template <typename scalar_type, unsigned int D>
bool BarnesHutTree<scalar_type, D>::makeRecord(const scalar_type* y, std::size_t i, const Box& box, Record& record) {
    bool inside = true;
    for (unsigned int d = 0; d < D; ++d) {
        record.position[d] = y[i * D + d];
        const double p = static_cast<double>(record.position[d]);
        if (box.centre[d] - box.width[d] > p || box.centre[d] + box.width[d] < p) inside = false;
    }
    record.index = static_cast<std::uint32_t>(i);
    return inside;
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildSerially() {
    const std::size_t capacity = 2 * _count + 1;
    if (_nodes.size() < capacity) _nodes.resize(capacity);
    Region region{_nodes.data(), capacity};
    double sum[D];
    buildSubtree(_records.data(), _scratch.data(), _count, _root, region, sum);
    assert(!region.overflowed());
    _end = region.size;
    _order.clear();
    for (std::size_t k = 0; k < _end; ++k)
        if (_nodes[k].point != kNoPoint) _order.push_back(_nodes[k].point);
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::buildInParts(int threads) {
    // The top levels as tasks, each partitioning its node and handing its
    // children on. Then the subtrees below them as tasks, each into a region of
    // its own in depth-first order, 2n + 1 places for n points: with no node of
    // a single child and nothing between, a subtree has at most 2n - 1 nodes.
    // The walk skips the places a region leaves unused.
    const std::size_t cutoff = std::max(kTaskPoints, _count / (8 * static_cast<std::size_t>(threads)));
    Top top;
    std::vector<Top*> jobs;
    std::size_t places = 0;
    buildTop(top, _records.data(), _scratch.data(), _count, _root, cutoff);
    place(top, places, jobs);
    if (_nodes.size() < places) _nodes.resize(places);
#pragma omp taskloop grainsize(1) default(shared)
    for (long long j = 0; j < static_cast<long long>(jobs.size()); ++j) {
        Top& job = *jobs[static_cast<std::size_t>(j)];
        Region region{_nodes.data() + job.place, job.capacity};
        buildSubtree(job.records, job.scratch, job.points, job.box, region, job.sum);
        assert(!region.overflowed());
        job.size = region.size;
        for (std::size_t n = 0; n < region.size; ++n) job.leaves += region.data[n].point != kNoPoint;
    }

    std::size_t leaves = 0;
    std::vector<Top*> tops;
    summariseTop(top, leaves, tops);
    _end = places;
    _order.resize(leaves);
    for (const Top* t : tops) {
        _nodes[t->place] = t->node;
        if (t->node.point != kNoPoint) {
            _nodes[t->place].next = static_cast<std::uint32_t>(t->place + 1);
            _order[t->firstLeaf] = t->node.point;
        }
    }
#pragma omp taskloop grainsize(1) default(shared)
    for (long long j = 0; j < static_cast<long long>(jobs.size()); ++j) {
        const Top& job = *jobs[static_cast<std::size_t>(j)];
        Node* nodes = _nodes.data() + job.place;
        unsigned int* order = _order.data() + job.firstLeaf;
        const std::uint32_t base = static_cast<std::uint32_t>(job.place);
        const std::uint32_t after = static_cast<std::uint32_t>(job.place + job.capacity);
        for (std::size_t n = 0; n < job.size; ++n) {
            Node& node = nodes[n];
            node.next = node.next == job.size ? after : base + node.next;
            if (node.point != kNoPoint) *order++ = node.point;
        }
    }
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::prepare(unsigned int N) {
    resizeBuffers(N);
    _prepared = N;
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::resizeBuffers(unsigned int N) {
    const std::size_t runs = (static_cast<std::size_t>(N) + kDistributionRun - 1) / kDistributionRun;
    _runBounds.resize(runs * 3 * D);
    _records.resize(N);
}

template <typename scalar_type, unsigned int D>
void BarnesHutTree<scalar_type, D>::build(const scalar_type* y, unsigned int N, bool wait) {
    if (_prepared != N) {
#pragma omp single
        resizeBuffers(N);
    }
    const std::size_t runs = (static_cast<std::size_t>(N) + kDistributionRun - 1) / kDistributionRun;
    // The root box from sums over fixed runs of points, added in order; the
    // records are written as the runs are read.
#pragma omp for schedule(static)
    for (long long r = 0; r < static_cast<long long>(runs); ++r) {
        double* sum = _runBounds.data() + static_cast<std::size_t>(r) * 3 * D;
        double* lo = sum + D;
        double* hi = lo + D;
        for (unsigned int d = 0; d < D; ++d) {
            sum[d] = 0.0;
            lo[d] = DBL_MAX;
            hi[d] = -DBL_MAX;
        }
        const std::size_t end = std::min<std::size_t>(N, static_cast<std::size_t>(r + 1) * kDistributionRun);
        for (std::size_t n = static_cast<std::size_t>(r) * kDistributionRun; n < end; ++n) {
            Record& record = _records[n];
            for (unsigned int d = 0; d < D; ++d) {
                record.position[d] = y[n * D + d];
                const double v = static_cast<double>(record.position[d]);
                sum[d] += v;
                if (v < lo[d]) lo[d] = v;
                if (v > hi[d]) hi[d] = v;
            }
            record.index = static_cast<std::uint32_t>(n);
        }
    }
    // Every thread forms the root box alike: cheaper than another wait.
    Box root;
    double lo[D], hi[D];
    {
        double mean[D] = {};
        for (unsigned int d = 0; d < D; ++d) {
            lo[d] = DBL_MAX;
            hi[d] = -DBL_MAX;
        }
        for (std::size_t r = 0; r < runs; ++r)
            for (unsigned int d = 0; d < D; ++d) {
                const double* p = _runBounds.data() + r * 3 * D;
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
#pragma omp single nowait
    {
        _root = root;
        _prepared = kNotPrepared;
        // Every point lies in the root box when the box holds the bounds of
        // all points, as the test of each point (makeRecord) finds it. Not so
        // with not-a-number or infinite coordinates (the comparisons fail),
        // nor when rounding ate the margin of a box far from the origin: then
        // the points in the box are picked one by one and the rest take no
        // part.
        bool covered = true;
        for (unsigned int d = 0; d < D; ++d)
            if (!(root.centre[d] - root.width[d] <= lo[d] && root.centre[d] + root.width[d] >= hi[d])) covered = false;
        _count = covered ? N : fillRecords(y, N);
        _scratch.resize(_count);
        _end = 0;
        _order.clear();
        const int threads = omp_get_num_threads();
        if (_count == 0) {
            // No tree.
        } else if (_count < kParallelPoints || threads == 1) {
            buildSerially();
        } else {
            buildInParts(threads);
        }
        completeOrder(N);
    }
    if (wait) {
#pragma omp barrier
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
    const std::size_t end = _end;
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

template class BarnesHutTree<float, 1>;
template class BarnesHutTree<float, 2>;
template class BarnesHutTree<float, 3>;
template class BarnesHutTree<double, 1>;
template class BarnesHutTree<double, 2>;
template class BarnesHutTree<double, 3>;

}  // namespace dr
}  // namespace vel
