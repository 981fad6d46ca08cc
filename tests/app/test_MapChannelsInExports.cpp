// Every analysis of one kind writes its map into the same pair of output
// channels ("QLMRN_TsneX"/"QLMRN_TsneY" for A-tSNE, "QLMRN_HsneDataX"/
// "QLMRN_HsneDataY" for HSNE levels and focus-and-context maps), and the FCS
// exports write the channels as they stand. Through the real window: an
// analysis computed and clustered on its plot, a second one computed, then
// "Save Clusters ..." from the first plot: with a second analysis of the same
// kind, the files hold the second's map; with one of another kind, the
// first's own. The run button at the bottom of the first plot writes its map
// again, and the files saved after it (its clusters formed anew on the moved
// map) hold each event at a point of its own cluster on the map as drawn.
#include "../data/StrictFcsReader.h"
#include "FocusContextFixture.h"
#include "OverlayButton.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "render/MCV_PointRenderer.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/plot/UI_EmbeddingView.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"

#include <QFile>

#include <set>

namespace {

enum Kind { Tsne, Hsne, FocusAndContext };

struct ChannelCase {
    const char* id;
    Kind first, second;
    bool shared;  // both write the same channels
};

void PrintTo(const ChannelCase& c, std::ostream* out) { *out << c.id; }

const ChannelCase kCases[] = {
    {"TsneBesideTsne", Tsne, Tsne, true},
    {"FocusAndContextBesideFocusAndContext", FocusAndContext, FocusAndContext, true},
    {"HsneOverviewBesideFocusAndContext", Hsne, FocusAndContext, true},
    {"TsneBesideFocusAndContext", Tsne, FocusAndContext, false},
};

// An analysis as the window shows it: its plot, and the map that plot draws.
struct Shown {
    UI_ScatterplotWidget* plot = nullptr;
    std::vector<float>* map = nullptr;
};

class MapChannelsInExports : public FocusContextFixture, public ::testing::WithParamInterface<ChannelCase> {
protected:
    UI_ScatterplotWidget* plotOf(const std::string& title) {
        for (UI_DockableWidget* v : w().views())
            if (auto* view = qobject_cast<UI_EmbeddingView*>(v))
                if (v->windowTitle() == QString::fromStdString(title)) return view->plot();
        return nullptr;
    }
    static void onTheCpu(QWidget* panel) {
        QCheckBox* gpu = widgetBeside<QCheckBox>(panel, "GPU Acceleration");
        if (gpu && gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
    }

    // Made from the Analysis action, seeded, on the CPU, without caches, and
    // computed with its settings tab's Compute button.
    Shown computed(Kind kind, const char* name, int seed) {
        static const char* const actions[] = {"actionNewTsneAnalysis", "actionNewHsneAnalysis",
                                              "actionNewHsneFCAnalysis"};
        UI_ModalDialogs::answerText(name);
        quietly([&] { trigger(actions[kind]); });
        MCV_Analysis* analysis = nullptr;
        for (MCV_Analysis* a : w().analyses())
            if (a->name() == name) analysis = a;
        if (!analysis) return {};
        if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) {
            auto* panel = panelOf<UI_TsneSettingsWidget>(tsne);
            onTheCpu(panel);
            tsne->setIterations(150);
            tsne->setSeed(seed);
            quietly([&] { QTest::mouseClick(panel->computeTsneButton(), Qt::LeftButton); });
            return {plotOf(name), tsne->output()};
        }
        if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(analysis)) {
            auto* panel = panelOf<UI_HsneSettingsWidget>(hierarchy);
            onTheCpu(panel);
            panel->numScalesBox()->setValue(2);
            widgetBeside<QSpinBox>(panel, "RNG Seed")->setValue(seed);
            widgetBeside<QCheckBox>(panel, "Cache HSNE Hierarchy")->setChecked(false);
            hierarchy->analysis(0)->setIterations(150);
            quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
            return {plotOf(hierarchy->analysis(0)->name()), hierarchy->analysis(0)->output()};
        }
        auto* fc = dynamic_cast<MCV_HsneFCAnalysis*>(analysis);
        auto* panel = panelOf<UI_HsneFCSettingsWidget>(fc);
        onTheCpu(panel);
        panel->numScalesBox()->setValue(2);
        widgetBeside<QSpinBox>(panel, "RNG Seed")->setValue(seed);
        fc->setCachingEnabled(false);
        fc->setIterations(150);
        quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
        return {plotOf(name), fc->output()};
    }

    // "Cluster" in the plot's clustering mode: the set the plot draws.
    static MCV_DerivedDataClusters* clustered(UI_ScatterplotWidget* plot) {
        plot->settingsPanel()->setMode(1);
        QPushButton* button = childWithText<QPushButton>(plot->settingsPanel(), "Cluster");
        if (!button || !button->isEnabled()) return nullptr;
        quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
        plot->settingsPanel()->setMode(0);
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (s->name() == plot->pointRenderer()->meanShiftClustersName()) return s;
        return nullptr;
    }

    // "Save Clusters ..." from the plot's menu into `file`; of all events
    // written, how many hold in `x`/`y` the position of a point of their own
    // cluster on `map`.
    std::pair<size_t, size_t> savedAtOwnPoints(const Shown& shown, MCV_DerivedDataClusters* set, const char* file,
                                               const char* x, const char* y) {
        const QString path = dir.filePath(file);
        UI_ModalDialogs::answerSaveFile(path);
        pickFromPlotMenu(shown.plot, "Save Clusters ...");
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
        const std::vector<std::string> files =
            MCV_CytometryData::Instance()->clusterFileNames(set->name(), path.toStdString(), false);
        EXPECT_EQ(files.size(), set->clusters().size());
        size_t own = 0, events = 0;
        for (size_t k = 0; k < files.size() && k < set->landmarkClusters().size(); ++k) {
            std::set<std::pair<float, float>> positions;
            for (unsigned i : set->landmarkClusters()[k])
                positions.emplace((*shown.map)[2 * i], (*shown.map)[2 * i + 1]);
            QFile f(QString::fromStdString(files[k]));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << files[k];
            const StrictFcs fcs = StrictFcs::parse(f.readAll().toStdString());
            EXPECT_TRUE(fcs.ok) << fcs.error;
            const auto width = static_cast<size_t>(fcs.number("$PAR"));
            size_t cx = width, cy = width;
            for (size_t p = 0; p < width; ++p) {
                const std::string name = fcs.get("$P" + std::to_string(p + 1) + "N");
                if (name == x) cx = p;
                if (name == y) cy = p;
            }
            EXPECT_TRUE(cx < width && cy < width) << files[k] << " has no " << x << " or " << y;
            if (cx >= width || cy >= width) continue;
            const size_t rows = fcs.values.size() / width;
            EXPECT_EQ(rows, set->clusters()[k].size());
            for (size_t r = 0; r < rows; ++r)
                own += positions.count({fcs.values[r * width + cx], fcs.values[r * width + cy]});
            events += rows;
        }
        return {own, events};
    }
};

TEST_P(MapChannelsInExports, AFileHoldsTheMapOfItsKindWrittenLast) {
    const ChannelCase& c = GetParam();
    showPlotWindow({1400, 1000});
    open({blobs()});
    const char* x = c.first == Tsne ? "QLMRN_TsneX" : "QLMRN_HsneDataX";
    const char* y = c.first == Tsne ? "QLMRN_TsneY" : "QLMRN_HsneDataY";

    const Shown first = computed(c.first, "A", 4);
    ASSERT_TRUE(first.plot && first.map && !first.map->empty());
    MCV_DerivedDataClusters* set = clustered(first.plot);
    ASSERT_NE(set, nullptr);
    ASSERT_GE(set->numClusters(), 2);
    const Shown second = computed(c.second, "B", 9);
    ASSERT_TRUE(second.plot && second.map && !second.map->empty());

    const auto [ownBefore, events] = savedAtOwnPoints(first, set, "before.fcs", x, y);
    ASSERT_GT(events, 0u);
    EXPECT_EQ(ownBefore, c.shared ? 0u : events)
        << "of " << events << " events written, those at a point of their cluster on the first map";

    // The run button continues the first map from where its points are and
    // writes it at once and at its end: the files then hold that map. The
    // map moved, so the plot offers its clusters again only once they are
    // formed anew.
    QPushButton* run = overlayButton(first.plot, 0);
    ASSERT_NE(run, nullptr);
    quietly([&] { QTest::mouseClick(run, Qt::LeftButton); });
    ASSERT_EQ(clustered(first.plot), set) << "the plot refills its set";
    const auto [ownAfter, eventsAfter] = savedAtOwnPoints(first, set, "after.fcs", x, y);
    EXPECT_EQ(ownAfter, eventsAfter) << "of " << eventsAfter << " events written after the run button";
    EXPECT_EQ(eventsAfter, events);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MapChannelsInExports, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ChannelCase>& p) { return std::string(p.param.id); });

}  // namespace
