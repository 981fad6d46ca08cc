// The plot's overlays: the slide-in panel and its dock, the embedding
// overlay reaching the analysis through its control, the colormap pickers.
#include "support/WidgetFinders.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/plot/UI_EmbeddingControl.h"
#include "ui/plot/UI_SettingsSliderWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_DerivedDataPoints.h"
#include "render/MCV_ColormapTable.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

QPushButton* buttonStyled(QWidget* parent, const QString& part) {
    for (QPushButton* b : parent->findChildren<QPushButton*>())
        if (b->styleSheet().contains(part)) return b;
    return nullptr;
}

TEST(SettingsSlider, HandleAndPeeksMoveThePanelOnlyFromTheRightStatesAndResizesPlaceIt) {
    QWidget host;
    host.resize(600, 400);
    auto* panel = new UI_SettingsSliderWidget(&host, 110);
    panel->setParentSize(QSize(600, 400));
    host.show();
    auto* animation = panel->findChild<QPropertyAnimation*>();
    ASSERT_NE(animation, nullptr);
    auto finishMovement = [&] {  // whether a movement had started
        if (animation->state() != QAbstractAnimation::Running) return false;
        QSignalSpy done(animation, &QPropertyAnimation::finished);
        EXPECT_TRUE(done.wait(3000));
        return true;
    };
    struct Step {
        const char* what;
        bool open;
        int peeking;  // -1: not pinned
        int y;        // of the panel once moved, in a 400 high host
        bool moves;
    };
    // The panel is 110 high and starts open; a peek shows 15 pixels of it.
    const Step steps[] = {
        {"peekIn", true, false, 290, false},    // open: ignored
        {"handle", false, false, 400, true},    // flag changes when the movement starts
        {"peekOut", false, false, 400, false},  // no peek to end
        {"peekIn", false, true, 385, true},     // from closed
        {"peekIn", false, true, 385, false},    // already peeking
        {"peekOut", false, false, 400, true},   // back down
        {"peekIn", false, true, 385, true},     // and up again
        {"handle", true, -1, 290, true},        // opens fully from the peek
    };
    QPushButton* handle = buttonStyled(panel, "Arrow)");
    QSignalSpy camera(panel, &UI_SettingsSliderWidget::screenshotButtonPressed);
    QTest::mouseClick(buttonStyled(panel, "cameraBt"), Qt::LeftButton);
    EXPECT_EQ(camera.count(), 1);
    EXPECT_EQ(panel->geometry(), QRect(0, 290, 600, 110));
    for (const Step& s : steps) {
        const QString what = s.what;
        if (what == "handle") QTest::mouseClick(handle, Qt::LeftButton);
        if (what == "peekIn") panel->peekIn();
        if (what == "peekOut") panel->peekOut();
        EXPECT_EQ(panel->isOpen(), s.open) << s.what;
        if (s.peeking >= 0) {
            EXPECT_EQ(panel->isPeeking(), s.peeking == 1) << s.what;
        }
        EXPECT_EQ(finishMovement(), s.moves) << s.what;
        EXPECT_EQ(panel->geometry(), QRect(0, s.y, 600, 110)) << s.what;
        EXPECT_TRUE(handle->styleSheet().contains(s.open ? "closeArrow" : "openArrow")) << s.what;
    }
    // A host resize places the panel by its open flag, without a movement.
    for (auto [size, y] : {std::pair(QSize(700, 300), 190), {QSize(800, 500), 500}}) {
        if (y == 500) {
            QTest::mouseClick(handle, Qt::LeftButton);
            finishMovement();
        }
        panel->setParentSize(size);
        EXPECT_EQ(animation->state(), QAbstractAnimation::Stopped);
        EXPECT_EQ(panel->geometry(), QRect(0, y, size.width(), 110));
    }
}

TEST(SettingsSliderDock, WithoutMainWindowOptionsToggleAFreeDockWhoseWidgetsOutliveThePanel) {
    QApplication::setActiveWindow(nullptr);
    QWidget host;
    auto* panel = new UI_SettingsSliderWidget(&host, 110);
    QLabel samples("samples");
    panel->addWidgetToExtendedSettings(&samples, "Select Samples");
    UI_DockableContainerWidget* dock = panel->extendedSettingsWidget();
    EXPECT_EQ(dock->parent(), nullptr);
    for (bool visible : {true, false}) {
        QTest::mouseClick(buttonStyled(panel, "optionsBt"), Qt::LeftButton);
        EXPECT_EQ(dock->isVisible(), visible);
    }
    // The recorded widgets belong to their creator.
    QPointer<QLabel> alive(&samples);
    delete panel;
    EXPECT_FALSE(alive.isNull());
    EXPECT_EQ(samples.parent(), nullptr);
}

class TypedAnalysis : public MCV_Analysis {
public:
    explicit TypedAnalysis(int type) { m_type = type; }
    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
    void selectMarkers(std::vector<unsigned> markers) { m_selectedMarkers = std::move(markers); }
};

class KindedPoints : public MCV_DerivedDataPoints {
public:
    explicit KindedPoints(int kind) { m_type = kind; }
};

// Its exaggeration is beyond the box: written back clamped.
struct RecordingControl : UI_EmbeddingControl {
    bool running_ = false;
    std::vector<std::string> calls;
    int iterations() const override { return 1000; }
    int exaggerationIter() const override { return 900; }
    int expDecay() const override { return 70; }
    bool running() const override { return running_; }
    void setIterations(int v) override { calls.push_back("setIterations " + std::to_string(v)); }
    void setExaggerationIter(int v) override { calls.push_back("setExaggerationIter " + std::to_string(v)); }
    void setExpDecay(int v) override { calls.push_back("setExpDecay " + std::to_string(v)); }
    void stopGradientDescent() override { calls.push_back("stop"); }
    void embed() override { calls.push_back("embed"); }
    void restart() override { calls.push_back("restart"); }
};

class TsneOverlay : public ::testing::Test {
protected:
    void SetUp() override {
        for (int type : {1, 2, 3})
            UI_EmbeddingControl::registerType(type, [this](MCV_Analysis*) {
                return std::unique_ptr<UI_EmbeddingControl>(log = new RecordingControl);
            });
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    void TearDown() override {
        for (int type : {1, 2, 3}) UI_EmbeddingControl::registerType(type, nullptr);
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
    }
    std::unique_ptr<UI_TsneSettingsSliderWidget> makePanel(int type, MCV_DerivedDataPoints* selection = nullptr) {
        analysis = std::make_unique<TypedAnalysis>(type);
        analysis->selectMarkers({0, 1});
        analysis->setActiveDataSelection(selection);
        auto panel = std::make_unique<UI_TsneSettingsSliderWidget>(analysis.get(), &host);
        panel->resize(1000, 110);
        return panel;
    }
    static UI_MaterialCheckBoxWidget* switchLabelled(QWidget* panel, const QString& text) {
        QLabel* label = childWithText<QLabel>(panel, text);
        return label ? qobject_cast<UI_MaterialCheckBoxWidget*>(label->parentWidget()) : nullptr;
    }
    // Controls are told apart by their ranges (a negative minimum: any).
    template <typename W>
    static W* withRange(QWidget* panel, int minimum, int maximum) {
        for (W* w : panel->findChildren<W*>())
            if ((minimum < 0 || w->minimum() == minimum) && w->maximum() == maximum) return w;
        return nullptr;
    }

    QWidget host;
    RecordingControl* log = nullptr;  // of the newest panel, owned by it
    std::unique_ptr<TypedAnalysis> analysis;
};

TEST_F(TsneOverlay, WithoutAnalysisItIsTheBarePanel) {
    UI_TsneSettingsSliderWidget bare(nullptr, &host);
    bare.resize(500, 110);  // must not touch the missing controls
    EXPECT_TRUE(bare.findChildren<QComboBox*>().isEmpty());
}

TEST_F(TsneOverlay, EmbeddingBoxesStartClampedFromTheAnalysisAndWriteBack) {
    auto panel = makePanel(3);
    EXPECT_EQ(log->calls,
              (std::vector<std::string>{"setExaggerationIter 500", "setExpDecay 70", "setIterations 1000"}));
    panel->setMode(2);  // the Advanced page holds the boxes
    log->calls.clear();
    QSignalSpy grid(panel.get(), &UI_TsneSettingsSliderWidget::msGridSizeChangedSignal);
    withRange<QSpinBox>(panel.get(), -1, 99999)->setValue(321);
    withRange<QSpinBox>(panel.get(), -1, 1024)->setValue(256);
    EXPECT_EQ(log->calls, (std::vector<std::string>{"setIterations 321"}));
    ASSERT_EQ(grid.count(), 1);
    EXPECT_EQ(grid[0][0].toInt(), 256);
}

TEST_F(TsneOverlay, MarkerEntriesMapToMarkerIndicesEnableTheSpanForMarkersOnlyAndARefillKeepsTheName) {
    struct Case {
        int kind;
        QStringList firstEntries;
        std::vector<std::tuple<int, int, bool>> choices;  // (entry, marker reported, span enabled)
    };
    const Case cases[] = {
        {MCV_DerivedData::KindPoints, {"Sample", "P", "Q"}, {{2, 1, true}, {0, -1, false}}},
        {MCV_DerivedData::KindImage, {"Coordinates", "Image RGB", "P"}, {{1, -1, false}, {2, 0, true}, {0, -2, false}}},
        {MCV_DerivedData::KindClusters, {"P", "Q"}, {{1, 1, true}, {0, 0, true}}}};
    std::vector<std::string> names = {"P", "Q"}, more = {"X", "P", "Q"}, other = {"Z"};
    for (const Case& c : cases) {
        KindedPoints points(c.kind);
        auto panel = makePanel(1, &points);
        auto* combo = panel->findChildren<QComboBox*>().at(1);
        QSignalSpy marker(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarker);
        QSignalSpy enabled(panel->findChild<UI_DualSliderWidget*>(), &UI_DualSliderWidget::qt_enable);
        panel->setMarkers(&names);
        for (int i = 0; i < c.firstEntries.size(); ++i) EXPECT_EQ(combo->itemText(i), c.firstEntries[i]) << c.kind;
        for (auto [entry, index, spanEnabled] : c.choices) {
            combo->setCurrentIndex(entry);
            EXPECT_EQ(marker.last()[0].toInt(), index) << c.kind << " " << entry;
            ASSERT_FALSE(enabled.isEmpty());
            EXPECT_EQ(enabled.last()[0].toBool(), spanEnabled) << c.kind << " " << entry;
        }
        if (c.kind != MCV_DerivedData::KindPoints) continue;
        combo->setCurrentIndex(1);
        panel->setMarkers(&more);
        EXPECT_EQ(marker.last()[0].toInt(), 1) << "P stays chosen";
        panel->setMarkers(&other);
        EXPECT_EQ(combo->currentIndex(), 0);
    }
}

TEST_F(TsneOverlay, MarkerSpanGoesToTheSliderAndBackAsASignal) {
    auto panel = makePanel(1);
    auto* span = panel->findChild<UI_DualSliderWidget*>();
    QSignalSpy out(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMarkerSpan);
    // Values pushed by the host are clamped to the limits and not echoed.
    panel->updateMarkerSliderLimits({-1.0f, 9.0f}, {-3.0f, 4.0f});
    panel->updateMarkerSliderRanges({2.0f, 12.0f});
    EXPECT_EQ(std::make_pair(span->lowerValue(), span->upperValue()), std::make_pair(2.0f, 9.0f));
    EXPECT_EQ(out.count(), 0);
    span->js_valuesChanged(1.5f, 2.5f);
    ASSERT_EQ(out.count(), 1);
    EXPECT_FLOAT_EQ(out[0][1].toFloat(), 2.5f);
}

TEST_F(TsneOverlay, ModesShowOnePageAndReportRenderModes) {
    auto panel = makePanel(1);
    QSignalSpy mode(panel.get(), &UI_TsneSettingsSliderWidget::parentSetMode);
    QSignalSpy advanced(panel.get(), &UI_TsneSettingsSliderWidget::parentSetAdvancedMode);
    auto* modes = panel->findChildren<QComboBox*>().at(0);
    modes->setCurrentIndex(2);
    QTest::mouseClick(childWithText<QRadioButton>(panel.get(), "Raw Density"), Qt::LeftButton);
    // (page, render mode, advanced mode): back to Advanced reports the stored choice.
    const std::pair<int, std::pair<int, int>> steps[] = {{2, {1, 2}}, {0, {0, -1}}, {2, {1, 2}}, {1, {1, -1}}};
    for (auto [page, reported] : steps) {
        modes->setCurrentIndex(page);
        EXPECT_EQ(std::make_pair(mode.last()[0].toInt(), advanced.last()[0].toInt()), reported) << page;
    }
}

TEST_F(TsneOverlay, SlidersScaleTheirValuesAndSigmaControlsFollowEachOther) {
    auto panel = makePanel(1);
    using Signal = void (UI_TsneSettingsSliderWidget::*)(float);
    struct Case {
        int page, minimum, maximum, set;
        Signal signal;
        float reported;
        int echoes;  // every sigma control reports
    };
    const Case cases[] = {{0, 50, 200, 200, &UI_TsneSettingsSliderWidget::parentSetpointSize, 0.02f, 1},
                          {0, 20, 100, 20, &UI_TsneSettingsSliderWidget::parentSetpointOpacity, 0.2f, 1},
                          {0, 10, 50, 50, &UI_TsneSettingsSliderWidget::parentSetpointHaloSize, 0.5f, 1},
                          {1, 1, 200, 80, &UI_TsneSettingsSliderWidget::parentSetSigma, 0.4f, 4}};
    for (const Case& c : cases) {
        panel->setMode(c.page);
        QSlider* slider = withRange<QSlider>(panel.get(), c.minimum, c.maximum);
        ASSERT_NE(slider, nullptr) << c.minimum;
        QSignalSpy reported(panel.get(), c.signal);
        slider->setValue(c.set);
        ASSERT_EQ(reported.count(), c.echoes) << c.set;
        for (const QList<QVariant>& args : reported) EXPECT_FLOAT_EQ(args[0].toFloat(), c.reported);
    }
    panel->setMode(2);
    for (QSlider* s : panel->findChildren<QSlider*>()) EXPECT_EQ(s->value(), 80);
    EXPECT_EQ(withRange<QSpinBox>(panel.get(), -1, 200)->value(), 80);
}

TEST_F(TsneOverlay, SwitchesOnThePagesReportTheirState) {
    auto panel = makePanel(3);
    using Signal = void (UI_TsneSettingsSliderWidget::*)(bool);
    const std::pair<const char*, Signal> switches[] = {
        {" Darkmode", &UI_TsneSettingsSliderWidget::parentSetDarkMode},
        {" Record", &UI_TsneSettingsSliderWidget::parentSetRecording},
        {" Greedy Scale", &UI_TsneSettingsSliderWidget::parentSetGreedyScaleMode}};
    for (auto [label, signal] : switches) {
        QSignalSpy spy(panel.get(), signal);
        switchLabelled(panel.get(), label)->js_clicked();  // what the page calls on a click
        ASSERT_EQ(spy.count(), 1) << label;
        EXPECT_TRUE(spy[0][0].toBool()) << label;
    }
    panel->setMode(1);
    QSignalSpy otf(panel.get(), &UI_TsneSettingsSliderWidget::computeMSotfSignal);
    QSignalSpy once(panel.get(), &UI_TsneSettingsSliderWidget::computeMSOnceSignal);
    switchLabelled(panel.get(), " Continously")->js_clicked();
    ASSERT_EQ(otf.count(), 1);
    EXPECT_EQ(otf[0][0].toInt(), 1);
    QPushButton* cluster = childWithText<QPushButton>(panel.get(), "Cluster");
    EXPECT_FALSE(cluster->isEnabled());
    panel->setEmbeddingState(true);
    QTest::mouseClick(cluster, Qt::LeftButton);
    EXPECT_EQ(once.count(), 1);
}

TEST_F(TsneOverlay, RunPausesOrContinuesRestartStartsAnewAndNothingRunsWithoutMarkersOrControl) {
    for (int type : {2, 1, 0}) {
        log = nullptr;
        auto panel = makePanel(type);
        ASSERT_EQ(log != nullptr, type != 0);
        if (log) log->calls.clear();
        if (type != 2) analysis->selectMarkers({});
        QSignalSpy started(panel.get(), &UI_TsneSettingsSliderWidget::computationStartedSignal);
        panel->computeEmbeddingPressed();
        if (log) log->running_ = true;
        panel->computeEmbeddingPressed();
        panel->restartEmbeddingPressed();
        // Without markers an embedding type warns at every press.
        EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), type == 1 ? 3u : 0u) << type;
        EXPECT_EQ(started.count(), type == 2 ? 2 : 0) << type;
        const std::vector<std::string> expected =
            type == 2 ? std::vector<std::string>{"embed", "stop", "restart"} : std::vector<std::string>();
        EXPECT_EQ(log ? log->calls : std::vector<std::string>(), expected) << type;
    }
}

struct PickerCase {
    int dims;
    std::function<UI_ColormapPicker*(QWidget*)> make;
    const char* image;
    const char* discreteImage;
};

const PickerCase kPickers[] = {
    {1, [](QWidget* host) -> UI_ColormapPicker* { return new UI_ColormapSelectionWidget(host); }, "_vert.png",
     "_vert_disc.png"},
    {2, [](QWidget* host) -> UI_ColormapPicker* { return new UI_Colormap2DSelectionWidget(host); }, ".png", ".png"},
};

class ColormapPickerTest : public testing::TestWithParam<PickerCase> {
protected:
    void SetUp() override {
        host.resize(900, 400);
        picker = GetParam().make(&host);
        picker->move(host.width() - 145, 10);
        host.show();
        // The active button first, then the colormap buttons from left to right.
        buttons = picker->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
            return a->parentWidget()->x() + a->x() < b->parentWidget()->x() + b->x();
        });
    }
    int count() const { return MCV_ColormapTable::count(GetParam().dims); }
    bool shows(QPushButton* button, int idx, bool discrete) const {
        const std::string name = MCV_ColormapTable::names(GetParam().dims)[static_cast<size_t>(idx)];
        const QString url = QString::fromStdString("url(:/colormaps/" + name) +
                            (discrete ? GetParam().discreteImage : GetParam().image) + ")";
        return button->styleSheet().contains(url);
    }
    UI_MaterialCheckBoxWidget* discreteSwitch() const { return picker->findChild<UI_MaterialCheckBoxWidget*>(); }

    QWidget host;
    UI_ColormapPicker* picker = nullptr;
    QList<QPushButton*> buttons;
};

TEST_P(ColormapPickerTest, EachButtonShowsAndChoosesItsMapAndClosesThePanel) {
    ASSERT_EQ(buttons.size(), count() + 1);
    EXPECT_TRUE(shows(buttons[0], GetParam().dims == 1 ? MCV_ColormapTable::kDefault1D : 0, false));
    for (int i = 0; i < count(); ++i) {
        EXPECT_TRUE(shows(buttons[i + 1], i, false)) << i;
        const std::vector<unsigned char>& rgb = MCV_ColormapTable::image(i, GetParam().dims).rgb;
        EXPECT_EQ(*picker->colormMapData(i), rgb) << i;
        if (GetParam().dims == 2) continue;
        // The button images show the highest value at the top.
        const QImage image(
            QString::fromStdString(MCV_ColormapTable::resourceStem(MCV_ColormapTable::names(1)[size_t(i)])) +
            "_vert.png");
        EXPECT_EQ(QColor(image.pixel(12, 0)), QColor(rgb[597], rgb[598], rgb[599])) << i;
        EXPECT_EQ(QColor(image.pixel(0, 167)), QColor(rgb[0], rgb[1], rgb[2])) << i;
    }
    EXPECT_EQ(picker->colormMapData(count()), nullptr);
    EXPECT_EQ(picker->colormMapData(-1), nullptr);

    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(picker->isOpen());
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_FALSE(picker->isOpen());
    for (int i = 0; i < count(); ++i) {
        QTest::mouseClick(buttons[i + 1], Qt::LeftButton);
        EXPECT_EQ(selected.last()[0].toInt(), i);
        EXPECT_EQ(picker->activeColormap(), i);
        EXPECT_TRUE(shows(buttons[0], i, false)) << i;
    }
    EXPECT_EQ(selected.count(), count() + 1);
}

TEST_P(ColormapPickerTest, DiscreteSwitchRestylesTheButtonsAndHostPushesEmitNothing) {
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    QSignalSpy discrete(picker, &UI_ColormapPicker::discreteSelected);
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    discreteSwitch()->js_clicked();  // what the page calls when the user flips it
    ASSERT_EQ(discrete.count(), 1);
    EXPECT_TRUE(discrete[0][0].toBool());
    EXPECT_TRUE(picker->isOpen());
    for (int i = 0; i < count(); ++i) EXPECT_TRUE(shows(buttons[i + 1], i, true)) << i;
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_TRUE(shows(buttons[0], 1, true));
    ASSERT_EQ(selected.count(), 1);

    picker->setColormap(3, false);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_FALSE(discreteSwitch()->isChecked());
    EXPECT_TRUE(shows(buttons[0], 3, false));
    picker->setColormap(count(), true);  // outside the table: ignored
    picker->setColormap(-1, true);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_FALSE(picker->isDiscrete());
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(discrete.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Pickers, ColormapPickerTest, testing::ValuesIn(kPickers),
                         [](const testing::TestParamInfo<PickerCase>& p) {
                             return std::to_string(p.param.dims) + "D";
                         });

}  // namespace

TEST_F(TsneOverlay, PagesSwitchedWithinOneTurnNeverOpenAsWindowsOfTheirOwn) {
    auto panel = makePanel(3);
    panel->window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel->window()));
    for (int mode : {1, 0, 2, 1, 0}) panel->setMode(mode);
    QTest::qWait(50);
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(top != panel->window() && top->isVisible() && !top->findChildren<QLabel*>().isEmpty())
            << "a page of the panel shows as a window";
}
