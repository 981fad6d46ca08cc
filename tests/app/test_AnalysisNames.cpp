// No two open analyses share a name, counting the names an analysis brings
// besides its own (an HSNE analysis' overview level "<name> - Overview
// Level", its drill-down levels), whichever comes first; a taken name gets
// " 1", " 2", ... A name an analysis held is free again once it is closed.
// Each embedding analysis then keeps a density-cluster set of its own
// ("Density Clusters - <name>"), in whatever order their plots cluster.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"

#include <QCheckBox>
#include <QFile>
#include <QSpinBox>

#include <algorithm>
#include <set>

namespace {

enum Op {
    Tsne,      // Ctrl+T answered with the name
    Hsne,      // Ctrl+F
    Fc,        // Ctrl+Shift+F
    Spade,     // Ctrl+S
    Template,  // Ctrl+Shift+C with a table
    Zoom,      // Compute on the HSNE analysis of the name (once), Ctrl+A on its overview, "Zoom into Selection."
    Rebuild,   // Compute again on the HSNE analysis of the name: its drill-down levels are closed
    Close,     // the analysis of the name closed, as a rebuild closes a level
    Cluster,   // the density clusters of the analysis of the name
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
        }
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

    QString file, table;
};

TEST_F(AnalysisNames, NoTwoOpenAnalysesShareANameOrADensityClusterSet) {
    file = makeFile("cells.fcs", 400, 3);
    table = dir.filePath("templates.csv");
    QFile csv(table);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly) && csv.write("10,11,12\n2000,2001,2002\n") > 0);
    csv.close();

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

}  // namespace
