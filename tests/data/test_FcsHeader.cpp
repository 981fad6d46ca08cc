#include "data/MCV_FcsHeader.h"

#include <gtest/gtest.h>

namespace {

fcsVariable var(const std::string& name, const std::string& label, int64_t range, int bits, double exponent) {
    fcsVariable v;
    v.name = name;
    v.label = label;
    v.range = range;
    v.bits = bits;
    v.exponent = exponent;
    return v;
}

// A header as the reader leaves it: three variables, marker lists filled.
void fill(MCV_FcsHeader& h) {
    h.setFileName("/data/a.fcs");
    h.setFcsVersion("FCS3.1");
    h.setNumEvents(1200);
    h.createVariables(3);
    *h.variable(0) = var("CD3", "FL1-A", 1024, 16, 0.0);
    *h.variable(1) = var("CD4", "FL2-A", 262144, 32, 0.5);
    *h.variable(2) = var("CD3", "FL3-A", 65536, 32, 4.0);
    h.initDerivedData();
    h.setStartTime("-1");
    h.setDate("01-JAN-2020");
    h.setByteOrder("1,2,3,4");
    h.setDataType("F");
    h.setCells("T cells");
    h.setCreator("writer 1.0");
}

}  // namespace

TEST(FcsHeader, EmptyHeaderPrintsOnlyCounts) {
    MCV_FcsHeader h(nullptr);
    EXPECT_EQ(h.printHeader(), "\n\n\n0 Events\n0 Variables\n\n");
}

TEST(FcsHeader, PrintsKeptKeywordsAndVariables) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    EXPECT_EQ(h.printHeader(),
              "/data/a.fcs\nFCS3.1\n\n1200 Events\n3 Variables\n\n"
              "Start Time: -1\n"
              "Date: 01-JAN-2020\n\n"
              "Byte Order: 1,2,3,4\n"
              "Datatype: F\n\n"
              "Cells: T cells\n\n"
              "Creator: writer 1.0\n\n\n"
              "========== Variables ==========\n"
              "\n--CD3 // FL1-A --\nRange: 1024\n16 bits\nExponent: 0\n"
              "\n--CD4 // FL2-A --\nRange: 262144\n32 bits\nExponent: 0.5\n"
              "\n--CD3 // FL3-A --\nRange: 65536\n32 bits\nExponent: 4\n");

    h.setNumEvents(-1);
    const std::string text = h.printHeader();
    EXPECT_EQ(text.find("FCS3.1\n\ndifferent numbers of Events\n3 Variables\n\n"), std::string("/data/a.fcs\n").size());
}

TEST(FcsHeader, LooksUpVariablesByExactName) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    EXPECT_EQ(h.variableIdx("CD3"), 0);  // the lower of two equal names
    EXPECT_EQ(h.variableIdx("CD4"), 1);
    EXPECT_EQ(h.variableIdx("cd4"), -1);
    EXPECT_EQ(h.variableIdx("FL2-A"), -1);  // labels are not names
    EXPECT_EQ(h.variable(std::string("CD4")), h.variable(1));
    EXPECT_EQ(h.variable(std::string("none")), nullptr);

    EXPECT_EQ(h.variable(-1), nullptr);
    EXPECT_EQ(h.variable(3), nullptr);
    EXPECT_EQ(h.variableName(3), "");
    EXPECT_EQ(h.variableName(-1), "");
    EXPECT_EQ(h.variableName(2), "CD3");
}

TEST(FcsHeader, CopyKeepsEverythingButTheImageSize) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    h.setWidth(640);
    h.setHeight(480);
    MCV_FcsHeader copy(&h);
    EXPECT_EQ(copy.width(), 0);
    EXPECT_EQ(copy.height(), 0);
    EXPECT_EQ(copy.printHeader(), h.printHeader());
    EXPECT_EQ(*copy.markerList(0), *h.markerList(0));
    EXPECT_EQ(*copy.markerList(1), *h.markerList(1));
    EXPECT_EQ(copy.variable(1)->exponent, 0.5);
}

TEST(FcsHeader, CreateVariablesResizesOnlyTheVariables) {
    MCV_FcsHeader h(nullptr);
    h.createVariables(5);
    for (int i = 0; i < 5; ++i) *h.variable(i) = var("V" + std::to_string(i), "L", 9, 8, 2.0);
    h.initDerivedData();
    h.createVariables(3);
    EXPECT_EQ(h.numVariables(), 3);
    EXPECT_EQ(h.variableName(2), "V2");
    EXPECT_EQ(h.markerList(0)->size(), 5u);

    h.createVariables(4);
    const fcsVariable* added = h.variable(3);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->name, "");
    EXPECT_EQ(added->label, "");
    EXPECT_EQ(added->range, 0);
    EXPECT_EQ(added->bits, 0);
    EXPECT_EQ(added->exponent, 0.0);
    EXPECT_EQ(h.variable(0)->range, 9);
}

TEST(FcsHeader, SetVariableAndAddDimensionKeepMarkerListsInStep) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    const std::string before = h.printHeader();
    h.setVariable(3, var("X", "Y", 1, 1, 1.0));
    h.setVariable(-1, var("X", "Y", 1, 1, 1.0));
    EXPECT_EQ(h.printHeader(), before);
    EXPECT_EQ(h.markerList(0)->size(), 3u);

    h.setVariable(1, var("CD8", "FL5-A", 1, 16, 2.0));
    EXPECT_EQ((*h.markerList(0))[1], "CD8");
    EXPECT_EQ((*h.markerList(1))[1], "FL5-A");
    EXPECT_EQ(h.variable(1)->bits, 16);

    h.addDimension("tSNE1");
    ASSERT_EQ(h.numVariables(), 4);
    const fcsVariable* d = h.variable(3);
    EXPECT_EQ(d->name, "tSNE1");
    EXPECT_EQ(d->label, "tSNE1");
    EXPECT_EQ(d->range, 0);
    EXPECT_EQ(d->bits, 32);
    EXPECT_EQ(d->exponent, 1.0);
    EXPECT_EQ(h.markerList(0)->back(), "tSNE1");
    EXPECT_EQ(h.markerList(1)->size(), 4u);
}

TEST(FcsHeader, InitDerivedDataAppends) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    h.initDerivedData();
    EXPECT_EQ(*h.markerList(0), (std::vector<std::string>{"CD3", "CD4", "CD3", "CD3", "CD4", "CD3"}));
    EXPECT_EQ(h.markerList(1)->size(), 6u);
}
