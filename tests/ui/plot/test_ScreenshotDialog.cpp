// The export dialog of the scatter plot: its two tabs with their texts and
// ranges, the marker, range, colour and folder choices it reports, and the
// video file question, all answered through the modal-dialog seam.
#include "ui/PageTestSupport.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_Settings.h"
#include "ui/web/UI_DualSliderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/base/UI_Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>

#include <array>
#include <memory>

namespace {

class ScreenshotDialogTest : public viewtest::DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        savedDefaults = MCV_Settings::Instance()->defaultMarkers;
        MCV_Settings::Instance()->defaultMarkers.clear();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
    }
    void TearDown() override {
        dialog.reset();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        MCV_Settings::Instance()->defaultMarkers = savedDefaults;
        DataFixture::TearDown();
    }
    UI_ScreenshotDialog* make() {
        dialog = std::make_unique<UI_ScreenshotDialog>(nullptr);
        return dialog.get();
    }
    template <typename T>
    T* child(const char* name) {
        T* found = dialog->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<UI_ScreenshotDialog> dialog;
    std::vector<bool> savedDefaults;
};

TEST_F(ScreenshotDialogTest, ShowsItsControlsWithTheirRangesAndStartsWithoutOverrideOrFolder) {
    make();
    EXPECT_TRUE(dialog->isModal());
    for (const char* text : {"Override Ranges", "Select ...", "Capture", "Save Video ..."})
        EXPECT_NE(childWithText<QAbstractButton>(dialog.get(), text), nullptr) << text;
    // (minimum, maximum, value) of the video's bit rate and frame rate.
    for (auto [name, expected] : {std::pair("bitrate", std::array{1000, 20000, 1000}), {"fps", {1, 100, 25}}}) {
        QSpinBox* box = child<QSpinBox>(name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ((std::array{box->minimum(), box->maximum(), box->value()}), expected) << name;
    }
    UI_DualSliderWidget* slider = dialog->rangeSlider();
    EXPECT_EQ(std::vector<float>({slider->rangeLow(), slider->rangeHigh(), slider->lowerValue(), slider->upperValue()}),
              std::vector<float>({0.0f, 20.0f, 0.0f, 5.0f}));
    EXPECT_FALSE(child<QCheckBox>("overrideRanges")->isChecked());
    EXPECT_TRUE(dialog->markerRange().empty());
    EXPECT_EQ(dialog->backgroundColor(), QColor(255, 255, 255));
    EXPECT_TRUE(child<QLineEdit>("folder")->isReadOnly());
    EXPECT_EQ(dialog->baseDirectory(), "");
}

TEST_F(ScreenshotDialogTest, CancelRejectsAndCaptureAccepts) {
    for (const char* name : {"cancelImages", "cancelVideo", "capture"}) {
        make()->show();
        child<QPushButton>(name)->click();
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_EQ(dialog->result(), QString(name) == "capture" ? QDialog::Accepted : QDialog::Rejected) << name;
    }
}

TEST_F(ScreenshotDialogTest, MarkerListFollowsTheCheckBoxesWithTheSampleFirst) {
    make();
    // By default every marker and the Sample box are checked.
    EXPECT_EQ(dialog->markerList(), (std::vector<int>{-1, 0, 1, 2}));
    UI_MarkerSelectionWidget* markers = dialog->markerSelection();
    ASSERT_EQ(markers->checkBoxes().size(), 3u);
    markers->checkBoxes()[0]->click();
    EXPECT_EQ(dialog->markerList(), (std::vector<int>{-1, 1, 2}));
    markers->sampleBox()->click();
    markers->checkBoxes()[2]->click();
    EXPECT_EQ(dialog->markerList(), (std::vector<int>{1}));
}

TEST_F(ScreenshotDialogTest, OverrideRangesEnablesTheSliderExactlyWhileChecked) {
    make()->show();
    QWebView* page = pagetest::webViewOf(dialog->rangeSlider());
    ASSERT_TRUE(pagetest::waitForPage(page));
    auto disabled = [&]() { return pagetest::js(page, "slider.hasAttribute('disabled')").toBool(); };
    EXPECT_TRUE(disabled());

    QCheckBox* overrideBox = child<QCheckBox>("overrideRanges");
    overrideBox->click();
    EXPECT_FALSE(disabled());
    EXPECT_EQ(dialog->markerRange(), (std::vector<float>{0.0f, 5.0f}));
    dialog->rangeSlider()->setValues(2.5f, 7.0f);
    EXPECT_EQ(dialog->markerRange(), (std::vector<float>{2.5f, 7.0f}));

    overrideBox->click();
    EXPECT_TRUE(disabled());
    EXPECT_TRUE(dialog->markerRange().empty());
}

TEST_F(ScreenshotDialogTest, BackgroundColourIsChosenThroughTheColourQuestion) {
    make();
    QPushButton* button = child<QPushButton>("backgroundColorButton");
    UI_ModalDialogs::answerColor(QColor(10, 200, 30));
    button->click();
    EXPECT_EQ(dialog->backgroundColor(), QColor(10, 200, 30));
    EXPECT_EQ(button->styleSheet(), "QPushButton { background-color : #0ac81e; }");
    // Cancelled (an invalid colour, or no answer): the colour stays.
    UI_ModalDialogs::answerColor(QColor());
    button->click();
    button->click();
    EXPECT_EQ(dialog->backgroundColor(), QColor(10, 200, 30));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);
}

TEST_F(ScreenshotDialogTest, FolderStartsFromTheStoreAndIsChosenWithoutWritingIt) {
    UI_Settings::Instance()->setValue("exportDefaultFilePath", dir.path());
    UI_Settings::Instance()->sync();
    make();
    EXPECT_EQ(dialog->baseDirectory(), dir.path());

    const QString chosen = QDir(dir.path()).absoluteFilePath("series");
    UI_ModalDialogs::answerDirectory(chosen);
    child<QPushButton>("folderButton")->click();
    child<QPushButton>("folderButton")->click();  // cancelled: the folder stays
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), chosen) << "the question opens at the folder shown";
    EXPECT_EQ(dialog->baseDirectory(), chosen);
    EXPECT_EQ(child<QLineEdit>("folder")->text(), chosen);
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), dir.path());
}

TEST_F(ScreenshotDialogTest, SaveVideoAsksForAFileAndEmitsTheChosenSettings) {
    make()->show();
    QSignalSpy saved(dialog.get(), &UI_ScreenshotDialog::saveVideo);
    child<QSpinBox>("bitrate")->setValue(4500);
    child<QSpinBox>("fps")->setValue(12);

    // No stored folder: the question opens in the home folder.
    const QString file = QDir(dir.path()).filePath("clip.mp4");
    UI_ModalDialogs::answerSaveFile(file);
    child<QPushButton>("saveVideo")->click();
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir::home().absolutePath());
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Video files (*.mp4)");
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved[0], (QList<QVariant>{file, 4500, 12}));
    // The dialog stays open for another video or the series.
    EXPECT_TRUE(dialog->isVisible());

    // With a stored folder it opens there; a cancelled question emits nothing.
    UI_Settings::Instance()->setValue("exportDefaultFilePath", dir.path());
    UI_Settings::Instance()->sync();
    child<QPushButton>("saveVideo")->click();
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), dir.path());
    EXPECT_EQ(saved.count(), 1);
}

}  // namespace
