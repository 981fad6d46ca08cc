#pragma once

#include "analysis/clustering/MCV_L1Columns.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

// One edge of a singly linked edge list. Every list ends in an empty sentinel
// whose next is null; an edge is a node whose next is not null.
struct list_edge {
    int source = 0;
    int target = 0;
    float weight = 0.0f;
    list_edge* next = nullptr;
};

// Minimum spanning tree of the complete graph over a set of vectors (L1
// weights), by Boruvka's method with union by size. Used once: construct,
// initGraph, boruvkaMst, then read the tree.
//
// The graph's V(V-1)/2 edges are never stored: each round measures, per
// vertex, its cheapest edge to another component (again only when that edge
// has since become internal), in parallel over vertices. The tree is the one
// a scan of the edges (i, j), i < j, in order would give, where a component's
// cheapest edge is replaced only by a strictly lighter one.
class Boruvka {
public:
    Boruvka();
    ~Boruvka();
    Boruvka(const Boruvka&) = delete;
    Boruvka& operator=(const Boruvka&) = delete;

    // The complete graph over `vectors`: edges (i, j), i < j, in the order
    // i = 0..V-2, j = i+1..V-1, weight = L1 distance summed in float over the
    // length of vector i.
    void initGraph(std::vector<std::vector<float>>* vectors);
    // Prints " Found in: <iterations> iteration(s) \n" when done.
    void boruvkaMst();

    // The tree's edges (source, target, weight) in the order found.
    std::vector<std::tuple<int, int, float>> edgeList();
    // "\"links\":[\n" + one {"source":s, "target":t, "value":w} per edge
    // (",\n" between, "\n" after the last) + "]".
    std::string jsonEdgeList();
    void printData();

    // Sum in float of |a[k] - b[k]| over the length of a (over the shorter
    // one when b is shorter); 0 for a null vector.
    float distance(std::vector<float>* a, std::vector<float>* b);
    // The root of the vertex's component (parents are not compressed); a
    // vertex outside the graph is its own root.
    int findRoot(int vertex);
    // Unites the components of a and b by size (the larger root, or a's on a
    // tie, stays root); nothing when they are one component already.
    void unionEdge(int a, int b);

private:
    // A cheapest edge: (source, target) with source < target.
    struct Edge {
        bool valid = false;
        int source = 0;
        int target = 0;
        float weight = 0.0f;
    };
    // Per vertex: its cheapest edge with a defined (not NaN) weight to another
    // component, still cheapest while that end stays outside.
    struct Nearest {
        enum State : unsigned char { Unknown, None, Found } state = Unknown;
        int other = 0;
        float weight = 0.0f;
    };

    float weight(int i, int j) const;
    void findNearest(const std::vector<int>& component, std::vector<Nearest>& nearest) const;
    // The edge each component adds in one round.
    void cheapestEdges(const std::vector<int>& component, const std::vector<Nearest>& nearest,
                       std::vector<Edge>& cheapest) const;

    int m_vertices = 0;
    // V(V-1)/2, the edges of the complete graph (never stored).
    int64_t m_edges = 0;
    std::vector<int> m_parent;
    std::vector<int> m_size;
    // The vectors: in the kernel's store when all have one length, else as given.
    bool m_uniform = true;
    MCV_L1Columns<float> m_store;
    std::vector<std::vector<float>> m_vectors;
    std::vector<std::tuple<int, int, float>> m_tree;
};
