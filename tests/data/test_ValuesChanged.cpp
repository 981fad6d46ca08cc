// Values changed in place (the transforms, an analysis writing its output
// variables) leave no statistic computed from the old values behind: the
// selection, a registered point set and a cluster set with its texts all
// follow the new values on their next use.
#include "DerivedDataFixture.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_TextFormat.h"

#include <cmath>
#include <functional>

namespace {

class ValuesChanged : public DerivedDataTest {};

TEST_F(ValuesChanged, EveryCachedStatisticFollowsValuesChangedInPlace) {
    const struct {
        const char* name;
        std::function<void(MCV_CytometryData*)> change;
        std::function<float(float)> valueOf;  // of variable A, from its old value
    } cases[] = {
        {"arcsine transform",
         [](MCV_CytometryData* d) {
             d->applyArcSinTransform(5, {true, false});
         },
         [](float x) { return std::asinh(x / 5.0f); }},
        {"mean normalisation",
         [](MCV_CytometryData* d) {
             d->applyMeanNormalization({true, false});
         },
         [](float x) { return (x - 2.0f) / std::sqrt(2.0f); }},
        {"an output variable written in place",
         [](MCV_CytometryData* d) {
             for (int e = 0; e < 5; ++e) d->rawData(0)[size_t(e) * 2] *= 10.0f;
             d->valuesChanged();
         },
         [](float x) { return 10.0f * x; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        load({{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}});
        MCV_DerivedDataPoints* selection = data->selectionPoints();
        selection->setPoints({{0, 3}, {0, 4}}, false);
        MCV_DerivedDataPoints* points = data->derivedDataPoints("Subset", false);
        points->setPoints({{0, 0}, {0, 1}, {0, 2}}, false);
        MCV_DerivedDataClusters* clusters = data->derivedDataClusters("Set", false);
        clusters->setClusters({{{0, 0}, {0, 2}, {0, 4}}}, nullptr, {}, nullptr);
        // Computed from the old values and kept.
        ASSERT_EQ(selection->meanExpression()[0], 3.5f);
        ASSERT_EQ(points->medianExpression()[0], 1.0f);
        ASSERT_NE(clusters->jsonObject().find("\"expression\":[2.000000,"), std::string::npos);
        ASSERT_FALSE(clusters->jsonStale());

        c.change(data);

        EXPECT_TRUE(clusters->jsonStale());
        EXPECT_FLOAT_EQ(selection->meanExpression()[0], (c.valueOf(3) + c.valueOf(4)) / 2);
        EXPECT_FLOAT_EQ(points->medianExpression()[0], c.valueOf(1));
        clusters->computeMedianExpression();
        EXPECT_FLOAT_EQ(clusters->medianExpression()[0][0], c.valueOf(2));
        EXPECT_NE(clusters->jsonObject().find("\"expression\":[" + MCV_TextFormat::fixed6(c.valueOf(2)) + ","),
                  std::string::npos)
            << clusters->jsonObject();
        EXPECT_EQ(selection->meanExpression()[1], 1.0f) << "unchanged variables keep their values";
    }
}

}  // namespace
