#include "data/MCV_FcsHeader.h"

#include <gtest/gtest.h>

namespace {

fcsVariable var(const std::string& name, const std::string& label, int64_t range = 1, int bits = 32) {
    fcsVariable v;
    v.name = name;
    v.label = label;
    v.range = range;
    v.bits = bits;
    return v;
}

// A header as the reader leaves it: three variables, marker lists filled.
void fill(MCV_FcsHeader& h) {
    h.setFileName("/data/a.fcs");
    h.setNumEvents(1200);
    h.createVariables(3);
    *h.variable(0) = var("CD3", "FL1-A");
    *h.variable(1) = var("CD4", "FL2-A");
    *h.variable(2) = var("CD3", "FL3-A");
    h.initDerivedData();
}

}  // namespace

TEST(FcsHeader, CopyKeepsEverythingButTheImageSize) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    h.setWidth(640);
    h.setHeight(480);
    MCV_FcsHeader copy(&h);
    EXPECT_EQ(copy.width() + copy.height(), 0);
    EXPECT_EQ(copy.printHeader(), h.printHeader());
    EXPECT_EQ(*copy.markerList(1), *h.markerList(1));
    h.setNumEvents(-1);
    EXPECT_NE(h.printHeader().find("different numbers of Events"), std::string::npos);
}

TEST(FcsHeader, LooksUpVariablesByExactNameAndRefusesBadIndices) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    EXPECT_EQ(h.variableIdx("CD3"), 0) << "the lower of two equal names";
    EXPECT_EQ(h.variableIdx("cd4") + h.variableIdx("FL2-A"), -2) << "no case folding, labels are not names";
    EXPECT_EQ(h.variable(std::string("CD4")), h.variable(1));
    for (int bad : {-1, 3}) {
        EXPECT_EQ(h.variable(bad), nullptr);
        EXPECT_EQ(h.variableName(bad), "");
    }
    const std::string before = h.printHeader();
    h.setVariable(3, var("X", "Y"));
    h.setVariable(-1, var("X", "Y"));
    EXPECT_EQ(h.printHeader(), before);
}

TEST(FcsHeader, VariablesAndMarkerListsChangeTogether) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    h.setVariable(1, var("CD8", "FL5-A"));
    EXPECT_EQ((*h.markerList(0))[1] + (*h.markerList(1))[1], "CD8FL5-A");

    h.addDimension("tSNE1");
    ASSERT_EQ(h.numVariables(), 4);
    const fcsVariable* d = h.variable(3);
    EXPECT_EQ(d->name + d->label, "tSNE1tSNE1");
    EXPECT_EQ(d->bits, 32);
    EXPECT_EQ(h.markerList(0)->back(), "tSNE1");
    EXPECT_EQ(h.markerList(1)->size(), 4u);

    // Resizing touches only the variables; added ones are empty.
    h.createVariables(2);
    EXPECT_EQ(h.markerList(0)->size(), 4u);
    h.createVariables(3);
    EXPECT_EQ(h.variable(2)->name + h.variable(2)->label, "");
}
