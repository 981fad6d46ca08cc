// "Open File(s) ..." end to end on real widgets: real FCS files from other
// software, the load messages, the import dialog (markers, arcsine cofactor,
// sample tag), the colour image beside the data, the default-marker file and
// the remembered folder. Modal questions are answered through the seam.
#include "ShellTestSupport.h"
#include "data/FcsTestFile.h"
#include "support/TestData.h"

#include "app/MainWindow.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_Settings.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>

namespace {

const QString kWarning1 = QString::fromStdString(MCV_FCS_WARNINGS[1]);

class Import : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* f : {"0877408774.B08", "cyflow_cube_8.fcs", "sample_header.fcs", "corrupted.fcs"})
            ASSERT_REAL_FCS_FILE(f);
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }
    void TearDown() override {
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }

    MainWindow& w() {
        if (!window) window.reset(new MainWindow());
        return *window;
    }
    QString copyRealFile(const QString& name, const QString& as) {
        const QString to = dir.filePath(as);
        EXPECT_TRUE(QFile::copy(realFcsFile(name), to)) << name.toStdString();
        return to;
    }
    // A float file of `events` rows and `variables` columns: value 10 * (e + 1) + v.
    QString makeFile(const QString& name, int events, int variables, const char* firstName = nullptr) {
        std::vector<std::vector<float>> rows(static_cast<size_t>(events));
        for (int e = 0; e < events; ++e)
            for (int v = 0; v < variables; ++v) rows[static_cast<size_t>(e)].push_back(10.0f * (e + 1) + v);
        FcsTestFile f = FcsTestFile::floats(rows);
        f.set("$CYT", "<b>Cyto</b> & co");
        if (firstName) f.set("$P1N", firstName);
        return QString::fromStdString(f.write(dir, name.toStdString()));
    }
    // Answers the file question with `files` and the import dialog with
    // `dialog` (default: OK at once) and triggers "Open File(s) ...".
    void open(const QStringList& files, std::function<int(QDialog*)> dialog = nullptr) {
        UI_ModalDialogs::answerFiles(files);
        UI_ModalDialogs::answerDialog(dialog ? dialog : [](QDialog* d) {
            d->done(0);
            return 0;
        });
        w().findChild<QAction*>("actionOpenFile")->trigger();
    }
    static QString fileText(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<missing>");
    }
    bool gatedActionsEnabled() {
        bool all = true;
        for (const char* n : {"actionNewSpadeAnalysis", "actionNewTsneAnalysis", "actionNewHsneAnalysis"})
            all = all && w().findChild<QAction*>(n)->isEnabled();
        return all;
    }
    float value(int file, int event, int variable) {
        MCV_CytometryData* d = MCV_CytometryData::Instance();
        const int width = d->header(file)->numVariables();
        return d->rawData(file)[event * width + variable];
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

TEST_F(Import, RealFilesWithDifferentMarkerSetsStopAtTheSecond) {
    const QString a = copyRealFile("0877408774.B08", "a.fcs");
    const QString b = copyRealFile("cyflow_cube_8.fcs", "b.fcs");
    open({a, b});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].title, "Error");
    EXPECT_EQ(messages[0].text, "Could not open file " + b + "Error code 5: Files contain different marker sets.");
    EXPECT_EQ(MCV_CytometryData::Instance()->numFiles(), 1) << "what loaded before the error stays";
    EXPECT_FALSE(w().hasData());
    EXPECT_FALSE(gatedActionsEnabled());
    EXPECT_EQ(w().findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly).size(), 0)
        << "no import dialog after an error";
    // Creation needs a completed import; the always-enabled action must not
    // reach the missing data.
    w().findChild<QAction*>("actionNewHsneFCAnalysis")->trigger();
    EXPECT_TRUE(w().analyses().empty());
}

TEST_F(Import, WarningOneIsShownAndTheImportCompletes) {
    const QString a = copyRealFile("0877408774.B08", "a.fcs");
    const QString b = makeFile("b.fcs", 5, 8, "Renamed");
    w().findChild<QAction*>("actionFileInformation")->trigger();
    open({a, b});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].title, "Warning");
    EXPECT_EQ(messages[0].text, "A problem occured, opening file " + b + kWarning1);

    MCV_CytometryData* data = MCV_CytometryData::Instance();
    EXPECT_EQ(w().dataModel(), data);
    EXPECT_EQ(data->numFiles(), 2);
    EXPECT_EQ(data->combinedHeader()->variableName(0), "- multiple -");
    ASSERT_FALSE(data->derivedDataPoints().empty());
    EXPECT_EQ(data->derivedDataPoints().front()->name(), "All Points");
    EXPECT_TRUE(w().hasData());
    EXPECT_TRUE(gatedActionsEnabled());
    for (QAction* act : w().findChildren<QAction*>(QRegularExpression("^action")))
        EXPECT_TRUE(act->isEnabled()) << act->objectName().toStdString();
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
    EXPECT_EQ(w().fileInfoView()->textBrowser()->toPlainText(),
              QString::fromStdString(data->combinedHeader()->printHeader()));
}

TEST_F(Import, BrokenAndUnopenableFilesShowTheirOwnMessages) {
    const struct {
        QString path;
        QString expected;  // empty: only "an error other than code 4"
    } cases[] = {
        {copyRealFile("sample_header.fcs", "h.fcs"), QString::fromStdString(MCV_FCS_ERRORS[11])},
        {dir.filePath("vanished.fcs"), "Error code 9: The file cannot be opened."},
        {copyRealFile("corrupted.fcs", "c.fcs"), QString()},
    };
    for (const auto& c : cases) {
        open({c.path});
        const auto messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u) << c.path.toStdString();
        EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
        const QString prefix = "Could not open file " + c.path;
        ASSERT_TRUE(messages[0].text.startsWith(prefix + "Error code ")) << messages[0].text.toStdString();
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(messages[0].text, prefix + c.expected);
        }
        EXPECT_FALSE(messages[0].text.contains("Files differ to much"));
        EXPECT_FALSE(w().hasData());
        EXPECT_FALSE(gatedActionsEnabled());
    }
}

TEST_F(Import, DialogAppliesChosenMarkersCofactorAndSampleTag) {
    const QString s1 = makeFile("s1.fcs", 4, 3);
    const QString s2 = makeFile("s2.fcs", 4, 3);
    FcsTestFile::writeBytes(dir.filePath("QLMRN_DefaultMarkers.txt").toStdString(), "1 0 1 ");

    bool checked = false;
    open({s1, s2}, [&](QDialog* d) {
        QTimer::singleShot(0, d, [&, d]() {
            EXPECT_EQ(d->windowTitle(), "Succes");
            EXPECT_EQ(d->minimumWidth(), 450);
            EXPECT_TRUE(d->isModal());
            EXPECT_FALSE(d->findChildren<QLabel*>().isEmpty());
            QSpinBox* spin = d->findChild<QSpinBox*>();
            EXPECT_EQ(spin->value(), 5);
            EXPECT_EQ(spin->minimum(), 1);
            EXPECT_EQ(spin->maximum(), 1000);
            UI_ExpanderWidget* section = d->findChild<UI_ExpanderWidget*>();
            EXPECT_TRUE(section->isCollapsed());
            UI_MarkerSelectionWidget* markers = d->findChild<UI_MarkerSelectionWidget*>();
            EXPECT_EQ(markers->markerSelectionState(), (std::vector<bool>{true, false, true}))
                << "the states come from the folder's default-marker file";

            QCheckBox* asinh = nullptr;
            QCheckBox* tag = nullptr;
            for (QCheckBox* c : d->findChildren<QCheckBox*>()) {
                if (c->text() == "Apply Hyperbolic ArcSin Transform.") asinh = c;
                if (c->text() == "Add Unique Sample Tag as Channel.") tag = c;
            }
            const int before = d->height();
            asinh->click();
            EXPECT_FALSE(section->isCollapsed()) << "ticking the transform opens the marker section";
            EXPECT_GT(d->height(), before);
            markers->checkBoxes()[2]->click();  // marker 2 off again
            spin->setValue(150);
            tag->click();
            QPushButton* start = nullptr;
            for (QPushButton* p : d->findChildren<QPushButton*>())
                if (p->text() == "Start A-tSNE") start = p;
            checked = true;
            QTest::mouseClick(start, Qt::LeftButton);
        });
        return d->exec();
    });
    ASSERT_TRUE(checked);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    QDialog* dialog = w().findChild<QDialog*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->result(), 2) << "\"Start A-tSNE\" ends the dialog with 2";

    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 4; ++e) {
            const float raw0 = 10.0f * (e + 1), raw1 = raw0 + 1, raw2 = raw0 + 2;
            EXPECT_FLOAT_EQ(value(f, e, 0), std::asinh(raw0 / 150.0f));
            EXPECT_FLOAT_EQ(value(f, e, 1), raw1) << "unchecked markers are not transformed";
            EXPECT_FLOAT_EQ(value(f, e, 2), raw2);
            EXPECT_FLOAT_EQ(value(f, e, 3), static_cast<float>(f)) << "the sample tag is the file index";
        }
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    EXPECT_EQ(header->variableIdx("QLMRN_ST"), 3);
    EXPECT_EQ(fileText(dir.filePath("QLMRN_ST.txt")), s1 + ": 0\n" + s2 + ": 1\n");
}

TEST_F(Import, ClosingTheDialogWithEscapeStillAppliesTheChoices) {
    const QString s1 = makeFile("s1.fcs", 2, 2);
    open({s1}, [](QDialog* d) {
        QTimer::singleShot(0, d, [d]() {
            for (QCheckBox* c : d->findChildren<QCheckBox*>())
                if (c->text().startsWith("Apply Hyperbolic")) c->click();
            QTest::keyClick(d, Qt::Key_Escape);
        });
        return d->exec();
    });
    EXPECT_FLOAT_EQ(value(0, 0, 0), std::asinh(10.0f / 5.0f)) << "default cofactor 5, every marker";
    EXPECT_FLOAT_EQ(value(0, 1, 1), std::asinh(21.0f / 5.0f));
    EXPECT_LT(MCV_CytometryData::Instance()->combinedHeader()->variableIdx("QLMRN_ST"), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("QLMRN_ST.txt")));
}

TEST_F(Import, ColourImageBesideTheDataBecomesThreeVariables) {
    const QString s1 = makeFile("s1.fcs", 12, 2);
    QImage rgb(4, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) rgb.setPixel(x, y, qRgba(20 * x, 50 * y, 255 - x - y, 7));
    ASSERT_TRUE(rgb.save(dir.filePath("rgb.png")));
    open({s1});
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    ASSERT_EQ(header->variableIdx("Red"), 2);
    EXPECT_EQ(header->variableIdx("Green"), 3);
    EXPECT_EQ(header->variableIdx("Blue"), 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int e = y * 4 + x;
            EXPECT_FLOAT_EQ(value(0, e, 2), 20 * x / 255.0f);
            EXPECT_FLOAT_EQ(value(0, e, 3), 50 * y / 255.0f);
            EXPECT_FLOAT_EQ(value(0, e, 4), (255 - x - y) / 255.0f) << "alpha is ignored";
        }
}

TEST_F(Import, ColourImageOfAnotherSizeIsRefusedAndTheImportGoesOn) {
    const QString s1 = makeFile("s1.fcs", 12, 2);
    ASSERT_TRUE(QImage(5, 3, QImage::Format_RGB32).save(dir.filePath("rgb.png")));
    open({s1});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The Image size does not match the size of the raw data.");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 2);
    EXPECT_TRUE(w().hasData());
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "the import dialog still came";
}

TEST_F(Import, AddColorImageNeedsDataThenAddsTheChosenImage) {
    w().findChild<QAction*>("actionAddColorImage")->trigger();
    auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Please load the raw data via \"Open file(s) ...\" first.");

    open({makeFile("s1.fcs", 6, 1)});
    QTemporaryDir images;
    ASSERT_TRUE(QImage(3, 2, QImage::Format_RGB32).save(images.filePath("pic.png")));
    UI_ModalDialogs::answerFiles({images.filePath("pic.png")});
    w().findChild<QAction*>("actionAddColorImage")->trigger();
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Color Image (*.png *.tiff *.tif *jpg *jpeg)");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->variableIdx("Blue"), 3);
    UI_Settings::Instance()->sync();
    EXPECT_EQ(UI_Settings::Instance()->value("dataDefaultFilePath").toString(), QDir(images.path()).absolutePath());
}

TEST_F(Import, MixedSuffixesAreRefusedBeforeAnythingIsReplaced) {
    open({makeFile("s1.fcs", 2, 2)});
    MCV_CytometryData* before = w().dataModel();
    TestAnalysis* analysis = new TestAnalysis(1, "kept", w().bridge());
    w().addAnalysis(analysis);
    const QString upper = makeFile("s2.FCS", 2, 2);
    open({dir.filePath("s1.fcs"), upper});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Different file types that cannot be combined selected. Could not open files.");
    EXPECT_EQ(w().dataModel(), before);
    EXPECT_EQ(MCV_CytometryData::Instance(), before);
    EXPECT_EQ(before->numFiles(), 1);
    EXPECT_EQ(w().analyses(), (std::vector<MCV_Analysis*>{analysis}));
    EXPECT_TRUE(w().hasData());
}

TEST_F(Import, RunningAnalysisRefusesANewImport) {
    open({makeFile("s1.fcs", 2, 2)});
    TestAnalysis* analysis = new TestAnalysis(1, "busy", w().bridge());
    analysis->running = true;
    w().addAnalysis(analysis);
    MCV_CytometryData* before = w().dataModel();
    UI_ModalDialogs::reset();
    w().findChild<QAction*>("actionOpenFile")->trigger();
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages[0].text.contains("still running"));
    EXPECT_TRUE(UI_ModalDialogs::lastDirectory().isEmpty()) << "no file was asked for";
    EXPECT_EQ(w().dataModel(), before);
    analysis->running = false;
}

TEST_F(Import, ANewImportRetiresAnalysesViewsAndPanels) {
    open({makeFile("s1.fcs", 2, 2)});
    TestAnalysis* analysis = new TestAnalysis(1, "old", w().bridge());
    const void* address = analysis;
    QPointer<UI_DockableWidget> view = new UI_DockableWidget(&w());
    QPointer<UI_DockableWidget> dataView = new UI_DockableWidget(&w());
    QPointer<TestPanel> panel = new TestPanel(&w(), analysis);
    w().addAnalysis(analysis);
    w().addView(view, analysis);
    w().addView(dataView, nullptr);
    w().addSettingsPanel(panel, analysis, "old");

    open({makeFile("s2.fcs", 3, 2)});
    EXPECT_TRUE(w().analyses().empty());
    EXPECT_TRUE(w().views().empty());
    EXPECT_TRUE(w().settingsPanels().empty());
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(dataView.isNull());
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(TestAnalysis::destroyed().count(address), 1u);
    EXPECT_EQ(w().settingsDock()->tabWidget()->count(), 0);
    EXPECT_EQ(MCV_CytometryData::Instance()->header(0)->numEvents(), 3);
    EXPECT_TRUE(gatedActionsEnabled());
}

TEST_F(Import, SameFileTwiceLoadsOnce) {
    const QString s1 = makeFile("s1.fcs", 2, 2);
    open({s1, s1});
    EXPECT_EQ(MCV_CytometryData::Instance()->numFiles(), 1);
}

TEST_F(Import, DataFolderIsRememberedAcrossARestart) {
    UI_Settings::Instance()->remove("dataDefaultFilePath");
    UI_Settings::Instance()->sync();
    w().findChild<QAction*>("actionOpenFile")->trigger();  // cancelled
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir::home().absolutePath()) << "first run starts at home";
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Cytometry Files (*.fcs);;Fcs Files (*.fcs)");

    open({makeFile("s1.fcs", 2, 2)});
    window.reset();
    QSettings fresh;  // what the next run reads from disk
    EXPECT_EQ(fresh.value("dataDefaultFilePath").toString(), QDir(dir.path()).absolutePath());
    UI_ModalDialogs::reset();
    w().findChild<QAction*>("actionOpenFile")->trigger();
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir(dir.path()).absolutePath());
}

TEST_F(Import, FileInformationShowsHeaderKeywordsAsPlainText) {
    open({makeFile("s1.fcs", 2, 2)});
    w().findChild<QAction*>("actionFileInformation")->trigger();
    const QString text = w().fileInfoView()->textBrowser()->toPlainText();
    EXPECT_TRUE(text.contains("Cytometry: <b>Cyto</b> & co")) << text.toStdString();
}

// The generated example data set opens as three samples of twelve markers.
TEST_F(Import, ExampleDataSetImports) {
    QTemporaryDir examples;
    ASSERT_EQ(QProcess::execute(QLMRN_MAKE_EXAMPLES, {examples.path()}), 0);
    QStringList files;
    for (int i = 1; i <= 3; ++i) files << examples.filePath(QString("sample_%1.fcs").arg(i));
    open(files);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_EQ(MCV_CytometryData::Instance()->numFiles(), 3);
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 12);
}

}  // namespace
