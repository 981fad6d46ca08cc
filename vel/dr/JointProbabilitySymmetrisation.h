#pragma once
// Symmetrisation of a sparse joint-probability matrix with key-sorted rows,
// shared by the t-SNE engines.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace vel {
namespace dr {

// Blocks of rows whose incoming entries are gathered at a time, at most.
constexpr std::size_t kSymmetrisationBlocks = 16;
// Entries below which the symmetrisation runs on the calling thread.
constexpr std::size_t kParallelSymmetrisationEntries = std::size_t(1) << 18;

// out[i][j] = out[j][i] = (p_ij + p_ji) / 2, in the rows' value type, for
// every pair stored in either direction of P (an absent entry counts as 0).
// `out` must hold P.size() empty rows. Rows of P are sorted by column with
// columns below P.size(). Row i is the union of its own columns and of the
// rows that name i without being named by it. For one block of rows at a
// time, every entry naming a row of the block is looked up once in that row:
// found, its value is kept as the mirror of the row's entry; absent, it joins
// the row's incoming entries, which are then sorted. The extra memory stays a
// small share of the matrix. Every row is built once, at its final size, in
// parallel. Rows are independent: the result does not depend on the thread
// count.
template <typename sparse_matrix_type>
void symmetrizeSortedRows(const sparse_matrix_type& P, sparse_matrix_type& out) {
    using row_type = typename sparse_matrix_type::value_type;
    using value_type = typename row_type::mapped_type;
    const std::size_t n = P.size();
    if (n == 0) return;
    // The first entry of a row at or after column a: rows are sorted.
    const auto inBlock = [](const row_type& row, std::size_t a) {
        return std::lower_bound(row.begin(), row.end(), a,
                                [](const auto& entry, std::size_t column) { return entry.first < column; });
    };
    std::vector<std::size_t> first(n + 1, 0);  // of each row's entries, in row order
    for (std::size_t i = 0; i < n; ++i) first[i + 1] = first[i] + P[i].size();
    // f(i, e, p_ji) for each entry (j, i) of row j with a <= i < b, e its
    // index among all entries.
    const auto forEntriesIntoBlock = [&P, &first, &inBlock](std::size_t j, std::size_t a, std::size_t b, auto&& f) {
        const row_type& row = P[j];
        auto it = inBlock(row, a);
        for (std::size_t e = first[j] + static_cast<std::size_t>(it - row.begin()); it != row.end() && it->first < b;
             ++it, ++e)
            f(static_cast<std::size_t>(it->first), e, it->second);
    };
    // Small matrices in one block and on the calling thread: a team would cost
    // more than it saves. Larger ones in blocks of about 2^20 entries, at most
    // kSymmetrisationBlocks.
    const std::size_t entries = first[n];
    const bool parallel = entries >= kParallelSymmetrisationEntries;
    const std::size_t blocks =
        std::max<std::size_t>(1, std::min<std::size_t>({kSymmetrisationBlocks, n, entries >> 20}));
    std::vector<value_type> mirror;                              // p_ji of the block's entries (i, j)
    std::vector<std::uint32_t> count, cursor;                    // incoming entries per row of the block
    std::vector<std::size_t> start;                              // of each row's incoming entries
    std::vector<std::pair<std::uint32_t, value_type>> incoming;  // (j, p_ji) without an entry (i, j)
    std::vector<std::uint64_t> lonely((first[n] + 63) / 64, 0);  // per entry (j, i): no entry (i, j)
    for (std::size_t block = 0; block < blocks; ++block) {
        const std::size_t a = n * block / blocks, b = n * (block + 1) / blocks;
        mirror.assign(first[b] - first[a], value_type(0));
        count.assign(b - a, 0);
#pragma omp parallel for schedule(dynamic, 1024) if (parallel)
        for (long long lj = 0; lj < static_cast<long long>(n); ++lj) {
            const std::size_t j = static_cast<std::size_t>(lj);
            forEntriesIntoBlock(j, a, b, [&](std::size_t i, std::size_t e, value_type pji) {
                const auto found = P[i].find(static_cast<unsigned int>(j));
                if (found != P[i].end()) {
                    mirror[first[i] - first[a] + static_cast<std::size_t>(found - P[i].begin())] = pji;
                    return;
                }
                __atomic_fetch_or(&lonely[e / 64], std::uint64_t(1) << (e % 64), __ATOMIC_RELAXED);
                __atomic_fetch_add(&count[i - a], 1u, __ATOMIC_RELAXED);
            });
        }
        start.assign(b - a + 1, 0);
        for (std::size_t i = a; i < b; ++i) start[i - a + 1] = start[i - a] + count[i - a];
        cursor.assign(start.begin(), start.end() - 1);
        incoming.resize(start[b - a]);
#pragma omp parallel for schedule(dynamic, 1024) if (parallel)
        for (long long lj = 0; lj < static_cast<long long>(n); ++lj) {
            const std::size_t j = static_cast<std::size_t>(lj);
            forEntriesIntoBlock(j, a, b, [&](std::size_t i, std::size_t e, value_type pji) {
                if (!((lonely[e / 64] >> (e % 64)) & 1u)) return;
                const std::uint32_t at = __atomic_fetch_add(&cursor[i - a], 1u, __ATOMIC_RELAXED);
                incoming[at] = {static_cast<std::uint32_t>(j), pji};
            });
        }
#pragma omp parallel if (parallel)
        {
            std::vector<std::pair<unsigned int, value_type>> merged;
#pragma omp for schedule(dynamic, 256)
            for (long long li = static_cast<long long>(a); li < static_cast<long long>(b); ++li) {
                const std::size_t i = static_cast<std::size_t>(li);
                auto* from = incoming.data() + start[i - a];
                auto* to = incoming.data() + start[i - a + 1];
                std::sort(from, to, [](const auto& x, const auto& y) { return x.first < y.first; });
                const row_type& own = P[i];
                const value_type* mirrors = mirror.data() + (first[i] - first[a]);
                merged.clear();
                auto it = own.begin();
                while (it != own.end() || from != to) {
                    if (from == to || (it != own.end() && it->first < from->first)) {
                        const value_type pij = it->second;
                        const value_type pji = it->first == i ? pij : mirrors[it - own.begin()];
                        merged.emplace_back(it->first, (pij + pji) * value_type(0.5));
                        ++it;
                    } else {
                        merged.emplace_back(from->first, (value_type(0) + from->second) * value_type(0.5));
                        ++from;
                    }
                }
                out[i].initialize(merged.begin(), merged.end(), -std::numeric_limits<value_type>::infinity());
            }
        }
    }
}

}  // namespace dr
}  // namespace vel
