#pragma once
// The transposed area of influence: column b lists (i, A[i][b]) in increasing i.
// Built in parallel: every thread counts, then places, the entries of its own
// range of rows, after those of the threads with lower rows, so the columns come
// out the same on any number of threads. The columns lie in slabs of
// consecutive landmarks, each one allocation large enough to be handed back to
// the system when it is freed; a slab goes as soon as the similarities of all
// its landmarks are done, so that the new transition matrix grows into the
// memory the transposed matrix gives back.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <omp.h>

namespace vel {
namespace dr {

template <typename Value>
class TransposedRows {
public:
    struct Item {
        unsigned int point;
        Value value;
    };
    struct Column {
        const Item* first;
        std::size_t count;
        const Item* begin() const { return first; }
        const Item* end() const { return first + count; }
        std::size_t size() const { return count; }
        const Item& operator[](std::size_t k) const { return first[k]; }
    };

    // Large enough that the C library maps every slab on its own and unmaps it
    // when it is freed (glibc does so above 32 MB), instead of keeping it in a heap.
    static constexpr std::size_t kSlabBytes = std::size_t(64) << 20;

    // The columns of `rows` (entries below `columns`), in slabs of about slabBytes;
    // a column larger than that is a slab of its own.
    template <typename Matrix>
    TransposedRows(const Matrix& rows, unsigned int columns, std::size_t slabBytes = kSlabBytes)
        : _start(columns + 1, 0), _slabOf(columns, 0) {
        const unsigned int n = static_cast<unsigned int>(rows.size());
        const unsigned int L = columns;
        std::vector<std::uint32_t> placed;
        unsigned int threads = 1;
#pragma omp parallel
        {
#pragma omp single
            {
                threads = static_cast<unsigned int>(omp_get_num_threads());
                placed.assign(static_cast<std::size_t>(threads) * L, 0);
            }
            const unsigned int t = static_cast<unsigned int>(omp_get_thread_num());
            const unsigned int firstRow = static_cast<unsigned int>(static_cast<unsigned long long>(n) * t / threads);
            const unsigned int lastRow =
                static_cast<unsigned int>(static_cast<unsigned long long>(n) * (t + 1) / threads);
            std::uint32_t* counts = placed.data() + static_cast<std::size_t>(t) * L;
            for (unsigned int i = firstRow; i < lastRow; ++i) {
                for (const auto& entry : rows[i]) ++counts[entry.first];
            }
            // Once all are counted, the counts of a column become the offsets of the
            // threads inside it.
#pragma omp barrier
#pragma omp for schedule(static)
            for (long long lb = 0; lb < static_cast<long long>(L); ++lb) {
                std::uint32_t offset = 0;
                for (unsigned int u = 0; u < threads; ++u) {
                    std::uint32_t& c = placed[static_cast<std::size_t>(u) * L + static_cast<std::size_t>(lb)];
                    const std::uint32_t count = c;
                    c = offset;
                    offset += count;
                }
                _start[static_cast<std::size_t>(lb) + 1] = offset;
            }
#pragma omp single
            {
                for (unsigned int b = 0; b < L; ++b) _start[b + 1] += _start[b];
                cutSlabs(L, slabBytes);
            }
            for (unsigned int i = firstRow; i < lastRow; ++i)
                for (const auto& entry : rows[i]) {
                    const unsigned int b = entry.first;
                    const std::size_t at = _start[b] + counts[b]++;
                    _slabs[_slabOf[b]].items[at - _slabs[_slabOf[b]].first] = Item{i, entry.second};
                }
        }
    }

    Column column(unsigned int b) const {
        const Slab& slab = _slabs[_slabOf[b]];
        return Column{slab.items.get() + (_start[b] - slab.first), _start[b + 1] - _start[b]};
    }

    // Column b is no longer read; its slab is freed with the last of its columns.
    void done(unsigned int b) {
        Slab& slab = _slabs[_slabOf[b]];
        if (slab.open.fetch_sub(1, std::memory_order_acq_rel) == 1) slab.items.reset();
    }

    // Slabs not yet freed.
    std::size_t slabsHeld() const {
        std::size_t held = 0;
        for (const Slab& slab : _slabs) held += slab.items ? 1 : 0;
        return held;
    }

private:
    struct Slab {
        std::size_t first = 0;
        std::unique_ptr<Item[]> items;
        std::atomic<unsigned int> open{0};
    };

    void cutSlabs(unsigned int L, std::size_t slabBytes) {
        const std::size_t perSlab = std::max<std::size_t>(1, slabBytes / sizeof(Item));
        std::vector<std::pair<unsigned int, unsigned int>> ranges;
        for (unsigned int lo = 0; lo < L;) {
            unsigned int hi = lo + 1;
            while (hi < L && _start[hi + 1] - _start[lo] <= perSlab) ++hi;
            ranges.emplace_back(lo, hi);
            lo = hi;
        }
        _slabs = std::vector<Slab>(ranges.size());
        for (std::size_t s = 0; s < ranges.size(); ++s) {
            const auto [lo, hi] = ranges[s];
            _slabs[s].first = _start[lo];
            _slabs[s].items.reset(new Item[_start[hi] - _start[lo]]);
            _slabs[s].open.store(hi - lo, std::memory_order_relaxed);
            for (unsigned int b = lo; b < hi; ++b) _slabOf[b] = static_cast<std::uint32_t>(s);
        }
    }

    std::vector<std::size_t> _start;  // column b: [_start[b], _start[b + 1])
    std::vector<std::uint32_t> _slabOf;
    std::vector<Slab> _slabs;
};

}  // namespace dr
}  // namespace vel
