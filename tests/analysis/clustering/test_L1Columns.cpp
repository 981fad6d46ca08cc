// The distance kernel against the plain serial sum, bit for bit.
#include "analysis/clustering/MCV_L1Columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

template <typename T>
T serialL1(const std::vector<T>& a, const T* b) {
    T d = 0;
    for (size_t m = 0; m < a.size(); ++m) d += std::fabs(a[m] - b[m]);
    return d;
}

template <typename T>
bool sameBits(T a, T b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
class L1ColumnsTest : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(L1ColumnsTest, Types);

TYPED_TEST(L1ColumnsTest, EveryRangeGivesTheSerialSumsCountsAndSingleMarkerFlags) {
    using T = TypeParam;
    std::mt19937 rng(7);
    // Values of mixed magnitudes, so that a reordered sum would differ.
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (size_t markers : {1, 3, 30}) {
        for (size_t n : {0, 1, 15, 16, 17, 100}) {
            std::vector<std::vector<T>> rows(n, std::vector<T>(markers));
            MCV_L1Columns<T> store;
            store.reset(markers);
            for (auto& r : rows) {
                for (auto& v : r) v = static_cast<T>(u(rng) * std::pow(10.0, static_cast<int>(rng() % 9) - 4));
                store.append(r.data());
            }
            ASSERT_EQ(store.size(), n);
            std::vector<T> q(markers);
            for (auto& v : q) v = static_cast<T>(u(rng));
            const std::pair<size_t, size_t> ranges[] = {{0, n}, {n / 3, n}, {0, n / 2}, {n / 4, n / 4}};
            for (auto [b, e] : ranges) {
                std::vector<T> out(e - b);
                std::vector<unsigned char> ex(e - b);
                store.distances(q.data(), b, e, out.data());
                const T limit = static_cast<T>(0.5);
                std::vector<T> capped(e - b);
                store.distances(q.data(), b, e, capped.data(), limit, ex.data());
                size_t within = 0;
                const T radius = static_cast<T>(markers) * static_cast<T>(0.4);
                for (size_t i = b; i < e; ++i) {
                    const T ref = serialL1(rows[i], q.data());
                    ASSERT_TRUE(sameBits(out[i - b], ref)) << n << " " << markers << " " << i;
                    ASSERT_TRUE(sameBits(capped[i - b], ref));
                    bool over = false;
                    for (size_t m = 0; m < markers; ++m) over = over || std::fabs(rows[i][m] - q[m]) > limit;
                    ASSERT_EQ(ex[i - b] != 0, over);
                    within += radius >= ref ? 1 : 0;
                    for (size_t m = 0; m < markers; ++m) ASSERT_EQ(store.value(i, m), rows[i][m]);
                }
                EXPECT_EQ(store.countWithin(q.data(), b, e, radius), within);
            }
        }
    }
}

TYPED_TEST(L1ColumnsTest, SwapRemoveMovesTheLastEventAndKeepsTheRest) {
    using T = TypeParam;
    MCV_L1Columns<T> store;
    store.reset(2);
    std::vector<std::vector<T>> rows;
    for (int i = 0; i < 40; ++i) {
        rows.push_back({static_cast<T>(i), static_cast<T>(-2 * i)});
        store.append(rows.back().data());
    }
    // Remove from the front, the middle and the end, down to nothing.
    std::mt19937 rng(3);
    while (store.size() > 0) {
        const size_t i = rng() % store.size();
        rows[i] = rows.back();
        rows.pop_back();
        store.swapRemove(i);
        ASSERT_EQ(store.size(), rows.size());
        const T zero[2] = {0, 0};
        std::vector<T> out(store.size());
        store.distances(zero, 0, store.size(), out.data());
        for (size_t k = 0; k < rows.size(); ++k) {
            std::vector<T> got(2);
            store.copyEvent(k, got.data());
            ASSERT_EQ(got, rows[k]);
            ASSERT_EQ(out[k], serialL1(rows[k], zero));
        }
    }
}

TEST(L1Columns, RowsAreCopiedFromTheChosenColumnsAndNonFiniteValuesStayInTheirLanes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float rows[3][4] = {{1, 2, 3, 4}, {inf, 0, -inf, 1}, {std::nanf(""), 5, 6, 7}};
    const unsigned columns[] = {3, 0};
    MCV_L1Columns<float> store;
    store.reset(2);
    for (const auto& r : rows) store.appendRow(r, columns);
    const float q[2] = {0, 0};
    float out[3];
    store.distances(q, 0, 3, out);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(out[1], inf);
    EXPECT_TRUE(std::isnan(out[2]));
    EXPECT_EQ(store.countWithin(q, 0, 3, inf), 2u);

    // A negative limit is exceeded by any numeric difference, never by NaN
    // alone or by no marker at all.
    const float nanRow[2] = {std::nanf(""), std::nanf("")};
    store.append(nanRow);
    unsigned char exceeded[4];
    float capped[4];
    store.distances(q, 0, 4, capped, -1.0f, exceeded);
    EXPECT_EQ(std::vector<int>(exceeded, exceeded + 4), (std::vector<int>{1, 1, 1, 0}));
    MCV_L1Columns<float> none;
    none.reset(0);
    none.append(nullptr);
    none.distances(q, 0, 1, capped, -1.0f, exceeded);
    EXPECT_EQ(exceeded[0], 0);
    EXPECT_EQ(capped[0], 0.0f);
}

}  // namespace
