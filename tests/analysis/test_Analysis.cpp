// The analysis base: marker flags over the data set's variables and the list
// of enabled markers that the analyses compute with.
#include "data/FcsTestFile.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"

#include <QTemporaryDir>
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

std::vector<unsigned> range(unsigned n) {
    std::vector<unsigned> out(n);
    for (unsigned i = 0; i < n; ++i) out[i] = i;
    return out;
}

TEST(AnalysisBase, MarkerFlagsFollowTheDataSetAndKeepTheListAscending) {
    delete MCV_CytometryData::Instance();
    PlainAnalysis none;
    none.init(nullptr, "x");
    EXPECT_TRUE(none.markerStates().empty()) << "no data, no markers";

    QTemporaryDir dir;
    const std::string path = FcsTestFile::floats({std::vector<float>(12, 1.0f)}).write(dir, "d.fcs");
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(path), 0);
    PlainAnalysis a;
    a.setMarkersChanged(false);
    const std::string name = "A-tSNE Analysis \xC3\xA9";
    a.init(nullptr, name);
    EXPECT_EQ(a.name(), name);
    EXPECT_EQ(*a.selectedMarkers(), range(12));
    EXPECT_TRUE(a.markersChanged());

    a.setMarkerState(3, false);
    std::vector<unsigned> expected = range(12);
    expected.erase(expected.begin() + 3);
    EXPECT_EQ(*a.selectedMarkers(), expected);
    a.setMarkersChanged(false);
    a.setMarkerState(3, false);
    a.setMarkerState(5, true);
    EXPECT_FALSE(a.markersChanged()) << "a call that changes nothing leaves the flag";
    a.setMarkerState(3, true);
    EXPECT_TRUE(a.markersChanged());
    EXPECT_EQ(*a.selectedMarkers(), range(12));

    // Variables added later come in disabled; enabling one appends it.
    a.setMarkerState(0, false);
    a.setMarkersChanged(false);
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
    a.refreshMarkerData();
    EXPECT_EQ(a.markerStates(), (std::vector<bool>{false, true, true, true, true, true, true, true, true, true, true,
                                                   true, false, false}));
    EXPECT_FALSE(a.markersChanged());
    a.setMarkerState(13, true);
    expected = range(14);
    expected.erase(expected.begin() + 12);
    expected.erase(expected.begin());
    EXPECT_EQ(*a.selectedMarkers(), expected);
    delete MCV_CytometryData::Instance();
}

}  // namespace
