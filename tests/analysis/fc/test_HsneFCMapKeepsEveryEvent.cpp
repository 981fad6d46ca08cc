// The operations of the focus-and-context view's menu in the sequences users
// go, and in seeded walks, on hierarchies of 2 and 4 scales over 3,000
// events. After every step the leaves stand for every event the map stood
// for before, every event on the map holds its point's position (never
// (0, 0)) and every event off the map reads (0, 0).
#include "HsneFCAnalysisTest.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <tuple>

namespace {

using NodePtr = MCV_FCTree::NodePtr;

enum class Op { Focus, More, Less, RefineAll, CoarsenAll };
const char* const kOpNames[] = {"Set focus and differentiate.", "Differentiate focus more.",
                                "Differentiate focus less.", "Refine all.", "Coarsen All."};

// What "Set focus and differentiate." selects: every point (Ctrl+A), or the
// points of blob `label` (any blob: -1) in the leaf of the wanted kind that
// holds most of them; with a share, only that share of the map's points
// nearest to the first of them (a box drawn in the plot).
enum class Where { AnyLeaf, FocusLeaf, ContextLeaf, Everything };
struct Selection {
    Where where = Where::AnyLeaf;
    int label = -1;
    double share = 0;
};

// The kinds (focus 0, context 2) and scales of the leaves, in order.
using Shape = std::vector<std::pair<int, int>>;

struct Step {
    Op op;
    Selection selection = {};
    Shape shape = {};  // when given, the leaves after the step
};

struct Sequence {
    const char* name;
    int scales;
    std::vector<Step> steps;
};

std::ostream& operator<<(std::ostream& os, const Sequence& s) { return os << s.name; }

const Sequence kSequences[] = {
    // Focus refined twice, then coarsened: the focus one scale coarser, the
    // context (a half of the root's split, with nothing coarser) in place.
    {"FocusRefinedTwiceThenCoarsenAll",
     4,
     {{Op::Focus, {Where::AnyLeaf, 2}, {{0, 2}, {2, 3}}},
      {Op::More, {}, {{0, 1}, {2, 3}}},
      {Op::CoarsenAll, {}, {{0, 2}, {2, 3}}},
      {Op::CoarsenAll, {}, {{0, 3}}},
      {Op::RefineAll},
      {Op::Less}}},
    {"FocusRefinedThreeTimesThenCoarsenAllTwice",
     4,
     {{Op::Focus, {Where::AnyLeaf, 1}},
      {Op::More},
      {Op::More, {}, {{0, 0}, {2, 3}}},
      {Op::CoarsenAll, {}, {{0, 1}, {2, 3}}},
      {Op::CoarsenAll, {}, {{0, 2}, {2, 3}}},
      {Op::Less}}},
    // Ctrl+A on the data level: the whole leaf is the focus already, and
    // coarsening it gives it back to the scale above.
    {"WholeMapFocusOnTheDataLevelGoesBackUp",
     2,
     {{Op::RefineAll, {}, {{0, 0}}},
      {Op::Focus, {Where::Everything}, {{0, 0}}},
      {Op::Less, {}, {{0, 1}}},
      {Op::CoarsenAll, {}, {{0, 1}}}}},
    // A box of a sixth of the data on the data level: the focus has nothing
    // coarser and stays.
    {"BoxFocusOnTheDataLevelStays",
     2,
     {{Op::RefineAll},
      {Op::Focus, {Where::AnyLeaf, -1, 0.16}, {{0, 0}, {2, 0}}},
      {Op::Less, {}, {{0, 0}, {2, 0}}},
      {Op::CoarsenAll, {}, {{0, 0}, {2, 0}}},
      {Op::More}}},
    {"WholeMapFocusAtTheTop",
     4,
     {{Op::Focus, {Where::Everything}, {{0, 2}}},
      {Op::Less, {}, {{0, 3}}},
      {Op::Focus, {Where::Everything}},
      {Op::CoarsenAll, {}, {{0, 3}}}}},
    {"SmallBoxFocus", 4, {{Op::Focus, {Where::AnyLeaf, -1, 0.015}}, {Op::More}, {Op::Less}, {Op::CoarsenAll}}},
    {"SmallBoxesInsideTheFocus",
     4,
     {{Op::Focus, {Where::AnyLeaf, 3}},
      {Op::Focus, {Where::FocusLeaf, -1, 0.02}},
      {Op::More},
      {Op::CoarsenAll},
      {Op::Less},
      {Op::CoarsenAll}}},
    // The new focus in the context half of the root's split, then in a
    // context leaf made by refining.
    {"FocusMovedIntoTheContext",
     4,
     {{Op::Focus, {Where::AnyLeaf, 0}},
      {Op::Focus, {Where::ContextLeaf, 3}},
      {Op::RefineAll},
      {Op::Focus, {Where::ContextLeaf, 1}},
      {Op::Less},
      {Op::CoarsenAll},
      {Op::More}}},
    {"TwoScalesEveryOperation",
     2,
     {{Op::Focus, {Where::AnyLeaf, 0}},
      {Op::Less},
      {Op::Less},
      {Op::CoarsenAll},
      {Op::RefineAll},
      {Op::Focus, {Where::Everything}},
      {Op::More},
      {Op::Less},
      {Op::Focus, {Where::ContextLeaf, -1, 0.05}}}},
};

class HsneFCMap : public HsneFCAnalysisTest {
protected:
    void compute(int scales, int mode = 0) {
        loadHsneBlobs(5, 600);
        makeFc(scales, 10);
        fc->setTransitionMatrixMode(mode);
        // The pruning modes show only landmarks of the deepest scale on the
        // map; the tree keeps the others.
        pointsKeepEvents = mode == 0 || mode == 3;
        quietly([&] { fc->initHSNE(); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        before = beforeOnLeaves = embedded();
        ASSERT_EQ(before.size(), 3000u) << "the top scale stands for every event";
    }

    // For each event on the map, the point whose position it holds.
    Owners owners() { return positionOwners(); }
    Events embedded() {
        Events events;
        for (const auto& [event, point] : owners()) events.insert(event);
        return events;
    }

    std::vector<unsigned> select(const Selection& s) {
        const std::vector<MCV_HsneFCAnalysis::PointNode>& nodes = *fc->pointNodes();
        std::vector<unsigned> chosen;
        if (s.where == Where::Everything) {
            chosen.resize(nodes.size());
            std::iota(chosen.begin(), chosen.end(), 0u);
            return chosen;
        }
        const std::vector<int> labels = landmarkLabels(fc.get());
        std::map<unsigned, std::vector<unsigned>> byLeaf;  // by leaf id
        for (size_t i = 0; i < nodes.size(); ++i) {
            const NodePtr& leaf = nodes[i].first;
            const bool kind = s.where == Where::AnyLeaf || (s.where == Where::FocusLeaf) == leaf->isFocus();
            if (kind && (s.label < 0 || labels[i] == s.label)) byLeaf[leaf->id].push_back(static_cast<unsigned>(i));
        }
        for (const auto& [id, points] : byLeaf)
            if (points.size() > chosen.size()) chosen = points;
        if (s.share > 0 && !chosen.empty()) {
            const std::vector<float>& y = *fc->output();
            const unsigned first = chosen.front();
            auto distance = [&](unsigned i) {
                return std::hypot(y[2 * i] - y[2 * first], y[2 * i + 1] - y[2 * first + 1]);
            };
            std::stable_sort(chosen.begin(), chosen.end(),
                             [&](unsigned a, unsigned b) { return distance(a) < distance(b); });
            chosen.resize(std::min(chosen.size(), std::max<size_t>(2, static_cast<size_t>(s.share * nodes.size()))));
        }
        return chosen;
    }

    void run(Op op, const Selection& selection) {
        quietly([&] {
            switch (op) {
                case Op::Focus: {
                    std::vector<unsigned> chosen = select(selection);
                    fc->setFocus(&chosen);
                    fc->differentiateFocusMore();
                    break;
                }
                case Op::More:
                    fc->differentiateFocusMore();
                    break;
                case Op::Less:
                    fc->differentiateFocusLess();
                    break;
                case Op::RefineAll:
                    fc->refineAll();
                    break;
                case Op::CoarsenAll:
                    fc->coarsenAll();
                    break;
            }
        });
    }

    Shape shape() {
        Shape s;
        for (const NodePtr& leaf : leaves()) s.emplace_back(leaf->type, leaf->scale);
        return s;
    }

    // The map after a step: every event it stood for is still on it, and the
    // output columns hold what it shows.
    void expectEveryEventKept() {
        const Events onLeaves = eventsOfNodes(leaves());
        EXPECT_TRUE(keepsEvery(beforeOnLeaves, onLeaves)) << "by the leaves";
        beforeOnLeaves = onLeaves;
        const Owners owner = owners();
        Events now;
        for (const auto& [event, point] : owner) now.insert(event);
        if (pointsKeepEvents) {
            EXPECT_TRUE(keepsEvery(before, now)) << "by the points";
        }
        const std::vector<float>& y = *fc->output();
        ASSERT_EQ(y.size(), 2 * fc->pointNodes()->size());
        size_t wrong = 0, zeroOnMap = 0, staleOffMap = 0;
        for (int f = 0; f < data->numFiles(); ++f)
            for (int e = 0; e < data->header(f)->numEvents(); ++e) {
                const auto it = owner.find({f, e});
                const float x = at(f, e, var("QLMRN_HsneDataX")), yv = at(f, e, var("QLMRN_HsneDataY"));
                if (it == owner.end()) {
                    staleOffMap += x != 0.f || yv != 0.f;
                    continue;
                }
                wrong += x != y[2 * it->second] || yv != y[2 * it->second + 1];
                zeroOnMap += x == 0.f && yv == 0.f;
            }
        EXPECT_EQ(std::make_tuple(wrong, zeroOnMap, staleOffMap), std::make_tuple(size_t(0), size_t(0), size_t(0)))
            << "events holding another position, on the map at (0, 0), off the map not at (0, 0)";
        before = now;
    }

    Events before, beforeOnLeaves;
    bool pointsKeepEvents = true;
};

class HsneFCMapSequences : public HsneFCMap, public testing::WithParamInterface<Sequence> {};

TEST_P(HsneFCMapSequences, EveryStepKeepsEveryEventOnTheMapAndInTheColumns) {
    const Sequence& sequence = GetParam();
    compute(sequence.scales);
    for (size_t k = 0; k < sequence.steps.size(); ++k) {
        const Step& step = sequence.steps[k];
        SCOPED_TRACE(testing::Message() << "step " << k + 1 << ", " << kOpNames[static_cast<int>(step.op)]);
        run(step.op, step.selection);
        expectEveryEventKept();
        if (!step.shape.empty()) {
            EXPECT_EQ(shape(), step.shape);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Menu, HsneFCMapSequences, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<Sequence>& p) { return std::string(p.param.name); });

// Seeded walks of the menu, as a user might click through it, on 2 and 4
// scales and in every way of joining the scales into one map.
struct Walk {
    int scales, mode;
};
std::ostream& operator<<(std::ostream& os, const Walk& w) { return os << w.scales << " scales, mode " << w.mode; }

class HsneFCMapWalks : public HsneFCMap, public testing::WithParamInterface<Walk> {};

TEST_P(HsneFCMapWalks, SeededWalksOfTheMenuKeepEveryEvent) {
    const Walk walk = GetParam();
    compute(walk.scales, walk.mode);
    std::mt19937 random(static_cast<unsigned>(11 * walk.scales));
    for (int k = 0; k < 14; ++k) {
        const Op op = static_cast<Op>(random() % 5);
        const Selection selection{static_cast<Where>(random() % 4), static_cast<int>(random() % 6) - 1,
                                  random() % 2 ? 0.0 : 0.01 + 0.05 * (random() % 4)};
        SCOPED_TRACE(testing::Message() << "step " << k + 1 << ", " << kOpNames[static_cast<int>(op)]);
        run(op, selection);
        expectEveryEventKept();
    }
}

INSTANTIATE_TEST_SUITE_P(ScalesAndModes, HsneFCMapWalks,
                         testing::Values(Walk{2, 0}, Walk{4, 0}, Walk{4, 1}, Walk{4, 2}, Walk{4, 3}));

}  // namespace
