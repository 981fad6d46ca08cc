// The farthest-first dendrogram and its cut against a plain transcription of
// the method (std::list, dist_l1, one point at a time), on one and on eight
// threads; and its behaviour on degenerate and hostile input.
#include "analysis/clustering/HierarchicalClustering.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kStart = 99999999.9;

// A set of points with stable addresses, fresh for every run.
struct Cloud {
    std::vector<cPoint_t> points;
    explicit Cloud(const std::vector<std::vector<double>>& rows) : points(rows.size()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            points[i].coordinates = rows[i];
            points[i].distance = kStart;
            points[i].eventIdx = static_cast<int>(i);
        }
    }
    std::list<cPoint_t*> list() {
        std::list<cPoint_t*> l;
        for (cPoint_t& p : points) l.push_back(&p);
        return l;
    }
};

// The method one step at a time, as plainly as it can be written.
void referenceDendrogram(std::list<cPoint_t*>& points, Dendrogram& dendrogram) {
    std::vector<std::list<cPoint_t*>> levels;
    std::vector<std::pair<double, double>> bounds;
    cPoint_t* p = points.front();
    points.pop_front();
    dendrogram[1] = p;
    p->id = 1;
    p->distance = 0.0;
    p->parent = -1;
    levels.push_back({p});
    bounds.push_back({0.0, 0.0});
    double R = -1.0;
    cPoint_t* last = p;
    int currentId = 1;
    while (!points.empty()) {
        auto chosen = points.end();
        double farthest = -1.0;
        for (auto it = points.begin(); it != points.end(); ++it) {
            cPoint_t* q = *it;
            const double d = dist_l1(q->coordinates, last->coordinates);
            if (d < q->distance) {
                q->distance = d;
                q->parent = last->id;
            }
            if (q->distance > farthest) {
                farthest = q->distance;
                chosen = it;
            }
        }
        ++currentId;
        p = *chosen;
        dendrogram[currentId] = p;
        p->id = currentId;
        points.erase(chosen);
        last = p;
        if (currentId == 2) R = p->distance;
        if (p->distance > 1e-06) {
            bool covered = false;
            for (size_t l = 1; l < levels.size(); ++l) {
                covered = covered || (bounds[l].first < p->distance && p->distance <= bounds[l].second);
            }
            if (!covered) {
                for (;;) {
                    levels.emplace_back();
                    const double k = static_cast<double>(levels.size());
                    bounds.push_back({R / std::pow(2.0, k - 1), R / std::pow(2.0, k - 2)});
                    if (bounds.back().first < p->distance && p->distance <= bounds.back().second) break;
                }
            }
            const size_t level = levels.size() - 1;
            levels[level].push_back(p);
            cPoint_t* parent = nullptr;
            double nearest = 0.0;
            for (size_t l = 0; l < level; ++l) {
                for (cPoint_t* q : levels[l]) {
                    const double d = dist_l1(p->coordinates, q->coordinates);
                    if (!parent || d < nearest) {
                        parent = q;
                        nearest = d;
                    }
                }
            }
            p->parent = parent->id;
        }
        dendrogram[p->parent]->children.push_back(p->id);
    }
}

void referenceAdd(cPoint_t* p, Dendrogram& dendrogram, int n, std::list<cPoint_t*>& cluster) {
    cluster.push_back(p);
    for (int child : p->children) {
        if (child > n) referenceAdd(dendrogram[child], dendrogram, n, cluster);
    }
}
void referenceCut(int n, Dendrogram& dendrogram, std::vector<std::list<cPoint_t*>>& clusters) {
    clusters.resize(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) referenceAdd(dendrogram[i], dendrogram, n, clusters[static_cast<size_t>(i - 1)]);
}

// Event indices, cluster by cluster.
std::vector<std::vector<int>> cut(int n, Dendrogram& dendrogram,
                                  const std::function<void(int, Dendrogram&, std::vector<std::list<cPoint_t*>>&)>& f) {
    std::vector<std::list<cPoint_t*>> clusters;
    f(n, dendrogram, clusters);
    std::vector<std::vector<int>> out;
    for (const auto& c : clusters) {
        out.emplace_back();
        for (const cPoint_t* p : c) out.back().push_back(p->eventIdx);
    }
    return out;
}

Dendrogram clusterOn(int threads, Cloud& cloud) {
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    Dendrogram d;
    std::list<cPoint_t*> list = cloud.list();
    hcluster_points(list, d, false);
    omp_set_num_threads(before);
    EXPECT_TRUE(list.empty());
    return d;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Shape {
    const char* name;
    size_t points;
    size_t markers;
    // Values: integers in [0, spread) times `scale`, or mixed magnitudes when
    // spread is 0.
    int spread;
    double scale;
};

TEST(HierarchicalClustering, TraversalParentsChildrenAndCutsEqualThePlainMethodOnOneAndEightThreads) {
    const Shape shapes[] = {
        {"many ties", 2000, 3, 4, 1.0},
        {"spread out", 1500, 5, 40, 1.0},
        {"one marker", 700, 1, 1000, 1.0},
        {"fractions", 600, 4, 0, 1.0},
        // Farther apart than the starting distance 99999999.9.
        {"far apart", 700, 2, 60, 1e7},
        {"few points", 37, 2, 5, 1.0},
        {"two points", 2, 3, 3, 1.0},
    };
    std::mt19937 rng(11);
    for (const Shape& shape : shapes) {
        std::vector<std::vector<double>> rows(shape.points, std::vector<double>(shape.markers));
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (auto& r : rows) {
            for (double& v : r) {
                v = shape.spread > 0 ? static_cast<double>(rng() % static_cast<unsigned>(shape.spread)) * shape.scale
                                     : u(rng) * std::pow(10.0, static_cast<int>(rng() % 7) - 3);
            }
        }
        Cloud reference(rows);
        Dendrogram expected;
        std::list<cPoint_t*> list = reference.list();
        referenceDendrogram(list, expected);
        for (int threads : {1, 8}) {
            SCOPED_TRACE(std::string(shape.name) + " on " + std::to_string(threads) + " threads");
            Cloud cloud(rows);
            Dendrogram d = clusterOn(threads, cloud);
            ASSERT_EQ(d.size(), expected.size());
            for (const auto& [id, p] : expected) {
                const cPoint_t* q = d.at(id);
                ASSERT_EQ(q->id, id);
                ASSERT_EQ(q->eventIdx, p->eventIdx) << id;
                ASSERT_EQ(q->parent, p->parent) << id;
                ASSERT_TRUE(sameBits(q->distance, p->distance)) << id;
                ASSERT_EQ(q->children, p->children) << id;
            }
            for (int n : {1, 2, 7, 50, static_cast<int>(shape.points)}) {
                if (n > static_cast<int>(shape.points)) continue;
                EXPECT_EQ(cut(n, d, compute_n_clusters), cut(n, expected, referenceCut)) << n;
            }
        }
    }
}

// Every point but the first hangs below an earlier one and every point lands
// in exactly one cluster of a cut.
void expectSoundTree(Dendrogram& d, size_t points) {
    ASSERT_EQ(d.size(), points);
    size_t listed = 0;
    for (const auto& [id, p] : d) {
        ASSERT_EQ(p->id, id);
        if (id == 1) {
            EXPECT_EQ(p->parent, -1);
        } else {
            ASSERT_GE(p->parent, 1) << id;
            ASSERT_LT(p->parent, id);
            const auto& siblings = d.at(p->parent)->children;
            EXPECT_EQ(std::count(siblings.begin(), siblings.end(), id), 1) << id;
        }
        listed += p->children.size();
    }
    EXPECT_EQ(listed, points - 1);
    for (int n : {1, 5, 40}) {
        if (n > static_cast<int>(points)) continue;
        std::vector<std::list<cPoint_t*>> clusters;
        compute_n_clusters(n, d, clusters);
        std::vector<int> seen(points + 1, 0);
        for (const auto& c : clusters) {
            for (const cPoint_t* p : c) ++seen[static_cast<size_t>(p->id)];
        }
        EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), static_cast<long>(points)) << n;
    }
}

TEST(HierarchicalClustering, NonFiniteAndHugeCoordinatesGiveASoundTreeOnEveryThreadCount) {
    const double hostile[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::lowest(),
                              std::numeric_limits<double>::max(),
                              static_cast<double>(std::numeric_limits<float>::lowest()),
                              1e300};
    std::mt19937 rng(5);
    for (size_t n : {60, 700}) {
        std::vector<std::vector<double>> rows(n, std::vector<double>(6));
        for (auto& r : rows) {
            for (double& v : r) v = rng() % 5 == 0 ? hostile[rng() % 7] : static_cast<double>(rng() % 9);
        }
        // A first point beyond all the others' reach, and an all-NaN one.
        rows[0].assign(6, std::numeric_limits<double>::max());
        rows[n / 2].assign(6, std::numeric_limits<double>::quiet_NaN());
        Cloud one(rows), eight(rows);
        Dendrogram a = clusterOn(1, one), b = clusterOn(8, eight);
        expectSoundTree(a, n);
        expectSoundTree(b, n);
        for (const auto& [id, p] : a) {
            EXPECT_EQ(b.at(id)->eventIdx, p->eventIdx);
            EXPECT_EQ(b.at(id)->parent, p->parent);
        }
    }
}

TEST(HierarchicalClustering, DegenerateInputs) {
    // No point: the dendrogram keeps what it had.
    cPoint_t kept;
    Dendrogram d{{1, &kept}};
    std::list<cPoint_t*> none;
    hcluster_points(none, d, false);
    EXPECT_EQ(d.size(), 1u);
    EXPECT_EQ(d.at(1), &kept);

    // One point.
    Cloud single({{1.0, 2.0}});
    Dendrogram one = clusterOn(8, single);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.at(1)->parent, -1);
    EXPECT_EQ(one.at(1)->distance, 0.0);
    EXPECT_EQ(cut(1, one, compute_n_clusters), (std::vector<std::vector<int>>{{0}}));

    // Identical points (and points without coordinates) hang below the first
    // in list order.
    for (const std::vector<double>& row : {std::vector<double>{3.0, 3.0}, std::vector<double>{}}) {
        Cloud same(std::vector<std::vector<double>>(5, row));
        Dendrogram s = clusterOn(1, same);
        for (int id = 2; id <= 5; ++id) {
            EXPECT_EQ(s.at(id)->eventIdx, id - 1);
            EXPECT_EQ(s.at(id)->parent, 1);
            EXPECT_EQ(s.at(id)->distance, 0.0);
        }
        EXPECT_EQ(s.at(1)->children, (std::list<int>{2, 3, 4, 5}));
        EXPECT_EQ(cut(2, s, compute_n_clusters), (std::vector<std::vector<int>>{{0, 2, 3, 4}, {1}}));
    }

    // Cuts into no cluster, or into more clusters than points.
    Cloud three({{0.0}, {4.0}, {1.0}});
    Dendrogram t = clusterOn(1, three);
    EXPECT_TRUE(cut(0, t, compute_n_clusters).empty());
    EXPECT_TRUE(cut(-3, t, compute_n_clusters).empty());
    EXPECT_EQ(cut(5, t, compute_n_clusters), (std::vector<std::vector<int>>{{0}, {1}, {2}, {}, {}}));
    EXPECT_EQ(t.size(), 3u);

    // A point handed over as already near (distance 0) is never measured
    // nearer: it hangs below the root.
    Cloud preset({{0.0}, {8.0}, {3.0}});
    preset.points[2].distance = 0.0;
    Dendrogram pr = clusterOn(1, preset);
    EXPECT_EQ(pr.at(3)->eventIdx, 2);
    EXPECT_EQ(pr.at(3)->parent, 1);
    expectSoundTree(pr, 3);

    // Coordinates of different lengths: said once, still a tree.
    Cloud mixed({{0.0, 1.0}, {2.0}, {5.0, 5.0}, {1.0, 1.0, 1.0}, {9.0, 0.0}});
    testing::internal::CaptureStderr();
    Dendrogram m = clusterOn(1, mixed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "norm: vectors must be the same size!\n");
    expectSoundTree(m, 5);
}

TEST(HierarchicalClustering, ACutOfAHundredThousandPointChainWalksWithoutRecursion) {
    const int n = 100000;
    std::vector<cPoint_t> chain(n);
    Dendrogram d;
    for (int i = 0; i < n; ++i) {
        chain[static_cast<size_t>(i)].id = i + 1;
        chain[static_cast<size_t>(i)].parent = i;
        if (i + 1 < n) chain[static_cast<size_t>(i)].children.push_back(i + 2);
        d[i + 1] = &chain[static_cast<size_t>(i)];
    }
    std::vector<std::list<cPoint_t*>> clusters;
    compute_n_clusters(3, d, clusters);
    ASSERT_EQ(clusters.size(), 3u);
    EXPECT_EQ(clusters[0].size(), 1u);
    EXPECT_EQ(clusters[1].size(), 1u);
    ASSERT_EQ(clusters[2].size(), static_cast<size_t>(n - 2));
    int expected = 3;
    for (const cPoint_t* p : clusters[2]) ASSERT_EQ(p->id, expected++);
}

TEST(HierarchicalClustering, Distances) {
    struct Case {
        std::vector<double> a, b;
        double l1, l2;
    };
    const Case cases[] = {
        {{0, 0}, {3, 4}, 7.0, 25.0},
        {{1, -2, 3}, {-1, 2, -3}, 12.0, 56.0},
        {{}, {}, 0.0, 0.0},
        {{1, 2}, {1}, -1.0, -1.0},
    };
    for (Case c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(dist_l1(c.a, c.b), c.l1);
        EXPECT_EQ(dist_l2(c.a, c.b), c.l2);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  c.a.size() == c.b.size()
                      ? ""
                      : "norm: vectors must be the same size!\nnorm: vectors must be the same size!\n");
    }
}

}  // namespace
