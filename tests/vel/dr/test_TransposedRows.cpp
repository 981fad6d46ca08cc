// The parts of the similarities against plain references: the transposed area of
// influence against a transposition entry by entry, the landmark set against a sort.
#include <omp.h>

#include <set>

#include "vel/dr/HierarchyTestData.h"
#include "vel/dr/LandmarkSet.h"
#include "vel/dr/TransposedRows.h"

TEST(TransposedRows, ColumnsListTheRowsInIncreasingOrderOnAnyThreadCount) {
    // Rows of 0 to 40 entries over 700 columns, some columns empty.
    std::mt19937 rng(3);
    std::vector<hsnetest::Values> rows(5000);
    for (auto& row : rows)
        for (unsigned int k = rng() % 41; k > 0; --k) row[rng() % 350 * 2] = static_cast<float>(rng() % 1000) / 7.f;
    const veltest::SparseMatrix A = hsnetest::rows(rows);
    std::vector<std::vector<std::pair<unsigned int, float>>> expected(700);
    for (unsigned int i = 0; i < A.size(); ++i)
        for (const auto& [b, v] : A[i]) expected[b].emplace_back(i, v);
    for (int threads : {1, 3, 8}) {
        omp_set_num_threads(threads);
        // One slab, and slabs of about 2 KB (a column of some 290 entries, 2.3 KB, is one of its own).
        for (std::size_t slabBytes : {vel::dr::TransposedRows<float>::kSlabBytes, std::size_t(2048)}) {
            vel::dr::TransposedRows<float> transposed(A, 700, slabBytes);
            const std::size_t slabs = transposed.slabsHeld();
            EXPECT_EQ(slabs > 100, slabBytes == 2048);
            // Done in reverse order: every slab goes with the last of its columns.
            for (unsigned int b = 700; b-- > 0;) {
                std::vector<std::pair<unsigned int, float>> column;
                for (const auto& item : transposed.column(b)) column.emplace_back(item.point, item.value);
                ASSERT_EQ(column, expected[b]) << "column " << b << ", " << threads << " threads, " << slabBytes;
                transposed.done(b);
                if (b == 350) {
                    EXPECT_TRUE(transposed.slabsHeld() < slabs || slabs == 1);
                }
            }
            EXPECT_EQ(transposed.slabsHeld(), 0u);
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}

TEST(LandmarkSet, GivesItsMembersBackSortedAndOnceAndEmptiesItself) {
    for (unsigned int L : {1u, 64u, 4096u, 4097u, 300000u}) {
        vel::dr::LandmarkSet set(L);
        std::mt19937 rng(L);
        std::vector<unsigned int> out{7};
        for (int round = 0; round < 3; ++round) {
            std::set<unsigned int> expected{0, L - 1};
            set.insert(L - 1);
            set.insert(0);
            for (unsigned int k = rng() % 5000; k > 0; --k) {
                const unsigned int b = static_cast<unsigned int>(rng() % L);
                set.insert(b);
                expected.insert(b);
            }
            set.drainInto(out);
            ASSERT_EQ(out, std::vector<unsigned int>(expected.begin(), expected.end())) << L;
        }
        set.drainInto(out);
        EXPECT_TRUE(out.empty()) << L;
    }
}
