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
// it) are traversed; levelled points are copied into the level store in
// batches of this many.
constexpr size_t kMinCompaction = 64;
constexpr size_t kMaxPending = 64;
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
// l >= 1 covers distances in (R / 2^l, R / 2^(l-1)]. Points are numbered in
// level order, which is their traversal order: the traversal's distances never
// grow, so a point always joins the deepest level or a new deeper one.
class Levels {
public:
    void reset() {
        m_levels.clear();
        m_levels.reserve(kMaxLevels + 1);
        m_levels.push_back({0.0, 0.0, 0});
        m_count = 1;
    }
    size_t count() const { return m_count; }

    // Enters a point at `distance` (> kLevelFloor) and returns the number of
    // points in the levels above its own: its parent is the nearest of them.
    size_t place(double distance, double R) {
        const Level* into = nullptr;
        if (m_levels.size() > 1 && covers(m_levels.back(), distance)) {
            into = &m_levels.back();
        } else if (std::isfinite(R) && std::isfinite(distance) && distance <= R) {
            while (m_levels.size() < kMaxLevels) {
                const int k = static_cast<int>(m_levels.size()) + 1;
                m_levels.push_back({R / std::ldexp(1.0, k - 1), R / std::ldexp(1.0, k - 2), m_count});
                if (covers(m_levels.back(), distance)) {
                    into = &m_levels.back();
                    break;
                }
            }
        }
        if (!into) {
            // No bound covers an infinite or undefined distance (an overflowed
            // sum, NaN coordinates): the point joins the deepest level, or a
            // new first level, which keeps the level order the traversal order.
            if (m_levels.size() == 1) m_levels.push_back({R / 2.0, R, m_count});
            into = &m_levels.back();
        }
        ++m_count;
        return into->first;
    }

private:
    struct Level {
        double lower;  // exclusive
        double upper;  // inclusive
        size_t first;  // number of points in the levels above
    };
    static bool covers(const Level& level, double d) { return level.lower < d && d <= level.upper; }

    std::vector<Level> m_levels;
    size_t m_count = 0;
};

}  // namespace

// The farthest remaining point of one share: the largest distance above -1,
// ties to the earlier point in list order; and the earliest point, taken when
// no distance is above -1 (all undefined or from unequal lengths).
struct alignas(64) FarthestFirstTraversal::Choice {
    bool valid = false;
    double distance = 0.0;
    size_t order = kNone;
    size_t slot = kNone;
    int parent = -1;
    double firstDistance = 0.0;
    size_t firstOrder = kNone;
    size_t firstSlot = kNone;
    int firstParent = -1;

    void consider(double d, size_t o, size_t s, int p) {
        if (d > -1.0 && (!valid || d > distance || (d == distance && o < order))) {
            valid = true;
            distance = d;
            order = o;
            slot = s;
            parent = p;
        }
        if (o < firstOrder) {
            firstDistance = d;
            firstOrder = o;
            firstSlot = s;
            firstParent = p;
        }
    }
    void merge(const Choice& c) {
        if (c.valid) consider(c.distance, c.order, c.slot, c.parent);
        if (c.firstOrder != kNone) consider(c.firstDistance, c.firstOrder, c.firstSlot, c.firstParent);
    }
    // The point the traversal takes next.
    void settle() {
        if (valid) return;
        assert(firstOrder != kNone);
        distance = firstDistance;
        order = firstOrder;
        slot = firstSlot;
        parent = firstParent;
    }
};

// The nearest candidate parent of one share: the first candidate, replaced
// only by a strictly nearer one, so ties go to the earlier point; an undefined
// (NaN) distance counts as the farthest.
struct alignas(64) FarthestFirstTraversal::Nearest {
    bool valid = false;
    double distance = 0.0;
    size_t position = kNone;

    bool replacedBy(double d) const { return !valid || d < distance || (std::isnan(distance) && !std::isnan(d)); }
    void consider(double d, size_t p) {
        if (replacedBy(d)) {
            valid = true;
            distance = d;
            position = p;
        }
    }
};

// One thread's part of the traversal. Every thread keeps its own identical
// copy of the small shared facts (levels, R, store sizes) and decides the
// same steps; the first thread alone writes the points and the dendrogram.
class FarthestFirstTraversal::Worker {
public:
    Worker(FarthestFirstTraversal& run, Dendrogram& dendrogram, std::vector<Choice>& choices,
           std::vector<Nearest>& nearests)
        : m_run(run),
          m_dendrogram(dendrogram),
          m_choices(choices),
          m_nearests(nearests),
          m_thread(omp_get_thread_num()),
          m_threads(omp_get_num_threads()),
          m_query(run.m_markers) {}

    void traverse() {
        const size_t n = m_run.m_points.size();
        size_t storeSize = n - 1, live = n - 1, removed = 0, flushed = 1, current = kNone;
        double R = -1.0;
        Levels levels;
        levels.reset();
        cPoint_t* last = m_run.m_points[0];
        bool lastLeveled = false;
        setQuery(last);
        scanRemaining(storeSize, current, 1, m_choices[static_cast<size_t>(m_threads + m_thread)]);
#pragma omp barrier
        for (size_t step = 2; step <= n; ++step) {
            const size_t parity = step % 2, previous = 1 - parity;
            Choice choice;
            for (int t = 0; t < m_threads; ++t) choice.merge(m_choices[previous * m_threads + static_cast<size_t>(t)]);
            choice.settle();
            if (m_thread == 0 && lastLeveled) finishParent(last, previous);

            cPoint_t* p = m_run.m_points[choice.order];
            const int id = static_cast<int>(step);
            if (step == 2) R = choice.distance;
            const bool leveled = choice.distance > kLevelFloor;
            size_t prefix = 0;
            if (leveled) {
                const size_t position = levels.count();
                prefix = levels.place(choice.distance, R);
                if (m_thread == 0) m_run.m_levelPoint[position] = p;
            }
            if (m_thread == 0) {
                p->id = id;
                p->distance = choice.distance;
                m_dendrogram.insert_or_assign(m_dendrogram.end(), id, p);
                m_run.m_byId[step] = p;
                // The point nearest so far; a point never measured (its
                // starting distance was already this small) hangs below the root.
                if (!leveled) m_run.attach(p, choice.parent >= 1 && choice.parent < id ? choice.parent : 1);
            }
            --live;
            ++removed;
            current = choice.slot;
            const bool compact = removed >= std::max(kMinCompaction, storeSize / 8);
            if (compact || levels.count() - flushed >= kMaxPending) {
                if (m_thread == 0) m_run.sync(compact ? storeSize : 0, current, flushed, levels.count());
                if (compact) {
                    storeSize = live;
                    removed = 0;
                    current = kNone;
                }
                flushed = levels.count();
#pragma omp barrier
            }

            last = p;
            lastLeveled = leveled;
            setQuery(last);
            if (leveled) searchParent(prefix, flushed, m_nearests[parity * m_threads + static_cast<size_t>(m_thread)]);
            if (live > 0) {
                scanRemaining(storeSize, current, id, m_choices[parity * m_threads + static_cast<size_t>(m_thread)]);
            }
#pragma omp barrier
        }
        if (m_thread == 0 && lastLeveled) finishParent(last, n % 2);
    }

private:
    void setQuery(const cPoint_t* point) {
        const std::vector<double>& c = point->coordinates;
        std::copy(c.begin(), c.end(), m_query.begin());
        std::fill(m_query.begin() + static_cast<long>(c.size()), m_query.end(), 0.0);
        m_queryLength = c.size();
    }

    // Measures this thread's share of the remaining points against the last
    // traversed one (id `lastId`) and records the farthest.
    void scanRemaining(size_t storeSize, size_t current, int lastId, Choice& out) {
        size_t begin, end;
        share(storeSize, m_thread, m_threads, begin, end);
        Choice choice;
        double d[kBatch];
        for (size_t s = begin; s < end; s += kBatch) {
            const size_t e = std::min(end, s + kBatch);
            m_run.m_rem.distances(m_query.data(), s, e, d);
            for (size_t i = s; i < e; ++i) {
                if (i == current) {
                    // Only this share reads the slot during the step.
                    m_run.m_order[i] = kRemoved;
                    continue;
                }
                const size_t order = m_run.m_order[i];
                if (order == kRemoved) continue;
                const double di = m_run.m_mixed && m_run.m_length[i] != m_queryLength ? -1.0 : d[i - s];
                if (di < m_run.m_dist[i]) {
                    m_run.m_dist[i] = di;
                    m_run.m_parent[i] = lastId;
                }
                choice.consider(m_run.m_dist[i], order, i, m_run.m_parent[i]);
            }
        }
        out = choice;
    }

    // The nearest point of this thread's share of the first `prefix` levelled
    // points to the last traversed one; the first `flushed` of them are in the
    // level store, the rest are measured from their own coordinates.
    void searchParent(size_t prefix, size_t flushed, Nearest& out) const {
        size_t begin, end;
        share(prefix, m_thread, m_threads, begin, end);
        Nearest nearest;
        double d[kBatch];
        const size_t stored = std::min(end, flushed);
        for (size_t s = begin; s < stored; s += kBatch) {
            const size_t e = std::min(stored, s + kBatch);
            m_run.m_level.distances(m_query.data(), s, e, d);
            for (size_t i = s; i < e; ++i) nearest.consider(levelDistance(i, d[i - s]), i);
        }
        for (size_t i = std::max(begin, flushed); i < end; ++i) {
            const std::vector<double>& c = m_run.m_levelPoint[i]->coordinates;
            double sum = 0.0;
            for (size_t m = 0; m < c.size(); ++m) sum += std::fabs(c[m] - m_query[m]);
            nearest.consider(levelDistance(i, sum), i);
        }
        out = nearest;
    }

    double levelDistance(size_t position, double d) const {
        return m_run.m_mixed && m_run.m_levelPoint[position]->coordinates.size() != m_queryLength ? -1.0 : d;
    }

    void finishParent(cPoint_t* point, size_t parity) {
        Nearest nearest;
        for (int t = 0; t < m_threads; ++t) {
            const Nearest& n = m_nearests[parity * m_threads + static_cast<size_t>(t)];
            if (n.valid && nearest.replacedBy(n.distance)) nearest = n;
        }
        // The first point is always a candidate.
        assert(nearest.valid);
        m_run.attach(point, m_run.m_levelPoint[nearest.position]->id);
    }

    FarthestFirstTraversal& m_run;
    Dendrogram& m_dendrogram;
    std::vector<Choice>& m_choices;
    std::vector<Nearest>& m_nearests;
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
    std::vector<Nearest> nearests(2 * static_cast<size_t>(threads));
#pragma omp parallel num_threads(threads)
    {
        Worker worker(*this, dendrogram, choices, nearests);
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
    m_order.resize(n - 1);
    m_dist.resize(n - 1);
    m_parent.assign(n - 1, -1);
    m_length.resize(n - 1);
    for (size_t i = 1; i < n; ++i) {
        m_rem.append(padded(m_points[i]));
        m_order[i - 1] = i;
        m_dist[i - 1] = m_points[i]->distance;
        m_length[i - 1] = m_points[i]->coordinates.size();
    }
    m_level.reset(m_markers);
    m_level.reserve(n);
    m_level.append(padded(m_points[0]));
    m_levelPoint.assign(n, nullptr);
    m_levelPoint[0] = m_points[0];
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

void FarthestFirstTraversal::sync(size_t storeSize, size_t current, size_t flushed, size_t leveled) {
    for (size_t i = flushed; i < leveled; ++i) m_level.append(padded(m_levelPoint[i]));
    if (storeSize == 0) return;
    m_spare.reset(m_markers);
    size_t kept = 0;
    for (size_t i = 0; i < storeSize; ++i) {
        if (i == current || m_order[i] == kRemoved) continue;
        m_rem.copyEvent(i, m_row.data());
        m_spare.append(m_row.data());
        m_order[kept] = m_order[i];
        m_dist[kept] = m_dist[i];
        m_parent[kept] = m_parent[i];
        m_length[kept] = m_length[i];
        ++kept;
    }
    std::swap(m_rem, m_spare);
}
