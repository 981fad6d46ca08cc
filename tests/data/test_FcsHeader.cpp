#include "data/MCV_FcsHeader.h"

#include <gtest/gtest.h>

// A header as the reader leaves it: three variables (two named CD3), marker
// lists filled. Indices outside the variables are answered, never followed.
TEST(FcsHeader, LookUpsAndChangesKeepVariablesAndMarkerListsTogether) {
    MCV_FcsHeader h(nullptr);
    h.createVariables(3);
    for (int i = 0; i < 3; ++i) h.variable(i)->name = i == 1 ? "CD4" : "CD3";
    h.initDerivedData();
    EXPECT_EQ(h.variableIdx("CD3"), 0) << "the lower of two equal names";
    EXPECT_EQ(h.variableIdx("cd4"), -1);
    for (int bad : {-1, 3}) {
        EXPECT_EQ(h.variable(bad), nullptr);
        EXPECT_EQ(h.variableName(bad), "");
        h.setVariable(bad, fcsVariable());
    }
    fcsVariable v;
    v.name = "CD8";
    v.label = "FL5-A";
    h.setVariable(1, v);
    EXPECT_EQ((*h.markerList(0))[1] + (*h.markerList(1))[1], "CD8FL5-A");
    h.setWidth(640);
    MCV_FcsHeader copy(&h);
    EXPECT_EQ(copy.width(), 0) << "a copy keeps everything but the image size";
    EXPECT_EQ(*copy.markerList(1), *h.markerList(1));
}
