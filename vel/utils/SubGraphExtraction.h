#pragma once
// Cuts a weighted directed graph (a vector of sparse rows, row i holding the
// out-edges of vertex i) down to a selection and the vertices that the
// selection reaches by one edge heavier than a threshold.

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "vel/data/MapMemEff.h"
#include "vel/utils/LoopFailure.h"

namespace vel {
namespace utils {

namespace subgraph_detail {

// Stores the entries in the order given: a hashed row then iterates as it
// would have after inserting them one by one in that order.
template <typename Row, typename Entries>
void fillRow(Row& row, Entries& entries) {
    for (const auto& [key, value] : entries) row[key] = value;
}

// A sorted row is filled in key order, every entry landing at its end.
template <typename Key, typename Value, typename Entries>
void fillRow(data::MapMemEff<Key, Value>& row, Entries& entries) {
    const auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    // An ascending selection without admitted neighbours keeps the order.
    if (!std::is_sorted(entries.begin(), entries.end(), byKey)) std::sort(entries.begin(), entries.end(), byKey);
    row.reserve(entries.size());
    for (const auto& [key, value] : entries) row[key] = value;
}

}  // namespace subgraph_detail

// subGraph receives one row per kept vertex: the selected vertices first, in
// selection order (a vertex listed again keeps its first place), then the
// admitted neighbours in order of admission, which walks the selected
// vertices by ascending id and each one's edges in row order; indexMap[new id]
// = old id. Every edge between kept vertices is kept, renumbered, and all
// weights are scaled by one factor so that they add up to the number of rows
// (not when they add up to zero). Throws std::logic_error for a vertex id
// beyond the graph. The rows are copied on several threads; the result does
// not depend on their number.
template <typename sparse_matrix_type>
void extractSubGraph(const sparse_matrix_type& graph, const std::vector<unsigned int>& selection,
                     sparse_matrix_type& subGraph, std::vector<unsigned int>& indexMap,
                     typename sparse_matrix_type::value_type::mapped_type threshold) {
    using scalar_type = typename sparse_matrix_type::value_type::mapped_type;
    constexpr unsigned int notKept = std::numeric_limits<unsigned int>::max();
    const std::size_t numVertices = graph.size();
    const auto checkId = [numVertices](unsigned int id) {
        if (id >= numVertices) throw std::logic_error("extractSubGraph: vertex id beyond the graph");
    };

    subGraph.clear();
    indexMap.clear();
    // The sub-graph row of every vertex of the graph, notKept for the others.
    std::vector<unsigned int> newId(numVertices, notKept);
    for (const unsigned int v : selection) {
        checkId(v);
        if (newId[v] != notKept) continue;
        newId[v] = static_cast<unsigned int>(indexMap.size());
        indexMap.push_back(v);
    }

    std::vector<unsigned int> selectedById(indexMap);
    std::sort(selectedById.begin(), selectedById.end());
    // Which selected vertices have an edge above the threshold at all, looked
    // up on several threads; only those are walked, in order, to admit.
    const long long numSelected = static_cast<long long>(selectedById.size());
    std::vector<char> reaches(selectedById.size(), 0);
#pragma omp parallel for schedule(dynamic, 256) if (numSelected > 1024)
    for (long long i = 0; i < numSelected; ++i)
        for (const auto& edge : graph[selectedById[static_cast<std::size_t>(i)]])
            if (edge.second > threshold) {
                reaches[static_cast<std::size_t>(i)] = 1;
                break;
            }
    for (std::size_t i = 0; i < selectedById.size(); ++i) {
        if (!reaches[i]) continue;
        for (const auto& edge : graph[selectedById[i]]) {
            const unsigned int k = edge.first;
            if (!(edge.second > threshold)) continue;
            if (k < numVertices && newId[k] != notKept) continue;
            checkId(k);
            newId[k] = static_cast<unsigned int>(indexMap.size());
            indexMap.push_back(k);
        }
    }

    const long long rows = static_cast<long long>(indexMap.size());
    subGraph.resize(indexMap.size());
    LoopFailure failure;
#pragma omp parallel if (rows > 1024)
    {
        std::vector<std::pair<unsigned int, scalar_type>> entries;
#pragma omp for schedule(dynamic, 256)
        for (long long r = 0; r < rows; ++r)
            failure.guard([&] {
                entries.clear();
                for (const auto& edge : graph[indexMap[static_cast<std::size_t>(r)]]) {
                    if (edge.first >= numVertices || newId[edge.first] == notKept) continue;
                    entries.emplace_back(newId[edge.first], edge.second);
                }
                subgraph_detail::fillRow(subGraph[static_cast<std::size_t>(r)], entries);
            });
    }
    failure.rethrow();

    if (subGraph.empty()) return;
    // One sum in row order, so the factor is the same on any number of threads.
    double total = 0;
    for (const auto& row : subGraph)
        for (const auto& edge : row) total += static_cast<double>(edge.second);
    if (total == 0) return;
    const scalar_type numRows = static_cast<scalar_type>(subGraph.size());
#pragma omp parallel for schedule(static) if (rows > 1024)
    for (long long r = 0; r < rows; ++r)
        for (auto& edge : subGraph[static_cast<std::size_t>(r)]) {
            if constexpr (std::is_same_v<scalar_type, float>)
                edge.second = static_cast<float>(static_cast<double>(edge.second * numRows) / total);
            else
                edge.second = static_cast<scalar_type>(edge.second * numRows / total);
        }
}

}  // namespace utils
}  // namespace vel
