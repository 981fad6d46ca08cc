// No two open analyses share a name, counting the names an analysis brings
// besides its own (an HSNE analysis' overview level "<name> - Overview
// Level", its drill-down levels), whichever comes first; a taken name gets
// " 1", " 2", ... A name an analysis held is free again once it is closed.
// Each embedding analysis then keeps a density-cluster set of its own
// ("Density Clusters - <name>"), in whatever order their plots cluster.
//
// No cluster set serves two analyses, whatever the order of creation, runs
// and clustering: an A-tSNE, HSNE level or focus-and-context analysis whose
// "Density Clusters - <name>" a SPADE analysis or template classification
// already bears, or a closed analysis left behind, clusters into a set of its
// own under the data set's next free "-k" variant of that name; the other
// set stays as its analysis left it.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "render/MCV_PointRenderer.h"
#include "ui/base/UI_ClusterSettingsWidget.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace {

enum Op {
    Tsne,          // Ctrl+T answered with the name
    Hsne,          // Ctrl+F
    Fc,            // Ctrl+Shift+F
    Spade,         // Ctrl+S
    Template,      // Ctrl+Shift+C with a table
    Zoom,          // Compute on the HSNE analysis of the name (once), Ctrl+A on its overview, "Zoom into Selection."
    Rebuild,       // Compute again on the HSNE analysis of the name: its drill-down levels are closed
    Close,         // the analysis of the name closed, as a rebuild closes a level
    Cluster,       // the density clusters of the analysis of the name
    Compute,       // Compute on the panel of the analysis of the name (again: SPADE with another "Target Nodes")
    PlotClusters,  // "Cluster" on the plot of the analysis of the name (an HSNE analysis: its overview's)
};

struct Step {
    Op op;
    const char* name;
};

struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> names;  // of the analysis list afterwards, in its order
};

const std::string kOverview = " - Overview Level";

const Case kCases[] = {
    {"A-tSNE of an overview's name, then HSNE",
     {{Tsne, "H - Overview Level"}, {Hsne, "H"}},
     {"H - Overview Level", "H 1", "H 1 - Overview Level"}},
    {"HSNE, then A-tSNE of its overview's name",
     {{Hsne, "H"}, {Tsne, "H - Overview Level"}},
     {"H", "H - Overview Level", "H - Overview Level 1"}},
    {"the counter passes a name whose overview's name is taken",
     {{Tsne, "H - Overview Level"}, {Tsne, "H 1 - Overview Level"}, {Hsne, "H"}},
     {"H - Overview Level", "H 1 - Overview Level", "H 2", "H 2 - Overview Level"}},
    {"HSNE twice", {{Hsne, "H"}, {Hsne, "H"}}, {"H", "H - Overview Level", "H 1", "H 1 - Overview Level"}},
    {"focus-and-context of an overview's name, then HSNE",
     {{Fc, "H - Overview Level"}, {Hsne, "H"}},
     {"H - Overview Level", "H 1", "H 1 - Overview Level"}},
    {"HSNE, then focus-and-context of its overview's name",
     {{Hsne, "H"}, {Fc, "H - Overview Level"}},
     {"H", "H - Overview Level", "H - Overview Level 1"}},
    {"SPADE of an overview's name, then HSNE",
     {{Spade, "H - Overview Level"}, {Hsne, "H"}},
     {"H - Overview Level", "H 1", "H 1 - Overview Level"}},
    {"HSNE, then a template classification of its overview's name",
     {{Hsne, "H"}, {Template, "H - Overview Level"}},
     {"H", "H - Overview Level", "H - Overview Level 1"}},
    {"A-tSNE, then a template classification of its name", {{Tsne, "T"}, {Template, "T"}}, {"T", "T 1"}},
    // The data model names a SPADE analysis' cluster set after it, and
    // would rename both when the name is registered: here onto the name of
    // the second A-tSNE.
    {"SPADE of a registered set's name",
     {{Tsne, "A"}, {Cluster, "A"}, {Tsne, "Density Clusters - A-1"}, {Spade, "Density Clusters - A"}},
     {"A", "Density Clusters - A-1", "Density Clusters - A 1"}},
    {"a closed analysis frees its name",
     {{Tsne, "H - Overview Level"}, {Close, "H - Overview Level"}, {Hsne, "H"}},
     {"H", "H - Overview Level"}},
    {"a drill-down level, then A-tSNE of its name",
     {{Hsne, "H"}, {Zoom, "H"}, {Tsne, "H - Data Level"}},
     {"H", "H - Overview Level", "H - Data Level", "H - Data Level 1"}},
    {"A-tSNE of a level's name, then the drill-down",
     {{Hsne, "H"}, {Tsne, "H - Data Level"}, {Zoom, "H"}},
     {"H", "H - Overview Level", "H - Data Level", "H - Data Level 1"}},
    {"a level closed by a rebuild frees its name",
     {{Hsne, "H"}, {Zoom, "H"}, {Rebuild, "H"}, {Tsne, "H - Data Level"}},
     {"H", "H - Overview Level", "H - Data Level"}},
};

class AnalysisNames : public ShellTest {
protected:
    // A fresh window over a fresh data set of 400 events; shown when the
    // steps select in a plot.
    void freshWindow(bool shown) {
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        if (shown) showPlotWindow({1200, 900});
        open({file});
    }

    MCV_Analysis* named(const std::string& name) {
        for (MCV_Analysis* a : w().analyses())
            if (a->name() == name) return a;
        return nullptr;
    }

    void create(const char* action, const char* name) {
        UI_ModalDialogs::answerText(name);
        quietly([&] { trigger(action); });
        // A computed A-tSNE analysis clusters into the set it keeps (its
        // panel hands it the input at Compute).
        if (w().analyses().empty()) return;
        if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back()))
            tsne->setActiveDataSelection(MCV_CytometryData::Instance()->derivedDataPoints("All Points", true));
    }

    void compute(MCV_HsneAnalysisHierarchy* hierarchy) {
        UI_HsneSettingsWidget* panel = nullptr;
        for (UI_SettingsWidget* p : w().settingsPanels())
            if (p->analysis() == hierarchy) panel = qobject_cast<UI_HsneSettingsWidget*>(p);
        ASSERT_NE(panel, nullptr);
        panel->numScalesBox()->setValue(2);
        widgetBeside<QSpinBox>(panel, "RNG Seed")->setValue(2);
        widgetBeside<QCheckBox>(panel, "Cache HSNE Hierarchy")->setChecked(false);
        hierarchy->analysis(0)->setIterations(5);
        quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
        ASSERT_EQ(hierarchy->numScales(), 2);
    }

    // Ctrl+A on the overview's plot and "Zoom into Selection.", the prompt
    // answered with an empty text (the proposal); the new level's descent is
    // cut short after its first step.
    void zoom(MCV_HsneAnalysisHierarchy* hierarchy) {
        MCV_HsneAnalysis* overview = hierarchy->analysis(0);
        if (overview->numDataPoints() == 0) {
            ASSERT_NO_FATAL_FAILURE(compute(hierarchy));
        }
        UI_HsneWidget* view = nullptr;
        for (UI_DockableWidget* v : w().views())
            if (v->windowTitle() == QString::fromStdString(overview->name())) view = qobject_cast<UI_HsneWidget*>(v);
        ASSERT_NE(view, nullptr);
        QTest::keyClick(view->plot(), Qt::Key_A, Qt::ControlModifier);
        ASSERT_EQ(int(view->plot()->selectionIdxs()->size()), overview->numDataPoints());
        const size_t before = w().analyses().size();
        auto stop = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
            if (w().analyses().size() == before) return;
            auto* level = dynamic_cast<MCV_HsneAnalysis*>(w().analyses().back());
            if (level && (a == static_cast<void*>(level) || a == static_cast<void*>(w().analyses().back())))
                level->stopGradientDescent();
        });
        UI_ModalDialogs::answerText("");
        quietly([&] { view->drillIntoSelection(); });
        QObject::disconnect(stop);
        ASSERT_EQ(w().analyses().size(), before + 1);
    }

    void run(const Step& step) {
        SCOPED_TRACE(std::string("step on ") + step.name);
        switch (step.op) {
            case Tsne:
                return create("actionNewTsneAnalysis", step.name);
            case Hsne:
                return create("actionNewHsneAnalysis", step.name);
            case Fc:
                return create("actionNewHsneFCAnalysis", step.name);
            case Spade:
                return create("actionNewSpadeAnalysis", step.name);
            case Template:
                UI_ModalDialogs::answerFiles({table});
                return create("actionClassifyData", step.name);
            case Zoom:
            case Rebuild: {
                auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(named(step.name));
                ASSERT_NE(hierarchy, nullptr);
                if (step.op == Zoom) return zoom(hierarchy);
                return compute(hierarchy);
            }
            case Close: {
                ASSERT_NE(named(step.name), nullptr);
                std::vector<std::string> names{step.name};
                w().bridge()->analysesRemoved(&names);
                runDeferredDeletes();
                ASSERT_EQ(named(step.name), nullptr);
                return;
            }
            case Cluster: {
                MCV_Analysis* analysis = named(step.name);
                ASSERT_NE(analysis, nullptr);
                std::vector<std::vector<unsigned>> clusters{{0}};
                quietly([&] { analysis->updateClusters(&clusters, "Density Clusters"); });
                return;
            }
            case Compute:
                return runPanel(step.name);
            case PlotClusters:
                return clusterOnThePlot(step.name);
        }
    }

    // ---- Runs and plots through the window, and the sets they fill ----

    template <typename Panel>
    Panel* panelOf(MCV_Analysis* analysis) {
        for (UI_SettingsWidget* p : w().settingsPanels())
            if (p->analysis() == analysis) return qobject_cast<Panel*>(p);
        return nullptr;
    }
    static void onTheCpu(QWidget* panel) {
        QCheckBox* gpu = widgetBeside<QCheckBox>(panel, "GPU Acceleration");
        if (gpu && gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
    }
    static MCV_DerivedDataClusters* setNamed(const std::string& name) {
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (s->name() == name) return s;
        return nullptr;
    }

    // Compute on the analysis' panel, short and seeded; a SPADE analysis
    // gets another "Target Nodes" each time, so a run changes its set.
    void runPanel(const char* name) {
        MCV_Analysis* analysis = named(name);
        ASSERT_NE(analysis, nullptr);
        if (auto* spade = dynamic_cast<MCV_SpadeAnalysis*>(analysis)) {
            auto* panel = panelOf<UI_SpadeSettingsWidget>(spade);
            ASSERT_NE(panel, nullptr);
            spade->setDensityLimit(100.0f);  // every event kept: a tree whatever the draws
            panel->targetNodesBox()->setValue(4 + (spadeRuns++ % 5));
            quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
            MCV_DerivedDataClusters* set = setNamed(analysis->name());
            ASSERT_TRUE(set && set->numClusters() >= 2) << name;
            return filled(analysis, set);
        }
        if (dynamic_cast<MCV_TemplateAnalysis*>(analysis)) {
            auto* panel = panelOf<UI_ClusterSettingsWidget>(analysis);
            ASSERT_NE(panel, nullptr);
            quietly([&] { QTest::mouseClick(panel->computeButtonWidget(), Qt::LeftButton); });
            MCV_DerivedDataClusters* set = setNamed(analysis->name());
            ASSERT_TRUE(set && set->numClusters() == 3) << name << ": two templates and the unassigned";
            return filled(analysis, set);
        }
        if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) {
            auto* panel = panelOf<UI_TsneSettingsWidget>(tsne);
            ASSERT_NE(panel, nullptr);
            onTheCpu(panel);
            tsne->setIterations(60);
            tsne->setSeed(3);
            quietly([&] { QTest::mouseClick(panel->computeTsneButton(), Qt::LeftButton); });
            ASSERT_EQ(tsne->numDataPoints(), kEvents) << name;
            return;
        }
        if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(analysis)) {
            auto* panel = panelOf<UI_HsneSettingsWidget>(hierarchy);
            ASSERT_NE(panel, nullptr);
            onTheCpu(panel);
            return compute(hierarchy);
        }
        if (auto* map = dynamic_cast<MCV_HsneFCAnalysis*>(analysis)) {
            auto* panel = panelOf<UI_HsneFCSettingsWidget>(map);
            ASSERT_NE(panel, nullptr);
            panel->numScalesBox()->setValue(2);
            QSpinBox* seed = widgetBeside<QSpinBox>(panel, "RNG Seed");
            ASSERT_NE(seed, nullptr);
            seed->setValue(2);
            onTheCpu(panel);
            map->setIterations(30);
            quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
            ASSERT_GT(map->numDataPoints(), 0) << name;
            return;
        }
        FAIL() << name << " has no Compute here";
    }

    // "Cluster" in the clustering mode of the analysis' plot (an HSNE
    // analysis: its overview's): the set the plot then draws holds each of
    // the analysis' points in one cluster, and no links.
    void clusterOnThePlot(const char* name) {
        MCV_Analysis* analysis = named(name);
        ASSERT_NE(analysis, nullptr);
        if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(analysis)) analysis = hierarchy->analysis(0);
        UI_ScatterplotWidget* plot = nullptr;
        for (UI_DockableWidget* v : w().views()) {
            auto* view = qobject_cast<UI_EmbeddingView*>(v);
            if (view && v->windowTitle() == QString::fromStdString(analysis->name())) plot = view->plot();
        }
        ASSERT_NE(plot, nullptr) << analysis->name();
        ASSERT_TRUE(QTest::qWaitFor([&] { return plot->isVisible() && plot->pointRenderer(); }, 5000));
        plot->settingsPanel()->setMode(1);
        QPushButton* button = childWithText<QPushButton>(plot->settingsPanel(), "Cluster");
        ASSERT_TRUE(button && button->isEnabled());
        quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
        plot->settingsPanel()->setMode(0);
        const std::string drawn = plot->pointRenderer()->meanShiftClustersName();
        MCV_DerivedDataClusters* set = setNamed(drawn);
        ASSERT_NE(set, nullptr) << analysis->name() << " draws \"" << drawn << "\"";
        int points = 0;
        std::vector<unsigned> members;
        for (const std::vector<unsigned>& cluster : set->landmarkClusters())
            members.insert(members.end(), cluster.begin(), cluster.end());
        std::sort(members.begin(), members.end());
        if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) points = tsne->numDataPoints();
        if (auto* level = dynamic_cast<MCV_HsneAnalysis*>(analysis)) points = level->numDataPoints();
        if (auto* map = dynamic_cast<MCV_HsneFCAnalysis*>(analysis)) points = map->numDataPoints();
        ASSERT_GT(points, 0) << analysis->name();
        std::vector<unsigned> every(static_cast<size_t>(points));
        for (unsigned i = 0; i < every.size(); ++i) every[i] = i;
        EXPECT_EQ(members, every) << analysis->name() << ": each point in one cluster of " << drawn;
        EXPECT_TRUE(set->edges().empty()) << analysis->name() << "'s " << drawn << " holds links";
        filled(analysis, set);
    }

    // What an analysis last put into a cluster set, by the analysis' serial
    // (a closed analysis' entry stays: the set it left must stay as it was).
    struct Filled {
        std::string analysis;
        MCV_DerivedDataClusters* set;
        std::vector<MCV_DerivedDataClusters::PointList> clusters;
        std::vector<MCV_DerivedDataClusters::Edge> edges;
    };
    std::map<std::uint64_t, Filled> ledger;
    int spadeRuns = 0;

    // `analysis` filled `set`: no other analysis fills it or ever did, and
    // every other set is as its analysis left it.
    void filled(MCV_Analysis* analysis, MCV_DerivedDataClusters* set) {
        ASSERT_NE(set, nullptr) << analysis->name();
        for (const auto& [serial, other] : ledger) {
            if (serial == analysis->serial()) continue;
            EXPECT_NE(other.set, set) << analysis->name() << " filled " << set->name() << " of " << other.analysis;
        }
        ledger[analysis->serial()] = Filled{analysis->name(), set, set->clusters(), set->edges()};
        setsAreAsLeft();
    }
    void setsAreAsLeft() {
        for (const auto& [serial, f] : ledger)
            EXPECT_TRUE(f.set->clusters() == f.clusters && f.set->edges() == f.edges)
                << f.set->name() << " of " << f.analysis << " changed: " << f.clusters.size() << " clusters and "
                << f.edges.size() << " links left, " << f.set->clusters().size() << " and " << f.set->edges().size()
                << " now";
    }
    // The set the open analysis of the name (an HSNE analysis: its
    // overview) filled last, or null.
    MCV_DerivedDataClusters* setOf(const std::string& name) {
        MCV_Analysis* analysis = named(name);
        if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(analysis)) analysis = hierarchy->analysis(0);
        if (!analysis) return nullptr;
        auto it = ledger.find(analysis->serial());
        return it == ledger.end() ? nullptr : it->second.set;
    }

    // Every embedding analysis (A-tSNE, HSNE level, focus-and-context)
    // clusters as its plot does, first in list order, then in reverse: each
    // gets the set named after it, the same set both times, and no other
    // analysis gets it.
    void densitySetsAreTheirOwn() {
        std::vector<MCV_Analysis*> embeddings;
        for (MCV_Analysis* a : w().analyses())
            if (a->type() == ANALYSIS_TSNE || a->type() == ANALYSIS_HSNE || a->type() == ANALYSIS_HSNE_FC)
                embeddings.push_back(a);
        std::vector<MCV_DerivedDataClusters*> sets(embeddings.size(), nullptr);
        for (int round = 0; round < 2; ++round)
            for (size_t k = 0; k < embeddings.size(); ++k) {
                const size_t i = round == 0 ? k : embeddings.size() - 1 - k;
                // Each analysis' own number of clusters, to tell the sets apart.
                std::vector<std::vector<unsigned>> clusters(i + 1);
                MCV_DerivedDataClusters* set = nullptr;
                quietly([&] { set = embeddings[i]->updateClusters(&clusters, "Density Clusters"); });
                ASSERT_NE(set, nullptr) << embeddings[i]->name();
                EXPECT_EQ(set->name(), "Density Clusters - " + embeddings[i]->name());
                if (round == 0) sets[i] = set;
                EXPECT_EQ(set, sets[i]) << embeddings[i]->name() << " keeps its set";
            }
        for (size_t i = 0; i < embeddings.size(); ++i)
            EXPECT_EQ(sets[i]->numClusters(), int(i) + 1) << embeddings[i]->name() << "'s set holds its clusters";
        EXPECT_EQ(std::set<MCV_DerivedDataClusters*>(sets.begin(), sets.end()).size(), sets.size());
    }

    // The events and a table of two templates, wide enough for every
    // variable the analyses add.
    void writeInputs() {
        file = makeFile("cells.fcs", kEvents, 3);
        table = dir.filePath("templates.csv");
        QFile csv(table);
        ASSERT_TRUE(csv.open(QIODevice::WriteOnly) &&
                    csv.write("10,11,12,0,0,0,0,0,0,0,0,0\n2000,2001,2002,0,0,0,0,0,0,0,0,0\n") > 0);
        csv.close();
    }

    static constexpr int kEvents = 400;
    QString file, table;
};

TEST_F(AnalysisNames, NoTwoOpenAnalysesShareANameOrADensityClusterSet) {
    ASSERT_NO_FATAL_FAILURE(writeInputs());

    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        freshWindow(std::any_of(c.steps.begin(), c.steps.end(), [](const Step& s) { return s.op == Zoom; }));
        for (const Step& step : c.steps) {
            run(step);
            if (HasFatalFailure()) return;
        }
        std::vector<std::string> names;
        for (MCV_Analysis* a : w().analyses()) names.push_back(a->name());
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "distinct";
        // Derived names included: every HSNE analysis' overview is listed
        // under the name it derives.
        for (MCV_Analysis* a : w().analyses())
            if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(a)) {
                EXPECT_EQ(hierarchy->analysis(0)->name(), a->name() + kOverview);
            }
        densitySetsAreTheirOwn();
        if (HasFatalFailure()) return;
    }
}

// The template classification names its cluster set after itself, as a
// SPADE analysis does, and so skips a name the data set's registry holds:
// the data set would register its set, and rename it, under the next "-k"
// variant, here the name of an open A-tSNE analysis.
TEST_F(AnalysisNames, ATemplateClassificationSkipsANameTheRegistryHolds) {
    ASSERT_NO_FATAL_FAILURE(writeInputs());
    freshWindow(false);
    for (const Step& step : std::vector<Step>{
             {Tsne, "A"}, {Cluster, "A"}, {Tsne, "Density Clusters - A-1"}, {Template, "Density Clusters - A"}}) {
        ASSERT_NO_FATAL_FAILURE(run(step));
    }
    std::vector<std::string> names;
    for (MCV_Analysis* a : w().analyses()) names.push_back(a->name());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "Density Clusters - A-1", "Density Clusters - A 1"}));

    auto* classification = dynamic_cast<MCV_TemplateAnalysis*>(w().analyses().back());
    ASSERT_NE(classification, nullptr);
    MCV_DerivedDataClusters* own = setNamed("Density Clusters - A 1");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(classification->updateClusters(nullptr, ""), own);
    EXPECT_EQ(setNamed("Density Clusters - A-1"), nullptr);
    MCV_DerivedDataClusters* ofA = setNamed("Density Clusters - A");
    ASSERT_NE(ofA, nullptr);
    EXPECT_EQ(ofA->numClusters(), 1) << "A's set as A left it";
    // The tab bears the name the analysis holds.
    auto* panel = panelOf<UI_SettingsWidget>(classification);
    ASSERT_NE(panel, nullptr);
    QString tab;
    for (QTabWidget* tabs : w().findChildren<QTabWidget*>())
        if (tabs->indexOf(panel) >= 0) tab = tabs->tabText(tabs->indexOf(panel));
    EXPECT_EQ(tab.toStdString(), "Density Clusters - A 1");
}

// ---- One cluster set per analysis ----

struct SetCase {
    const char* id;
    const char* what;
    std::vector<Step> steps;
    // {analysis, the set its clusters are in}, for each open analysis that
    // clusters; in this order each runs (SPADE, template) or clusters on its
    // plot once more after the steps.
    std::vector<std::pair<std::string, std::string>> sets;
};

// Test listings name the case, not its bytes.
void PrintTo(const SetCase& c, std::ostream* out) { *out << c.id; }

const std::string kT = "Density Clusters - T";
const std::string kH = "Density Clusters - H - Overview Level";
const std::string kF = "Density Clusters - F";
const std::string kT1 = kT + " 1";  // steps hold C strings: theirs outlive the table

const SetCase kSetCases[] = {
    {"SpadeThenTsne",
     "SPADE \"Density Clusters - T\", then A-tSNE T computed and clustered",
     {{Spade, kT.c_str()}, {Compute, kT.c_str()}, {Tsne, "T"}, {Compute, "T"}, {PlotClusters, "T"}},
     {{kT, kT}, {"T", kT + "-1"}}},
    {"TsneThenSpadeBeforeItClusters",
     "A-tSNE T computed, SPADE \"Density Clusters - T\" before T clusters",
     {{Tsne, "T"}, {Compute, "T"}, {Spade, kT.c_str()}, {Compute, kT.c_str()}, {PlotClusters, "T"}},
     {{kT, kT}, {"T", kT + "-1"}}},
    {"TsneClusteredThenSpade",
     "A-tSNE T clustered, then SPADE of its set's name",
     {{Tsne, "T"}, {Compute, "T"}, {PlotClusters, "T"}, {Spade, kT.c_str()}, {Compute, kT1.c_str()}},
     {{kT + " 1", kT + " 1"}, {"T", kT}}},
    {"TemplateThenTsne",
     "template classification \"Density Clusters - T\", then A-tSNE T computed and clustered",
     {{Template, kT.c_str()}, {Compute, kT.c_str()}, {Tsne, "T"}, {Compute, "T"}, {PlotClusters, "T"}},
     {{kT, kT}, {"T", kT + "-1"}}},
    {"TsneThenTemplateBeforeItClusters",
     "A-tSNE T computed, template classification \"Density Clusters - T\" before T clusters",
     {{Tsne, "T"}, {Compute, "T"}, {Template, kT.c_str()}, {Compute, kT.c_str()}, {PlotClusters, "T"}},
     {{kT, kT}, {"T", kT + "-1"}}},
    {"SpadeThenHsneOverview",
     "SPADE \"Density Clusters - H - Overview Level\", then HSNE H computed and its overview clustered",
     {{Spade, kH.c_str()}, {Compute, kH.c_str()}, {Hsne, "H"}, {Compute, "H"}, {PlotClusters, "H"}},
     {{kH, kH}, {"H", kH + "-1"}}},
    {"HsneThenSpadeBeforeItsOverviewClusters",
     "HSNE H computed, SPADE \"Density Clusters - H - Overview Level\" before its overview clusters",
     {{Hsne, "H"}, {Compute, "H"}, {Spade, kH.c_str()}, {Compute, kH.c_str()}, {PlotClusters, "H"}},
     {{kH, kH}, {"H", kH + "-1"}}},
    {"SpadeThenFocusAndContext",
     "SPADE \"Density Clusters - F\", then focus-and-context F computed and clustered",
     {{Spade, kF.c_str()}, {Compute, kF.c_str()}, {Fc, "F"}, {Compute, "F"}, {PlotClusters, "F"}},
     {{kF, kF}, {"F", kF + "-1"}}},
    {"FocusAndContextThenSpadeBeforeItClusters",
     "focus-and-context F computed, SPADE \"Density Clusters - F\" before F clusters",
     {{Fc, "F"}, {Compute, "F"}, {Spade, kF.c_str()}, {Compute, kF.c_str()}, {PlotClusters, "F"}},
     {{kF, kF}, {"F", kF + "-1"}}},
    {"ClosedTsnesNameReused",
     "A-tSNE T clustered and closed, a new A-tSNE T clustered",
     {{Tsne, "T"}, {Compute, "T"}, {PlotClusters, "T"}, {Close, "T"}, {Tsne, "T"}, {Compute, "T"}, {PlotClusters, "T"}},
     {{"T", kT + "-1"}}},
    {"LevelClosedByARebuildNameReused",
     "a drill-down level clustered, closed by a rebuild, the level of that name made again and clustered",
     {{Hsne, "H"},
      {Zoom, "H"},
      {PlotClusters, "H - Data Level"},
      {Rebuild, "H"},
      {Zoom, "H"},
      {PlotClusters, "H - Data Level"}},
     {{"H - Data Level", "Density Clusters - H - Data Level-1"}, {"H", kH}}},
};

class OneClusterSetPerAnalysis : public AnalysisNames, public ::testing::WithParamInterface<SetCase> {};

// After the steps, and after each of the analyses ran or clustered once more,
// each analysis' clusters are in a set of its own, under the name of the
// table, and every other set is as its analysis left it (a closed one's too).
TEST_P(OneClusterSetPerAnalysis, NoSetServesTwoAnalysesWhateverTheOrder) {
    const SetCase& c = GetParam();
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(writeInputs());
    freshWindow(true);
    for (const Step& step : c.steps) {
        ASSERT_NO_FATAL_FAILURE(run(step));
    }
    for (const auto& [name, setName] : c.sets) {
        MCV_Analysis* analysis = named(name);
        ASSERT_NE(analysis, nullptr) << name;
        SCOPED_TRACE("again: " + name);
        if (analysis->type() == ANALYSIS_SPADE) {
            ASSERT_NO_FATAL_FAILURE(runPanel(name.c_str()));
        } else {
            ASSERT_NO_FATAL_FAILURE(clusterOnThePlot(name.c_str()));
        }
    }
    for (const auto& [name, setName] : c.sets) {
        MCV_DerivedDataClusters* set = setOf(name);
        ASSERT_NE(set, nullptr) << name;
        EXPECT_EQ(set->name(), setName) << name;
    }
    std::set<MCV_DerivedDataClusters*> sets;
    for (const auto& [serial, f] : ledger) sets.insert(f.set);
    EXPECT_EQ(sets.size(), ledger.size()) << "no set serves two analyses";
    std::vector<std::string> names;
    for (MCV_Analysis* a : w().analyses()) names.push_back(a->name());
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "distinct names";
}

INSTANTIATE_TEST_SUITE_P(Orders, OneClusterSetPerAnalysis, ::testing::ValuesIn(kSetCases),
                         [](const ::testing::TestParamInfo<SetCase>& p) { return std::string(p.param.id); });

}  // namespace
