// The per-file count of a point set's selected events, against counts made in
// the test with ordered sets.
#include "data/MCV_SelectedPerFile.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using Points = std::vector<std::pair<int, int>>;

// Distinct events of `points` that `selection` holds, per file; pairs naming
// no event of `events` count nowhere.
std::vector<int> reference(const Points& points, const Points& selection, const std::vector<int>& events) {
    auto known = [&events](const std::pair<int, int>& p) {
        return p.first >= 0 && p.first < int(events.size()) && p.second >= 0 && p.second < events[size_t(p.first)];
    };
    const std::set<std::pair<int, int>> selected(selection.begin(), selection.end());
    std::set<std::pair<int, int>> counted;
    std::vector<int> counts(events.size(), 0);
    for (const auto& p : points)
        if (known(p) && selected.count(p) && counted.insert(p).second) ++counts[size_t(p.first)];
    return counts;
}

// A random list of `n` pairs over `events` (repeats possible).
Points randomPoints(std::mt19937& random, const std::vector<int>& events, size_t n) {
    Points out;
    std::uniform_int_distribution<int> file(0, int(events.size()) - 1);
    for (size_t i = 0; i < n; ++i) {
        const int f = file(random);
        out.emplace_back(f, std::uniform_int_distribution<int>(0, events[size_t(f)] - 1)(random));
    }
    return out;
}

TEST(SelectedPerFile, CountsThePointSetsDistinctSelectedEventsPerFile) {
    const std::vector<int> events = {6, 4, 0, 5};
    const struct {
        const char* what;
        Points points;
        Points selection;
        std::vector<int> expected;
    } cases[] = {
        {"nothing selected", {{0, 1}, {1, 2}}, {}, {0, 0, 0, 0}},
        {"an empty point set", {}, {{0, 1}, {1, 2}}, {0, 0, 0, 0}},
        {"a subset, the selection reaching beyond it",
         {{0, 0}, {0, 2}, {0, 4}, {1, 1}, {3, 0}},
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {3, 4}},
         {3, 1, 0, 0}},
        {"the selection names an event twice",
         {{0, 1}, {1, 3}},
         {{0, 1}, {0, 1}, {1, 3}, {1, 3}, {1, 3}},
         {1, 1, 0, 0}},
        {"the point set names an event twice", {{3, 2}, {3, 2}, {0, 5}, {0, 5}}, {{3, 2}, {0, 5}}, {1, 0, 0, 1}},
        {"pairs naming no event",
         {{-1, 0}, {4, 0}, {0, -1}, {0, 6}, {1, 4}, {2, 0}, {1, 0}},
         {{-1, 0}, {4, 0}, {0, -1}, {0, 6}, {1, 4}, {2, 0}, {1, 0}},
         {0, 1, 0, 0}},
        {"every event, the selection in another order",
         {{0, 0},
          {0, 1},
          {0, 2},
          {0, 3},
          {0, 4},
          {0, 5},
          {1, 0},
          {1, 1},
          {1, 2},
          {1, 3},
          {3, 0},
          {3, 1},
          {3, 2},
          {3, 3},
          {3, 4}},
         {{3, 4}, {1, 0}, {0, 5}, {3, 0}, {0, 0}},
         {2, 1, 0, 2}},
    };
    // One counter for every row: no row's marks reach the next.
    MCV_SelectedPerFile counter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(reference(c.points, c.selection, events), c.expected) << "the reference";
        EXPECT_EQ(counter.count(c.points, c.selection, events), c.expected);
        EXPECT_EQ(counter.count(c.points, c.selection, events), c.expected) << "counted again";
    }
}

TEST(SelectedPerFile, RandomSetsOfDataSetsOfChangingSizeMatchTheReference) {
    std::mt19937 random(7);
    MCV_SelectedPerFile counter;
    // {events per file, point set size, selection size}
    const struct {
        std::vector<int> events;
        size_t points;
        size_t selection;
    } rows[] = {
        {{3000, 3000, 3000}, 900, 6000}, {{3000, 3000, 3000}, 9000, 500}, {{10, 20000, 1}, 15000, 15000}, {{1}, 3, 3},
        {{5000, 7000}, 12000, 12000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.events.size());
        const Points points = randomPoints(random, r.events, r.points);
        const Points selection = randomPoints(random, r.events, r.selection);
        const std::vector<int> expected = reference(points, selection, r.events);
        EXPECT_EQ(counter.count(points, selection, r.events), expected);
        int sum = 0;
        for (int k : expected) sum += k;
        EXPECT_GT(sum, 0) << "the row overlaps";
    }
}

}  // namespace
