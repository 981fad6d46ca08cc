// An open plot while another analysis appends its output columns to the data,
// through the real window as a user goes: colour the plot by a marker, set
// another marker's range by hand, create the other analysis (during the run
// or after it), restart, choose the markers again. Every time the plot must
// colour each marker by that marker's own values: its renderer holds one
// range per variable of the data, uploads the marker's own column, draws
// each point in the colour of its own value, keeps the range the user set on
// the marker it was set on, and offers the new columns in its marker list.
#include "ShellTestSupport.h"
#include "render/ColormapAt.h"
#include "support/SeededUniform.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "support/WidgetFinders.h"

#include "analysis/applicationSurfaceFormat.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "render/MCV_ColormapTable.h"
#include "render/MCV_PointRenderer.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/plot/UI_EmbeddingView.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

constexpr int kFiles = 3;
constexpr int kEvents = 100;
constexpr int kIterations = 60;
// The sprites' half-size at the smallest "Point Size" (clip units), and the
// largest size weight of a landmark.
constexpr double kHalfSize = 0.005;
constexpr double kLargestWeight = 10.0;

// Each marker's values lie in [base, base + 10), apart from every other
// marker's, so a value read from another column is never one of its own.
struct Marker {
    const char* name;
    float base;
};
constexpr Marker kMarkers[] = {{"CD3", 0.0f}, {"CD45", 100.0f}, {"CD8", -100.0f}, {"CD4", 1000.0f}};

// The range the user sets on CD3 by hand.
const std::pair<float, float> kUserRange = {2.0f, 5.0f};

// Which view is open, which analysis then adds columns (by its shortcut),
// and when.
enum class Kind { Tsne, HsneLevel, FocusContext };
enum class When { DuringTheRun, AfterTheRun };
struct Case {
    Kind kind;
    const char* adding;
    When when;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    const char* kinds[] = {"A-tSNE", "HSNE level", "focus and context"};
    return os << kinds[static_cast<int>(c.kind)] << " + " << c.adding
              << (c.when == When::DuringTheRun ? " during the run" : " after the run");
}

// What a plot shows of its active marker.
struct Shown {
    std::string marker;       // its name
    int variables = 0;        // of the data
    int rendererMarkers = 0;  // values per point the renderer reads
    size_t ranges = 0;        // ranges the renderer holds
    std::pair<float, float> range;
    int ownValues = 0;     // points whose uploaded value is the analysis' value of the marker
    int inMarkerSpan = 0;  // points whose uploaded value lies within the marker's own span
    int points = 0;
    int isolated = 0;                  // points drawn apart from every other
    int ownColour = 0;                 // of those, drawn in the colour of their own value
    std::pair<float, float> ownRange;  // of the analysis' values of the marker
};

class ColumnsInOpenViews : public ShellTest, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showPlotWindow({1500, 1000});
        QStringList files;
        for (int f = 0; f < kFiles; ++f) files << blobs(QString("sample_%1.fcs").arg(f + 1), f);
        open(files);
        MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
        ASSERT_NE(header, nullptr);
        for (const Marker& m : kMarkers) ASSERT_GE(header->variableIdx(m.name), 0) << m.name;
    }

    // kEvents events around four centres, each marker within its own span.
    QString blobs(const QString& name, int seed) {
        SeededUniform next(seed);
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < kEvents; ++e) {
            std::vector<float> row;
            for (const Marker& m : kMarkers) row.push_back(m.base + 2.0f * static_cast<float>(e % 4) + 2.0f * next());
            rows.push_back(row);
        }
        FcsTestFile file = FcsTestFile::floats(rows);
        for (size_t v = 0; v < std::size(kMarkers); ++v) file.set("$P" + std::to_string(v + 1) + "N", kMarkers[v].name);
        return QString::fromStdString(file.write(dir, name.toStdString()));
    }

    // The analysis' rows of marker values (all variables of each point).
    const std::vector<float>* rowsOf(MCV_Analysis* a) {
        if (auto* t = dynamic_cast<MCV_TsneAnalysis*>(a)) return t->markers();
        if (auto* l = dynamic_cast<MCV_HsneAnalysis*>(a)) return l->markers();
        if (auto* f = dynamic_cast<MCV_HsneFCAnalysis*>(a)) return f->markers();
        return nullptr;
    }

    static QComboBox* markerCombo(UI_ScatterplotWidget* plot) {
        for (QComboBox* box : plot->settingsPanel()->findChildren<QComboBox*>())
            if (box->findText("Sample") >= 0) return box;
        return nullptr;
    }
    static void choose(UI_ScatterplotWidget* plot, const char* marker) {
        QComboBox* box = markerCombo(plot);
        ASSERT_NE(box, nullptr);
        ASSERT_GE(box->findText(marker), 0) << marker;
        box->setCurrentIndex(box->findText(marker));
    }
    // Small opaque points without halo: a point's centre pixel shows its
    // colour unless another point covers it.
    static void smallOpaquePoints(UI_ScatterplotWidget* plot) {
        for (QSlider* slider : plot->settingsPanel()->findChildren<QSlider*>()) {
            if (slider->minimum() == 20 && slider->maximum() == 100) QTest::keyClick(slider, Qt::Key_End);   // opacity
            if (slider->minimum() == 50 && slider->maximum() == 200) QTest::keyClick(slider, Qt::Key_Home);  // size
        }
        plot->pointHaloSizeChanged(0.0f);
    }
    // CD3 gets the user's range by the panel's span signal, then CD45 is shown.
    static void colourByCd45WithCd3SetByHand(UI_ScatterplotWidget* plot) {
        choose(plot, "CD3");
        plot->settingsPanel()->setMarkerSpan(kUserRange.first, kUserRange.second);
        choose(plot, "CD45");
    }

    // What `plot` of analysis `a` shows of its active marker, drawn now.
    Shown shown(UI_ScatterplotWidget* plot, MCV_Analysis* a) {
        Shown s;
        MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
        MCV_PointRenderer* renderer = plot->pointRenderer();
        const std::vector<float>* rows = rowsOf(a);
        const int marker = plot->currentMarker();
        if (!header || !renderer || !rows || marker < 0) return s;
        const QImage frame = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        s.variables = header->numVariables();
        s.rendererMarkers = renderer->markerCount();
        s.ranges = renderer->markerRanges()->size();
        if (static_cast<size_t>(marker) < s.ranges) s.range = (*renderer->markerRanges())[static_cast<size_t>(marker)];
        const std::vector<float>& uploaded = renderer->activeMarkerValues();
        const std::vector<float>& xy = renderer->positions();
        const size_t n = xy.size() / 2;
        s.points = static_cast<int>(n);
        const size_t width = static_cast<size_t>(s.variables);
        s.marker = header->variableName(marker);
        const auto known =
            std::find_if(std::begin(kMarkers), std::end(kMarkers), [&](const Marker& m) { return s.marker == m.name; });
        const float base = known != std::end(kMarkers) ? known->base : std::nanf("");
        std::vector<float> own(n, 0.0f);
        s.ownRange = {1e9f, -1e9f};
        for (size_t i = 0; i < n; ++i) {
            const size_t at = i * width + static_cast<size_t>(marker);
            own[i] = at < rows->size() ? (*rows)[at] : std::nanf("");
            s.ownRange = {std::min(s.ownRange.first, own[i]), std::max(s.ownRange.second, own[i])};
            if (i < uploaded.size()) {
                s.ownValues += uploaded[i] == own[i];
                s.inMarkerSpan += uploaded[i] >= base && uploaded[i] < base + 10.0f;
            }
        }
        // Where each point is drawn, as the renderer places it: one range for
        // both axes (symmetric once negative) into [0.1, 0.9] of the centred
        // square (device pixels, y up).
        float lo = 0.0f, hi = 0.0f;
        for (float v : xy) lo = std::min(lo, v), hi = std::max(hi, v);
        if (lo < 0.0f) hi = std::max(hi, -lo), lo = -hi;
        const int side = std::min(frame.width(), frame.height());
        const int x0 = (frame.width() - side) / 2, y0 = (frame.height() - side) / 2;
        std::vector<QPointF> centre(n);
        for (size_t i = 0; i < n; ++i) {
            auto place = [&](float v) { return hi > lo ? ((v - lo) / (hi - lo)) * 0.8f + 0.1f : 0.5f; };
            centre[i] = {x0 + place(xy[2 * i]) * static_cast<float>(side),
                         y0 + place(xy[2 * i + 1]) * static_cast<float>(side)};
        }
        // Each sprite's radius in pixels: a level's landmarks are weighted, up
        // to ten times for the heaviest; the focus-and-context map's are taken
        // at the largest weight.
        std::vector<double> radius(n, kHalfSize * side / 2.0);
        auto* level = dynamic_cast<MCV_HsneAnalysis*>(a);
        const std::vector<float>* weights = level ? &level->landmarkWeights() : nullptr;
        const float heaviest = weights && !weights->empty() ? *std::max_element(weights->begin(), weights->end()) : 0;
        for (size_t j = 0; j < n; ++j) {
            if (weights && weights->size() == n && heaviest > 0)
                radius[j] *= std::clamp(10.0 * (*weights)[j] / heaviest, 1.0, kLargestWeight);
            else if (!dynamic_cast<MCV_TsneAnalysis*>(a))
                radius[j] *= kLargestWeight;
        }
        const float span = s.range.second - s.range.first;
        for (size_t i = 0; i < n; ++i) {
            bool alone = true;
            for (size_t j = 0; j < n && alone; ++j)
                alone = j == i ||
                        std::hypot(centre[i].x() - centre[j].x(), centre[i].y() - centre[j].y()) > radius[j] + 2.0;
            if (!alone) continue;
            ++s.isolated;
            const float t = span > 0.0f ? std::clamp((own[i] - s.range.first) / span, 0.0f, 1.0f) : 0.0f;
            const int px = static_cast<int>(centre[i].x()), py = frame.height() - 1 - static_cast<int>(centre[i].y());
            s.ownColour += rgbNear(frame.pixel(px, py), colormapAt(MCV_ColormapTable::kDefault1D, t), 8);
        }
        return s;
    }

    // The plot showed `marker` (CD45 with its own range, or CD3 with the
    // user's range) from the analysis' own values.
    static void expectOwn(const Shown& s, const std::string& marker, const std::string& when) {
        SCOPED_TRACE(when + ", " + marker);
        ASSERT_EQ(s.marker, marker);
        EXPECT_EQ(s.rendererMarkers, s.variables);
        EXPECT_EQ(s.ranges, static_cast<size_t>(s.variables));
        ASSERT_GT(s.points, 20);
        EXPECT_EQ(s.ownValues, s.points);
        EXPECT_EQ(s.inMarkerSpan, s.points);
        if (marker == "CD3")
            EXPECT_EQ(s.range, kUserRange);
        else
            EXPECT_EQ(s.range, s.ownRange);
        EXPECT_GE(s.isolated, 5);
        EXPECT_EQ(s.ownColour, s.isolated);
    }

    // Creates an analysis by its shortcut, named `name`.
    void create(const char* keys, const char* name) {
        UI_ModalDialogs::answerText(name);
        QTest::keySequence(&w(), QKeySequence(keys));
    }

    // Every "GPU Acceleration" box of `panel` off.
    // Which points stand apart depends on where the map puts them: a seed
    // fixes the hierarchy and the map's start.
    static void seeded(QWidget* panel) {
        QSpinBox* seed = widgetBeside<QSpinBox>(panel, "RNG Seed");
        ASSERT_NE(seed, nullptr);
        seed->setValue(3);
    }
    static void onTheCpu(QWidget* panel) {
        QCheckBox* gpu = widgetBeside<QCheckBox>(panel, "GPU Acceleration");
        if (gpu && gpu->isChecked()) QTest::mouseClick(gpu, Qt::LeftButton);
    }
};

TEST_P(ColumnsInOpenViews, APlotColoursEveryMarkerByItsOwnValuesAfterAnotherAnalysisAddsColumns) {
    const Case c = GetParam();
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();

    // ---- The view and its analysis ----
    MCV_Analysis* analysis = nullptr;
    UI_EmbeddingView* view = nullptr;
    QPushButton* compute = nullptr;
    switch (c.kind) {
        case Kind::Tsne: {
            create("Ctrl+T", "T");
            auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(w().analyses().back());
            auto* panel = qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels().back());
            ASSERT_TRUE(tsne && panel);
            tsne->setIterations(kIterations);
            tsne->setSeed(3);
            tsne->setExaggerationIter(10);  // spread out within the short run
            onTheCpu(panel);
            analysis = tsne;
            view = qobject_cast<UI_TsneWidget*>(w().views().back());
            compute = panel->computeTsneButton();
            break;
        }
        case Kind::HsneLevel: {
            create("Ctrl+F", "H");
            auto* level = w().analyses().size() == 2 ? dynamic_cast<MCV_HsneAnalysis*>(w().analyses()[1]) : nullptr;
            auto* panel = qobject_cast<UI_HsneSettingsWidget*>(w().settingsPanels().back());
            ASSERT_TRUE(level && panel);
            panel->numScalesBox()->setValue(2);
            level->setIterations(kIterations);
            seeded(panel);
            onTheCpu(panel);
            analysis = level;
            view = qobject_cast<UI_HsneWidget*>(w().views().back());
            compute = panel->computeHsneButton();
            break;
        }
        case Kind::FocusContext: {
            create("Ctrl+Shift+F", "F");
            auto* map = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses().back());
            auto* panel = qobject_cast<UI_HsneFCSettingsWidget*>(w().settingsPanels().back());
            ASSERT_TRUE(map && panel);
            panel->numScalesBox()->setValue(2);
            map->setIterations(kIterations);
            seeded(panel);
            onTheCpu(panel);
            analysis = map;
            view = qobject_cast<UI_HsneFCWidget*>(w().views().back());
            compute = panel->computeHsneButton();
            break;
        }
    }
    ASSERT_TRUE(analysis && view && compute);
    UI_ScatterplotWidget* plot = view->plot();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    smallOpaquePoints(plot);
    const int before = header->numVariables();

    // ---- Compute: colour by CD45 (CD3's range set by hand) as soon as the plot is fed; the other
    // analysis during the run, the plot checked a few iterations later ----
    int updates = 0;
    Shown during;
    auto watch = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(), [&](void* a) {
        if (a != analysis) return;
        ++updates;
        if (updates == 1) colourByCd45WithCd3SetByHand(plot);
        if (updates == 10 && c.when == When::DuringTheRun) create(c.adding, "Other");
        // Checked after the run: the run's output is not shown.
        if (updates == 40 && c.when == When::DuringTheRun) during = shown(plot, analysis);
    });
    quietly([&] { QTest::mouseClick(compute, Qt::LeftButton); });
    QObject::disconnect(watch);
    ASSERT_GE(updates, 40);
    if (c.when == When::DuringTheRun) expectOwn(during, "CD45", "during the run");
    if (c.when == When::AfterTheRun) {
        ASSERT_EQ(header->numVariables(), before);
        create(c.adding, "Other");
    }
    ASSERT_EQ(header->numVariables(), before + 2) << "the other analysis added its two output columns";
    expectOwn(shown(plot, analysis), "CD45", "after the run");
    // The plot's marker list offers the new columns too, in the data's order,
    // and still shows the marker chosen.
    QStringList offered, variables = {"Sample"};
    for (int i = 0; i < markerCombo(plot)->count(); ++i) offered << markerCombo(plot)->itemText(i);
    for (int v = 0; v < header->numVariables(); ++v) variables << QString::fromStdString(header->variableName(v));
    EXPECT_EQ(offered, variables);
    EXPECT_EQ(markerCombo(plot)->currentText(), "CD45");

    // ---- Restart from the overlay (the focus-and-context map's restart lays its points out anew and
    // re-feeds its plot, user ranges and all) ----
    if (c.kind != Kind::FocusContext) {
        updates = 0;
        auto count = QObject::connect(w().bridge(), &UI_Interface::analysisUpdatedSignal, &w(),
                                      [&](void* a) { updates += a == analysis; });
        quietly([&] { QTest::mouseClick(overlayButton(plot, 1), Qt::LeftButton); });
        QObject::disconnect(count);
        EXPECT_EQ(updates, kIterations);
        expectOwn(shown(plot, analysis), "CD45", "after a restart");
    }

    // ---- The markers chosen again ----
    choose(plot, "CD3");
    expectOwn(shown(plot, analysis), "CD3", "CD3 chosen again");
    choose(plot, "CD45");
    expectOwn(shown(plot, analysis), "CD45", "CD45 chosen again");

    // ---- A view opened now on the same A-tSNE analysis reads the same ----
    if (c.kind == Kind::Tsne) {
        const size_t views = w().views().size();
        trigger("actionScatterplotView");
        ASSERT_EQ(w().views().size(), views + 1);
        auto* second = qobject_cast<UI_TsneWidget*>(w().views().back());
        ASSERT_NE(second, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(second->plot()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return second->plot()->height() > 200; }, 2000));
        smallOpaquePoints(second->plot());
        choose(second->plot(), "CD45");
        expectOwn(shown(second->plot(), analysis), "CD45", "a new view");
    }
}

INSTANTIATE_TEST_SUITE_P(Views, ColumnsInOpenViews,
                         ::testing::Values(Case{Kind::Tsne, "Ctrl+F", When::DuringTheRun},
                                           Case{Kind::Tsne, "Ctrl+Shift+F", When::AfterTheRun},
                                           Case{Kind::HsneLevel, "Ctrl+T", When::DuringTheRun},
                                           Case{Kind::HsneLevel, "Ctrl+T", When::AfterTheRun},
                                           Case{Kind::FocusContext, "Ctrl+T", When::DuringTheRun},
                                           Case{Kind::FocusContext, "Ctrl+T", When::AfterTheRun}));

}  // namespace
