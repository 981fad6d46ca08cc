#pragma once
// Exact random-walk steps over a sparse transition matrix, at a fraction of the
// cost of summing a row from its start.
//
// A step from v with the draw u goes to the column of the first entry of row v
// at which the running sum of the row's values (each widened to double, added in
// column order) exceeds u; it fails when no entry does, when the row is empty,
// or when that column is v itself. The table keeps the running sum at the end of
// every block of kBlock entries, computed by that same sequence of additions. A
// step finds the block of the crossing among these sums and adds only the values
// inside it, starting from the sum before the block: the sums it compares are
// bit for bit those of a scan from the row's start, and so is the vertex it
// returns. Finding the block that way needs running sums that never decrease; a
// row holding a negative or NaN value is scanned from its start instead.
//
// A step reads three places that depend on each other: the row's entry in the
// table, its block sums, and the block of entries. open, locate and finish
// split a step at these reads, so that a caller advancing many walks side by
// side can fetch the next read of every walk before it needs any of them.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "vel/data/MapMemEff.h"

namespace vel {
namespace dr {

template <typename Value>
class WalkSteps {
public:
    using Row = data::MapMemEff<unsigned int, Value>;
    using Matrix = std::vector<Row>;
    using Entry = typename Row::value_type;

    static constexpr unsigned int kBlock = 8;

    // A step in progress: the row's entries and where its block sums start.
    struct Cursor {
        const Entry* entries = nullptr;
        const double* blockEnds = nullptr;  // null: the row is scanned from its start
        std::uint32_t size = 0;
        std::uint32_t block = 0;
    };

    // The matrix must not change while the table is used; the table holds
    // pointers into its rows.
    explicit WalkSteps(const Matrix& M) : _rows(M.size()) {
        const long long n = static_cast<long long>(M.size());
        std::vector<std::uint32_t> blocks(M.size(), 0);
#pragma omp parallel for schedule(static)
        for (long long v = 0; v < n; ++v) {
            const Row& row = M[static_cast<std::size_t>(v)];
            RowRef& ref = _rows[static_cast<std::size_t>(v)];
            ref.entries = row.empty() ? nullptr : &*row.begin();
            ref.size = static_cast<std::uint32_t>(row.size());
            bool ordered = true;
            for (const auto& entry : row) ordered = ordered && static_cast<double>(entry.second) >= 0;
            blocks[static_cast<std::size_t>(v)] = ordered ? (ref.size + kBlock - 1) / kBlock : kScanned;
        }
        // Offsets into the block sums; beyond 32 bits every row is scanned.
        std::uint64_t total = 0;
        for (std::size_t v = 0; v < _rows.size(); ++v) {
            if (blocks[v] == kScanned) {
                _rows[v].firstEnd = kScanned;
                continue;
            }
            _rows[v].firstEnd = static_cast<std::uint32_t>(total);
            total += blocks[v];
        }
        if (total >= kScanned) {
            for (RowRef& ref : _rows) ref.firstEnd = kScanned;
            return;
        }
        _blockEnds.resize(static_cast<std::size_t>(total));
#pragma omp parallel for schedule(static)
        for (long long v = 0; v < n; ++v) {
            const RowRef& ref = _rows[static_cast<std::size_t>(v)];
            if (ref.firstEnd == kScanned) continue;
            double* ends = _blockEnds.data() + ref.firstEnd;
            double sum = 0;
            for (std::uint32_t j = 0; j < ref.size; ++j) {
                sum += static_cast<double>(ref.entries[j].second);
                if (j % kBlock == kBlock - 1 || j + 1 == ref.size) ends[j / kBlock] = sum;
            }
        }
    }

    std::size_t size() const { return _rows.size(); }

    void prefetchRow(unsigned int v) const { __builtin_prefetch(&_rows[v]); }

    // Reads the row of v and fetches its block sums.
    Cursor open(unsigned int v) const {
        const RowRef& ref = _rows[v];
        Cursor c;
        c.entries = ref.entries;
        c.size = ref.size;
        if (ref.firstEnd != kScanned) {
            c.blockEnds = _blockEnds.data() + ref.firstEnd;
            __builtin_prefetch(c.blockEnds);
        }
        return c;
    }

    // Finds the block of the crossing for the draw u and fetches its entries.
    void locate(Cursor& c, double u) const {
        if (c.blockEnds == nullptr) {
            c.block = 0;
            if (c.entries != nullptr) __builtin_prefetch(c.entries);
            return;
        }
        const std::uint32_t blocks = (c.size + kBlock - 1) / kBlock;
        // The sums do not decrease, so the blocks ending at or below u come first.
        std::uint32_t below = 0;
        if (blocks <= kLinearSearch) {
            for (std::uint32_t b = 0; b < blocks; ++b) below += c.blockEnds[b] <= u ? 1u : 0u;
        } else {
            below = static_cast<std::uint32_t>(std::upper_bound(c.blockEnds, c.blockEnds + blocks, u) - c.blockEnds);
        }
        c.block = below;
        if (below < blocks) __builtin_prefetch(c.entries + static_cast<std::size_t>(below) * kBlock);
    }

    // The vertex the step from v reaches, or -1.
    int finish(const Cursor& c, unsigned int v, double u) const {
        std::uint32_t j = 0;
        std::uint32_t end = c.size;
        double sum = 0;
        if (c.blockEnds != nullptr) {
            j = c.block * kBlock;
            if (j >= c.size) return -1;
            end = std::min(c.size, j + kBlock);
            if (c.block > 0) sum = c.blockEnds[c.block - 1];
        }
        for (; j < end; ++j) {
            sum += static_cast<double>(c.entries[j].second);
            if (sum > u) return c.entries[j].first == v ? -1 : static_cast<int>(c.entries[j].first);
        }
        return -1;
    }

    int step(unsigned int v, double u) const {
        Cursor c = open(v);
        locate(c, u);
        return finish(c, v, u);
    }

private:
    static constexpr std::uint32_t kScanned = std::numeric_limits<std::uint32_t>::max();
    // Up to this many block sums a branch-free count beats a binary search.
    static constexpr std::uint32_t kLinearSearch = 32;

    struct RowRef {
        const Entry* entries = nullptr;
        std::uint32_t size = 0;
        std::uint32_t firstEnd = 0;  // kScanned: no block sums
    };

    std::vector<RowRef> _rows;
    std::vector<double> _blockEnds;
};

}  // namespace dr
}  // namespace vel
