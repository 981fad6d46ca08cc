#include "data/MCV_FcsHeader.h"

#include <gtest/gtest.h>

TEST(FcsHeader, EmptyHeaderPrintsOnlyCounts) {
    MCV_FcsHeader h(nullptr);
    EXPECT_EQ(h.printHeader(), "\n\n\n0 Events\n0 Variables\n\n");
}
