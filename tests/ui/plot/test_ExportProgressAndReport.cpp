// Exports from the plot tell the user where their files went (the main
// window's status bar), Control+P works wherever the focus is inside the
// plot, and a print series shows its progress and stops on Cancel keeping
// the images already written and leaving nothing half-written.
#include "ScatterplotTest.h"

#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMainWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <functional>

namespace {

using namespace viewtest;

class ExportReport : public ScatterplotTest {
protected:
    void SetUp() override {
        ScatterplotTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(out.isValid());
        window.setCentralWidget(widget.get());
        window.resize(500, 500);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        ASSERT_EQ(QApplication::activeWindow(), &window);
        widget->grabFramebuffer();
        widget->setLocalData(variables);
        widget->setMarkers(*MCV_CytometryData::Instance()->combinedHeader()->markerList(0));
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        UI_Settings::Instance()->sync();
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        ScatterplotTest::TearDown();
    }
    QStringList files() const { return QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir out;
    QMainWindow window;
};

TEST_F(ExportReport, ControlPInsideThePlotAndVideosAreReportedWithTheirPath) {
    QComboBox* panelCombo = widget->settingsPanel()->findChild<QComboBox*>();
    ASSERT_NE(panelCombo, nullptr);
    const QString video = QDir(out.path()).filePath("run.mp4");
    const struct {
        const char* action;
        std::function<void()> run;
        QString message;
    } cases[] = {
        {"Control+P in the plot's own panel",
         [&] {
             panelCombo->setFocus();
             ASSERT_EQ(QApplication::focusWidget(), panelCombo);
             QTest::keyClick(panelCombo, Qt::Key_P, Qt::ControlModifier);
         },
         "Screenshot saved to " + out.path()},
        {"video",
         [&] {
             widget->setRecording(true);
             for (int i = 0; i < 3; ++i) widget->grabFramebuffer();
             widget->setRecording(false);
             widget->saveVideo(video, 1000, 25);
         },
         "Video saved to " + video},
    };
    for (const auto& c : cases) {
        window.statusBar()->clearMessage();
        c.run();
        EXPECT_TRUE(window.statusBar()->currentMessage().startsWith(c.message))
            << c.action << ": " << window.statusBar()->currentMessage().toStdString();
    }
    const QStringList written = files();
    ASSERT_EQ(written.size(), 2) << written.join(" ").toStdString();
    EXPECT_TRUE(window.statusBar()->currentMessage().endsWith("run.mp4"));
}

TEST_F(ExportReport, CancelStopsASeriesKeepingWhatWasWritten) {
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        for (QCheckBox* box : dialog->markerSelection()->checkBoxes()) box->setChecked(true);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    // Presses Cancel as soon as the progress shows the first image written.
    int cancelledAt = -1;
    std::function<void()> watch = [&] {
        QProgressDialog* progress = widget->findChild<QProgressDialog*>();
        if (progress && progress->isVisible() && progress->value() >= 1) {
            cancelledAt = progress->value();
            progress->findChild<QPushButton*>()->click();
        } else {
            QTimer::singleShot(0, watch);
        }
    };
    QTimer::singleShot(0, watch);
    emit widget->settingsPanel()->screenshotButtonPressed();

    ASSERT_GE(cancelledAt, 1);
    ASSERT_LT(cancelledAt, variables);
    const QStringList written = files();
    EXPECT_EQ(written.size(), cancelledAt) << written.join(" ").toStdString();
    for (const QString& f : written) EXPECT_TRUE(f.endsWith(".png")) << f.toStdString();
    EXPECT_EQ(
        window.statusBar()->currentMessage(),
        QString("Image export stopped: %1 of %2 images saved to %3").arg(cancelledAt).arg(variables).arg(out.path()));
}

}  // namespace
