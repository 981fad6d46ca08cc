#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "vel/dr/ScratchRow.h"

// Random contributions against an ordered map; a clear leaves no trace in the
// next round, which reuses some of the same columns.
TEST(ScratchRow, SumsLikeAnOrderedMapAndClearsWhatItTouched) {
    std::mt19937 rng(3);
    vel::dr::ScratchRow<double> row(50);
    for (unsigned int round = 0; round < 20; ++round) {
        std::map<unsigned int, double> expected;
        for (unsigned int k = 0; k < round * 3; ++k) {
            const unsigned int column = rng() % 50;
            const double value = static_cast<double>(rng() % 1000) / 7.0 - 50;
            row.add(column, value);
            expected[column] += value;
        }
        std::map<unsigned int, double> got;
        for (unsigned int column : row.sortedColumns()) got[column] = row[column];
        EXPECT_EQ(got, expected) << round;
        EXPECT_TRUE(std::is_sorted(row.sortedColumns().begin(), row.sortedColumns().end()));
        EXPECT_EQ(row.sortedColumns().size(), expected.size());
        row.clear();
        for (unsigned int column = 0; column < 50; ++column) EXPECT_EQ(row[column], 0.0);
    }
}
