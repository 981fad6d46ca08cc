// Selections and cluster sets of a focus-and-context map after a focus was
// set, when the focus's fine landmarks and the context's coarse ones stand
// for many of the same events: on "All Points" and on a down-sampled input,
// every selection lists each event once and every cluster set is a partition
// of the events its members stand for, checked against references built here
// from the hierarchy's lists.
#include "HsneFCAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <set>

namespace {

using Event = std::pair<int, int>;
using Lists = std::vector<std::vector<unsigned>>;

class HsneFCEventsOnce : public HsneFCAnalysisTest {
protected:
    const MCV_DerivedDataHierarchy::PointList& listOf(unsigned point) {
        const MCV_HsneFCAnalysis::PointNode& p = fc->pointNodes()->at(point);
        const auto* list = fc->hierarchy()->pointBasedHierarchyForLandmark(
            {p.first->scale, p.first->landmarkIdxs.at(static_cast<size_t>(p.second))});
        EXPECT_NE(list, nullptr);
        return list ? *list : empty;
    }
    int scaleOf(unsigned point) { return fc->pointNodes()->at(point).first->scale; }

    // The events of the points in the order of their first listing, each
    // once, of the files `shown` holds (all without it).
    Points expectedSelection(const std::vector<unsigned>& points, const std::vector<bool>* shown = nullptr) {
        Points out;
        std::set<Event> seen;
        for (unsigned i : points)
            for (const Event& e : listOf(i))
                if ((!shown || (*shown)[static_cast<size_t>(e.first)]) && seen.insert(e).second) out.push_back(e);
        return out;
    }
    // Each event goes to the cluster of the member of the lowest scale that
    // stands for it, the first such cluster among equals; within a cluster
    // the events of finer members come first, each in the order of its first
    // listing.
    std::vector<Points> expectedClusters(const Lists& clusters) {
        std::map<Event, std::pair<int, size_t>> owner;  // event: (scale, cluster)
        std::set<int> scales;
        for (size_t k = 0; k < clusters.size(); ++k)
            for (unsigned i : clusters[k]) {
                scales.insert(scaleOf(i));
                for (const Event& e : listOf(i)) {
                    const auto [it, added] = owner.emplace(e, std::make_pair(scaleOf(i), k));
                    if (!added && std::make_pair(scaleOf(i), k) < it->second) it->second = {scaleOf(i), k};
                }
            }
        std::vector<Points> out(clusters.size());
        for (size_t k = 0; k < clusters.size(); ++k) {
            std::set<Event> seen;
            for (int s : scales)
                for (unsigned i : clusters[k])
                    if (scaleOf(i) == s)
                        for (const Event& e : listOf(i))
                            if (owner.at(e).second == k && seen.insert(e).second) out[k].push_back(e);
        }
        return out;
    }
    std::vector<unsigned> everyPoint() {
        std::vector<unsigned> all(static_cast<size_t>(fc->numDataPoints()));
        std::iota(all.begin(), all.end(), 0u);
        return all;
    }
    // The points nearest to point `first` that together stand for a third of
    // the map's events: a box drawn over a third of the map. Counted by
    // events, not by points: a landmark of a high scale may stand for none,
    // and a box over such landmarks alone would give a focus with nothing to
    // refine.
    std::vector<unsigned> thirdAround(unsigned first) {
        std::vector<unsigned> order = everyPoint();
        const std::vector<float>& y = *fc->output();
        const auto distance = [&](unsigned i) {
            return std::hypot(y[2 * i] - y[2 * first], y[2 * i + 1] - y[2 * first + 1]);
        };
        std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return distance(a) < distance(b); });
        const size_t third = expectedSelection(order).size() / 3;
        std::vector<unsigned> box;
        for (size_t events = 0; events < third && box.size() < order.size();) {
            box.push_back(order[box.size()]);
            events += listOf(box.back()).size();
        }
        return box;
    }
    size_t listedEntries(const std::vector<unsigned>& points) {
        size_t n = 0;
        for (unsigned i : points) n += listOf(i).size();
        return n;
    }

    MCV_DerivedDataHierarchy::PointList empty;
};

struct MapRow {
    const char* name;
    unsigned keepPerFile;  // 0: "All Points"
    int scales;
    unsigned around;  // the focus: the third of the map nearest to this point
    int focusSteps;   // "Differentiate focus more." after the focus, the first of them its own refinement
    bool refineAll;   // then "Refine all."
};

TEST_F(HsneFCEventsOnce, SelectionsListEachEventOnceAndClusterSetsArePartitionsByTheFinestLandmark) {
    const MapRow rows[] = {
        {"All Points, 3 scales, a third of the map the focus", 0, 3, 1, 1, false},
        {"All Points, 4 scales, the focus two scales down", 0, 4, 2, 2, false},
        {"All Points, 3 scales, the focus and then everything refined", 0, 3, 0, 1, true},
        {"down-sampled to 500 of 900 per file, 3 scales, a third the focus", 500, 3, 1, 1, false},
    };
    for (const MapRow& row : rows) {
        SCOPED_TRACE(row.name);
        // A fresh data set per row; the analysis goes first, as its tree is there.
        fc.reset();
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&dataUi);
        // Blobs that touch, so that a box cuts through them.
        loadBlobs(3, 600, 4, 2, 2.0, false);
        data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.f);
        makeFc(row.scales, 100);
        MCV_DerivedDataPoints* input = allPoints();
        if (row.keepPerFile > 0) {
            input = data->derivedDataPoints("Down", true);
            input->downsample(allPoints(), {static_cast<int>(row.keepPerFile), static_cast<int>(row.keepPerFile)});
            ASSERT_EQ(input->data().size(), 2u * row.keepPerFile);
            // The same number of events, from a fixed draw: the down-sampling
            // draws anew on every run, and the map must not depend on it.
            Points fixed;
            std::mt19937 draw(5);
            for (int f = 0; f < 2; ++f) {
                std::vector<int> events(900);
                std::iota(events.begin(), events.end(), 0);
                std::shuffle(events.begin(), events.end(), draw);
                events.resize(row.keepPerFile);
                std::sort(events.begin(), events.end());
                for (int e : events) fixed.emplace_back(f, e);
            }
            input->setPoints(fixed, false);
            fc->setActiveDataSelection(input);
        }
        quietly([&] { fc->initHSNE(); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        std::vector<unsigned> focus = thirdAround(row.around);
        ASSERT_FALSE(focus.empty());
        quietly([&] {
            fc->setFocus(&focus);
            for (int k = 0; k < row.focusSteps; ++k) fc->differentiateFocusMore();
            if (row.refineAll) fc->refineAll();
        });
        const std::vector<unsigned> all = everyPoint();
        const Points onTheMap = expectedSelection(all);
        const std::set<Event> inputEvents(input->data().begin(), input->data().end());
        ASSERT_GT(listedEntries(all), onTheMap.size()) << "the leaves list some events more than once";
        for (const Event& e : onTheMap) ASSERT_TRUE(inputEvents.count(e)) << "an event beyond the input";

        // ---- Selections: all (Ctrl+A), a part, a part of the shown files ----
        std::vector<unsigned> part;
        for (unsigned i = 0; i < all.size(); i += 3) part.push_back(i);
        part.insert(part.end(), focus.begin(), focus.end());  // also points listed twice
        const std::vector<bool> firstFileOnly{true, false};
        const struct {
            const char* what;
            const std::vector<unsigned>& points;
            const std::vector<bool>* shown;
        } selections[] = {{"every point", all, nullptr},
                          {"every third point and the old focus", part, nullptr},
                          {"every point, the first file shown", all, &firstFileOnly}};
        for (const auto& s : selections) {
            SCOPED_TRACE(s.what);
            std::vector<unsigned> points = s.points;
            std::vector<bool> mask = s.shown ? *s.shown : std::vector<bool>();
            Points refs{{7, 7}};
            fc->computePointReferencesForLandmarkIdxs(&points, &refs, s.shown ? &mask : nullptr);
            EXPECT_EQ(std::set<Event>(refs.begin(), refs.end()).size(), refs.size()) << "an event twice";
            EXPECT_EQ(refs, expectedSelection(s.points, s.shown));
        }

        // ---- Cluster sets: over the whole map, with clusters sharing points, over a part ----
        Lists byThree(3), byBlob(3), focusAndAll(2), half(2);
        const std::vector<int> labels = landmarkLabels(fc.get());
        for (unsigned i : all) {
            byThree[i % 3].push_back(i);
            byBlob[static_cast<size_t>(std::clamp(labels[i], 0, 2))].push_back(i);
            if (fc->pointNodes()->at(i).first->isFocus()) focusAndAll[0].push_back(i);
            focusAndAll[1].push_back(i);
            if (i % 2 == 0) half[i % 4 / 2].push_back(i);
        }
        const struct {
            const char* what;
            const Lists& clusters;
        } sets[] = {{"every third point", byThree},
                    {"by blob", byBlob},
                    {"the focus, and every point again", focusAndAll},
                    {"every other point", half}};
        for (const auto& c : sets) {
            SCOPED_TRACE(c.what);
            Lists clusters = c.clusters;
            MCV_DerivedDataClusters* set = fc->updateClusters(&clusters, "C");
            ASSERT_NE(set, nullptr);
            ASSERT_EQ(set->clusters().size(), c.clusters.size());
            const std::vector<Points> expected = expectedClusters(c.clusters);
            std::set<Event> members;
            size_t total = 0;
            for (size_t k = 0; k < expected.size(); ++k) {
                EXPECT_EQ(set->clusters()[k], expected[k]) << "cluster " << k;
                members.insert(set->clusters()[k].begin(), set->clusters()[k].end());
                total += set->clusters()[k].size();
            }
            EXPECT_EQ(total, members.size()) << "an event in two clusters or twice in one";
            std::vector<unsigned> memberPoints;
            for (const auto& cluster : c.clusters)
                memberPoints.insert(memberPoints.end(), cluster.begin(), cluster.end());
            const Points everyEvent = expectedSelection(memberPoints);
            EXPECT_EQ(members, std::set<Event>(everyEvent.begin(), everyEvent.end())) << "not the members' events";
            EXPECT_EQ(set->landmarkClusters(), c.clusters) << "the map's clusters as drawn";
        }
    }
}

}  // namespace
