// The heat map's dendrogram against average-linkage clustering done here the
// plain way: merge the two clusters with the smallest mean distance between
// their members until one is left.
#include "HeatMapPageTest.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

using namespace heatmaptest;
using Vectors = std::vector<std::vector<double>>;
using Merges = std::map<std::set<int>, double>;  // leaves of a merged node -> its height

double distance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum);
}

Merges naiveAverageLinkage(const Vectors& v) {
    std::vector<std::set<int>> clusters;
    for (int i = 0; i < int(v.size()); ++i) clusters.push_back({i});
    Merges merges;
    while (clusters.size() > 1) {
        size_t bi = 0, bj = 1;
        double best = INFINITY;
        for (size_t i = 0; i < clusters.size(); ++i)
            for (size_t j = i + 1; j < clusters.size(); ++j) {
                double sum = 0.0;
                for (int a : clusters[i])
                    for (int b : clusters[j]) sum += distance(v[size_t(a)], v[size_t(b)]);
                const double mean = sum / double(clusters[i].size() * clusters[j].size());
                if (mean < best) best = mean, bi = i, bj = j;
            }
        clusters[bi].insert(clusters[bj].begin(), clusters[bj].end());
        merges[clusters[bi]] = best;
        clusters.erase(clusters.begin() + long(bj));
    }
    return merges;
}

// The page's tree as nested [left, right, dist] arrays with leaf keys.
const char* kTree =
    "(function s(n) { return n.left ? [s(n.left), s(n.right), n.dist] : n.key; })"
    "(_dendrogramClusters[0])";

// Collects the merges of a tree and its leaves in the right-before-left walk.
std::set<int> walk(const QJsonValue& node, Merges* merges, std::vector<int>* order) {
    if (!node.isArray()) {
        order->push_back(node.toInt());
        return {node.toInt()};
    }
    const QJsonArray a = node.toArray();
    std::set<int> leaves = walk(a[1], merges, order);  // right first
    const std::set<int> left = walk(a[0], merges, order);
    leaves.insert(left.begin(), left.end());
    (*merges)[leaves] = a[2].toDouble();
    return leaves;
}

class HeatMapDendrogram : public HeatMapPageTest {
protected:
    // Twelve clusters by five markers, distinct medians in thousandths.
    Vectors medians() {
        std::mt19937 random(17);
        std::uniform_int_distribution<int> milli(0, 5000);
        Vectors v(12, std::vector<double>(5));
        for (auto& row : v)
            for (double& x : row) x = milli(random) / 1000.0;
        return v;
    }
    void expectSameMerges(const Merges& page, const Merges& expected) {
        ASSERT_EQ(page.size(), expected.size());
        for (const auto& [leaves, height] : expected) {
            ASSERT_EQ(page.count(leaves), 1u) << "a merge of " << leaves.size() << " clusters is missing";
            EXPECT_NEAR(page.at(leaves), height, 1e-6 * height);
        }
    }
    double columnX(int c) {
        const QString transform =
            text("document.getElementById('cluster" + QString::number(c) + "').getAttribute('transform')");
        return QRegularExpression("translate\\(([-0-9.e]+)").match(transform).captured(1).toDouble();
    }
};

TEST_F(HeatMapDendrogram, MergesHeightsColumnsAndLabelsFollowAverageLinkageOfTheSelectedMarkers) {
    const Vectors v = medians();
    QStringList clusters;
    for (int c = 0; c < 12; ++c) clusters << "C" + QString::number(c);
    show(clusterJson({"M0", "M1", "M2", "M3", "M4"}, clusters, v));
    click("#hierarchicalSwitch");  // the drawer's "Dendrogram" switch
    ASSERT_EQ(text("_isDendrogramActive"), "true");

    Merges merges;
    std::vector<int> order;
    walk(value(kTree), &merges, &order);
    const Merges expected = naiveAverageLinkage(v);
    expectSameMerges(merges, expected);
    EXPECT_EQ(text("document.querySelectorAll('#dendrogramGroup path.dendrogramLink').length"), "22");

    settle();
    EXPECT_EQ(text("document.getElementById('heatmapGroup').getAttribute('transform')").remove(' '),
              "translate(0,120)");
    // Leaf k of the walk stands in column k, so every merged subtree covers
    // adjacent columns.
    const double offset = text("_labelColumnWidth").toDouble(), w = text("geometry().w").toDouble();
    std::vector<int> position(12);
    for (int k = 0; k < 12; ++k) {
        position[size_t(order[size_t(k)])] = k;
        EXPECT_NEAR(columnX(order[size_t(k)]), offset + k * w, 0.01) << k;
    }
    for (const auto& [leaves, height] : expected) {
        int lo = 12, hi = -1;
        for (int c : leaves) lo = std::min(lo, position[size_t(c)]), hi = std::max(hi, position[size_t(c)]);
        EXPECT_EQ(hi - lo + 1, int(leaves.size()));
    }
    // Each leaf's link ends at the bottom, in the middle of its column.
    QStringList ends, expectedEnds;
    for (const QJsonValue& d : value("d3.selectAll('path.dendrogramLink').nodes().map(function (p) { "
                                     "return p.getAttribute('d'); })")
                                   .toArray())
        if (d.toString().endsWith("V120")) ends << d.toString().section('H', 1).section('V', 0, 0);
    for (int k = 0; k < 12; ++k) expectedEnds << QString::number(qRound((k + 0.5) * w));
    std::sort(ends.begin(), ends.end());
    std::sort(expectedEnds.begin(), expectedEnds.end());
    EXPECT_EQ(ends, expectedEnds);

    QStringList labels, heights;
    for (const QJsonValue& t : value("d3.selectAll('#dendrogramGroup text').nodes().map(function (t) { "
                                     "return t.textContent; })")
                                   .toArray())
        if (!t.toString().isEmpty()) labels << t.toString();
    for (const auto& [leaves, height] : expected) heights << QString::number(height, 'f', 2);
    std::sort(labels.begin(), labels.end());
    std::sort(heights.begin(), heights.end());
    EXPECT_EQ(labels, heights);
    click("#hierarchicalLabelSwitch");
    EXPECT_EQ(text("document.querySelectorAll('#dendrogramGroup text').length"), "0");

    // Without marker 0 the clustering sees four markers.
    js("toggleMarker(0)");
    Vectors fewer = v;
    for (auto& row : fewer) row.erase(row.begin());
    merges.clear();
    order.clear();
    walk(value(kTree), &merges, &order);
    expectSameMerges(merges, naiveAverageLinkage(fewer));

    click("#hierarchicalSwitch");
    EXPECT_EQ(text("document.querySelectorAll('#dendrogramGroup *').length"), "0");
    settle();
    EXPECT_EQ(text("document.getElementById('heatmapGroup').getAttribute('transform')").remove(' '), "translate(0,0)");
}

TEST_F(HeatMapDendrogram, EqualMediansKeepTheirOwnLeavesAndOneClusterDrawsNoNaN) {
    // {input vectors, tree of the adapter}
    const std::pair<const char*, const char*> cases[] = {
        {"[]", "[]"},
        {"[[1, 2]]", "[{\"key\":0,\"dist\":999999999.9}]"},
    };
    for (const auto& [input, tree] : cases)
        EXPECT_EQ(text(QString("JSON.stringify(clusterTree(") + input +
                       ").map(function (n) { return {key: n.key, dist: n.dist}; }))"),
                  tree)
            << input;
    EXPECT_EQ(text("(function keys(n) { return n.left ? keys(n.left).concat(keys(n.right)) : [n.key]; })"
                   "(clusterTree([[1], [1], [1]])[0]).sort().join()"),
              "0,1,2")
        << "equal vectors stay three leaves";

    show(clusterJson({"M0"}, {"only"}, {{2.0}}));
    js("toggleDendrogram()");
    settle();
    EXPECT_EQ(text("document.querySelectorAll('path.dendrogramLink').length"), "0");
    EXPECT_EQ(text("d3.select('#container').html().indexOf('NaN')"), "-1");
    EXPECT_EQ(text("_sorting.join()"), "0");
    EXPECT_EQ(fills(0), QStringList{"#440154"}) << "one value: the low end of the map";
}

}  // namespace
