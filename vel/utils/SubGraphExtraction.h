#pragma once
// Cuts a weighted directed graph (a vector of sparse rows, row i holding the
// out-edges of vertex i) down to a selection and the vertices that the
// selection reaches by one edge heavier than a threshold.

#include <algorithm>
#include <map>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace vel {
namespace utils {

// subGraph receives one row per kept vertex: the selected vertices first, in
// selection order (a vertex listed again keeps its first place), then the
// admitted neighbours in order of admission; indexMap[new id] = old id. Every
// edge between kept vertices is kept, renumbered, and all weights are scaled
// by one factor so that they add up to the number of rows (not when they add
// up to zero). Throws std::logic_error for a vertex id beyond the graph.
template <typename sparse_matrix_type>
void extractSubGraph(const sparse_matrix_type& graph, const std::vector<unsigned int>& selection,
                     sparse_matrix_type& subGraph, std::vector<unsigned int>& indexMap,
                     typename sparse_matrix_type::value_type::mapped_type threshold) {
    using scalar_type = typename sparse_matrix_type::value_type::mapped_type;
    const std::size_t numVertices = graph.size();
    const auto checkId = [numVertices](unsigned int id) {
        if (id >= numVertices) throw std::logic_error("extractSubGraph: vertex id beyond the graph");
    };

    subGraph.clear();
    indexMap.clear();
    for (const unsigned int v : selection) checkId(v);
    // New id of every old vertex, or `none`: a table rather than ordered maps,
    // as drill-downs cut graphs of a million vertices. The selected vertices
    // are visited in ascending old id, as the neighbours are admitted.
    constexpr unsigned int none = ~0u;
    std::vector<unsigned int> newId(numVertices, none);
    for (const unsigned int v : selection) {
        if (newId[v] != none) continue;
        newId[v] = static_cast<unsigned int>(indexMap.size());
        indexMap.push_back(v);
    }
    std::vector<unsigned int> ascending(indexMap.begin(), indexMap.end());
    std::sort(ascending.begin(), ascending.end());

    for (const unsigned int v : ascending) {
        for (const auto& edge : graph[v]) {
            const unsigned int k = edge.first;
            if (!(edge.second > threshold)) continue;
            checkId(k);
            if (newId[k] != none) continue;
            newId[k] = static_cast<unsigned int>(indexMap.size());
            indexMap.push_back(k);
        }
    }

    subGraph.resize(indexMap.size());
    for (std::size_t row = 0; row < indexMap.size(); ++row) {
        auto& out = subGraph[row];
        for (const auto& edge : graph[indexMap[row]]) {
            const unsigned int k = edge.first;
            if (k < numVertices && newId[k] != none) out[newId[k]] = edge.second;
        }
    }

    if (subGraph.empty()) return;
    double total = 0;
    for (const auto& row : subGraph)
        for (const auto& edge : row) total += static_cast<double>(edge.second);
    if (total == 0) return;
    const scalar_type rows = static_cast<scalar_type>(subGraph.size());
    for (auto& row : subGraph)
        for (auto& edge : row) {
            if constexpr (std::is_same_v<scalar_type, float>)
                edge.second = static_cast<float>(static_cast<double>(edge.second * rows) / total);
            else
                edge.second = static_cast<scalar_type>(edge.second * rows / total);
        }
}

}  // namespace utils
}  // namespace vel
