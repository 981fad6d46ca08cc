// The analysis base: marker flags over the data set's variables and the list
// of enabled markers that the analyses compute with.
#include "data/FcsTestFile.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class PlainAnalysis : public MCV_Analysis {
public:
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
};

class AnalysisBase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
    }
    void TearDown() override { delete MCV_CytometryData::Instance(); }

    // Loads one file of `variables` float variables (3 events).
    void loadData(int variables) {
        std::vector<std::vector<float>> rows(3, std::vector<float>(static_cast<size_t>(variables), 1.0f));
        const std::string path = FcsTestFile::floats(rows).write(dir, "d.fcs");
        ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(path), 0);
    }

    QTemporaryDir dir;
};

std::vector<unsigned> range(unsigned n) {
    std::vector<unsigned> out(n);
    for (unsigned i = 0; i < n; ++i) out[i] = i;
    return out;
}

TEST_F(AnalysisBase, ConstructionIsUntypedAndEmpty) {
    PlainAnalysis a;
    EXPECT_EQ(a.type(), -1);
    EXPECT_TRUE(a.name().empty());
    EXPECT_EQ(a.uiInterface(), nullptr);
    EXPECT_EQ(a.dataSelection(), nullptr);
    EXPECT_TRUE(a.markerStates().empty());
    EXPECT_TRUE(a.selectedMarkers()->empty());
    EXPECT_TRUE(a.markersChanged());
    EXPECT_FALSE(a.isRunning());
}

TEST_F(AnalysisBase, InitEnablesEveryVariableAndKeepsTheNameByteForByte) {
    loadData(12);
    PlainAnalysis a;
    a.setMarkersChanged(false);
    const std::string name = "A-tSNE Analysis \xC3\xA9";
    a.init(nullptr, name);
    EXPECT_EQ(a.name(), name);
    EXPECT_EQ(a.markerStates(), std::vector<bool>(12, true));
    EXPECT_EQ(*a.selectedMarkers(), range(12));
    EXPECT_TRUE(a.markersChanged());
}

TEST_F(AnalysisBase, InitWithoutDataLeavesNoMarkers) {
    PlainAnalysis a;
    a.init(nullptr, "x");
    EXPECT_TRUE(a.markerStates().empty());
    EXPECT_TRUE(a.selectedMarkers()->empty());
}

TEST_F(AnalysisBase, SetMarkerStateKeepsTheListAscendingAndIgnoresNoChange) {
    loadData(12);
    PlainAnalysis a;
    a.init(nullptr, "x");
    a.setMarkerState(3, false);
    std::vector<unsigned> expected = range(12);
    expected.erase(expected.begin() + 3);
    EXPECT_EQ(*a.selectedMarkers(), expected);

    // A call that changes nothing does not touch the changed flag.
    a.setMarkersChanged(false);
    a.setMarkerState(3, false);
    a.setMarkerState(5, true);
    EXPECT_FALSE(a.markersChanged());
    EXPECT_EQ(*a.selectedMarkers(), expected);

    a.setMarkerState(3, true);
    EXPECT_TRUE(a.markersChanged());
    EXPECT_EQ(*a.selectedMarkers(), range(12));
}

TEST_F(AnalysisBase, AddedVariablesStartDisabledAndAppendWhenEnabled) {
    loadData(12);
    PlainAnalysis a;
    a.init(nullptr, "x");
    a.setMarkerState(0, false);
    a.setMarkersChanged(false);
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
    a.refreshMarkerData();
    ASSERT_EQ(a.markerStates().size(), 14u);
    EXPECT_FALSE(a.markerStates()[12]);
    EXPECT_FALSE(a.markerStates()[13]);
    EXPECT_FALSE(a.markerStates()[0]) << "existing flags are kept";
    EXPECT_FALSE(a.markersChanged());
    EXPECT_EQ(a.selectedMarkers()->size(), 11u);

    a.setMarkerState(13, true);
    EXPECT_EQ(a.selectedMarkers()->back(), 13u);
    EXPECT_EQ(a.selectedMarkers()->size(), 12u);
}

TEST_F(AnalysisBase, DataSelectionIsStoredAsGiven) {
    loadData(2);
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    data->initAllDerviedDataPointer();
    ASSERT_FALSE(data->derivedDataPoints().empty());
    MCV_DerivedDataPoints* all = data->derivedDataPoints().front();
    PlainAnalysis a;
    a.setActiveDataSelection(all);
    EXPECT_EQ(a.dataSelection(), all);
    a.setActiveDataSelection(nullptr);
    EXPECT_EQ(a.dataSelection(), nullptr);
}

// Destroyed through the base, the concrete destructor runs.
TEST_F(AnalysisBase, DestructionThroughTheBaseRunsTheConcreteDestructor) {
    static int destroyed = 0;
    struct Owning : PlainAnalysis {
        ~Owning() override { ++destroyed; }
    };
    MCV_Analysis* a = new Owning();
    delete a;
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
