// Colouring by a variable the analysis writes while its view is open (its own
// coordinates): the marker range follows the values, on screen and in a
// print series, while a range the user set stays until the next run.
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
#include <QPushButton>

namespace {

using namespace viewtest;

class MarkerRangesFollowTheData : public ::testing::Test {
protected:
    void SetUp() override {
        useProgramFormat();
        delete MCV_CytometryData::Instance();
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        data->init(&bridge);
        ASSERT_TRUE(dir.isValid());
        std::mt19937 random(5);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < 60; ++i) rows.push_back({(i % 2 ? 20.0f : 0.0f) + noise(random), noise(random)});
        FcsTestFile fcs = FcsTestFile::floats(rows);
        fcs.set("$P1S", "CD3");
        fcs.set("$P2S", "CD4");
        ASSERT_EQ(data->loadFromFile(fcs.write(dir, "s.fcs")), 0);
        data->initAllDerviedDataPointer();
        data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.0f);
        x = data->combinedHeader()->variableIdx("QLMRN_TsneX");
        tsne = std::make_unique<MCV_TsneAnalysis>();
        tsne->init(&bridge, "A");
        for (int off : {x, x + 1}) tsne->setMarkerState(off, false);
        tsne->setActiveDataSelection(data->derivedDataPoints("All Points", true));
        tsne->setIterations(60);
        view = std::make_unique<UI_TsneWidget>(nullptr, tsne.get());
        QObject::connect(&bridge, &UI_Interface::analysisInitializedSignal, view.get(),
                         &UI_TsneWidget::initComputation);
        QObject::connect(&bridge, &UI_Interface::analysisUpdatedSignal, view.get(), &UI_TsneWidget::computationUpdated);
        QObject::connect(&bridge, &UI_Interface::analysisFinishedSignal, view.get(),
                         &UI_TsneWidget::computationFinished);
        view->plot()->setFixedSize(300, 300);
        view->setVisibility(true);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->plot()->grabFramebuffer();
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        view.reset();
        tsne.reset();
        delete MCV_CytometryData::Instance();
    }
    void compute() {
        quietly([this] { tsne->computeTSNE(); });
    }
    // The colours of the leftmost and the rightmost point (lowest and highest
    // "QLMRN_TsneX") in a square image of the plot.
    std::pair<QRgb, QRgb> extremeColours(const QImage& image) const {
        const std::vector<float>& xy = *tsne->output();
        const auto [lo, hi] = plotRange(xy);
        int left = 0, right = 0;
        for (int p = 0; p < tsne->numDataPoints(); ++p) {
            if (xy[2 * p] < xy[2 * left]) left = p;
            if (xy[2 * p] > xy[2 * right]) right = p;
        }
        auto at = [&, lo = lo, hi = hi](int p) {
            auto pixel = [&](float v) {
                return static_cast<int>(((v - lo) / (hi - lo) * 0.8f + 0.1f) * image.width());
            };
            return image.pixel(pixel(xy[2 * p]), image.height() - 1 - pixel(xy[2 * p + 1]));
        };
        return {at(left), at(right)};
    }

    UI_Interface bridge;
    QTemporaryDir dir;
    std::unique_ptr<MCV_TsneAnalysis> tsne;
    std::unique_ptr<UI_TsneWidget> view;
    int x = -1;
};

TEST_F(MarkerRangesFollowTheData, OnScreenAndInPrintsWhileAUserRangeStays) {
    compute();
    UI_ScatterplotWidget* plot = view->plot();
    plot->setMarker(x);
    plot->pointOpacityChanged(1.0f);
    plot->pointSizeChanged(0.03f);

    float lo = 1e30f, hi = -1e30f;
    for (int p = 0; p < tsne->numDataPoints(); ++p) {
        lo = std::min(lo, (*tsne->output())[2 * p]);
        hi = std::max(hi, (*tsne->output())[2 * p]);
    }
    const std::vector<std::pair<float, float>>& ranges = *plot->pointRenderer()->markerRanges();
    EXPECT_FLOAT_EQ(ranges[static_cast<size_t>(x)].first, lo);
    EXPECT_FLOAT_EQ(ranges[static_cast<size_t>(x)].second, hi);

    const auto [screenLeft, screenRight] =
        extremeColours(plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32));
    EXPECT_FALSE(rgbNear(screenLeft, screenRight, 60)) << "one flat colour on screen";

    // The series takes the current values again; the range the user set for
    // CD3 stays.
    plot->setMarker(0);
    plot->setMarkerSpan(2.0f, 3.0f);
    plot->setMarker(x);
    QTemporaryDir out;
    UI_ModalDialogs::answerDirectory(out.path());
    UI_ModalDialogs::answerDialog([this](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(static_cast<int>(i) == x);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("folderButton")->click();
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    emit plot->settingsPanel()->screenshotButtonPressed();
    const QStringList prints = QDir(out.path()).entryList({"*.png"});
    ASSERT_EQ(prints.size(), 1);
    const auto [printLeft, printRight] =
        extremeColours(QImage(QDir(out.path()).filePath(prints[0])).convertToFormat(QImage::Format_RGB32));
    EXPECT_FALSE(rgbNear(printLeft, printRight, 60)) << "one flat colour in the print";
    EXPECT_EQ(ranges[0], std::make_pair(2.0f, 3.0f)) << "the user's range of CD3";
}

}  // namespace
