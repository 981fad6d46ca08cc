// "Classify with Template..." (Ctrl+Shift+C): a readable table becomes a
// template classification with its settings tab; a table that cannot be read
// is refused with its reason and creates nothing.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"

#include "analysis/template/MCV_TemplateAnalysis.h"
#include "app/TemplateTable.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_Settings.h"
#include "ui/template/UI_TemplateSettingsWidget.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <sys/stat.h>

namespace {

QString storedFolder() {
    UI_Settings::Instance()->sync();
    return UI_Settings::Instance()->value("dataDefaultFilePath").toString();
}

class TemplateImport : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showWindow();
    }
    // Writes `bytes` into `folder`/`name` (folder made as needed); a null
    // `bytes` writes nothing.
    QString table(const QString& folder, const QString& name, const char* bytes) {
        QDir(dir.path()).mkpath(folder);
        const QString path = QDir(dir.filePath(folder)).absoluteFilePath(name);
        QFile f(path);
        if (bytes && f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }
    // Ctrl+Shift+C with `files` as the chosen files.
    void classify(const QStringList& files) {
        UI_ModalDialogs::answerFiles(files);
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+C"));
    }
};

TEST_F(TemplateImport, ATableBecomesAClassificationWithItsTabAndNoView) {
    QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+C"));
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1) << "the key asks for a table";
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "cvs table (*.csv)");
    const QString csv = table("templates", "t.csv", "1,2,3\n4,5,6\n");
    classify({csv});
    EXPECT_EQ(storedFolder(), dir.filePath("templates")) << "stored without data";
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1) << "without data no name is asked";
    EXPECT_TRUE(w().analyses().empty());

    open({makeFile("cells.fcs", 30, 3)});
    for (const char* name : {"actionExportSpadeTree", "actionNewTsneAnalysis"})
        w().findChild<QAction*>(name)->setEnabled(false);
    QStringList asked;
    {
        RealDialogs real(csv, [&](QInputDialog* prompt) {
            asked << prompt->windowTitle() << prompt->labelText() << prompt->textValue();
            prompt->setTextValue("");
            prompt->accept();
        });
        QTest::keySequence(&w(), QKeySequence("Ctrl+Shift+C"));
        EXPECT_EQ(real.boxes.join(" | ").toStdString(), "");
    }
    QApplication::setActiveWindow(&w());
    EXPECT_EQ(asked.join(" | ").toStdString(),
              "Analysis Name | Please name the new Template Matching Analysis.\n Please use unique names to identify "
              "your analysis in the system. | Template Matching Analysis");
    ASSERT_EQ(w().analyses().size(), 1u);
    auto* first = dynamic_cast<MCV_TemplateAnalysis*>(w().analyses()[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->name(), "Template Matching Analysis") << "an empty answer takes the proposal";
    EXPECT_EQ(first->templates(), (std::vector<std::vector<float>>{{1, 2, 3}, {4, 5, 6}}));
    ASSERT_EQ(w().settingsPanels().size(), 1u);
    EXPECT_NE(qobject_cast<UI_TemplateSettingsWidget*>(w().settingsPanels()[0]), nullptr);
    EXPECT_EQ(w().settingsPanels()[0]->analysis(), first);
    EXPECT_TRUE(w().views().empty());
    EXPECT_TRUE(w().findChild<QAction*>("actionExportSpadeTree")->isEnabled() &&
                w().findChild<QAction*>("actionNewTsneAnalysis")->isEnabled())
        << "the action flags are applied again";

    // Of several files only the first is read. The same name again: the tab
    // shows the name the analysis ended up with.
    UI_ModalDialogs::answerText("Template Matching Analysis");
    classify({table("more", "t.csv", "7,8,9\n"), csv});
    ASSERT_EQ(w().analyses().size(), 2u);
    EXPECT_EQ(static_cast<MCV_TemplateAnalysis*>(w().analyses()[1])->templates(),
              (std::vector<std::vector<float>>{{7, 8, 9}}));
    EXPECT_EQ(storedFolder(), dir.filePath("more"));
    EXPECT_EQ(w().settingsDock()->tabWidget()->tabText(1), QString::fromStdString(w().analyses()[1]->name()));
}

// A ragged or empty table, an open quote, a value that is no number, a file
// that cannot be read or a named pipe (which would block the read).
TEST_F(TemplateImport, ATableThatCannotBeReadIsRefusedWithItsReasonAndCreatesNothing) {
    open({makeFile("cells.fcs", 30, 3)});
    const struct {
        const char* folder;
        const char* bytes;
        bool pipe;
    } cases[] = {{"ragged", "1,2,3\n4,5\n", false},  {"empty", "", false},        {"quote", "1,\"2\n3,4\n", false},
                 {"nan", "1,2,3\n4,nan,6\n", false}, {"missing", nullptr, false}, {"pipe", nullptr, true}};
    for (const auto& c : cases) {
        const QString path = table(c.folder, "t.csv", c.bytes);
        if (c.pipe) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        testing::internal::CaptureStderr();
        classify({path});
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("ERROR: Not all csv lines are of the same size."), std::string::npos) << c.folder;
        const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u) << c.folder;
        EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
        EXPECT_EQ(messages[0].title, "Error");
        const QString reason = readTemplateTable(path).error;
        EXPECT_FALSE(reason.isEmpty()) << c.folder;
        EXPECT_EQ(messages[0].text, reason) << c.folder;
        EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << c.folder << ": no name asked";
        EXPECT_TRUE(w().analyses().empty()) << c.folder;
        EXPECT_TRUE(w().settingsPanels().empty()) << c.folder;
        EXPECT_EQ(storedFolder(), dir.filePath(c.folder)) << c.folder;
    }
}

}  // namespace
