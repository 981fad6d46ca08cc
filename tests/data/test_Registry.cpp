// The data set's registry of derived data: free names across kinds, refusal of
// taken names, the selection set, "All Points", down-sampled sets and
// ownership.
#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataImage.h"
#include "data/MCV_DerivedDataPoints.h"

namespace {

class Registry : public DerivedDataTest {};

// Counts its destructions, to see who owns it.
struct CountedPoints : MCV_DerivedDataPoints {
    explicit CountedPoints(int* counter) : deaths(counter) {}
    ~CountedPoints() override { ++*deaths; }
    int* deaths;
};

std::vector<std::string> names(const std::vector<MCV_DerivedDataPoints*>& v) {
    std::vector<std::string> n;
    for (auto* p : v) n.push_back(p->name());
    return n;
}

}  // namespace

TEST_F(Registry, LookUpsPickFreeNamesOrReuse) {
    MCV_DerivedDataPoints* a = data->derivedDataPoints("A", false);
    MCV_DerivedDataPoints* a1 = data->derivedDataPoints("A", false);
    MCV_DerivedDataPoints* a2 = data->derivedDataPoints("A", false);
    EXPECT_EQ(a->name() + a1->name() + a2->name(), "AA-1A-2");
    EXPECT_EQ(data->derivedDataPoints("A", true), a);
    EXPECT_EQ(names(data->derivedDataPoints()), (std::vector<std::string>{"A", "A-1", "A-2"}));
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 3);
    EXPECT_EQ(a->uiInterface(), &ui);

    data->derivedDataImage("I", false);
    data->derivedDataImage("I", false);
    EXPECT_EQ(data->derivedDataImage("I", false)->name(), "I-2");
    EXPECT_EQ(data->derivedDataImage().size(), 3u);
    EXPECT_EQ(data->derivedDataClusters("C", true), data->derivedDataClusters("C", true));
    EXPECT_EQ(data->derivedDataClusters().size(), 1u);
}

TEST_F(Registry, NamesAreUniqueAcrossKindsAndNeverReplaced) {
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    MCV_DerivedDataClusters* c = data->derivedDataClusters("All Points", true);
    EXPECT_EQ(c->name(), "All Points-1") << "a cluster set may not take the point set's name";
    EXPECT_EQ(data->derivedDataPoints("All Points", true), all);

    int deaths = 0;
    CountedPoints* intruder = new CountedPoints(&deaths);
    ui.clear();
    quietly([&] { EXPECT_FALSE(data->addDerivedData(1, "All Points-1", intruder)); });
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(data->derivedDataClusters("All Points-1", true), c) << "the cluster set survives";
    EXPECT_EQ(deaths, 0) << "a refused object stays the caller's";

    quietly([&] {
        EXPECT_FALSE(data->addDerivedData(2, "Fresh", intruder)) << "a point set is not of kind 2";
        EXPECT_FALSE(data->addDerivedData(1, "Fresh", all)) << "registered already";
    });
    EXPECT_TRUE(data->addDerivedData(1, "Fresh", intruder));
    EXPECT_EQ(intruder->uiInterface(), &ui);
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 1);

    delete MCV_CytometryData::Instance();
    EXPECT_EQ(deaths, 1) << "the data set destroys what it registered";
}

TEST_F(Registry, SelectionIsOneSetOutsideTheRegistry) {
    MCV_DerivedDataPoints* sel = data->derivedDataPoints("Selection", false);
    EXPECT_EQ(sel, data->selectionPoints());
    EXPECT_EQ(sel, data->derivedDataPoints("Selection", true));
    EXPECT_TRUE(data->derivedDataPoints().empty());
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 0);
    quietly([&] { EXPECT_FALSE(data->addDerivedDataPoints(sel)); });
}

TEST_F(Registry, AllPointsHoldsEveryEventFileByFile) {
    load({Rows(3, {0, 0}), Rows(4, {0, 0})});
    ui.clear();
    data->initAllDerviedDataPointer();
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    EXPECT_EQ(all->data(), (Points{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ(all->meta(), std::vector<int>(7, 0));
    EXPECT_EQ(all->numDiscreteMetaValues(), 1);
    EXPECT_TRUE(data->derivedDataImage().empty()) << "no image without a width in the header";
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 1);
    EXPECT_EQ(ui.count("dataRefreshed", all), 2) << "setPoints and setMeta";
}

TEST_F(Registry, ImageDataGetsAnImageSetRefreshedWithAllPoints) {
    load({Rows(6, {1, 2})});
    data->header(0)->setWidth(3);
    data->header(0)->setHeight(2);
    data->initAllDerviedDataPointer();
    data->initAllDerviedDataPointer();  // a second call adds no second dependent
    ASSERT_EQ(data->derivedDataImage().size(), 1u);
    MCV_DerivedDataImage* img = data->derivedDataImage("All Points - Image", true);
    EXPECT_EQ(img->width(), 3);
    EXPECT_EQ(img->height(), 2);
    EXPECT_EQ(img->data().size(), 6u);
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    ui.clear();
    all->refreshed(nullptr);
    EXPECT_EQ(ui.count("dataRefreshed", all), 1);
    EXPECT_EQ(ui.count("dataRefreshed", img), 1);
}

TEST_F(Registry, DownsampledSetsAreRegisteredUnderAFreeName) {
    load({Rows(10, {0, 0}), Rows(10, {0, 0})});
    data->initAllDerviedDataPointer();
    data->derivedDataClusters("Small", true);
    MCV_DerivedDataPoints* all = data->derivedDataPoints("All Points", true);
    ui.clear();
    MCV_DerivedDataPoints* small = nullptr;
    quietly([&] { small = data->addDownsampledData("Small", all, {3, 2}); });
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->pointsPerFile(), (std::vector<int>{3, 2}));
    EXPECT_EQ(data->derivedDataPoints("Small-1", true), small);
    EXPECT_EQ(ui.count("dataRefreshed", small), 1);
    EXPECT_EQ(ui.count("newDerivedDataAdded"), 1);
    EXPECT_EQ(data->addDownsampledData("X", nullptr, {1}), nullptr);
}

TEST_F(Registry, AddedVariablesInvalidateClusterStatistics) {
    load({Rows(2, {1, 2})});
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    c->setClusters({{{0, 0}, {0, 1}}}, nullptr, {}, nullptr);
    EXPECT_EQ(c->csvString(), "Subset,A,B\n1,1.000000,2.000000\n");
    data->addDimensions({"X"}, 5.0f);
    EXPECT_EQ(c->csvString(), "Subset,A,B,X\n1,1.000000,2.000000,5.000000\n");
}
