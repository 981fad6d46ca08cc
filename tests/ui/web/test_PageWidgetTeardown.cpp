// Every widget that shows a page may go at any time: while its page still
// loads, when the engine reports the load as finished from inside the view's
// destructor, or after it has loaded; on its own or with the window it sits
// in. None of the widget's own slots may run once its own destructor has
// finished; the build with UndefinedBehaviorSanitizer stops on such a call.
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "ui/PageTestSupport.h"
#include "ui/fctree/UI_TreeWidget.h"
#include "ui/heatmap/UI_HeatMapWidget.h"
#include "ui/hierarchy/UI_HierarchyWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QPointer>
#include <QSignalSpy>
#include <QWebFrame>
#include <QWebPage>
#include <QWebSettings>
#include <QWebView>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>

namespace {

struct PageWidgetKind {
    const char* name;
    std::function<QWidget*(QWidget* parent, MCV_SpadeAnalysis* tree)> make;
};

const PageWidgetKind kKinds[] = {
    {"BusyRing", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_ProgressSpinnerWidget(p); }},
    {"Switch", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_MaterialCheckBoxWidget("Switch", p, nullptr); }},
    {"RangeSlider", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_DualSliderWidget(p); }},
    {"SpadeTree", [](QWidget* p, MCV_SpadeAnalysis* tree) { return new UI_SpadeWidget(p, tree, false); }},
    {"SpadeFollower", [](QWidget* p, MCV_SpadeAnalysis* tree) { return new UI_SpadeWidget(p, tree, true); }},
    {"FocusContextTree", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_TreeWidget(p); }},
    {"HeatMap", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_HeatMapWidget(p); }},
    {"Hierarchy", [](QWidget* p, MCV_SpadeAnalysis*) { return new UI_HierarchyWidget(p); }},
};

enum class Moment { WhileLoadingAlone, WhileLoadingWithItsWindow, LoadedWithItsWindow };
const char* const kMoments[] = {"WhileLoadingAlone", "WhileLoadingWithItsWindow", "LoadedWithItsWindow"};

void PrintTo(Moment moment, std::ostream* out) { *out << kMoments[static_cast<int>(moment)]; }

class PageWidgetTeardown : public ::testing::TestWithParam<std::tuple<int, Moment>> {
protected:
    void SetUp() override {
        delete MCV_CytometryData::Instance();
        MCV_CytometryData::Instance()->init(nullptr);
        tree = std::make_unique<MCV_SpadeAnalysis>();
        tree->init(nullptr, "Tree");
        // A page the process has shown before may finish from the engine's
        // cache inside the widget's constructor.
        QWebSettings::clearMemoryCaches();
    }
    void TearDown() override {
        tree.reset();
        delete MCV_CytometryData::Instance();
    }
    std::unique_ptr<MCV_SpadeAnalysis> tree;
};

TEST_P(PageWidgetTeardown, GoesWithoutItsSlotsRunningOnWhatIsLeftOfIt) {
    const auto [kind, moment] = GetParam();
    auto window = std::make_unique<QWidget>();
    QWidget* widget = kKinds[kind].make(moment == Moment::WhileLoadingAlone ? nullptr : window.get(), tree.get());
    QWebView* view = pagetest::webViewOf(widget);
    ASSERT_NE(view, nullptr);
    QPointer<QWebView> viewAlive(view);
    QSignalSpy finished(view, &QWebView::loadFinished);
    // Unshown: a window mapped and unmapped at once would expose the windows
    // of tests running beside this one.
    if (moment == Moment::LoadedWithItsWindow) {
        ASSERT_TRUE(pagetest::waitForPage(view));
    }
    finished.clear();
    // The widget's connectJs stays connected to the frame while the view
    // goes: nothing may make a new window object then.
    QSignalSpy cleared(view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared);

    if (moment == Moment::WhileLoadingAlone)
        delete widget;
    else
        window.reset();

    EXPECT_TRUE(viewAlive.isNull());
    EXPECT_EQ(cleared.size(), 0);
    if (moment != Moment::LoadedWithItsWindow) {
        // The path this guards: the engine ends the load from the view's
        // destructor and says so.
        ASSERT_EQ(finished.size(), 1);
        EXPECT_FALSE(finished.front().front().toBool());
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<int, Moment>>& info) {
    return std::string(kKinds[std::get<0>(info.param)].name) + "_" +
           kMoments[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(EveryPageWidget, PageWidgetTeardown,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kKinds))),
                                            ::testing::Values(Moment::WhileLoadingAlone,
                                                              Moment::WhileLoadingWithItsWindow,
                                                              Moment::LoadedWithItsWindow)),
                         caseName);

}  // namespace
