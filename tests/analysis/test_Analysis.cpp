// The analysis base: marker flags over the data set's variables and the list
// of enabled markers that the analyses compute with.
#include "data/FcsTestFile.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

class PlainAnalysis : public MCV_Analysis {
public:
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
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

}  // namespace
