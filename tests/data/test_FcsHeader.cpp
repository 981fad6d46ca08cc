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

TEST(FcsHeader, PrintsKeptKeywordsAndVariables) {
    EXPECT_EQ(MCV_FcsHeader(nullptr).printHeader(), "\n\n\n0 Events\n0 Variables\n\n");
    MCV_FcsHeader h(nullptr);
    fill(h);
    const std::string variables =
        "========== Variables ==========\n"
        "\n--CD3 // FL1-A --\nRange: 1024\n16 bits\nExponent: 0\n"
        "\n--CD4 // FL2-A --\nRange: 262144\n32 bits\nExponent: 0.5\n"
        "\n--CD3 // FL3-A --\nRange: 65536\n32 bits\nExponent: 4\n";
    EXPECT_EQ(h.printHeader(),
              "/data/a.fcs\nFCS3.1\n\n1200 Events\n3 Variables\n\nStart Time: -1\nDate: 01-JAN-2020\n\n"
              "Byte Order: 1,2,3,4\nDatatype: F\n\nCells: T cells\n\nCreator: writer 1.0\n\n\n" +
                  variables);
    h.setNumEvents(-1);
    EXPECT_NE(h.printHeader().find("FCS3.1\n\ndifferent numbers of Events\n3 Variables\n"), std::string::npos);

    // A copy keeps everything but the image size.
    h.setWidth(640);
    h.setHeight(480);
    MCV_FcsHeader copy(&h);
    EXPECT_EQ(copy.width() + copy.height(), 0);
    EXPECT_EQ(copy.printHeader(), h.printHeader());
    EXPECT_EQ(*copy.markerList(1), *h.markerList(1));
}

TEST(FcsHeader, LooksUpVariablesByExactNameAndRefusesBadIndices) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    EXPECT_EQ(h.variableIdx("CD3"), 0) << "the lower of two equal names";
    EXPECT_EQ(h.variableIdx("cd4"), -1);
    EXPECT_EQ(h.variableIdx("FL2-A"), -1) << "labels are not names";
    EXPECT_EQ(h.variable(std::string("CD4")), h.variable(1));
    EXPECT_EQ(h.variable(std::string("none")), nullptr);
    for (int bad : {-1, 3}) {
        EXPECT_EQ(h.variable(bad), nullptr);
        EXPECT_EQ(h.variableName(bad), "");
    }
    const std::string before = h.printHeader();
    h.setVariable(3, var("X", "Y", 1, 1, 1.0));
    h.setVariable(-1, var("X", "Y", 1, 1, 1.0));
    EXPECT_EQ(h.printHeader(), before);
    EXPECT_EQ(h.markerList(0)->size(), 3u);
}

TEST(FcsHeader, VariablesAndMarkerListsChangeTogether) {
    MCV_FcsHeader h(nullptr);
    fill(h);
    h.setVariable(1, var("CD8", "FL5-A", 1, 16, 2.0));
    EXPECT_EQ((*h.markerList(0))[1], "CD8");
    EXPECT_EQ((*h.markerList(1))[1], "FL5-A");

    h.addDimension("tSNE1");
    ASSERT_EQ(h.numVariables(), 4);
    const fcsVariable* d = h.variable(3);
    EXPECT_EQ(d->name + d->label, "tSNE1tSNE1");
    EXPECT_EQ(d->range, 0);
    EXPECT_EQ(d->bits, 32);
    EXPECT_EQ(d->exponent, 1.0);
    EXPECT_EQ(h.markerList(0)->back(), "tSNE1");
    EXPECT_EQ(h.markerList(1)->size(), 4u);

    // Resizing touches only the variables; added ones are empty.
    h.createVariables(2);
    EXPECT_EQ(h.variableName(1), "CD8");
    EXPECT_EQ(h.markerList(0)->size(), 4u);
    h.createVariables(3);
    const fcsVariable* added = h.variable(2);
    EXPECT_EQ(added->name + added->label, "");
    EXPECT_EQ(added->range + added->bits + added->exponent, 0);
}
