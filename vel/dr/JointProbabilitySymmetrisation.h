#pragma once
// Symmetrisation of a sparse joint-probability matrix with key-sorted rows,
// shared by the t-SNE engines.

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace vel {
namespace dr {

// out[i][j] = out[j][i] = (p_ij + p_ji) / 2, in the rows' value type, for
// every pair stored in either direction of P (an absent entry counts as 0).
// `out` must hold P.size() empty rows. Rows of P are sorted by column with
// columns below P.size(). Row i is the union of its own columns and of the
// rows that name i, which a column list gives in ascending order; every row is
// then built once, at its final size. Rows are independent: the result does
// not depend on the thread count.
template <typename sparse_matrix_type>
void symmetrizeSortedRows(const sparse_matrix_type& P, sparse_matrix_type& out) {
    using row_type = typename sparse_matrix_type::value_type;
    using value_type = typename row_type::mapped_type;
    const std::size_t n = P.size();
    std::vector<std::size_t> start(n + 1, 0);
    for (const auto& row : P)
        for (const auto& entry : row) ++start[entry.first + 1];
    for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
    std::vector<std::uint32_t> incoming(start[n]);
    {
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i)
            for (const auto& entry : P[i]) incoming[next[entry.first]++] = static_cast<std::uint32_t>(i);
    }
#pragma omp parallel
    {
        std::vector<std::pair<unsigned int, value_type>> merged;
#pragma omp for schedule(static)
        for (long long li = 0; li < static_cast<long long>(n); ++li) {
            const std::size_t i = static_cast<std::size_t>(li);
            const row_type& own = P[i];
            merged.clear();
            auto a = own.begin();
            std::size_t b = start[i];
            const std::size_t bEnd = start[i + 1];
            while (a != own.end() || b < bEnd) {
                unsigned int key;
                value_type pij;
                if (b == bEnd || (a != own.end() && a->first <= incoming[b])) {
                    key = a->first;
                    pij = a->second;
                    if (b < bEnd && incoming[b] == key) ++b;
                    ++a;
                } else {
                    key = incoming[b++];
                    pij = value_type(0);
                }
                value_type pji = pij;
                if (key != i) {
                    const auto found = P[key].find(static_cast<unsigned int>(i));
                    pji = found == P[key].end() ? value_type(0) : found->second;
                }
                merged.emplace_back(key, (pij + pji) * value_type(0.5));
            }
            out[i].initialize(merged.begin(), merged.end(), -std::numeric_limits<value_type>::infinity());
        }
    }
}

}  // namespace dr
}  // namespace vel
