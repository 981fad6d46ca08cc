#pragma once

#include <list>
#include <map>
#include <vector>

// One point of the farthest-first clustering. The caller creates and fills
// it (coordinates, distance set to a large value, payload); hcluster_points
// sets id, distance, parent and children.
struct cPoint_t {
    // Traversal id: 1 for the first point, then 2, 3, ... in traversal order.
    int id = 0;
    // All points of one run have the same length.
    std::vector<double> coordinates;
    // Distance to the nearest point traversed so far; 0 for the first point.
    double distance = 0.0;
    // Id of the dendrogram parent; -1 for the root.
    int parent = -1;
    // Ids of the points attached below this one, in the order attached.
    std::list<int> children;
    // Caller's payload.
    int eventIdx = 0;
    int fileIdx = 0;
};

// The dendrogram: traversal id -> point. Its owner owns the points.
using Dendrogram = std::map<int, cPoint_t*>;

// Farthest-first traversal of `points` (L1 distances) into `dendrogram`, which
// takes every point; the list is empty afterwards. The bool is unused.
// An empty list leaves the dendrogram unchanged. Every point but the first
// gets a parent with a smaller id, also when coordinates are infinite or NaN.
// Coordinates of unequal length are at distance -1 from each other; the
// message of dist_l1 is written once for the run. Parallel (OpenMP) for large
// lists, with the same result on any number of threads.
void hcluster_points(std::list<cPoint_t*>& points, Dendrogram& dendrogram, bool);

// Resizes `clusters` to n lists; list k-1 receives cluster k: point k and,
// depth first in pre-order, every descendant reached through children whose
// id is greater than n. n < 1 adds nothing; lists beyond the number of points
// in the dendrogram stay empty.
void compute_n_clusters(int n, Dendrogram& dendrogram, std::vector<std::list<cPoint_t*>>& clusters);

// Appends `point` and, depth first, every descendant reached through children
// with id greater than n (and than their parent's). Iterative: a chain as long
// as the data does not exhaust the stack.
void add_to_cluster(cPoint_t* point, Dendrogram& dendrogram, int n, std::list<cPoint_t*>& cluster);

// Sum of |a[k] - b[k]| in double (0 for empty vectors). Vectors of unequal
// length write "norm: vectors must be the same size!\n" to standard error and
// give -1.0.
double dist_l1(std::vector<double>& a, std::vector<double>& b);
// Sum of (a[k] - b[k])^2, no square root; same length rule.
double dist_l2(std::vector<double>& a, std::vector<double>& b);
