#pragma once
// The random walks of many start points advanced side by side on one thread.
//
// A walk step waits on memory three times (the row, its block sums, the block of
// entries: vel/dr/WalkSteps.h), and one walk alone leaves the core idle in each
// wait. Here kLanes points walk at once, in lockstep: every round makes one step
// in every lane, in passes that first fetch the next read of every lane and only
// then use them, so the waits of the lanes overlap. Each lane walks exactly as
// the walk functions of HierarchicalSNE would, from the point's own engine and
// in the point's walk order, so the ends are the same whatever the lanes or the
// thread; only the order in which points finish differs.

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "vel/dr/WalkSteps.h"

namespace vel {
namespace dr {

class WalkLanes {
public:
    static constexpr unsigned int kLanes = 16;

    // Points whose walks one thread takes at a time, out of n on `threads`
    // threads: at most 2048, and small enough that every thread, the one that
    // reports progress included, gets several blocks even on small scales,
    // since walks differ in cost from region to region. Results do not depend
    // on it.
    static unsigned int blockSize(unsigned int n, int threads) {
        const unsigned int share = n / (8u * static_cast<unsigned int>(std::max(1, threads)));
        return std::min(2048u, std::max(64u, share));
    }

    // For every point i of [first, last): `walks` walks from i of length + 1
    // steps each, drawing from engineOf(i); a walk fails at a failing step.
    // onEnd(i, end) for the end vertex of every walk that does not fail, in walk
    // order for each point.
    template <typename Value, typename EngineOf, typename OnEnd>
    static void fixedLength(const WalkSteps<Value>& steps, unsigned int first, unsigned int last, unsigned int walks,
                            unsigned int length, EngineOf engineOf, OnEnd onEnd) {
        if (walks == 0 || first >= last) return;
        const unsigned long long stepsPerWalk = static_cast<unsigned long long>(length) + 1;
        Lane<Value> lanes[kLanes];
        unsigned int next = first;
        unsigned int active = 0;
        for (auto& lane : lanes)
            if (next < last) lane.begin(next++, engineOf), ++active;
        while (active > 0) {
            for (const auto& lane : lanes)
                if (lane.active) steps.prefetchRow(lane.vertex);
            for (auto& lane : lanes)
                if (lane.active) lane.open(steps);
            for (auto& lane : lanes)
                if (lane.active) steps.locate(lane.cursor, lane.u);
            for (auto& lane : lanes) {
                if (!lane.active) continue;
                const int reached = steps.finish(lane.cursor, lane.vertex, lane.u);
                bool walkOver = reached < 0;
                if (!walkOver) {
                    lane.vertex = static_cast<unsigned int>(reached);
                    if (++lane.steps == stepsPerWalk) {
                        onEnd(lane.point, lane.vertex);
                        walkOver = true;
                    }
                }
                if (walkOver && !lane.nextWalk(walks) && !lane.nextPoint(next, last, engineOf)) --active;
            }
        }
    }

    // For every point i of [first, last): `walks` walks from i, each until the
    // first vertex v with stop[v] != -1 after at least one step, drawing from
    // engineOf(i); a walk fails at a failing step or when maxLength steps do not
    // reach such a vertex (step maxLength + 1 is still made). onPoint(i, ends)
    // once per point, with stop[v] of the vertex each successful walk reached,
    // in walk order; a point without walks gets no ends.
    template <typename Value, typename EngineOf, typename OnPoint>
    static void toStop(const WalkSteps<Value>& steps, const std::vector<int>& stop, unsigned int first,
                       unsigned int last, unsigned int walks, unsigned int maxLength, EngineOf engineOf,
                       OnPoint onPoint) {
        if (first >= last) return;
        if (walks == 0) {
            const std::vector<unsigned int> none;
            for (unsigned int i = first; i < last; ++i) onPoint(i, none);
            return;
        }
        Lane<Value> lanes[kLanes];
        unsigned int next = first;
        unsigned int active = 0;
        for (auto& lane : lanes)
            if (next < last) lane.begin(next++, engineOf), ++active;
        const auto endWalk = [&](Lane<Value>& lane) {
            if (lane.nextWalk(walks)) return;
            onPoint(lane.point, lane.ends);
            lane.ends.clear();
            if (!lane.nextPoint(next, last, engineOf)) --active;
        };
        while (active > 0) {
            for (const auto& lane : lanes) {
                if (!lane.active) continue;
                steps.prefetchRow(lane.vertex);
                if (lane.reached) __builtin_prefetch(&stop[lane.vertex]);
            }
            for (auto& lane : lanes) {
                if (!lane.active) continue;
                // The vertex reached by the last step ends the walk when it is a stop.
                if (lane.reached) {
                    lane.reached = false;
                    const int end = stop[lane.vertex];
                    if (end != -1) {
                        lane.ends.push_back(static_cast<unsigned int>(end));
                        endWalk(lane);
                        if (!lane.active) continue;
                    }
                }
                lane.open(steps);
            }
            for (auto& lane : lanes)
                if (lane.active) steps.locate(lane.cursor, lane.u);
            for (auto& lane : lanes) {
                if (!lane.active) continue;
                const int reached = steps.finish(lane.cursor, lane.vertex, lane.u);
                if (reached < 0 || ++lane.steps > maxLength) {
                    endWalk(lane);
                } else {
                    lane.vertex = static_cast<unsigned int>(reached);
                    lane.reached = true;
                }
            }
        }
    }

private:
    template <typename Value>
    struct Lane {
        std::minstd_rand engine;
        std::uniform_real_distribution<double> distribution{0.0, 1.0};
        typename WalkSteps<Value>::Cursor cursor;
        double u = 0;
        unsigned long long steps = 0;
        unsigned int point = 0;
        unsigned int vertex = 0;
        unsigned int walk = 0;
        bool active = false;
        bool reached = false;  // the last step reached vertex, not yet checked against the stops
        std::vector<unsigned int> ends;

        template <typename EngineOf>
        void begin(unsigned int i, EngineOf& engineOf) {
            engine = engineOf(i);
            point = vertex = i;
            walk = 0;
            steps = 0;
            reached = false;
            active = true;
        }
        // Every step draws first, also one that then fails.
        void open(const WalkSteps<Value>& s) {
            u = distribution(engine);
            cursor = s.open(vertex);
        }
        // The next walk of the same point; false when the point has walked them all.
        bool nextWalk(unsigned int walks) {
            vertex = point;
            steps = 0;
            reached = false;
            return ++walk < walks;
        }
        template <typename EngineOf>
        bool nextPoint(unsigned int& next, unsigned int last, EngineOf& engineOf) {
            if (next >= last) {
                active = false;
                return false;
            }
            begin(next++, engineOf);
            return true;
        }
    };
};

}  // namespace dr
}  // namespace vel
