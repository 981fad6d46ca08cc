// The export dialog of the scatter plot: the range, colour and folder choices
// it reports and the video file question, answered through the dialog seam.
#include "support/DataFixture.h"

#include "ui/base/UI_Settings.h"
#include "ui/plot/UI_ScreenshotDialog.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <memory>

namespace {

// The dialog opens with a stored export folder.
class ScreenshotDialogTest : public viewtest::DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        UI_Settings::Instance()->setValue("exportDefaultFilePath", dir.path());
        UI_Settings::Instance()->sync();
        dialog = std::make_unique<UI_ScreenshotDialog>(nullptr);
        dialog->show();
    }
    void TearDown() override {
        dialog.reset();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        DataFixture::TearDown();
    }
    template <typename T>
    T* child(const char* name) {
        T* found = dialog->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<UI_ScreenshotDialog> dialog;
};

TEST_F(ScreenshotDialogTest, CancelledColourOrFolderQuestionsKeepTheChoiceAndTheStoreIsNotWritten) {
    EXPECT_EQ(dialog->baseDirectory(), dir.path());
    QPushButton* colour = child<QPushButton>("backgroundColorButton");
    UI_ModalDialogs::answerColor(QColor(10, 200, 30));
    colour->click();
    UI_ModalDialogs::answerColor(QColor());  // cancelled
    colour->click();
    EXPECT_EQ(dialog->backgroundColor(), QColor(10, 200, 30));

    const QString chosen = QDir(dir.path()).absoluteFilePath("series");
    UI_ModalDialogs::answerDirectory(chosen);
    child<QPushButton>("folderButton")->click();
    child<QPushButton>("folderButton")->click();  // unanswered: cancelled
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), chosen) << "the question opens at the folder shown";
    EXPECT_EQ(dialog->baseDirectory(), chosen);
    EXPECT_EQ(child<QLineEdit>("folder")->text(), chosen);
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), dir.path());
}

TEST_F(ScreenshotDialogTest, SaveVideoAsksForAFileInTheExportFolderAndEmitsTheChosenSettings) {
    QSignalSpy saved(dialog.get(), &UI_ScreenshotDialog::saveVideo);
    child<QSpinBox>("bitrate")->setValue(4500);
    child<QSpinBox>("fps")->setValue(12);
    const QString file = QDir(dir.path()).filePath("clip.mp4");
    UI_ModalDialogs::answerSaveFile(file);
    child<QPushButton>("saveVideo")->click();
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), dir.path());
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Video files (*.mp4)");
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved[0], (QList<QVariant>{file, 4500, 12}));
    // Without a stored folder it opens in the home folder; a cancelled question emits nothing.
    UI_Settings::Instance()->remove("exportDefaultFilePath");
    child<QPushButton>("saveVideo")->click();
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir::home().absolutePath());
    EXPECT_EQ(saved.count(), 1);
}

}  // namespace
