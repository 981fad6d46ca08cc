// The A-tSNE view with the real bridge.
#include "ui/plot/ScatterplotTest.h"

#include "app/UI_Interface.h"
#include "support/CapturedOutput.h"
#include "support/Pixels.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>

namespace {

using namespace viewtest;

// Two files of 40 events in two blobs over CD3, CD4, CD8, then the output
// variables the analyses write; two analyses, each with its view.
class TsneView : public ::testing::Test {
protected:
    void SetUp() override {
        useProgramFormat();
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(&bridge);
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (int f = 0; f < 2; ++f) {
            std::vector<std::vector<float>> rows;
            for (int i = 0; i < 40; ++i)
                rows.push_back({20.0f * (i % 2) + noise(random), noise(random), 20.0f * (1 - i % 2) + noise(random)});
            ASSERT_EQ(data->loadFromFile(FcsTestFile::floats(rows).write(dir, "s" + std::to_string(f) + ".fcs")), 0);
        }
        data->initAllDerviedDataPointer();
        data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
        using V = UI_TsneWidget;
        for (int i = 0; i < 2; ++i) {
            analyses[i] = std::make_unique<MCV_TsneAnalysis>();
            analyses[i]->init(&bridge, "A-tSNE " + std::to_string(i + 1));
            analyses[i]->setIterations(0);
            analyses[i]->setSeed(static_cast<int>(i) + 1);
            analyses[i]->setContinuousUpdates(true);
            analyses[i]->setActiveDataSelection(data->derivedDataPoints("All Points", true));
            views[i] = std::make_unique<V>(nullptr, analyses[i].get());
            QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, views[i].get(), &V::initComputation);
            QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, views[i].get(), &V::computationUpdated);
            QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, views[i].get(), &V::computationFinished);
            views[i]->plot()->setFixedSize(260, 260);
            views[i]->move(20 + 300 * i, 20);  // side by side: neither hides the other on screen
            views[i]->setVisibility(true);
            views[i]->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(views[i].get()));
            views[i]->plot()->grabFramebuffer();
        }
    }
    void TearDown() override {
        for (auto& v : views) v.reset();
        for (auto& a : analyses) a.reset();
        delete MCV_CytometryData::Instance();
    }
    void compute(int i) {
        quietly([&] { analyses[i]->computeTSNE(); });
    }
    // The colours of the first analysis' leftmost and rightmost points in a
    // square image of its plot.
    std::pair<QRgb, QRgb> extremeColours(const QImage& image) const {
        const std::vector<float>& xy = *analyses[0]->output();
        const auto [lo, hi] = plotRange(xy);
        auto at = [&, lo = lo, hi = hi](size_t p) {
            auto pixel = [&](float v) { return int(((v - lo) / (hi - lo) * 0.8f + 0.1f) * image.width()); };
            return image.pixel(pixel(xy[2 * p]), image.height() - 1 - pixel(xy[2 * p + 1]));
        };
        size_t left = 0, right = 0;
        for (size_t p = 0; 2 * p < xy.size(); ++p) {
            if (xy[2 * p] < xy[2 * left]) left = p;
            if (xy[2 * p] > xy[2 * right]) right = p;
        }
        return {at(left), at(right)};
    }

    UI_Interface bridge;
    QTemporaryDir dir;
    std::unique_ptr<MCV_TsneAnalysis> analyses[2];
    std::unique_ptr<UI_TsneWidget> views[2];
};

TEST_F(TsneView, PlotChangesBetweenIterationsOfItsOwnAnalysisOnly) {
    UI_TsneWidget* view = views[0].get();
    // Every iteration gets its frame, whatever the machine's load. Frames are
    // counted as the window presents them (screen grabs would see the windows
    // of tests running beside this one).
    view->framePacer() = UI_FramePacer(1.0, UI_FramePacer::Clock::duration::zero());
    int frames = 0, framesAtFifth = 0, updates = 0;
    QObject::connect(view->plot(), &QOpenGLWidget::frameSwapped, [&frames] { ++frames; });
    std::vector<float> fifth;
    QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, [&](void* a) {
        if (a != analyses[0].get() || ++updates != 5) return;
        fifth = *analyses[0]->output();
        framesAtFifth = frames;
    });
    analyses[0]->setIterations(200);
    compute(0);
    EXPECT_GT(frames - framesAtFifth, 50) << "the window shows the run while it goes on";
    EXPECT_NE(fifth, *analyses[0]->output());
    EXPECT_EQ(views[1]->plot()->pointRenderer()->markerRanges()->size(), 0u) << "the other view is not fed";
}

TEST_F(TsneView, SharedPairsMarkExactlyTheirPoints) {
    compute(0);
    const auto& refs = *analyses[0]->pointReferences();
    ASSERT_EQ(refs.size(), 80u);
    // Two events, one given twice, plus pairs that name nothing loaded.
    std::vector<std::pair<int, int>> pairs = {refs[3], refs[50], refs[3], {7, 0}, {0, 9999}, {-1, 2}};
    views[0]->select(&pairs);
    // A computation signal of another analysis changes nothing here.
    views[0]->initComputation(analyses[1].get());
    views[0]->computationUpdated(analyses[1].get());
    std::vector<short> expected(80, 0);
    expected[3] = expected[50] = 32767;
    EXPECT_EQ(views[0]->selectionFlags(), expected);

    UI_TsneWidget bare(nullptr, nullptr);
    bare.select(&pairs);  // without analysis: no plot, no crash
    bare.scatterplotSelectionUpdated();
}

TEST_F(TsneView, MarkerRangeOfTheOutputFollowsTheValuesInViewAndPrintsWhileAUserRangeStays) {
    analyses[0]->setIterations(60);
    compute(0);
    UI_ScatterplotWidget* plot = views[0]->plot();
    const int x = MCV_CytometryData::Instance()->combinedHeader()->variableIdx("QLMRN_TsneX");
    plot->setMarker(x);
    plot->pointOpacityChanged(1.0f);
    plot->pointSizeChanged(0.03f);
    const std::vector<float>& xy = *analyses[0]->output();
    float lo = xy[0], hi = xy[0];
    for (size_t p = 0; p < xy.size(); p += 2) lo = std::min(lo, xy[p]), hi = std::max(hi, xy[p]);
    const std::vector<std::pair<float, float>>& ranges = *plot->pointRenderer()->markerRanges();
    EXPECT_EQ(ranges.at(size_t(x)), std::make_pair(lo, hi));

    // The series takes the current values again; the range the user set for CD3 stays.
    plot->setMarker(0);
    plot->setMarkerSpan(2.0f, 3.0f);
    plot->setMarker(x);
    QTemporaryDir out;
    UI_ModalDialogs::setScripted(true);
    UI_ModalDialogs::answerDirectory(out.path());
    UI_ModalDialogs::answerDialog([x](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(int(i) == x);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("folderButton")->click();
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    emit plot->settingsPanel()->screenshotButtonPressed();
    UI_ModalDialogs::setScripted(false);
    UI_ModalDialogs::reset();
    const QStringList prints = QDir(out.path()).entryList({"*.png"});
    ASSERT_EQ(prints.size(), 1);
    const auto [printLeft, printRight] =
        extremeColours(QImage(QDir(out.path()).filePath(prints[0])).convertToFormat(QImage::Format_RGB32));
    EXPECT_FALSE(rgbNear(printLeft, printRight, 60)) << "one flat colour in the print";
    EXPECT_EQ(ranges[0], std::make_pair(2.0f, 3.0f)) << "the user's range of CD3";
}

}  // namespace
