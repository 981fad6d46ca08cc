#include "analysis/clustering/HierarchicalClustering.h"

#include "analysis/clustering/FarthestFirstTraversal.h"

#include <cmath>
#include <cstddef>
#include <iostream>
#include <utility>

void hcluster_points(std::list<cPoint_t*>& points, Dendrogram& dendrogram, bool) {
    if (points.empty()) return;
    FarthestFirstTraversal traversal(points);
    traversal.run(dendrogram);
    points.clear();
}

void compute_n_clusters(int n, Dendrogram& dendrogram, std::vector<std::list<cPoint_t*>>& clusters) {
    clusters.resize(n > 0 ? static_cast<size_t>(n) : 0);
    for (int k = 1; k <= n; ++k) {
        // A cut into more clusters than points leaves the surplus ones empty.
        const auto seed = dendrogram.find(k);
        if (seed != dendrogram.end() && seed->second) {
            add_to_cluster(seed->second, dendrogram, n, clusters[static_cast<size_t>(k - 1)]);
        }
    }
}

void add_to_cluster(cPoint_t* point, Dendrogram& dendrogram, int n, std::list<cPoint_t*>& cluster) {
    if (!point) return;
    // Depth first in pre-order with an explicit stack: a dendrogram can be a
    // chain as long as the data.
    using Cursor = std::pair<const cPoint_t*, std::list<int>::const_iterator>;
    std::vector<Cursor> stack;
    cluster.push_back(point);
    stack.emplace_back(point, point->children.begin());
    while (!stack.empty()) {
        Cursor& top = stack.back();
        if (top.second == top.first->children.end()) {
            stack.pop_back();
            continue;
        }
        const int childId = *top.second++;
        // A child comes later in the traversal than its parent; a link that
        // says otherwise could only close a loop.
        if (childId <= n || childId <= top.first->id) continue;
        const auto child = dendrogram.find(childId);
        if (child == dendrogram.end() || !child->second) continue;
        cluster.push_back(child->second);
        stack.emplace_back(child->second, child->second->children.begin());
    }
}

double dist_l1(std::vector<double>& a, std::vector<double>& b) {
    if (a.size() != b.size()) {
        std::cerr << "norm: vectors must be the same size!\n";
        return -1.0;
    }
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k) sum += std::fabs(a[k] - b[k]);
    return sum;
}

double dist_l2(std::vector<double>& a, std::vector<double>& b) {
    if (a.size() != b.size()) {
        std::cerr << "norm: vectors must be the same size!\n";
        return -1.0;
    }
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k) {
        const double d = a[k] - b[k];
        sum += d * d;
    }
    return sum;
}
