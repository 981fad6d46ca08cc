// The spanning tree against a plain transcription of the method (every edge
// of the complete graph in a list, scanned each round), whose total weight is
// checked against Prim's method; its printed and JSON texts.
#include "analysis/clustering/Boruvka.h"

#include "tests/support/CapturedOutput.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Edges = std::vector<std::tuple<int, int, float>>;

float referenceWeight(const std::vector<float>& a, const std::vector<float>& b) {
    float w = 0.0f;
    for (size_t k = 0; k < a.size(); ++k) w += std::fabs(a[k] - b[k]);
    return w;
}

// The tree and the number of rounds, one edge list scan per round.
std::pair<Edges, int> referenceTree(const std::vector<std::vector<float>>& v) {
    const int V = static_cast<int>(v.size());
    struct E {
        int s, t;
        float w;
    };
    std::vector<E> graph;
    for (int i = 0; i < V - 1; ++i) {
        for (int j = i + 1; j < V; ++j) graph.push_back({i, j, referenceWeight(v[size_t(i)], v[size_t(j)])});
    }
    std::vector<int> parent(static_cast<size_t>(V)), size(static_cast<size_t>(V), 1);
    for (int i = 0; i < V; ++i) parent[size_t(i)] = i;
    auto root = [&](int x) {
        while (parent[size_t(x)] != x) x = parent[size_t(x)];
        return x;
    };
    Edges tree;
    int found = 0, iterations = 0;
    std::vector<E> cheapest(size_t(V), E{0, 0, -1.0f});
    for (;;) {
        for (const E& e : graph) {
            const int ra = root(e.s), rb = root(e.t);
            if (ra == rb) continue;
            for (int r : {ra, rb}) {
                if (cheapest[size_t(r)].w == -1.0f || cheapest[size_t(r)].w > e.w) cheapest[size_t(r)] = e;
            }
        }
        for (int i = 0; i < V; ++i) {
            const E e = cheapest[size_t(i)];
            if (e.w == -1.0f) continue;
            const int ra = root(e.s), rb = root(e.t);
            if (ra == rb) continue;
            tree.emplace_back(e.s, e.t, e.w);
            ++found;
            if (size[size_t(ra)] >= size[size_t(rb)]) {
                parent[size_t(rb)] = ra;
                size[size_t(ra)] += size[size_t(rb)];
            } else {
                parent[size_t(ra)] = rb;
                size[size_t(rb)] += size[size_t(ra)];
            }
        }
        ++iterations;
        if (found >= V - 1) break;
        for (E& e : cheapest) e.w = -1.0f;
    }
    return {tree, iterations};
}

// The total weight of a minimum spanning tree by Prim's method.
double primTotal(const std::vector<std::vector<float>>& v) {
    const size_t V = v.size();
    std::vector<bool> in(V, false);
    std::vector<float> best(V, std::numeric_limits<float>::infinity());
    std::vector<float> taken;
    best[0] = 0.0f;
    for (size_t round = 0; round < V; ++round) {
        size_t next = V;
        for (size_t i = 0; i < V; ++i) {
            if (!in[i] && (next == V || best[i] < best[next])) next = i;
        }
        in[next] = true;
        if (round > 0) taken.push_back(best[next]);
        for (size_t i = 0; i < V; ++i) {
            if (!in[i]) best[i] = std::min(best[i], referenceWeight(v[std::min(i, next)], v[std::max(i, next)]));
        }
    }
    std::sort(taken.begin(), taken.end());
    double total = 0.0;
    for (float w : taken) total += w;
    return total;
}

struct Outcome {
    Edges edges;
    std::string printed;
};

Outcome treeOn(int threads, std::vector<std::vector<float>> vectors) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    Boruvka b;
    b.initGraph(&vectors);
    Outcome r;
    r.printed = capturedStdout([&] { b.boruvkaMst(); });
    r.edges = b.edgeList();
    omp_set_num_threads(before);
    return r;
}

bool sameEdges(const Edges& a, const Edges& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const float wa = std::get<2>(a[i]), wb = std::get<2>(b[i]);
        if (std::get<0>(a[i]) != std::get<0>(b[i]) || std::get<1>(a[i]) != std::get<1>(b[i]) ||
            std::memcmp(&wa, &wb, sizeof wa) != 0) {
            return false;
        }
    }
    return true;
}

std::vector<std::vector<float>> randomVectors(std::mt19937& rng, size_t count, size_t length, int spread) {
    std::uniform_real_distribution<float> u(-3.0f, 3.0f);
    std::vector<std::vector<float>> v(count, std::vector<float>(length));
    for (auto& row : v) {
        for (float& x : row) x = spread > 0 ? static_cast<float>(rng() % static_cast<unsigned>(spread)) : u(rng);
    }
    return v;
}

TEST(Boruvka, TreeEqualsThePlainMethodEdgeForEdgeOnOneAndEightThreads) {
    struct Shape {
        const char* name;
        size_t count, length;
        int spread;  // integer values in [0, spread), or reals when 0
        bool nan;    // some values undefined
    };
    const Shape shapes[] = {
        {"many ties", 300, 2, 12, false}, {"one marker", 200, 1, 60, false},
        {"reals", 280, 6, 0, false},      {"undefined values", 260, 4, 4, true},
        {"more reals", 64, 7, 0, false},  {"few", 17, 2, 0, true},
        {"three", 3, 1, 2, false},        {"two", 2, 5, 0, false},
        {"one", 1, 3, 0, false},          {"none", 0, 3, 0, false},
    };
    std::mt19937 rng(3);
    for (const Shape& s : shapes) {
        auto vectors = randomVectors(rng, s.count, s.length, s.spread);
        if (s.nan) {
            for (auto& row : vectors) {
                if (rng() % 6 == 0) row[rng() % s.length] = std::numeric_limits<float>::quiet_NaN();
            }
        }
        const auto [expected, iterations] = referenceTree(vectors);
        for (int threads : {1, 8}) {
            SCOPED_TRACE(std::string(s.name) + " on " + std::to_string(threads) + " threads");
            const Outcome r = treeOn(threads, vectors);
            EXPECT_TRUE(sameEdges(r.edges, expected));
            EXPECT_EQ(r.printed, " Found in: " + std::to_string(iterations) + " iteration(s) \n");
        }
        // Without undefined weights the tree is minimal by an independent
        // method too.
        if (!s.nan && s.count > 0) {
            std::vector<float> weights;
            for (const auto& e : expected) weights.push_back(std::get<2>(e));
            std::sort(weights.begin(), weights.end());
            double total = 0.0;
            for (float w : weights) total += w;
            EXPECT_EQ(total, primTotal(vectors)) << s.name;
        }
    }
}

TEST(Boruvka, Texts) {
    // Three vectors at equal distances: the edges come in graph order.
    std::vector<std::vector<float>> three = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Boruvka b;
    b.initGraph(&three);
    const std::string found = capturedStdout([&] { b.boruvkaMst(); });
    EXPECT_TRUE(sameEdges(b.edgeList(), Edges{{0, 1, 2.0f}, {0, 2, 2.0f}}));
    Boruvka empty;
    std::vector<std::vector<float>> none;
    empty.initGraph(&none);
    quietly([&] { empty.boruvkaMst(); });
    std::vector<std::vector<float>> two = {{0.5f}, {2.0f}};
    const Outcome pair = treeOn(1, two);

    const std::pair<std::string, std::string> texts[] = {
        {found, " Found in: 1 iteration(s) \n"},
        {pair.printed, " Found in: 1 iteration(s) \n"},
        {b.jsonEdgeList(),
         "\"links\":[\n{\"source\":0, \"target\":1, \"value\":2.000000},\n{\"source\":0, \"target\":2, "
         "\"value\":2.000000}\n]"},
        {empty.jsonEdgeList(), "\"links\":[\n]"},
        {capturedStdout([&] { b.printData(); }),
         "00----01  weight: 2.00\n00----02  weight: 2.00\nAnd has a cost of: 4.00\n"},
    };
    for (const auto& [actual, expected] : texts) EXPECT_EQ(actual, expected);
    EXPECT_TRUE(sameEdges(pair.edges, Edges{{0, 1, 1.5f}}));
}

TEST(Boruvka, VectorsOfUnequalLengthAreComparedOverTheCommonPart) {
    std::vector<float> a = {1, 2, 3}, b = {2, 2};
    Boruvka t;
    EXPECT_EQ(t.distance(&a, &b), 1.0f);
    EXPECT_EQ(t.distance(&b, &a), 1.0f);
    EXPECT_EQ(t.distance(&a, nullptr), 0.0f);
    std::vector<std::vector<float>> v = {{0, 0, 0}, {5}, {1, 1}, {9, 9, 9, 9}};
    const Outcome r = treeOn(1, v);
    // Weights 01: 5, 02: 2, 03: 27, 12: 4, 13: 4, 23: 16.
    EXPECT_TRUE(sameEdges(r.edges, Edges{{0, 2, 2.0f}, {1, 2, 4.0f}, {1, 3, 4.0f}}));
}

}  // namespace
