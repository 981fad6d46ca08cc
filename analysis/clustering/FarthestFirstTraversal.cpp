#include "analysis/clustering/FarthestFirstTraversal.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <cmath>
#include <iostream>
#include <limits>

namespace {

// Points nearer than this to the traversed ones join no level.
constexpr double kLevelFloor = 1e-06;
constexpr size_t kRemoved = std::numeric_limits<size_t>::max();
constexpr size_t kNone = kRemoved;
constexpr size_t kLanes = MCV_L1Columns<double>::kLanes;
// Distances per kernel call (a stack buffer), and the chunk of the store a
// thread takes at a time.
constexpr size_t kBatch = 256;
// Below this many points the traversal runs on the calling thread alone.
constexpr size_t kParallelFrom = 512;
// The store of remaining points is compacted once this many (or an eighth of
// it) are traversed.
constexpr size_t kMinCompaction = 64;
// The most steps without box tests after a step where few passed.
constexpr int kMaxPause = 64;
// A finite R over a distance above kLevelFloor needs fewer than 1100 levels
// (2^1024 down to 2^-20); the cap only guards the arithmetic.
constexpr size_t kMaxLevels = 2048;

// The distance levels of the traversal. Level 0 holds the first point; level
// l >= 1 covers distances in (R / 2^l, R / 2^(l-1)]. The traversal's distances
// never grow, so a point joins the deepest level or a new deeper one, and the
// levels above a point's own hold exactly the points traversed before its
// level began.
class Levels {
public:
    Levels() {
        m_levels.reserve(kMaxLevels + 1);
        m_levels.push_back({0.0, 0.0});
    }

    // Enters a point at `distance` (> kLevelFloor); true when it begins a new
    // level.
    bool place(double distance, double R) {
        if (m_levels.size() > 1 && covers(m_levels.back(), distance)) return false;
        const size_t before = m_levels.size();
        if (std::isfinite(R) && std::isfinite(distance) && distance <= R) {
            while (m_levels.size() < kMaxLevels) {
                const int k = static_cast<int>(m_levels.size()) + 1;
                m_levels.push_back({R / std::ldexp(1.0, k - 1), R / std::ldexp(1.0, k - 2)});
                if (covers(m_levels.back(), distance)) return true;
            }
        }
        // No bound covers an infinite or undefined distance (an overflowed
        // sum, NaN coordinates): the point joins the deepest level, or a new
        // first level, which keeps the levels in traversal order.
        if (m_levels.size() > before) return true;
        if (m_levels.size() > 1) return false;
        m_levels.push_back({R / 2.0, R});
        return true;
    }

private:
    struct Level {
        double lower;  // exclusive
        double upper;  // inclusive
    };
    static bool covers(const Level& level, double d) { return level.lower < d && d <= level.upper; }

    std::vector<Level> m_levels;
};

}  // namespace

// The farthest of some remaining points: the largest distance above -1, ties
// to the earlier point in list order; and the earliest point, taken when no
// distance is above -1 (all undefined or from unequal lengths). Merging is
// order-free, so any thread may measure any points.
struct FarthestFirstTraversal::Choice {
    struct Pick {
        size_t slot = kNone;
        size_t order = kNone;
        double distance = 0.0;
        int parent = -1;
        int nearParent = -1;
        int levelParent = -1;
    };
    Pick farthest;
    Pick first;

    void consider(const Slot& q, size_t slot) {
        if (q.dist > -1.0 && isFarther(q.dist, q.order))
            farthest = {slot, q.order, q.dist, q.parent, q.nearParent, q.levelParent};
        if (q.order < first.order) first = {slot, q.order, q.dist, q.parent, q.nearParent, q.levelParent};
    }
    void merge(const Choice& c) {
        if (c.farthest.order != kNone && isFarther(c.farthest.distance, c.farthest.order)) farthest = c.farthest;
        if (c.first.order < first.order) first = c.first;
    }
    bool isFarther(double d, size_t order) const {
        return farthest.order == kNone || d > farthest.distance || (d == farthest.distance && order < farthest.order);
    }
    // The point the traversal takes next.
    const Pick& taken() const {
        assert(first.order != kNone);
        return farthest.order != kNone ? farthest : first;
    }
};

// One thread's result of a step, and how many chunks of its share of the
// store have been taken (by it or, once it is done, by others), alone on
// their cache lines.
struct alignas(64) FarthestFirstTraversal::ThreadState {
    Choice choice;
    std::atomic<size_t> taken{0};
};

// What a block of 16 slots showed when last measured: its farthest and first
// points and the largest distance its points keep (NaN while some nearest
// levelled distance is undefined). It holds while the block's points are not
// measured nearer; traversal only removes points.
struct FarthestFirstTraversal::Block {
    bool cached = false;
    double bound = 0.0;
    Choice picks;
};

// One thread's part of the traversal. Every thread keeps its own identical
// copy of the small shared facts (levels, R, store size) and decides the same
// steps; the first thread alone writes the points and the dendrogram.
class FarthestFirstTraversal::Worker {
public:
    Worker(FarthestFirstTraversal& run, Dendrogram& dendrogram, std::vector<ThreadState>& state)
        : m_run(run),
          m_dendrogram(dendrogram),
          m_state(state),
          m_thread(omp_get_thread_num()),
          m_threads(omp_get_num_threads()),
          m_query(run.m_markers) {}

    void traverse() {
        const size_t n = m_run.m_points.size();
        size_t storeSize = n - 1, live = n - 1, removed = 0, current = kNone;
        double R = -1.0;
        Levels levels;
        setQuery(m_run.m_points[0]);
        scanRemaining(storeSize, current, 1, true, false, 1);
#pragma omp barrier
        for (size_t step = 2; step <= n; ++step) {
            const size_t parity = step % 2, previous = 1 - parity;
            Choice choice;
            for (int t = 0; t < m_threads; ++t) {
                choice.merge(m_state[previous * m_threads + static_cast<size_t>(t)].choice);
            }
            const Choice::Pick& pick = choice.taken();

            cPoint_t* p = m_run.m_points[pick.order];
            const int id = static_cast<int>(step);
            if (step == 2) R = pick.distance;
            if (m_thread == 0) {
                for (int t = 0; t < m_threads; ++t) m_state[previous * m_threads + static_cast<size_t>(t)].taken = 0;
            }
            const bool leveled = pick.distance > kLevelFloor;
            const bool newLevel = leveled && levels.place(pick.distance, R);
            if (m_thread == 0) {
                p->id = id;
                p->distance = pick.distance;
                m_dendrogram.insert_or_assign(m_dendrogram.end(), id, p);
                m_run.m_byId[step] = p;
                if (leveled) {
                    m_run.attach(p, newLevel ? pick.nearParent : pick.levelParent);
                } else {
                    // The point nearest so far; a point never measured (its
                    // starting distance was already this small) hangs below
                    // the root.
                    m_run.attach(p, pick.parent >= 1 && pick.parent < id ? pick.parent : 1);
                }
            }
            --live;
            ++removed;
            current = pick.slot;
            // Compaction also regroups the store along the dendrogram so far;
            // early on, when the dendrogram grows fastest, at every power of two.
            const bool regroup = step >= kMinCompaction && (step & (step - 1)) == 0;
            if (regroup || removed >= std::max(kMinCompaction, storeSize / 8)) {
                if (m_thread == 0) m_run.compact(storeSize, current, step);
                storeSize = live;
                removed = 0;
                current = kNone;
#pragma omp barrier
            }
            if (live > 0) {
                setQuery(p);
                scanRemaining(storeSize, current, id, leveled, newLevel, parity);
            }
#pragma omp barrier
        }
    }

private:
    void setQuery(const cPoint_t* point) {
        const std::vector<double>& c = point->coordinates;
        std::copy(c.begin(), c.end(), m_query.begin());
        std::fill(m_query.begin() + static_cast<long>(c.size()), m_query.end(), 0.0);
        m_queryLength = c.size();
    }

    // Measures the remaining points against the last traversed one and
    // records the farthest that this thread saw.
    void scanRemaining(size_t storeSize, size_t current, int lastId, bool lastLeveled, bool newLevel, size_t parity) {
        // Each thread takes the chunks of its own share first (their points
        // are still in its cache from the step before), then helps the others.
        const size_t chunks = (storeSize + kBatch - 1) / kBatch, threads = static_cast<size_t>(m_threads);
        const bool prune = m_run.m_prune && m_pause == 0;
        m_attempts = m_skips = 0;
        Choice choice;
        for (size_t k = 0; k < threads; ++k) {
            const size_t t = (static_cast<size_t>(m_thread) + k) % threads;
            const size_t first = chunks * t / threads, last = chunks * (t + 1) / threads;
            std::atomic<size_t>& taken = m_state[parity * threads + t].taken;
            for (size_t c = first + taken.fetch_add(1, std::memory_order_relaxed); c < last;
                 c = first + taken.fetch_add(1, std::memory_order_relaxed)) {
                scanChunk(c * kBatch, std::min(storeSize, (c + 1) * kBatch), current, lastId, lastLeveled, newLevel,
                          prune, choice);
            }
        }
        // Boxes that rarely pass cost more than they save (data without
        // clusters): after such a step, none are tried for a few steps.
        if (!prune) {
            m_pause = std::max(0, m_pause - 1);
        } else if (m_skips * 4 < m_attempts) {
            m_pause = m_backOff;
            m_backOff = std::min(kMaxPause, 2 * m_backOff);
        } else if (m_attempts > 0) {
            m_backOff = 1;
        }
        m_state[parity * threads + static_cast<size_t>(m_thread)].choice = choice;
    }

    // Measures the points of [begin, end) against the last traversed one (id
    // `lastId`) and merges their farthest into `choice`. A block whose box is
    // at least as far as every distance its points keep is passed over. When
    // the last point began a level, the nearest levelled points so far are
    // kept first as the parents of the points that will join that level.
    void scanChunk(size_t begin, size_t end, size_t current, int lastId, bool lastLeveled, bool newLevel, bool prune,
                   Choice& choice) {
        // Blocks from `pending` on still wait for their distances.
        size_t pending = begin;
        for (size_t s = begin; s < end; s += kLanes) {
            const size_t e = std::min(end, s + kLanes);
            Block& block = m_run.m_blocks[s / kLanes];
            const bool holdsCurrent = current >= s && current < e;
            // Only the thread measuring the block reads the slot this step.
            if (holdsCurrent) m_run.m_slots[current].order = kRemoved;
            if (newLevel) {
                for (size_t i = s; i < e; ++i) m_run.m_slots[i].levelParent = m_run.m_slots[i].nearParent;
            }
            if (!prune || !block.cached) continue;
            ++m_attempts;
            if (beyond(s / kLanes, block.bound)) {
                ++m_skips;
                measure(pending, s, lastId, lastLeveled, prune, choice);
                pending = e;
                if (holdsCurrent || newLevel) recache(s, e);
                choice.merge(block.picks);
            }
        }
        measure(pending, end, lastId, lastLeveled, prune, choice);
    }

    // Whether the box of block b is at least `bound` from the query. Each
    // term is at most the kernel's |x[m] - q[m]| for every x in the box, and
    // rounding is monotone, so the sum in marker order never exceeds a point's
    // distance.
    bool beyond(size_t b, double bound) const {
        if (std::isnan(bound)) return false;
        const double* lo = m_run.m_lo.data() + b * m_run.m_markers;
        const double* hi = m_run.m_hi.data() + b * m_run.m_markers;
        double sum = 0.0;
        for (size_t m = 0; m < m_run.m_markers; ++m) {
            const double q = m_query[m];
            sum += q < lo[m] ? lo[m] - q : q > hi[m] ? q - hi[m] : 0.0;
            if (sum >= bound) return true;
        }
        return sum >= bound;
    }

    // Measures [begin, end) and merges its farthest into `choice`; with
    // `keep`, also what each block shows for later steps.
    void measure(size_t begin, size_t end, int lastId, bool lastLeveled, bool keep, Choice& choice) {
        if (begin >= end) return;
        double d[kBatch];
        m_run.m_rem.distances(m_query.data(), begin, end, d);
        for (size_t s = begin; s < end; s += kLanes) {
            const size_t e = std::min(end, s + kLanes);
            Block& block = m_run.m_blocks[s / kLanes];
            Choice picks;
            double bound = -std::numeric_limits<double>::infinity();
            bool undefined = false;
            for (size_t i = s; i < e; ++i) {
                Slot& q = m_run.m_slots[i];
                if (q.order == kRemoved) continue;
                const double di = m_run.m_mixed && q.length != m_queryLength ? -1.0 : d[i - begin];
                if (di < q.dist) {
                    q.dist = di;
                    q.parent = lastId;
                }
                if (lastLeveled && (di < q.near || (std::isnan(q.near) && !std::isnan(di)))) {
                    q.near = di;
                    q.nearParent = lastId;
                }
                if (!keep) {
                    choice.consider(q, i);
                    continue;
                }
                picks.consider(q, i);
                if (q.dist > bound) bound = q.dist;
                if (q.near > bound) bound = q.near;
                undefined = undefined || std::isnan(q.near);
            }
            block.cached = keep;
            if (!keep) continue;
            block.picks = picks;
            block.bound = undefined ? std::numeric_limits<double>::quiet_NaN() : bound;
            choice.merge(picks);
        }
    }

    // The block's farthest and first points and the largest distance its
    // points keep. An undefined (NaN) distance is never replaced and does not
    // count, but an undefined nearest levelled distance is replaced by any
    // defined one: then there is no bound.
    void recache(size_t begin, size_t end) {
        Block& block = m_run.m_blocks[begin / kLanes];
        Choice picks;
        double bound = -std::numeric_limits<double>::infinity();
        bool undefined = false;
        for (size_t i = begin; i < end; ++i) {
            const Slot& q = m_run.m_slots[i];
            if (q.order == kRemoved) continue;
            picks.consider(q, i);
            if (q.dist > bound) bound = q.dist;
            if (q.near > bound) bound = q.near;
            undefined = undefined || std::isnan(q.near);
        }
        block.picks = picks;
        block.bound = undefined ? std::numeric_limits<double>::quiet_NaN() : bound;
        block.cached = true;
    }

    FarthestFirstTraversal& m_run;
    Dendrogram& m_dendrogram;
    std::vector<ThreadState>& m_state;
    const int m_thread;
    const int m_threads;
    std::vector<double> m_query;
    size_t m_queryLength = 0;
    // Box tests of the last step and how many passed; steps left without any.
    size_t m_attempts = 0;
    size_t m_skips = 0;
    int m_pause = 0;
    int m_backOff = 1;
};

FarthestFirstTraversal::FarthestFirstTraversal(const std::list<cPoint_t*>& points) {
    for (cPoint_t* p : points) {
        if (p) m_points.push_back(p);
    }
}

FarthestFirstTraversal::~FarthestFirstTraversal() = default;

void FarthestFirstTraversal::run(Dendrogram& dendrogram) {
    const size_t n = m_points.size();
    if (n == 0) return;
    // Ids are int.
    assert(n < static_cast<size_t>(INT_MAX));
    prepare();
    cPoint_t* root = m_points[0];
    root->id = 1;
    root->distance = 0.0;
    root->parent = -1;
    dendrogram.insert_or_assign(1, root);
    m_byId[1] = root;
    if (n == 1) return;

    const int threads = n >= kParallelFrom ? std::max(1, omp_get_max_threads()) : 1;
    // Two rounds of per-thread results: one is read while the next is written.
    std::vector<ThreadState> state(2 * static_cast<size_t>(threads));
#pragma omp parallel num_threads(threads)
    {
        Worker worker(*this, dendrogram, state);
        worker.traverse();
    }
}

void FarthestFirstTraversal::prepare() {
    const size_t n = m_points.size();
    const size_t length = m_points[0]->coordinates.size();
    for (const cPoint_t* p : m_points) {
        m_markers = std::max(m_markers, p->coordinates.size());
        m_mixed = m_mixed || p->coordinates.size() != length;
    }
    // Said once for the whole run rather than for every pair.
    if (m_mixed) std::cerr << "norm: vectors must be the same size!\n";
    m_row.assign(m_markers, 0.0);
    for (cPoint_t* p : m_points) p->children.clear();

    m_rem.reset(m_markers);
    m_rem.reserve(n - 1);
    m_spare.reset(m_markers);
    m_spare.reserve(n - 1);
    m_slots.resize(n - 1);
    for (size_t i = 1; i < n; ++i) {
        m_rem.append(padded(m_points[i]));
        // The first point is the first candidate parent of every point.
        m_slots[i - 1] = {i,
                          m_points[i]->distance,
                          -1,
                          1,
                          1,
                          std::numeric_limits<double>::quiet_NaN(),
                          m_points[i]->coordinates.size()};
    }
    m_byId.assign(n + 1, nullptr);
    m_prune = !m_mixed && m_markers > 0;
    m_spareSlots.resize(n - 1);
    m_rank.assign(n + 1, 0);
    m_count.assign(n + 1, 0);
    m_stack.reserve(n);
    boxBlocks();
}

const double* FarthestFirstTraversal::padded(const cPoint_t* point) {
    std::fill(std::copy(point->coordinates.begin(), point->coordinates.end(), m_row.begin()), m_row.end(), 0.0);
    return m_row.data();
}

void FarthestFirstTraversal::attach(cPoint_t* point, int parentId) {
    point->parent = parentId;
    m_byId[static_cast<size_t>(parentId)]->children.push_back(point->id);
}

void FarthestFirstTraversal::compact(size_t storeSize, size_t current, size_t traversed) {
    // Points below one subtree of the dendrogram are near each other: ranks
    // in depth-first order group them into tight blocks.
    size_t rank = 0;
    m_stack.assign(1, 1);
    while (!m_stack.empty()) {
        const int id = m_stack.back();
        m_stack.pop_back();
        m_rank[static_cast<size_t>(id)] = rank++;
        for (int child : m_byId[static_cast<size_t>(id)]->children) m_stack.push_back(child);
    }
    assert(rank == traversed);
    // A stable counting sort by the rank of the nearest levelled point.
    auto live = [&](size_t i) { return i != current && m_slots[i].order != kRemoved; };
    auto key = [&](size_t i) { return m_rank[static_cast<size_t>(m_slots[i].nearParent)]; };
    std::fill(m_count.begin(), m_count.begin() + static_cast<long>(traversed) + 1, 0);
    size_t kept = 0;
    for (size_t i = 0; i < storeSize; ++i) {
        if (!live(i)) continue;
        ++m_count[key(i) + 1];
        ++kept;
    }
    for (size_t r = 1; r <= traversed; ++r) m_count[r] += m_count[r - 1];
    m_order.resize(kept);
    for (size_t i = 0; i < storeSize; ++i) {
        if (live(i)) m_order[m_count[key(i)]++] = i;
    }
    m_spare.reset(m_markers);
    for (size_t j = 0; j < kept; ++j) {
        m_spareSlots[j] = m_slots[m_order[j]];
        m_rem.copyEvent(m_order[j], m_row.data());
        m_spare.append(m_row.data());
    }
    std::swap(m_rem, m_spare);
    std::swap(m_slots, m_spareSlots);
    boxBlocks();
}

void FarthestFirstTraversal::boxBlocks() {
    const size_t size = m_rem.size(), blocks = (size + kLanes - 1) / kLanes;
    m_blocks.assign(blocks, Block());
    if (!m_prune) return;
    m_lo.assign(blocks * m_markers, std::numeric_limits<double>::infinity());
    m_hi.assign(blocks * m_markers, -std::numeric_limits<double>::infinity());
    for (size_t i = 0; i < size; ++i) {
        double* lo = m_lo.data() + i / kLanes * m_markers;
        double* hi = m_hi.data() + i / kLanes * m_markers;
        for (size_t m = 0; m < m_markers; ++m) {
            // A NaN coordinate makes the point's distances undefined, and an
            // undefined distance never replaces a kept one.
            const double v = m_rem.value(i, m);
            if (v < lo[m]) lo[m] = v;
            if (v > hi[m]) hi[m] = v;
        }
    }
}
