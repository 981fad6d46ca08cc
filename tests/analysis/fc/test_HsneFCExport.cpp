// "Save Clusters" of a focus-and-context map after a focus: the events that
// a focus landmark and a context landmark both stand for belong to the
// cluster of the finer landmark, and the files hold them at that landmark's
// position, so that every exported cluster lies where the map draws it.
#include "../../data/StrictFcsReader.h"
#include "HsneFCAnalysisTest.h"

#include "data/MCV_DerivedDataClusters.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

namespace {

using Event = std::pair<int, int>;

class HsneFCExport : public HsneFCAnalysisTest {
protected:
    const MCV_DerivedDataHierarchy::PointList& listOf(unsigned point) {
        const MCV_HsneFCAnalysis::PointNode& p = fc->pointNodes()->at(point);
        return *fc->hierarchy()->pointBasedHierarchyForLandmark(
            {p.first->scale, p.first->landmarkIdxs.at(static_cast<size_t>(p.second))});
    }
    // The map's points ordered by x, the lowest first.
    std::vector<unsigned> byX() {
        std::vector<unsigned> order(static_cast<size_t>(fc->numDataPoints()));
        std::iota(order.begin(), order.end(), 0u);
        const std::vector<float>& y = *fc->output();
        std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return y[2 * a] < y[2 * b]; });
        return order;
    }
};

// 3 scales, the left 30 % of the map made the focus ("Set focus and
// differentiate."), a cluster set of the map's two halves split at the
// median x, "Save Clusters": every event of the left file lies left of the
// split, every event of the right file right of it, each at the position of
// the point of the finest landmark standing for it, a point of its cluster.
TEST_F(HsneFCExport, EveryExportedEventLiesAtTheLandmarkOfItsOwnCluster) {
    // Blobs that touch, so that the focus cuts through them.
    loadBlobs(3, 600, 4, 2, 2.0, false);
    data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.f);
    makeFc(3, 100);
    quietly([&] { fc->initHSNE(); });
    ASSERT_NE(fc->hierarchy(), nullptr);
    std::vector<unsigned> focus = byX();
    focus.resize(focus.size() * 3 / 10);
    quietly([&] {
        fc->setFocus(&focus);
        fc->differentiateFocusMore();
    });
    size_t focusLeaves = 0, contextLeaves = 0;
    for (const MCV_FCTree::NodePtr& leaf : leaves()) (leaf->isFocus() ? focusLeaves : contextLeaves)++;
    ASSERT_EQ(std::make_pair(focusLeaves, contextLeaves), std::make_pair(size_t(1), size_t(1)));

    // The halves at the median x.
    const std::vector<unsigned> order = byX();
    const std::vector<float>& y = *fc->output();
    const float split = y[2 * order[order.size() / 2]];
    std::vector<std::vector<unsigned>> halves(2);
    for (unsigned i = 0; i < static_cast<unsigned>(order.size()); ++i) halves[y[2 * i] < split ? 0 : 1].push_back(i);
    ASSERT_FALSE(halves[0].empty() || halves[1].empty());
    MCV_DerivedDataClusters* set = fc->updateClusters(&halves, "Halves");
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->clusters().size(), 2u);

    // The situation: events of the left cluster that a landmark right of the
    // split stands for as well.
    std::set<Event> listedRight;
    for (unsigned i : halves[1]) listedRight.insert(listOf(i).begin(), listOf(i).end());
    size_t shared = 0;
    for (const Event& e : set->clusters()[0]) shared += listedRight.count(e);
    ASSERT_GT(shared, 0u) << "no event of the left half is listed right of the split too";

    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const std::string path = out.filePath("halves.fcs").toStdString();
    ASSERT_EQ(data->writeClustersToFiles(set->name(), path, false), 1);
    const std::vector<std::string> files = data->clusterFileNames(set->name(), path, false);
    ASSERT_EQ(files.size(), 2u);

    const Owners owner = positionOwners();
    std::vector<int> half(y.size() / 2);
    for (int k = 0; k < 2; ++k)
        for (unsigned i : halves[static_cast<size_t>(k)]) half[i] = k;
    for (size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k == 0 ? "left file" : "right file");
        QFile file(QString::fromStdString(files[k]));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const StrictFcs fcs = StrictFcs::parse(file.readAll().toStdString());
        ASSERT_TRUE(fcs.ok) << fcs.error;
        const std::vector<Event>& events = set->clusters()[k];
        ASSERT_EQ(fcs.number("$TOT"), static_cast<int64_t>(events.size()));
        const int64_t width = fcs.number("$PAR");
        int64_t xColumn = -1, yColumn = -1;
        for (int64_t p = 0; p < width; ++p) {
            const std::string name = fcs.get("$P" + std::to_string(p + 1) + "N");
            if (name == "QLMRN_HsneDataX") xColumn = p;
            if (name == "QLMRN_HsneDataY") yColumn = p;
        }
        ASSERT_TRUE(xColumn >= 0 && yColumn >= 0);
        size_t wrongSide = 0, notItsLandmark = 0, landmarkElsewhere = 0;
        for (size_t r = 0; r < events.size(); ++r) {
            const float fx = fcs.values[r * static_cast<size_t>(width) + static_cast<size_t>(xColumn)];
            const float fy = fcs.values[r * static_cast<size_t>(width) + static_cast<size_t>(yColumn)];
            wrongSide += k == 0 ? !(fx < split) : !(fx >= split);
            const auto it = owner.find(events[r]);
            ASSERT_NE(it, owner.end());
            notItsLandmark += fx != y[2 * it->second] || fy != y[2 * it->second + 1];
            landmarkElsewhere += half[it->second] != static_cast<int>(k);
        }
        EXPECT_EQ(std::make_tuple(wrongSide, notItsLandmark, landmarkElsewhere),
                  std::make_tuple(size_t(0), size_t(0), size_t(0)))
            << "events on the other side of the split, not at their landmark's position, whose landmark is in the "
               "other cluster (of "
            << events.size() << ", " << shared << " listed on both sides)";
    }
}

}  // namespace
