#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"

namespace {

using Registry = DerivedDataTest;

// Counts its destructions, to see who owns it.
struct CountedPoints : MCV_DerivedDataPoints {
    explicit CountedPoints(int* counter) : deaths(counter) {}
    ~CountedPoints() override { ++*deaths; }
    int* deaths;
};

}  // namespace

TEST_F(Registry, NamesAreFreeAcrossKindsAndNeverReplaced) {
    EXPECT_EQ(data->derivedDataPoints("Selection", false), data->selectionPoints()) << "one set outside the registry";
    EXPECT_TRUE(data->derivedDataPoints().empty());
    MCV_DerivedDataPoints* a = data->derivedDataPoints("A", false);
    EXPECT_EQ(data->derivedDataPoints("A", false)->name(), "A-1");
    EXPECT_EQ(data->derivedDataPoints("A", true), a);
    EXPECT_EQ(a->uiInterface(), &ui);
    MCV_DerivedDataClusters* c = data->derivedDataClusters("A", true);
    EXPECT_EQ(c->name(), "A-2") << "a cluster set may not take a point set's name";
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 3);

    int deaths = 0;
    CountedPoints* intruder = new CountedPoints(&deaths);
    ui.clear();
    quietly([&] {
        EXPECT_FALSE(data->addDerivedData(1, "A-2", intruder));
        EXPECT_FALSE(data->addDerivedData(2, "Fresh", intruder)) << "a point set is not of kind 2";
        EXPECT_FALSE(data->addDerivedData(1, "Fresh", a)) << "registered already";
        EXPECT_FALSE(data->addDerivedDataPoints(data->selectionPoints()));
    });
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(data->derivedDataClusters("A-2", true), c) << "the cluster set survives";
    EXPECT_EQ(deaths, 0) << "a refused object stays the caller's";
    EXPECT_TRUE(data->addDerivedData(1, "Fresh", intruder));
    EXPECT_EQ(intruder->uiInterface(), &ui);
    delete MCV_CytometryData::Instance();
    EXPECT_EQ(deaths, 1) << "the data set destroys what it registered";
}

TEST_F(Registry, AllPointsHoldsEveryEventAndAnImageSetFollowsIt) {
    load({Rows(3, {0, 0}), Rows(3, {0, 0})});
    data->header(0)->setWidth(3);
    data->header(0)->setHeight(2);
    ui.clear();
    data->initAllDerviedDataPointer();
    data->initAllDerviedDataPointer();  // a second call adds no second dependent
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    EXPECT_EQ(all->data(), (Points{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}));
    EXPECT_EQ(all->meta(), std::vector<int>(6, 0));
    ASSERT_EQ(data->derivedDataImage().size(), 1u);
    MCV_DerivedDataImage* img = data->derivedDataImage("All Points - Image", true);
    EXPECT_EQ(std::make_pair(img->width(), img->height()), std::make_pair(3, 2));
    ui.clear();
    all->refreshed(nullptr);
    EXPECT_EQ(ui.count("dataRefreshed", all) + ui.count("dataRefreshed", img), 2);
    EXPECT_EQ(data->addDownsampledData("X", nullptr, {1}), nullptr);
}

TEST_F(Registry, WithoutTheirKindNoTreeIsMade) {
    MCV_CytometryData::setTreeKind({});
    EXPECT_NE(capturedStdout([&] { EXPECT_EQ(data->derivedDataTrees("T", true), nullptr); }).find("[ERROR]"),
              std::string::npos);
    EXPECT_FALSE(data->addDerivedDataTree(nullptr));
    EXPECT_TRUE(data->derivedDataTrees().empty());
    EXPECT_TRUE(ui.calls.empty());
}

// A cluster set kept for an owner is that owner's alone: another owner, or a
// later one asking under the same name (a closed analysis' name reused),
// gets a set of its own under the next free "-k" name, and a set that
// someone registered by name is never handed to an owner.
TEST_F(Registry, AnOwnersClusterSetIsItsAlone) {
    MCV_DerivedDataClusters* spade = data->derivedDataClusters("Density Clusters - T", false);
    MCV_DerivedDataClusters* t = data->ownedClusters("Density Clusters - T", 7, true);
    EXPECT_NE(t, spade);
    EXPECT_EQ(t->name(), "Density Clusters - T-1");
    EXPECT_EQ(data->ownedClusters("Density Clusters - T", 7, true), t) << "its own set, again";
    EXPECT_EQ(data->derivedDataClusters("Density Clusters - T", true), spade) << "the look-up by name is unchanged";

    MCV_DerivedDataClusters* later = data->ownedClusters("Density Clusters - T", 8, true);
    EXPECT_TRUE(later != t && later != spade);
    EXPECT_EQ(later->name(), "Density Clusters - T-2");
    EXPECT_EQ(data->ownedClusters("Density Clusters - T", 7, true), t);

    MCV_DerivedDataClusters* fresh = data->ownedClusters("Density Clusters - T", 7, false);
    EXPECT_TRUE(fresh != t && fresh != later && fresh != spade);
    EXPECT_EQ(fresh->name(), "Density Clusters - T-3");
    EXPECT_EQ(data->ownedClusters("Density Clusters - T", 7, true), fresh) << "the newest";

    MCV_DerivedDataClusters* u = data->ownedClusters("Density Clusters - U", 7, true);
    EXPECT_EQ(u->name(), "Density Clusters - U") << "a free name as asked";
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 5);
    EXPECT_EQ(data->derivedDataClusters().size(), 5u);
}
