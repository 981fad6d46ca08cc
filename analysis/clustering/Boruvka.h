#pragma once

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

    float distance(std::vector<float>* a, std::vector<float>* b);
    int findRoot(int vertex);
    void unionEdge(int a, int b);
};
