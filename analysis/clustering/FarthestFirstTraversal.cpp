#include "analysis/clustering/FarthestFirstTraversal.h"

#include <omp.h>

#include <algorithm>
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
// Distances per kernel call (a stack buffer) and the smallest share of a
// scan worth a thread.
constexpr size_t kBatch = 256;
constexpr size_t kMinShare = 256;
// Below this many points the traversal runs on the calling thread alone.
constexpr size_t kParallelFrom = 512;
// The store of remaining points is compacted once this many (or an eighth of
// it) are traversed.
constexpr size_t kMinCompaction = 64;
// A finite R over a distance above kLevelFloor needs fewer than 1100 levels
// (2^1024 down to 2^-20); the cap only guards the arithmetic.
constexpr size_t kMaxLevels = 2048;

// Thread t's share of [0, size), in whole kernel blocks.
void share(size_t size, int t, int threads, size_t& begin, size_t& end) {
    size_t per = (size + static_cast<size_t>(threads) - 1) / static_cast<size_t>(threads);
    per = std::max(kMinShare, (per + kLanes - 1) / kLanes * kLanes);
    begin = std::min(size, per * static_cast<size_t>(t));
    end = std::min(size, begin + per);
}

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

// The farthest remaining point of one share: the largest distance above -1,
// ties to the earlier point in list order; and the earliest point, taken when
// no distance is above -1 (all undefined or from unequal lengths).
struct alignas(64) FarthestFirstTraversal::Choice {
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

    void consider(const Pick& p) {
        if (p.distance > -1.0 && (farthest.order == kNone || p.distance > farthest.distance ||
                                  (p.distance == farthest.distance && p.order < farthest.order))) {
            farthest = p;
        }
        if (p.order < first.order) first = p;
    }
    void merge(const Choice& c) {
        if (c.farthest.order != kNone) consider(c.farthest);
        if (c.first.order != kNone) consider(c.first);
    }
    // The point the traversal takes next.
    const Pick& taken() const {
        assert(first.order != kNone);
        return farthest.order != kNone ? farthest : first;
    }
};

// One thread's part of the traversal. Every thread keeps its own identical
// copy of the small shared facts (levels, R, store size) and decides the same
// steps; the first thread alone writes the points and the dendrogram.
class FarthestFirstTraversal::Worker {
public:
    Worker(FarthestFirstTraversal& run, Dendrogram& dendrogram, std::vector<Choice>& choices)
        : m_run(run),
          m_dendrogram(dendrogram),
          m_choices(choices),
          m_thread(omp_get_thread_num()),
          m_threads(omp_get_num_threads()),
          m_query(run.m_markers) {}

    void traverse() {
        const size_t n = m_run.m_points.size();
        size_t storeSize = n - 1, live = n - 1, removed = 0, current = kNone;
        double R = -1.0;
        Levels levels;
        setQuery(m_run.m_points[0]);
        scanRemaining(storeSize, current, 1, true, false, m_choices[static_cast<size_t>(m_threads + m_thread)]);
#pragma omp barrier
        for (size_t step = 2; step <= n; ++step) {
            const size_t parity = step % 2, previous = 1 - parity;
            Choice choice;
            for (int t = 0; t < m_threads; ++t) choice.merge(m_choices[previous * m_threads + static_cast<size_t>(t)]);
            const Choice::Pick& pick = choice.taken();

            cPoint_t* p = m_run.m_points[pick.order];
            const int id = static_cast<int>(step);
            if (step == 2) R = pick.distance;
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
            if (removed >= std::max(kMinCompaction, storeSize / 8)) {
                if (m_thread == 0) m_run.compact(storeSize, current);
                storeSize = live;
                removed = 0;
                current = kNone;
#pragma omp barrier
            }
            if (live > 0) {
                setQuery(p);
                scanRemaining(storeSize, current, id, leveled, newLevel,
                              m_choices[parity * m_threads + static_cast<size_t>(m_thread)]);
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

    // Measures this thread's share of the remaining points against the last
    // traversed one (id `lastId`) and records the farthest. When the last
    // point began a level, the nearest levelled points so far are kept first
    // as the parents of the points that will join that level.
    void scanRemaining(size_t storeSize, size_t current, int lastId, bool lastLeveled, bool newLevel, Choice& out) {
        size_t begin, end;
        share(storeSize, m_thread, m_threads, begin, end);
        Choice choice;
        double d[kBatch];
        for (size_t s = begin; s < end; s += kBatch) {
            const size_t e = std::min(end, s + kBatch);
            m_run.m_rem.distances(m_query.data(), s, e, d);
            for (size_t i = s; i < e; ++i) {
                Slot& q = m_run.m_slots[i];
                if (i == current) {
                    // Only this share reads the slot during the step.
                    q.order = kRemoved;
                    continue;
                }
                if (q.order == kRemoved) continue;
                const double di = m_run.m_mixed && q.length != m_queryLength ? -1.0 : d[i - s];
                if (newLevel) q.levelParent = q.nearParent;
                if (di < q.dist) {
                    q.dist = di;
                    q.parent = lastId;
                }
                if (lastLeveled && (di < q.near || (std::isnan(q.near) && !std::isnan(di)))) {
                    q.near = di;
                    q.nearParent = lastId;
                }
                choice.consider({i, q.order, q.dist, q.parent, q.nearParent, q.levelParent});
            }
        }
        out = choice;
    }

    FarthestFirstTraversal& m_run;
    Dendrogram& m_dendrogram;
    std::vector<Choice>& m_choices;
    const int m_thread;
    const int m_threads;
    std::vector<double> m_query;
    size_t m_queryLength = 0;
};

FarthestFirstTraversal::FarthestFirstTraversal(const std::list<cPoint_t*>& points) {
    for (cPoint_t* p : points) {
        if (p) m_points.push_back(p);
    }
}

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
    std::vector<Choice> choices(2 * static_cast<size_t>(threads));
#pragma omp parallel num_threads(threads)
    {
        Worker worker(*this, dendrogram, choices);
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
}

const double* FarthestFirstTraversal::padded(const cPoint_t* point) {
    std::fill(std::copy(point->coordinates.begin(), point->coordinates.end(), m_row.begin()), m_row.end(), 0.0);
    return m_row.data();
}

void FarthestFirstTraversal::attach(cPoint_t* point, int parentId) {
    point->parent = parentId;
    m_byId[static_cast<size_t>(parentId)]->children.push_back(point->id);
}

void FarthestFirstTraversal::compact(size_t storeSize, size_t current) {
    m_spare.reset(m_markers);
    size_t kept = 0;
    for (size_t i = 0; i < storeSize; ++i) {
        if (i == current || m_slots[i].order == kRemoved) continue;
        m_rem.copyEvent(i, m_row.data());
        m_spare.append(m_row.data());
        m_slots[kept++] = m_slots[i];
    }
    std::swap(m_rem, m_spare);
}
