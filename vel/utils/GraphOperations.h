#pragma once
// Connected components, edge removal and two-step expansion over weighted
// directed graphs held as vectors of sparse rows (keys below the row count).

#include <algorithm>
#include <cstdint>
#include <queue>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vel {
namespace utils {

// Breadth-first search along out-edges strictly heavier than `threshold`,
// starting from every vertex that has no component yet, in ascending order.
// Component ids are given in order of discovery; componentRoot holds each
// component's start vertex, componentSize its vertex count.
template <typename sparse_matrix_type>
void computeConnectedComponents(const sparse_matrix_type& graph, std::vector<unsigned int>& componentOfVertex,
                                std::vector<unsigned int>& componentRoot, std::vector<unsigned int>& componentSize,
                                typename sparse_matrix_type::value_type::mapped_type threshold) {
    constexpr unsigned int unassigned = 0xFFFFFFFFu;
    const std::size_t n = graph.size();
    componentOfVertex.assign(n, unassigned);
    componentRoot.clear();
    componentSize.clear();
    unsigned int component = 0;
    for (std::size_t s = 0; s < n; ++s) {
        if (componentOfVertex[s] != unassigned) continue;
        std::queue<unsigned int> queue;
        queue.push(static_cast<unsigned int>(s));
        componentOfVertex[s] = component;
        componentRoot.push_back(static_cast<unsigned int>(s));
        unsigned int size = 0;
        while (!queue.empty()) {
            const unsigned int v = queue.front();
            queue.pop();
            ++size;
            for (const auto& edge : graph[v]) {
                if (edge.first >= n) throw std::logic_error("computeConnectedComponents: vertex id beyond the graph");
                if (componentOfVertex[edge.first] == unassigned && edge.second > threshold) {
                    componentOfVertex[edge.first] = component;
                    queue.push(edge.first);
                }
            }
        }
        componentSize.push_back(size);
        ++component;
    }
}

// Keeps the edges that end in the selection, their ends renumbered by their
// position in `selection` (the last position of an id listed twice). The rows
// keep their numbering.
template <typename sparse_matrix_type>
void removeEdgesToUnselectedVertices(sparse_matrix_type& graph, const std::vector<unsigned int>& selection) {
    std::unordered_map<unsigned int, unsigned int> position;
    for (std::size_t p = 0; p < selection.size(); ++p) position[selection[p]] = static_cast<unsigned int>(p);
    sparse_matrix_type filtered(graph.size());
    for (std::size_t i = 0; i < graph.size(); ++i)
        for (const auto& edge : graph[i]) {
            auto it = position.find(edge.first);
            if (it != position.end()) filtered[i][it->second] = edge.second;
        }
    graph = std::move(filtered);
}

// Row i of expandedGraph is the distribution of a two-step walk from i over
// the weights of graph, without the return to i, normalised to sum 1. A row
// whose values add up to zero is left unnormalised.
template <typename sparse_matrix_type>
void expand(const sparse_matrix_type& graph, sparse_matrix_type& expandedGraph) {
    using scalar_type = typename sparse_matrix_type::value_type::mapped_type;
    const std::size_t n = graph.size();
    expandedGraph.clear();
    expandedGraph.resize(n);
    std::vector<scalar_type> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::fill(x.begin(), x.end(), scalar_type(0));
        x[i] = scalar_type(1);
        for (int step = 0; step < 2; ++step) {
            std::fill(y.begin(), y.end(), scalar_type(0));
            for (std::size_t j = 0; j < n; ++j) {
                if (x[j] == scalar_type(0)) continue;
                for (const auto& edge : graph[j]) {
                    if (edge.first >= n) throw std::logic_error("expand: vertex id beyond the graph");
                    y[edge.first] += x[j] * edge.second;
                }
            }
            x.swap(y);
        }
        auto& row = expandedGraph[i];
        for (std::size_t k = 0; k < n; ++k)
            if (k != i && !(x[k] == scalar_type(0))) row[static_cast<unsigned int>(k)] = x[k];
    }
    for (auto& row : expandedGraph) {
        double sum = 0;
        for (const auto& entry : row) sum += static_cast<double>(entry.second);
        if (row.empty() || sum == 0) continue;
        for (auto& entry : row) entry.second = static_cast<scalar_type>(static_cast<double>(entry.second) / sum);
    }
}

}  // namespace utils
}  // namespace vel
