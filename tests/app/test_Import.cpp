// "Open File(s) ..." end to end: real FCS files from other software, the load
// messages, a refused open that keeps the user's work, the question before
// analyses are closed, the import dialog, the sample tag in the analyses'
// marker lists, the colour image beside the data and the remembered folder.
#include "ShellTestSupport.h"
#include "support/TestData.h"

#include "app/UI_FileInfoWidget.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_Settings.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "support/WidgetFinders.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <cmath>

namespace {

class Import : public ShellTest {
protected:
    QString copyRealFile(const QString& name, const QString& as) {
        const QString to = dir.filePath(as);
        EXPECT_TRUE(QFile::copy(realFcsFile(name), to)) << name.toStdString();
        return to;
    }
    bool gatedActionsEnabled() {
        bool all = true;
        for (const char* n : {"actionNewSpadeAnalysis", "actionNewTsneAnalysis", "actionNewHsneAnalysis"})
            all = all && w().findChild<QAction*>(n)->isEnabled();
        return all;
    }
    static float value(int file, int event, int variable) {
        MCV_CytometryData* d = MCV_CytometryData::Instance();
        return d->rawData(file)[event * d->header(file)->numVariables() + variable];
    }
};

// A refused open after an embedding: the data set, the analysis with its
// dock and panel and the file information stay as they were.
TEST_F(Import, ARefusedOpenKeepsTheDataAnalysesAndFileInformation) {
    for (const char* f : {"0877408774.B08", "cyflow_cube_8.fcs", "sample_header.fcs", "corrupted.fcs"})
        ASSERT_REAL_FCS_FILE(f);
    // Before any data: nothing loads, creation stays gated, no image is added.
    open({dir.filePath("vanished.fcs")});
    ASSERT_EQ(UI_ModalDialogs::takeMessages().size(), 1u);
    EXPECT_FALSE(w().hasData());
    EXPECT_FALSE(gatedActionsEnabled());
    trigger("actionNewHsneFCAnalysis");  // always enabled; must not reach the missing data
    EXPECT_TRUE(w().analyses().empty());
    trigger("actionAddColorImage");
    const auto noData = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(noData.size(), 1u);
    EXPECT_EQ(noData[0].text, "Please load the raw data via \"Open file(s) ...\" first.");

    const QString good = makeFile("good.fcs", 40, 3);
    UI_ModalDialogs::reset();
    UI_ModalDialogs::answerText("Embedding");
    openAndStartTsne({good});
    trigger("actionFileInformation");
    ASSERT_EQ(w().analyses().size(), 1u);
    MCV_CytometryData* data = w().dataModel();
    const std::vector<MCV_Analysis*> analyses = w().analyses();
    const std::vector<UI_DockableWidget*> views = w().views();
    const std::vector<UI_SettingsWidget*> panels = w().settingsPanels();
    const QString info = w().fileInfoView()->textBrowser()->toPlainText();
    EXPECT_TRUE(info.contains("<b>Cyto</b> & co")) << "markup is shown, never interpreted";
    const int variables = data->combinedHeader()->numVariables();

    FcsTestFile::writeBytes(dir.filePath("empty.fcs").toStdString(), "");
    const QString upper = makeFile("upper.FCS", 5, 3);
    // The file, the code's text and the reader's reason, each on its own line.
    const auto box = [](const QString& file, int code, const QString& reason) {
        return "Could not open file " + file + "\n" + QString::fromStdString(MCV_loadMessage(code)) + "\n" + reason;
    };
    const FcsTestFile rows = FcsTestFile::floats({{1, 2, 3}, {4, 5, 6}});
    const long long at = std::stoll(rows.bytes().substr(26, 8));
    const auto segment = [at](int bytes) {
        return QString("a segment of %1 bytes (offsets %2 to %3)").arg(bytes).arg(at).arg(at + bytes - 1);
    };
    // $PAR one less than the columns stored: the reader says why it refuses.
    FcsTestFile misfit = rows;
    misfit.set("$PAR", "2");
    const QString misfitPath = QString::fromStdString(misfit.write(dir, "misfit.fcs"));
    // No events, but DATA that hold two.
    FcsTestFile none = rows;
    none.set("$TOT", "0");
    const QString nonePath = QString::fromStdString(none.write(dir, "none.fcs"));
    // The last event cut short by 5 bytes.
    const std::string whole = rows.bytes();
    const QString cutPath = dir.filePath("cut.fcs");
    FcsTestFile::writeBytes(cutPath.toStdString(), whole.substr(0, whole.size() - 5));
    const qint64 size = qint64(whole.size());
    // A TIFF whose first directory lies past its end: the image reader's reason follows the code's text.
    const QString damagedTiff = dir.filePath("damaged.tif");
    FcsTestFile::writeBytes(damagedTiff.toStdString(), std::string("II*\0\x00\x10\x00\x00", 8));
    const QString a = copyRealFile("0877408774.B08", "a.fcs"), b = copyRealFile("cyflow_cube_8.fcs", "b.fcs");
    const auto parameters = [](const QString& file) { return FcsLoad(file.toStdString()).header->numVariables(); };
    const struct {
        QStringList files;
        QString message;             // "*": any error of the last file but code 4, with a reason
        bool reasonFollows = false;  // the message is followed by the rest of the reader's reason
    } refused[] = {
        {{dir.filePath("empty.fcs")}, box(dir.filePath("empty.fcs"), 2, "The file is empty (0 bytes).")},
        {{copyRealFile("corrupted.fcs", "broken.fcs")}, "*"},
        {{a, b},
         box(b, 5,
             QString("This file has %1 parameters; the files loaded before it have %2.")
                 .arg(parameters(b))
                 .arg(parameters(a)))},
        {{copyRealFile("sample_header.fcs", "h.fcs")},
         box(dir.filePath("h.fcs"), 11,
             QString("The file holds %1 bytes, but its segments need 2165912: the DATA segment of 20000 events x "
                     "108 bytes (2160000 bytes) runs from offset 5912 to 2165911.")
                 .arg(QFileInfo(realFcsFile("sample_header.fcs")).size()))},
        {{cutPath},
         box(cutPath, 11,
             QString("The file holds %1 bytes, but its segments need %2: the DATA segment of 2 events x 12 bytes "
                     "(24 bytes) runs from offset %3 to %4.")
                 .arg(size - 5)
                 .arg(size)
                 .arg(at)
                 .arg(size - 1))},
        {{misfitPath},
         box(misfitPath, 17,
             "The data segment does not fit: $TOT x row bytes is 2 x 8 = 16 bytes, but the HEADER names " +
                 segment(24) + "; the TEXT names " + segment(24) + ".")},
        {{nonePath},
         box(nonePath, 17,
             "The data segment does not fit: $TOT x row bytes is 0 x 12 = 0 bytes, but the HEADER names " +
                 segment(24) + "; the TEXT names " + segment(24) + ".")},
        {{damagedTiff}, box(damagedTiff, 8, damagedTiff + ": "), true},
        {{dir.filePath("vanished.fcs")},
         box(dir.filePath("vanished.fcs"), 9, "The file cannot be opened: No such file or directory.")},
        {{good, upper}, "Different file types that cannot be combined selected. Could not open files."},
    };
    for (const auto& r : refused) {
        bool asked = false;
        UI_ModalDialogs::answerQuestion(true);  // the user agrees to close the analyses
        open(r.files, [&asked](QDialog*) {
            asked = true;
            return 0;
        });
        const auto messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 2u) << r.files.join(' ').toStdString();
        EXPECT_EQ(messages[0].icon, QMessageBox::Question);
        EXPECT_EQ(messages[1].icon, QMessageBox::Critical);
        if (r.message == "*") {
            EXPECT_TRUE(messages[1].text.startsWith("Could not open file " + r.files.last() + "\nError code "));
            EXPECT_FALSE(messages[1].text.contains("Files differ to much"));
            EXPECT_EQ(messages[1].text.count('\n'), 2) << messages[1].text.toStdString();
        } else if (r.reasonFollows) {
            EXPECT_TRUE(messages[1].text.startsWith(r.message)) << messages[1].text.toStdString();
            EXPECT_GT(messages[1].text.size(), r.message.size());
        } else {
            EXPECT_EQ(messages[1].text, r.message) << messages[1].text.toStdString();
        }
        EXPECT_FALSE(asked) << "no import dialog after an error";
        EXPECT_EQ(MCV_CytometryData::Instance(), data);
        EXPECT_EQ(w().dataModel(), data);
        EXPECT_EQ(data->numFiles(), 1);
        EXPECT_EQ(data->combinedHeader()->numVariables(), variables);
        EXPECT_EQ(w().analyses(), analyses);
        EXPECT_EQ(w().views(), views);
        EXPECT_EQ(w().settingsPanels(), panels);
        EXPECT_EQ(w().fileInfoView()->textBrowser()->toPlainText(), info);
        EXPECT_TRUE(gatedActionsEnabled());
        UI_ModalDialogs::reset();
    }
    EXPECT_EQ(analyses[0]->markerStates().size(), size_t(variables)) << "the analysis still reads its data";
}

TEST_F(Import, WarningOneIsShownAndTheImportCompletes) {
    ASSERT_REAL_FCS_FILE("0877408774.B08");
    const QString a = copyRealFile("0877408774.B08", "a.fcs");
    const QString b = makeFile("b.fcs", 5, 8, "Renamed");
    trigger("actionFileInformation");
    open({a, b});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].text,
              "A problem occured, opening file " + b + "\n" + QString::fromStdString(MCV_FCS_WARNINGS[1]));

    MCV_CytometryData* data = MCV_CytometryData::Instance();
    EXPECT_EQ(data->numFiles(), 2);
    EXPECT_TRUE(gatedActionsEnabled());
    EXPECT_EQ(w().fileInfoView()->textBrowser()->toPlainText(),
              QString::fromStdString(data->combinedHeader()->printHeader()));
}

TEST_F(Import, DialogAppliesChosenMarkersCofactorAndSampleTag) {
    const QString s1 = makeFile("s1.fcs", 4, 3);
    const QString s2 = makeFile("s2.fcs", 4, 3);
    FcsTestFile::writeBytes(dir.filePath("QLMRN_DefaultMarkers.txt").toStdString(), "1 0 1 ");

    open({s1, s2}, [&](QDialog* d) {
        QTimer::singleShot(0, d, [&, d]() {
            UI_ExpanderWidget* section = d->findChild<UI_ExpanderWidget*>();
            EXPECT_TRUE(section->isCollapsed());
            auto* markers = d->findChild<UI_MarkerSelectionWidget*>();
            EXPECT_EQ(markers->markerSelectionState(), (std::vector<bool>{true, false, true}))
                << "the states come from the folder's default-marker file";
            childWithText<QCheckBox>(d, "Apply Hyperbolic ArcSin Transform.")->click();
            EXPECT_FALSE(section->isCollapsed()) << "ticking the transform opens the marker section";
            markers->checkBoxes()[2]->click();  // marker 2 off again
            d->findChild<QSpinBox*>()->setValue(150);
            childWithText<QCheckBox>(d, "Add Unique Sample Tag as Channel.")->click();
            QTest::mouseClick(childWithText<QPushButton>(d, "OK"), Qt::LeftButton);
        });
        return d->exec();
    });
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    for (int f = 0; f < 2; ++f)
        for (int e = 0; e < 4; ++e) {
            const float raw0 = 10.0f * (e + 1);
            EXPECT_FLOAT_EQ(value(f, e, 0), std::asinh(raw0 / 150.0f));
            EXPECT_FLOAT_EQ(value(f, e, 1), raw0 + 1) << "unchecked markers are not transformed";
            EXPECT_FLOAT_EQ(value(f, e, 2), raw0 + 2);
            EXPECT_FLOAT_EQ(value(f, e, 3), static_cast<float>(f)) << "the sample tag is the file index";
        }
    QFile tags(dir.filePath("QLMRN_ST.txt"));
    ASSERT_TRUE(tags.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(tags.readAll()), s1 + ": 0\n" + s2 + ": 1\n");
}

// The files are loaded when the dialog asks: closing it is the same as OK.
TEST_F(Import, ClosingTheDialogWithEscapeStillAppliesTheChoices) {
    open({makeFile("s1.fcs", 2, 2)}, [](QDialog* d) {
        QTimer::singleShot(0, d, [d]() {
            childWithText<QCheckBox>(d, "Apply Hyperbolic ArcSin Transform.")->click();
            QTest::keyClick(d, Qt::Key_Escape);
        });
        return d->exec();
    });
    EXPECT_FLOAT_EQ(value(0, 0, 0), std::asinh(10.0f / 5.0f)) << "default cofactor 5, every marker";
    EXPECT_FLOAT_EQ(value(0, 1, 1), std::asinh(21.0f / 5.0f));
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 2) << "no sample tag";
}

TEST_F(Import, ColourImagesBecomeThreeVariablesIfTheirSizeMatches) {
    QImage rgb(4, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) rgb.setPixel(x, y, qRgba(20 * x, 50 * y, 255 - x - y, 7));
    ASSERT_TRUE(rgb.save(dir.filePath("rgb.png")));
    open({makeFile("s1.fcs", 12, 2)});
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    ASSERT_EQ(header->variableIdx("Red"), 2);
    for (int e = 0; e < 12; ++e) {
        const int x = e % 4, y = e / 4;
        EXPECT_FLOAT_EQ(value(0, e, 2), 20 * x / 255.0f);
        EXPECT_FLOAT_EQ(value(0, e, 3), 50 * y / 255.0f);
        EXPECT_FLOAT_EQ(value(0, e, 4), (255 - x - y) / 255.0f) << "alpha is ignored";
    }

    // Another size is refused with a message; the import goes on.
    ASSERT_TRUE(QImage(5, 3, QImage::Format_RGB32).save(dir.filePath("rgb.png")));
    UI_ModalDialogs::reset();
    open({makeFile("s2.fcs", 12, 2)});
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The Image size does not match the size of the raw data.");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->numVariables(), 2);

    // "Add Color Image" adds a chosen image and remembers its folder.
    QTemporaryDir images;
    ASSERT_TRUE(QImage(4, 3, QImage::Format_RGB32).save(images.filePath("pic.png")));
    UI_ModalDialogs::answerFiles({images.filePath("pic.png")});
    trigger("actionAddColorImage");
    EXPECT_EQ(MCV_CytometryData::Instance()->combinedHeader()->variableIdx("Blue"), 4);
    UI_Settings::Instance()->sync();
    EXPECT_EQ(UI_Settings::Instance()->value("dataDefaultFilePath").toString(), QDir(images.path()).absolutePath());
}

TEST_F(Import, RunningAnalysisRefusesANewImport) {
    open({makeFile("s1.fcs", 2, 2)});
    TestAnalysis* analysis = new TestAnalysis(1, "busy", w().bridge());
    analysis->running = true;
    w().addAnalysis(analysis);
    MCV_CytometryData* before = w().dataModel();
    UI_ModalDialogs::reset();
    trigger("actionOpenFile");
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("still running"));
    EXPECT_TRUE(UI_ModalDialogs::lastDirectory().isEmpty()) << "no file was asked for";
    EXPECT_EQ(w().dataModel(), before);
    analysis->running = false;
}

TEST_F(Import, ANewImportRetiresAnalysesViewsAndPanels) {
    const QString s1 = makeFile("s1.fcs", 2, 2);
    open({s1, s1});
    EXPECT_EQ(MCV_CytometryData::Instance()->numFiles(), 1) << "the same file twice loads once";
    const Built old = build(w(), 1, "old");
    const void* address = old.analysis;
    QPointer<UI_DockableWidget> dataView = new UI_DockableWidget(&w());
    w().addView(dataView, nullptr);

    UI_ModalDialogs::answerQuestion(true);
    open({makeFile("s2.fcs", 3, 2)});
    EXPECT_TRUE(w().analyses().empty());
    EXPECT_TRUE(w().views().empty());
    EXPECT_TRUE(w().settingsPanels().empty());
    EXPECT_TRUE(old.view.isNull());
    EXPECT_TRUE(dataView.isNull());
    EXPECT_TRUE(old.panel.isNull());
    EXPECT_EQ(TestAnalysis::destroyed().count(address), 1u);
    EXPECT_EQ(MCV_CytometryData::Instance()->header(0)->numEvents(), 3);
}

TEST_F(Import, DataFolderIsRememberedAcrossARestart) {
    open({makeFile("s1.fcs", 2, 2)});
    window.reset();
    QSettings fresh;  // what the next run reads from disk
    EXPECT_EQ(fresh.value("dataDefaultFilePath").toString(), QDir(dir.path()).absolutePath());
    UI_ModalDialogs::reset();
    trigger("actionOpenFile");
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir(dir.path()).absolutePath());
}

// With analyses present a chosen set of files first asks; No leaves the data,
// the analyses with their docks and panels and the remembered folder as they
// were. Without analyses, or without a choice, nothing is asked.
TEST_F(Import, OpeningFilesOverAnalysesAsksFirstAndNoKeepsEverything) {
    const QString question = "Opening these files closes every analysis and its views. Continue?";
    auto questions = [] {
        int n = 0;
        for (const auto& m : UI_ModalDialogs::takeMessages()) n += m.icon == QMessageBox::Question;
        return n;
    };
    open({makeFile("s1.fcs", 2, 2)});
    EXPECT_EQ(questions(), 0) << "no analyses: nothing asked";
    const Built old = build(w(), 1, "old");
    QTemporaryDir elsewhere;
    const QString next = elsewhere.filePath("s2.fcs");
    ASSERT_TRUE(QFile::copy(makeFile("s2.fcs", 3, 2), next));

    const struct {
        QStringList files;
        bool yes;
        int asked;
        bool imported;
    } cases[] = {{{}, true, 0, false}, {{next}, false, 1, false}, {{next}, true, 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files.join(' ').toStdString() + (c.yes ? " yes" : " no"));
        MCV_CytometryData* data = w().dataModel();
        const std::vector<MCV_Analysis*> analyses = w().analyses();
        const std::vector<UI_DockableWidget*> views = w().views();
        const std::vector<UI_SettingsWidget*> panels = w().settingsPanels();
        UI_ModalDialogs::answerQuestion(c.yes);
        bool dialogShown = false;
        open(c.files, [&dialogShown](QDialog*) {
            dialogShown = true;
            return 0;
        });
        const auto messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), size_t(c.asked));
        if (c.asked) {
            EXPECT_EQ(messages[0].icon, QMessageBox::Question);
            EXPECT_EQ(messages[0].text, question);
        }
        EXPECT_EQ(dialogShown, c.imported);
        UI_Settings::Instance()->sync();
        EXPECT_EQ(UI_Settings::Instance()->value("dataDefaultFilePath").toString(),
                  QDir(c.imported ? elsewhere.path() : dir.path()).absolutePath());
        if (c.imported) {
            EXPECT_EQ(w().dataModel()->header(0)->numEvents(), 3);
            EXPECT_TRUE(w().analyses().empty());
            EXPECT_TRUE(old.view.isNull() && old.panel.isNull());
        } else {
            EXPECT_EQ(w().dataModel(), data);
            EXPECT_EQ(data->header(0)->numEvents(), 2);
            EXPECT_EQ(w().analyses(), analyses);
            EXPECT_EQ(w().views(), views);
            EXPECT_EQ(w().settingsPanels(), panels);
            EXPECT_FALSE(old.view.isNull() || old.panel.isNull());
        }
        UI_ModalDialogs::reset();
    }
}

// An analysis that took the sample tag as an input would split every
// population by file: the A-tSNE, HSNE and focus-and-context marker lists
// start with it off. A stored default file applies as it is: one flag per
// loaded marker leaves the tag off; the flag after them is the tag's.
TEST_F(Import, TheSampleTagStartsUntickedInEveryAnalysisUnlessAStoredDefaultTicksIt) {
    const struct {
        const char* defaults;
        std::vector<bool> states;  // three markers, then the tag
    } cases[] = {
        {nullptr, {true, true, true, false}},
        {"1 0 1 ", {true, false, true, false}},
        {"0 1 1 1 ", {false, true, true, true}},
    };
    const QString a = makeFile("a.fcs", 6, 3), b = makeFile("b.fcs", 6, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.defaults ? c.defaults : "no default file");
        QTemporaryDir folder;
        ASSERT_TRUE(QFile::copy(a, folder.filePath("a.fcs")) && QFile::copy(b, folder.filePath("b.fcs")));
        if (c.defaults) FcsTestFile::writeBytes(folder.filePath("QLMRN_DefaultMarkers.txt").toStdString(), c.defaults);
        if (!w().analyses().empty()) UI_ModalDialogs::answerQuestion(true);
        UI_ModalDialogs::answerText("T");
        open({folder.filePath("a.fcs"), folder.filePath("b.fcs")}, [](QDialog* d) {
            childWithText<QCheckBox>(d, "Add Unique Sample Tag as Channel.")->click();
            d->findChild<QPushButton*>("importButton2")->click();
            return d->result();
        });
        ASSERT_EQ(w().dataModel()->combinedHeader()->variableIdx("QLMRN_ST"), 3);
        UI_ModalDialogs::answerText("H");
        trigger("actionNewHsneAnalysis");
        UI_ModalDialogs::answerText("F");
        trigger("actionNewHsneFCAnalysis");
        ASSERT_EQ(w().settingsPanels().size(), 3u);
        EXPECT_TRUE(qobject_cast<UI_TsneSettingsWidget*>(w().settingsPanels()[0]));
        EXPECT_TRUE(qobject_cast<UI_HsneSettingsWidget*>(w().settingsPanels()[1]));
        EXPECT_TRUE(qobject_cast<UI_HsneFCSettingsWidget*>(w().settingsPanels()[2]));
        for (UI_SettingsWidget* panel : w().settingsPanels()) {
            SCOPED_TRACE(panel->metaObject()->className());
            auto* markers = panel->findChild<UI_MarkerSelectionWidget*>();
            ASSERT_TRUE(markers);
            ASSERT_GE(markers->checkBoxes().size(), 4u);
            EXPECT_EQ(markers->checkBoxes()[3]->text(), "QLMRN_ST");
            std::vector<bool> shown, taken;
            for (size_t m = 0; m < 4; ++m) {
                shown.push_back(markers->checkBoxes()[m]->isChecked());
                taken.push_back(panel->analysis()->markerStates()[m]);
            }
            EXPECT_EQ(shown, c.states);
            EXPECT_EQ(taken, c.states) << "the analysis takes what the list shows";
        }
        UI_ModalDialogs::reset();
    }
}

}  // namespace
