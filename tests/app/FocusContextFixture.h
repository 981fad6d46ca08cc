#pragma once

// A window fixture for focus-and-context analyses made as a user makes them:
// Analysis > New HSNE F+C Analysis, Compute on the settings tab, a box over
// the left of the plot made the focus, each step checked to keep the
// analysis' tree built on its own hierarchy.

#include "FocusContextSupport.h"
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/WidgetFinders.h"

#include "analysis/fc/MCV_FCTree.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_DerivedDataHierarchy.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"

#include <QCheckBox>
#include <QSpinBox>

#include <set>
#include <string>
#include <vector>

class FocusContextFixture : public ShellTest {
protected:
    static constexpr int kEvents = 900;

    QString blobs() {
        return QString::fromStdString(FcsTestFile::floats(touchingBlobs(kEvents, 0)).write(dir, "blobs.fcs"));
    }

    template <typename T>
    T* panelOf(MCV_Analysis* analysis) {
        for (UI_SettingsWidget* p : w().settingsPanels())
            if (p->analysis() == analysis) return qobject_cast<T*>(p);
        return nullptr;
    }
    UI_HsneFCWidget* viewOf(MCV_Analysis* analysis) {
        for (UI_DockableWidget* v : w().views())
            if (v->windowTitle() == QString::fromStdString(analysis->name())) return qobject_cast<UI_HsneFCWidget*>(v);
        return nullptr;
    }

    // Analysis > New HSNE F+C Analysis answered with `name`, on the CPU, seeded, short runs,
    // without the hierarchy caches (hierarchies of other scales would
    // replace each other's files).
    MCV_HsneFCAnalysis* create(const char* name, int scales) {
        UI_ModalDialogs::answerText(name);
        quietly([&] { trigger("actionNewHsneFCAnalysis"); });
        if (w().analyses().empty()) return nullptr;
        auto* fc = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses().back());
        auto* panel = fc ? panelOf<UI_HsneFCSettingsWidget>(fc) : nullptr;
        if (!panel || fc->name() != name) return nullptr;
        panel->numScalesBox()->setValue(scales);
        widgetBeside<QSpinBox>(panel, "RNG Seed")->setValue(4);
        fc->setCachingEnabled(false);
        QCheckBox* gpu = widgetBeside<QCheckBox>(panel, "GPU Acceleration");
        if (gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
        fc->setIterations(60);
        return fc;
    }

    // Closes the analysis as the shell closes analyses; the tree it made stays
    // in the data set. Only for a window whose one analysis it is.
    void closeOnlyAnalysis(const std::string& name) {
        std::vector<std::string> names{name};
        w().bridge()->analysesRemoved(&names);
        runDeferredDeletes();
        ASSERT_EQ(w().analyses().size(), 0u);
    }

    void compute(MCV_HsneFCAnalysis* fc) {
        SCOPED_TRACE("Compute " + fc->name());
        quietly([&] { QTest::mouseClick(panelOf<UI_HsneFCSettingsWidget>(fc)->computeHsneButton(), Qt::LeftButton); });
        ASSERT_NE(fc->hierarchy(), nullptr);
        ASSERT_EQ(fc->hierarchy()->pointReferences()->size(), size_t(kEvents)) << "the input is every event";
        ASSERT_NO_FATAL_FAILURE(holdsItsOwnTree(fc));
    }

    // A box over the left third of the analysis' plot made the focus.
    void focus(MCV_HsneFCAnalysis* fc) {
        SCOPED_TRACE("focus on " + fc->name());
        UI_HsneFCWidget* view = viewOf(fc);
        ASSERT_NE(view, nullptr);
        const size_t leavesBefore = fc->fcTree()->leaves()->size();
        const size_t wanted = boxOverTheLeft(view->plot(), *fc->output(), 1.0 / 3);
        ASSERT_GE(view->plot()->selectionIdxs()->size(), wanted / 2);
        pickFromPlotMenu(view->plot(), "Set focus and differentiate.");
        size_t contexts = 0;
        for (const MCV_FCTree::NodePtr& leaf : *fc->fcTree()->leaves()) contexts += !leaf->isFocus();
        EXPECT_GT(fc->fcTree()->leaves()->size(), leavesBefore) << "its own tree was split";
        EXPECT_GE(contexts, 1u);
        ASSERT_NO_FATAL_FAILURE(holdsItsOwnTree(fc));
    }

    // The analysis' tree is built on its hierarchy: the root at its top
    // scale over every top landmark, every leaf's landmarks and transition
    // matrix of that hierarchy, and every point of the map on a leaf of it.
    static void holdsItsOwnTree(MCV_HsneFCAnalysis* fc) {
        MCV_FCTree* tree = fc->fcTree();
        ASSERT_NE(tree, nullptr);
        MCV_DerivedDataHierarchy* h = fc->hierarchy();
        EXPECT_EQ(tree->hierarchy(), h);
        ASSERT_NE(tree->root(), nullptr);
        const int top = fc->activeNumScales() - 1;
        EXPECT_EQ(tree->root()->scale, top);
        EXPECT_EQ(tree->root()->numLandmarks(), static_cast<size_t>(h->numLandmarksInScale(top)));
        const MCV_FCTree::NodeList leaves = *tree->leaves();
        for (const MCV_FCTree::NodePtr& leaf : leaves) {
            ASSERT_LE(leaf->scale, top);
            for (unsigned l : leaf->landmarkIdxs)
                ASSERT_LT(l, static_cast<unsigned>(h->numLandmarksInScale(leaf->scale)));
            EXPECT_EQ(leaf->transitionMatrix.size(), leaf->numLandmarks()) << "leaf " << leaf->id;
        }
        const std::set<MCV_FCTree::NodePtr> own(leaves.begin(), leaves.end());
        size_t elsewhere = 0;
        for (const MCV_HsneFCAnalysis::PointNode& p : *fc->pointNodes()) elsewhere += !own.count(p.first);
        EXPECT_EQ(elsewhere, 0u) << "points on nodes of no leaf of " << fc->name() << "'s tree";
        EXPECT_EQ(fc->pointNodes()->size(), static_cast<size_t>(fc->numDataPoints()));
    }
};
