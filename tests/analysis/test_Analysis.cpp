// The analysis base: marker flags over the data set's variables and the list
// of enabled markers that the analyses compute with.
#include "data/FcsTestFile.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

namespace {

class PlainAnalysis : public MCV_Analysis {
public:
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
    using MCV_Analysis::widenRows;
};

// Analyses are destroyed through the base.
static_assert(std::has_virtual_destructor<MCV_Analysis>::value, "MCV_Analysis needs a virtual destructor");

TEST(AnalysisBase, MarkerFlagsFollowTheDataSetAndKeepTheListAscending) {
    delete MCV_CytometryData::Instance();
    QTemporaryDir dir;
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(FcsTestFile::floats({{1, 1, 1, 1}}).write(dir, "d.fcs")), 0);
    PlainAnalysis a;
    a.setMarkersChanged(false);
    a.init(nullptr, "x");
    EXPECT_EQ(*a.selectedMarkers(), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_TRUE(a.markersChanged());

    a.setMarkerState(1, false);
    a.setMarkersChanged(false);
    a.setMarkerState(1, false);
    a.setMarkerState(2, true);
    EXPECT_FALSE(a.markersChanged()) << "a call that changes nothing leaves the flag";
    a.setMarkerState(0, false);
    EXPECT_TRUE(a.markersChanged());
    a.setMarkersChanged(false);

    // Variables added later come in disabled; enabling one appends it.
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
    a.refreshMarkerData();
    EXPECT_EQ(a.markerStates(), (std::vector<bool>{false, false, true, true, false, false}));
    EXPECT_FALSE(a.markersChanged());
    a.setMarkerState(5, true);
    a.setMarkerState(1, true);
    EXPECT_EQ(*a.selectedMarkers(), (std::vector<unsigned>{1, 2, 3, 5}));
    delete MCV_CytometryData::Instance();
}

// Rows laid at an earlier width of the data take the appended variables'
// values from their own events; rows that are not such rows stay as they are.
TEST(AnalysisBase, PointRowsWidenToTheDataWithTheAppendedValuesOfTheirOwnEvents) {
    delete MCV_CytometryData::Instance();
    QTemporaryDir dir;
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    // Two files of two events and two variables; a third variable appended
    // with the values 7 and 8 for the first and second event of each file.
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats({{1, 2}, {3, 4}}).write(dir, "a.fcs")), 0);
    ASSERT_EQ(data->loadFromFile(FcsTestFile::floats({{5, 6}, {7, 8}}).write(dir, "b.fcs")), 0);
    ASSERT_EQ(data->numFiles(), 2);
    ASSERT_EQ(data->combinedHeader()->numVariables(), 2);
    data->addDimensions({"Extra"}, std::vector<std::vector<float>>{{7, 8}});
    ASSERT_EQ(data->combinedHeader()->numVariables(), 3);

    using Refs = std::vector<std::pair<int, int>>;
    const struct {
        const char* what;
        std::vector<float> rows;
        Refs refs;
        std::vector<float> widened;
    } cases[] = {
        {"rows keep their values (not the data's) and take the new one of their event",
         {-1, -2, -3, -4},
         {{0, 1}, {1, 0}},
         {-1, -2, 8, -3, -4, 7}},
        {"an event named twice", {0, 0, 5, 5}, {{1, 1}, {1, 1}}, {0, 0, 8, 5, 5, 8}},
        {"a reference the data do not hold gets 0", {1, 1, 2, 2}, {{2, 0}, {0, 5}}, {1, 1, 0, 2, 2, 0}},
        {"rows as wide as the data stay", {1, 2, 3}, {{0, 0}}, {1, 2, 3}},
        {"rows of no whole width per point stay", {1, 2, 3}, {{0, 0}, {0, 1}}, {1, 2, 3}},
        {"rows not yet laid stay empty", {}, {{0, 0}}, {}},
        {"no points", {1, 2}, {}, {1, 2}},
    };
    for (const auto& c : cases) {
        std::vector<float> rows = c.rows;
        PlainAnalysis::widenRows(rows, c.refs);
        EXPECT_EQ(rows, c.widened) << c.what;
    }
    delete MCV_CytometryData::Instance();
}

}  // namespace
