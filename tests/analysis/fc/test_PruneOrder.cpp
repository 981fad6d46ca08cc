// "Prune Deepest Level" and "Prune Deepest + Combine" show each data point of
// the map once: of the landmarks on the leaves that are the same data point,
// the one in the leaf listed first keeps the point and the others get none.
// The focus is listed first, so its landmark keeps the point whether it is
// finer than the context landmark of the same data point (after "Set focus
// and differentiate.") or coarser (after "Differentiate focus less." takes
// the focus a scale above a context that "Refine all." took down to the data
// level, or above the finer context half of a split inside the focus, which
// it cannot take up). The events that a landmark without a point stands for
// and no landmark with a point does are off the map and read (0, 0) in both
// output columns; every other event holds the position of the finest
// landmark with a point standing for it. All of it is checked against the
// hierarchy's own landmark assignment, read here.
#include "HsneFCAnalysisTest.h"

#include "analysis/fc/MCV_MixedTransitionMatrix.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace {

using NodePtr = MCV_FCTree::NodePtr;
using Event = std::pair<int, int>;
// The kind (focus 0, context 2) and scale of each leaf, in order.
using Shape = std::vector<std::pair<int, int>>;

enum class Op { Focus, RefineAll, Less, More };

// Focus: the points of blob `label` (-1: of the focus leaf) whose own event
// lies below their median of `marker`.
struct Selection {
    int label = -1;
    const char* marker = nullptr;
};
// Whether focus landmarks keep the point of data points that context
// landmarks of another scale are as well, and of which.
enum class FocusIs { NotPaired, Finer, Coarser };
// Whether events go off the map through landmarks whose data point a finer
// or a coarser landmark keeps.
enum class Off { None, ByFiner, ByCoarser, ByBoth };
// What the step does to the events that went off the map before it through
// landmarks whose data point a coarser landmark kept: keeps them off or
// brings them back.
enum class Then { Any, Kept, Back };

struct Step {
    const char* name;
    Op op;
    Selection selection;
    Shape shape;
    FocusIs focus;
    Off off;
    Then then = Then::Any;
};

struct Road {
    const char* name;
    std::vector<Step> steps;
};
std::ostream& operator<<(std::ostream& os, const Road& r) { return os << r.name; }

const Road kRoads[] = {
    // "Refine all." takes the context down to the data level where the focus
    // is already; the focus then goes a scale up, above its context.
    {"OneSplit",
     {{"Set focus and differentiate.", Op::Focus, {2, "M1"}, {{0, 1}, {2, 2}}, FocusIs::Finer, Off::ByFiner},
      {"Refine all.", Op::RefineAll, {}, {{0, 0}, {2, 1}}, FocusIs::Finer, Off::ByFiner},
      {"Refine all.", Op::RefineAll, {}, {{0, 0}, {2, 0}}, FocusIs::NotPaired, Off::None},
      {"Differentiate focus less.", Op::Less, {}, {{0, 1}, {2, 0}}, FocusIs::Coarser, Off::ByCoarser},
      {"Differentiate focus more.", Op::More, {}, {{0, 0}, {2, 0}}, FocusIs::NotPaired, Off::None, Then::Back}}},
    // A second split inside the focus: coarsening its focus cannot take the
    // split up, and its context half stays a scale finer.
    {"SplitInsideTheFocus",
     {{"Set focus and differentiate.", Op::Focus, {2, "M1"}, {{0, 1}, {2, 2}}, FocusIs::Finer, Off::ByFiner},
      {"Set focus and differentiate.", Op::Focus, {-1, "M2"}, {{0, 0}, {2, 1}, {2, 2}}, FocusIs::Finer, Off::ByFiner},
      {"Refine all.", Op::RefineAll, {}, {{0, 0}, {2, 0}, {2, 1}}, FocusIs::Finer, Off::ByFiner},
      {"Differentiate focus less.", Op::Less, {}, {{0, 1}, {2, 0}, {2, 1}}, FocusIs::Coarser, Off::ByBoth},
      {"Differentiate focus less.", Op::Less, {}, {{0, 1}, {2, 0}, {2, 1}}, FocusIs::Coarser, Off::ByBoth, Then::Kept},
      {"Differentiate focus more.", Op::More, {}, {{0, 0}, {2, 0}, {2, 1}}, FocusIs::Finer, Off::ByFiner, Then::Back}}},
};

struct Mode {
    const char* name;
    int mode;
};
const Mode kModes[] = {{"Simple Combine", TransitionMatrixStandard},
                       {"Prune Deepest Level", TransitionMatrixPruneDeepest},
                       {"Prune Deepest + Combine", TransitionMatrixPruneDeepestOverwriteContext}};

// What a map shows: the scale and landmark of each point, and the events off
// it (all of them, and those only through a coarser or a finer landmark).
struct Snapshot {
    std::vector<std::pair<int, unsigned>> points;
    std::set<Event> off, offByCoarser, offByFiner;
};

class HsneFCPruneOrder : public HsneFCAnalysisTest, public testing::WithParamInterface<Road> {
protected:
    const MCV_DerivedDataHierarchy::PointList& eventsOf(const NodePtr& leaf, size_t j) {
        const auto* list = fc->hierarchy()->pointBasedHierarchyForLandmark({leaf->scale, leaf->landmarkIdxs.at(j)});
        return list ? *list : none;
    }

    std::vector<unsigned> belowMedian(std::vector<unsigned> points, const char* marker) {
        const std::vector<std::pair<int, int>>& refs = *fc->hierarchy()->pointReferences();
        std::vector<float> values;
        for (unsigned i : points) {
            const auto& [leaf, j] = fc->pointNodes()->at(i);
            const auto [file, event] = refs.at(leaf->globalIdxs.at(static_cast<size_t>(j)));
            values.push_back(at(file, event, var(marker)));
        }
        std::vector<float> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::vector<unsigned> chosen;
        for (size_t k = 0; k < points.size(); ++k)
            if (values[k] < sorted[sorted.size() / 2]) chosen.push_back(points[k]);
        return chosen;
    }

    void run(const Step& step) {
        std::vector<unsigned> selection;
        if (step.op == Op::Focus) {
            const int label = step.selection.label;
            if (label >= 0) selection = blob(fc.get(), label);
            for (unsigned i = 0; label < 0 && i < static_cast<unsigned>(fc->numDataPoints()); ++i)
                if (fc->pointNodes()->at(i).first->isFocus()) selection.push_back(i);
            selection = belowMedian(selection, step.selection.marker);
            ASSERT_FALSE(selection.empty());
        }
        quietly([&] {
            switch (step.op) {
                case Op::Focus:
                    fc->setFocus(&selection);
                    fc->differentiateFocusMore();
                    break;
                case Op::RefineAll:
                    fc->refineAll();
                    break;
                case Op::Less:
                    fc->differentiateFocusLess();
                    break;
                case Op::More:
                    fc->differentiateFocusMore();
                    break;
            }
        });
    }

    Shape shape() {
        Shape s;
        for (const NodePtr& leaf : leaves()) s.emplace_back(leaf->type, leaf->scale);
        return s;
    }

    // Checks the map after `step` and returns what it shows.
    Snapshot check(const Step& step, bool pruned) {
        Snapshot shot;
        EXPECT_EQ(shape(), step.shape);
        const MCV_FCTree::NodeList order = leaves();
        const std::vector<MCV_HsneFCAnalysis::PointNode>& nodes = *fc->pointNodes();
        // The point of each landmark that has one, and the landmark with a
        // point of each data point.
        std::map<std::pair<const HierarchyNode*, int>, size_t> pointOf;
        std::map<unsigned, std::pair<NodePtr, int>> keeper;
        std::set<Event> shown;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const auto& [leaf, j] = nodes[i];
            shot.points.emplace_back(leaf->scale, leaf->landmarkIdxs.at(static_cast<size_t>(j)));
            pointOf[{leaf.get(), j}] = i;
            const bool first = keeper.emplace(leaf->globalIdxs.at(static_cast<size_t>(j)), nodes[i]).second;
            EXPECT_TRUE(first || !pruned) << "two points of one data point";
            for (const Event& e : eventsOf(leaf, static_cast<size_t>(j))) shown.insert(e);
        }
        const auto position = [&](const NodePtr& leaf) {
            return std::find(order.begin(), order.end(), leaf) - order.begin();
        };
        size_t without = 0, keptLater = 0, focusFiner = 0, focusCoarser = 0;
        for (const NodePtr& leaf : order)
            for (size_t j = 0; j < leaf->numLandmarks(); ++j) {
                if (pointOf.count({leaf.get(), static_cast<int>(j)})) continue;
                ++without;
                const auto found = keeper.find(leaf->globalIdxs[j]);
                if (found == keeper.end()) {
                    ADD_FAILURE() << "a landmark of scale " << leaf->scale << " whose data point no point shows";
                    continue;
                }
                const NodePtr& other = found->second.first;
                const int k = found->second.second;
                keptLater += position(other) > position(leaf) || (other == leaf && k > static_cast<int>(j));
                if (other->isFocus() && !leaf->isFocus()) {
                    focusFiner += other->scale < leaf->scale;
                    focusCoarser += other->scale > leaf->scale;
                }
                for (const Event& e : eventsOf(leaf, j)) {
                    if (shown.count(e)) continue;
                    shot.off.insert(e);
                    if (other->scale > leaf->scale) shot.offByCoarser.insert(e);
                    if (other->scale < leaf->scale) shot.offByFiner.insert(e);
                }
            }
        EXPECT_EQ(keptLater, 0u) << "landmarks whose data point a landmark listed after them keeps";
        if (!pruned) {
            EXPECT_EQ(without, 0u);
        } else {
            EXPECT_EQ(std::make_tuple(focusFiner > 0, focusCoarser > 0),
                      std::make_tuple(step.focus == FocusIs::Finer, step.focus == FocusIs::Coarser))
                << focusFiner << " context landmarks of a coarser scale and " << focusCoarser
                << " of a finer scale whose data point the focus keeps";
            EXPECT_EQ(std::make_tuple(!shot.offByFiner.empty(), !shot.offByCoarser.empty()),
                      std::make_tuple(step.off == Off::ByFiner || step.off == Off::ByBoth,
                                      step.off == Off::ByCoarser || step.off == Off::ByBoth))
                << shot.offByFiner.size() << " events off through a finer landmark, " << shot.offByCoarser.size()
                << " through a coarser one";
        }

        // The columns: the events off the map read (0, 0), every other event
        // the position of the finest landmark with a point standing for it.
        const Owners owner = positionOwners();
        const std::vector<float>& y = *fc->output();
        EXPECT_EQ(y.size(), 2 * nodes.size());
        EXPECT_EQ(eventsOfNodes(order).size(), 3000u) << "the leaves stand for every event";
        size_t wrong = 0, offWritten = 0, neither = 0;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) {
                const float x = at(f, e, var("QLMRN_HsneDataX")), yv = at(f, e, var("QLMRN_HsneDataY"));
                const auto it = owner.find({f, e});
                if (shot.off.count({f, e})) {
                    offWritten += x != 0.f || yv != 0.f;
                } else if (it == owner.end()) {
                    ++neither;
                } else {
                    wrong += x != y.at(2 * it->second) || yv != y.at(2 * it->second + 1) || (x == 0.f && yv == 0.f);
                }
            }
        EXPECT_EQ(std::make_tuple(wrong, offWritten, neither), std::make_tuple(size_t(0), size_t(0), size_t(0)))
            << "events not at their owner's position, events off the map with a position, events "
               "neither on nor off the map (of "
            << shot.off.size() << " off)";
        return shot;
    }

    MCV_DerivedDataHierarchy::PointList none;
};

// Both orders on two roads of the menu, 3 scales over 3,000 events, in the
// way of joining the scales that shows every landmark and in both that prune.
TEST_P(HsneFCPruneOrder, TheLandmarkListedFirstKeepsThePointAndItsEventsAloneGoOff) {
    const std::vector<Step>& road = GetParam().steps;
    loadHsneBlobs(5, 600);
    std::map<int, std::vector<Snapshot>> shots;
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        makeFc(3, 10);
        fc->setTransitionMatrixMode(mode.mode);
        quietly([&] { fc->initHSNE(); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        const bool pruned = mode.mode != TransitionMatrixStandard;
        for (size_t k = 0; k < road.size(); ++k) {
            const Step& step = road[k];
            SCOPED_TRACE(testing::Message() << "step " << k + 1 << ", " << step.name);
            run(step);
            shots[mode.mode].push_back(check(step, pruned));
            const Snapshot& now = shots[mode.mode].back();
            if (!pruned) {
                EXPECT_TRUE(now.off.empty());
                continue;
            }
            if (step.then == Then::Any) continue;
            const Snapshot& earlier = shots[mode.mode][shots[mode.mode].size() - 2];
            ASSERT_FALSE(earlier.offByCoarser.empty());
            if (step.then == Then::Kept) {
                EXPECT_EQ(now.off, earlier.off);
            } else {
                size_t stillOff = 0;
                for (const Event& e : earlier.offByCoarser) stillOff += now.off.count(e);
                EXPECT_EQ(stillOff, 0u) << "of " << earlier.offByCoarser.size();
            }
        }
    }
    // The two pruning modes differ in the matrix only: the same landmarks
    // have points and the same events are off the map.
    const std::vector<Snapshot>& a = shots[TransitionMatrixPruneDeepest];
    const std::vector<Snapshot>& b = shots[TransitionMatrixPruneDeepestOverwriteContext];
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].points, b[k].points) << "step " << k + 1;
        EXPECT_EQ(a[k].off, b[k].off) << "step " << k + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, HsneFCPruneOrder, testing::ValuesIn(kRoads),
                         [](const testing::TestParamInfo<Road>& p) { return std::string(p.param.name); });

}  // namespace
