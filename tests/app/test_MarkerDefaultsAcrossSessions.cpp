// A default marker selection set with "Set Default" comes back when the same
// files are opened in a later session: the program ends (window, data set and
// held default gone; the settings store stays on disk) and starts again with a
// new main window. The default-marker file beside the data keeps a flag per
// marker the files bring and the sample tag's, whatever the analyses added,
// and it is written there and nowhere else. What the panel and the import did
// or refused, and why a file was not written, shows in the status bar, and in
// the import dialog while it is open.
#include "ShellTestSupport.h"
#include "support/FolderSnapshot.h"
#include "support/MarkerLineLayout.h"
#include "support/MarkerListPresses.h"
#include "support/WidgetFinders.h"
#include "support/WriteFailure.h"

#include "data/MCV_FcsHeader.h"
#include "data/MCV_SampleTag.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QStatusBar>

#include <optional>

namespace {

std::string bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
}

class MarkerDefaultsAcrossSessions : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        showWindow();
    }
    // The program ends and is started again.
    void restart() {
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
        UI_ModalDialogs::reset();
        showWindow();
    }
    // Opens `files`, adding the sample tag when `tag`; `inDialog` gets the
    // import dialog's marker list before OK.
    void openWith(const QStringList& files, bool tag,
                  const std::function<void(UI_MarkerSelectionWidget*)>& inDialog = nullptr) {
        if (!w().analyses().empty()) UI_ModalDialogs::answerQuestion(true);
        open(files, [tag, inDialog](QDialog* d) {
            if (inDialog) inDialog(d->findChild<UI_MarkerSelectionWidget*>());
            if (tag) childWithText<QCheckBox>(d, "Add Unique Sample Tag as Channel.")->click();
            d->done(0);
            return 0;
        });
    }
    // Makes an analysis by its menu action; returns the marker list of its tab.
    UI_MarkerSelectionWidget* create(const char* action) {
        UI_ModalDialogs::answerText(action);
        trigger(action);
        EXPECT_FALSE(w().settingsPanels().empty());
        if (w().settingsPanels().empty()) return nullptr;
        return w().settingsPanels().back()->findChild<UI_MarkerSelectionWidget*>();
    }
    // The list's current button of that text (earlier builds' are hidden).
    static QPushButton* button(UI_MarkerSelectionWidget* list, const QString& text) {
        return markerListButton(list, text);
    }
    // Clicks the boxes of markers 0.. whose state differs from `wanted`, and
    // the sample tag's box to `tag` when the list has one.
    static void tick(UI_MarkerSelectionWidget* list, const std::vector<bool>& wanted, bool tag) {
        const std::vector<QCheckBox*>& boxes = list->checkBoxes();
        for (size_t i = 0; i < wanted.size(); ++i)
            if (boxes.at(i)->isChecked() != wanted[i]) boxes[i]->click();
        for (QCheckBox* box : boxes)
            if (MCV_SampleTag::is(box->text().toStdString()) && box->isChecked() != tag) box->click();
    }
    // The first `markers` boxes, then the sample tag's (when shown).
    static std::vector<bool> ticked(UI_MarkerSelectionWidget* list, size_t markers) {
        std::vector<bool> out;
        for (size_t i = 0; i < markers; ++i) out.push_back(list->checkBoxes().at(i)->isChecked());
        for (QCheckBox* box : list->checkBoxes())
            if (MCV_SampleTag::is(box->text().toStdString())) out.push_back(box->isChecked());
        return out;
    }
    static QString status(MainWindow& window) { return window.statusBar()->currentMessage(); }
    QString defaultsFile() const { return dir.filePath("QLMRN_DefaultMarkers.txt"); }

    // Two files of four markers in the test folder.
    QStringList fourMarkers() { return {makeFile("a.fcs", 8, 4), makeFile("b.fcs", 6, 4)}; }
};

// Set in the import dialog or in a tab of each kind, with and without the
// tag, after other analyses added their output variables: opened again in a
// new session, every new tab starts with the markers and the tag as set.
TEST_F(MarkerDefaultsAcrossSessions, ADefaultSetInAnyMarkerListComesBackWithTheTagsFlag) {
    const std::vector<bool> chosen{true, false, true, true};
    const struct {
        const char* where;   // the tab's action, or null for the import dialog
        const char* before;  // an analysis made first, or null
        bool tag;
        const char* written;
        bool tagBack;  // the tag's box in the next session
    } cases[] = {
        {nullptr, nullptr, false, "1 0 1 1 ", false},
        {nullptr, nullptr, true, "1 0 1 1 ", false},  // set before the tag was there
        {"actionNewTsneAnalysis", nullptr, false, "1 0 1 1 ", false},
        {"actionNewTsneAnalysis", nullptr, true, "1 0 1 1 1 ", true},
        {"actionNewHsneAnalysis", "actionNewTsneAnalysis", false, "1 0 1 1 ", false},
        {"actionNewHsneAnalysis", "actionNewTsneAnalysis", true, "1 0 1 1 1 ", true},
        {"actionNewHsneFCAnalysis", "actionNewHsneAnalysis", false, "1 0 1 1 ", false},
        {"actionNewHsneFCAnalysis", "actionNewHsneAnalysis", true, "1 0 1 1 1 ", true},
        {"actionNewSpadeAnalysis", nullptr, false, "1 0 1 1 ", false},
        {"actionNewSpadeAnalysis", "actionNewTsneAnalysis", true, "1 0 1 1 1 ", true},
    };
    const QStringList files = fourMarkers();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.where ? c.where : "import dialog") + (c.before ? " after " : "") +
                     (c.before ? c.before : "") + (c.tag ? ", tag" : ""));
        restart();
        QFile::remove(defaultsFile());
        if (c.where) {
            openWith(files, c.tag);
            if (c.before) create(c.before);
            UI_MarkerSelectionWidget* list = create(c.where);
            ASSERT_TRUE(list);
            tick(list, chosen, true);
            button(list, "Set Default")->click();
        } else {
            openWith(files, c.tag, [&](UI_MarkerSelectionWidget* list) {
                tick(list, chosen, true);
                button(list, "Set Default")->click();
            });
        }
        EXPECT_EQ(bytesOf(defaultsFile()), c.written);
        EXPECT_EQ(status(w()), "Saved the default marker states to " + defaultsFile() +
                                   ". They are applied when files are opened from this folder.");

        restart();
        openWith(files, c.tag);
        EXPECT_EQ(status(w()), "") << "nothing refused";
        for (const char* action : {"actionNewTsneAnalysis", "actionNewSpadeAnalysis"}) {
            SCOPED_TRACE(action);
            UI_MarkerSelectionWidget* list = create(action);
            ASSERT_TRUE(list);
            std::vector<bool> expected = chosen;
            if (c.tag) expected.push_back(c.tagBack);
            EXPECT_EQ(ticked(list, 4), expected);
            const std::vector<bool> taken(w().settingsPanels().back()->analysis()->markerStates().begin(),
                                          w().settingsPanels().back()->analysis()->markerStates().begin() + 4);
            EXPECT_EQ(taken, chosen) << "the analysis takes what the list shows";
        }
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    }
}

// A default file written by an earlier version held a flag for every variable
// of the data: the files' markers, then the sample tag and the analyses'
// output variables. The markers' flags and the tag's apply; the output
// variables start unticked. A file of fewer flags than the files bring
// markers was made for other data and is refused with its reason.
TEST_F(MarkerDefaultsAcrossSessions, EarlierVersionsLongerFilesApplyAndFilesOfOtherDataAreRefused) {
    const struct {
        const char* name;
        const char* stored;
        bool tag;
        std::vector<bool> shown;  // four markers, then the tag when added
        QString refusal;          // empty: applied
    } cases[] = {
        {"the markers, the tag, four output variables",
         "0 1 1 1 1 0 0 0 0 ",
         true,
         {false, true, true, true, true},
         ""},
        {"output variables ticked, the tag not", "0 1 1 1 0 1 1 1 1 ", true, {false, true, true, true, false}, ""},
        {"the tag's flag, no tag added", "1 1 0 1 1 ", false, {true, true, false, true}, ""},
        {"three flags for four markers",
         "1 0 1 ",
         true,
         {true, true, true, true, false},
         " holds 3 flags for 4 markers. The default marker selection is not applied."},
        {"flags that are no flags",
         "1 0 1 1 2 ",
         false,
         {true, true, true, true},
         " is not a marker file: a marker file holds one flag per marker, 0 or 1, separated by white space. The "
         "default marker selection is not applied."},
    };
    const QStringList files = fourMarkers();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        FcsTestFile::writeBytes(defaultsFile().toStdString(), c.stored);
        openWith(files, c.tag);
        EXPECT_EQ(status(w()), c.refusal.isEmpty() ? QString() : defaultsFile() + c.refusal);
        UI_MarkerSelectionWidget* list = create("actionNewTsneAnalysis");
        ASSERT_TRUE(list);
        EXPECT_EQ(ticked(list, 4), c.shown);
        MCV_FcsHeader* header = w().dataModel()->combinedHeader();
        for (const char* output : {"QLMRN_TsneX", "QLMRN_TsneY"})
            EXPECT_FALSE(list->checkBoxes().at(size_t(header->variableIdx(output)))->isChecked()) << output;
        EXPECT_EQ(bytesOf(defaultsFile()), c.stored) << "reading changes no file";
    }

    // Written in a session for three markers; files of four opened from the
    // same folder in the next.
    restart();
    QTemporaryDir folder;
    const QString three = QString::fromStdString(FcsTestFile::floats({{1, 2, 3}, {4, 5, 6}}).write(folder, "c.fcs"));
    openWith({three}, false);
    button(create("actionNewTsneAnalysis"), "Set Default")->click();
    const QString written = folder.filePath("QLMRN_DefaultMarkers.txt");
    EXPECT_EQ(bytesOf(written), "1 1 1 ");
    restart();
    ASSERT_TRUE(QFile::copy(files[0], folder.filePath("d.fcs")));
    openWith({folder.filePath("d.fcs")}, false);
    EXPECT_EQ(status(w()), written + " holds 3 flags for 4 markers. The default marker selection is not applied.");
    EXPECT_TRUE(MCV_Settings::Instance()->defaultMarkers.empty());
}

// The folder remembered for the file dialogs moves with an added image, a
// template table and a refused File > Open; "Set Default" still writes beside
// the loaded data, and the other folder's own default file stays byte for
// byte as it was.
TEST_F(MarkerDefaultsAcrossSessions, SetDefaultWritesBesideTheLoadedDataAndNeverIntoAnotherFolder) {
    const struct {
        const char* name;
        std::function<void(const QString& other)> moveRememberedFolder;
    } cases[] = {
        {"Add Color Image",
         [this](const QString& other) {
             ASSERT_TRUE(QImage(7, 2, QImage::Format_RGB32).save(other + "/pic.png"));
             UI_ModalDialogs::answerFiles({other + "/pic.png"});
             trigger("actionAddColorImage");
             EXPECT_GE(w().dataModel()->combinedHeader()->variableIdx("Red"), 0);
         }},
        {"Classify with Template ...",
         [this](const QString& other) {
             FcsTestFile::writeBytes((other + "/t.csv").toStdString(), "1,2,3\n4\n");
             UI_ModalDialogs::answerFiles({other + "/t.csv"});
             trigger("actionClassifyData");
             EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "the table is refused";
         }},
        {"a refused File > Open",
         [this](const QString& other) {
             FcsTestFile::writeBytes((other + "/broken.fcs").toStdString(), "");
             open({other + "/broken.fcs"});
             EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "the file is refused";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        QFile::remove(defaultsFile());
        QTemporaryDir other;
        FcsTestFile::writeBytes(other.filePath("QLMRN_DefaultMarkers.txt").toStdString(), "0 0 1 1 0 ");
        openWith({makeFile("e.fcs", 14, 3)}, true);
        c.moveRememberedFolder(other.path());
        UI_Settings::Instance()->sync();
        ASSERT_EQ(UI_Settings::Instance()->value("dataDefaultFilePath").toString(), QDir(other.path()).absolutePath());
        const auto before = folderSnapshot(other.path());
        UI_MarkerSelectionWidget* list = create("actionNewTsneAnalysis");
        ASSERT_TRUE(list);
        list->checkBoxes()[0]->click();
        button(list, "Set Default")->click();
        EXPECT_EQ(folderSnapshot(other.path()), before);
        EXPECT_EQ(bytesOf(defaultsFile()), "0 1 1 0 ");
    }
}

// The status bar: a refusal of the defaults goes with the next File > Open
// that refuses none; "Set Default" and "Load Selection" say what they did.
TEST_F(MarkerDefaultsAcrossSessions, TheStatusBarTellsTheLastOutcomeOfTheDefaults) {
    const QString cells = makeFile("cells.fcs", 4, 3);
    QTemporaryDir plain;
    const QString elsewhere = plain.filePath("other.fcs");
    ASSERT_TRUE(QFile::copy(cells, elsewhere));
    const QString selection = plain.filePath("selection.txt");
    FcsTestFile::writeBytes(selection.toStdString(), "0 1 1 ");
    const QString wrong = plain.filePath("wrong.txt");
    FcsTestFile::writeBytes(wrong.toStdString(), "1 ");
    const QString refusal =
        defaultsFile() + " holds 1 flag for 3 markers. The default marker selection is not applied.";

    const struct {
        const char* name;
        std::function<void(UI_MarkerSelectionWidget*)> then;  // on a tab's list after the refused open
        QString shown;
    } cases[] = {
        {"File > Open without a default", [&](UI_MarkerSelectionWidget*) { openWith({elsewhere}, false); }, ""},
        {"File > Open with a refused default again", [&](UI_MarkerSelectionWidget*) { openWith({cells}, false); },
         refusal},
        {"Set Default", [&](UI_MarkerSelectionWidget* list) { button(list, "Set Default")->click(); },
         "Saved the default marker states to " + defaultsFile() +
             ". They are applied when files are opened from this folder."},
        {"Load Selection",
         [&](UI_MarkerSelectionWidget* list) {
             UI_ModalDialogs::answerFiles({selection});
             button(list, "Load Selection")->click();
         },
         "Loaded the marker selection from " + selection + ". New analyses start with it."},
        {"Load Selection of a file for other data",
         [&](UI_MarkerSelectionWidget* list) {
             UI_ModalDialogs::answerFiles({wrong});
             button(list, "Load Selection")->click();
             EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "and in its box, as before";
         },
         wrong + " holds 1 flag for 3 markers. The marker selection is unchanged."},
        {"Load Selection cancelled",
         [&](UI_MarkerSelectionWidget* list) {
             UI_ModalDialogs::answerFiles({});
             button(list, "Load Selection")->click();
         },
         refusal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        FcsTestFile::writeBytes(defaultsFile().toStdString(), "1 ");
        openWith({cells}, false);
        ASSERT_EQ(status(w()), refusal);
        UI_MarkerSelectionWidget* list = create("actionNewSpadeAnalysis");
        ASSERT_TRUE(list);
        c.then(list);
        EXPECT_EQ(status(w()), c.shown);
    }
    // The line of another source shown meanwhile stays.
    restart();
    openWith({cells}, false);
    w().statusBar()->showMessage("something else");
    openWith({elsewhere}, false);
    EXPECT_EQ(status(w()), "something else");
}

// A default-marker file or a sample-tag file that cannot be written says so,
// with the writer's reason, in the status bar; the default is held for the
// session all the same, and the tag is added.
TEST_F(MarkerDefaultsAcrossSessions, FilesThatCannotBeWrittenSayWhyInTheWindow) {
    const QStringList files = fourMarkers();
    const struct {
        WriteFailure how;
        const char* reason;
    } failures[] = {
        {WriteFailure::ReadOnlyFolder, "Permission denied"},
        {WriteFailure::FileSizeLimit, "File too large"},
        {WriteFailure::FolderInTheWay, "a folder"},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(writeFailureName(f.how));
        restart();
        QFile::remove(defaultsFile());
        QDir(dir.path()).rmdir("QLMRN_DefaultMarkers.txt");
        openWith(files, true);
        UI_MarkerSelectionWidget* list = create("actionNewHsneAnalysis");
        ASSERT_TRUE(list);
        tick(list, {true, true, false, true}, true);
        if (f.how == WriteFailure::FolderInTheWay) {
            ASSERT_TRUE(QDir(dir.path()).mkdir("QLMRN_DefaultMarkers.txt"));
        }
        ASSERT_TRUE(
            underWriteFailure(f.how, dir.path().toStdString(), 4, [&] { button(list, "Set Default")->click(); }));
        const QString shown = status(w());
        EXPECT_TRUE(shown.startsWith("Could not write the default marker states to " + defaultsFile() + ": "))
            << shown.toStdString();
        EXPECT_TRUE(shown.contains(f.reason)) << shown.toStdString();
        EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, list->markerSelectionState())
            << "held for this session all the same";
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
        QDir(dir.path()).rmdir("QLMRN_DefaultMarkers.txt");
        // Opened again in the same session, the held default applies, the
        // tag's flag included.
        openWith(files, true);
        EXPECT_FALSE(status(w()).contains("not applied")) << status(w()).toStdString();
        EXPECT_EQ(ticked(create("actionNewTsneAnalysis"), 4), (std::vector<bool>{true, true, false, true, true}));
    }

    // The sample tags beside data in a read-only folder.
    restart();
    QFile::remove(dir.filePath("QLMRN_ST.txt"));
    ASSERT_TRUE(
        underWriteFailure(WriteFailure::ReadOnlyFolder, dir.path().toStdString(), 0, [&] { openWith(files, true); }));
    const QString shown = status(w());
    EXPECT_TRUE(shown.startsWith("The sample tags could not be written to " + dir.filePath("QLMRN_ST.txt") + ": "))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains("Permission denied")) << shown.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("QLMRN_ST.txt")));
    EXPECT_EQ(w().dataModel()->combinedHeader()->variableIdx(MCV_SampleTag::name), 4) << "the tag is added";
}

// A stored default that ticks the sample tag gives the tag its flag when the
// import adds it. A default the user set or loaded in the import dialog
// replaces the stored one: it was made before there was a tag, and adding the
// tag afterwards leaves it as the user made it (the tag unticked).
TEST_F(MarkerDefaultsAcrossSessions, ADefaultMadeInTheImportDialogSurvivesAddingTheTag) {
    const QStringList files = fourMarkers();
    QTemporaryDir other;
    const QString selection = other.filePath("selection.txt");
    FcsTestFile::writeBytes(selection.toStdString(), "0 1 1 0 ");
    const struct {
        const char* name;
        std::function<void(UI_MarkerSelectionWidget*)> inDialog;
        std::vector<bool> held;   // the default held after the import
        std::vector<bool> shown;  // a new tab's four markers, then the tag
        const char* file;         // the default-marker file afterwards
    } cases[] = {
        {"nothing done in the dialog",
         nullptr,
         {true, false, true, true, true},
         {true, false, true, true, true},
         "1 0 1 1 1 "},
        {"Set Default",
         [](UI_MarkerSelectionWidget* list) {
             tick(list, {false, true, true, false}, false);
             button(list, "Set Default")->click();
         },
         {false, true, true, false},
         {false, true, true, false, false},
         "0 1 1 0 "},
        {"Load Selection",
         [&](UI_MarkerSelectionWidget* list) {
             UI_ModalDialogs::answerFiles({selection});
             button(list, "Load Selection")->click();
         },
         {false, true, true, false},
         {false, true, true, false, false},
         "1 0 1 1 1 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        FcsTestFile::writeBytes(defaultsFile().toStdString(), "1 0 1 1 1 ");
        openWith(files, true, c.inDialog);
        ASSERT_EQ(w().dataModel()->combinedHeader()->variableIdx(MCV_SampleTag::name), 4) << "the tag is added";
        EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, c.held);
        UI_MarkerSelectionWidget* list = create("actionNewTsneAnalysis");
        ASSERT_TRUE(list);
        EXPECT_EQ(ticked(list, 4), c.shown);
        EXPECT_EQ(bytesOf(defaultsFile()), c.file);
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    }
}

// Wherever the marker list sits, what "Set Default" and "Load Selection" did,
// or why not, shows where the user is looking: in the import dialog on the
// list's own line while the dialog is open, in a settings tab (docked or
// floating) in the status bar only. The status bar has it in every case.
// In the dialog the line's room is there from the start: a message moves no
// control (the list's, the start buttons below it), lies in the list's layout,
// whole, over no check box or button; one too long for the room is shortened
// in its middle, whole in the tool tip.
TEST_F(MarkerDefaultsAcrossSessions, TheMarkerListsOutcomeShowsWhereTheListIs) {
    const QStringList files = fourMarkers();
    QTemporaryDir other;
    const QString selection = other.filePath("selection.txt");
    FcsTestFile::writeBytes(selection.toStdString(), "0 1 1 0 ");
    const QString wrong = other.filePath("wrong.txt");
    FcsTestFile::writeBytes(wrong.toStdString(), "1 ");
    const QString deep = deepSelectionFile(QDir(other.path()), "0 1 1 0 ");
    const QString notWritten = "Could not write the default marker states to " + defaultsFile() + ": ";
    const auto setDefault = [this](std::optional<WriteFailure> how) { return pressSetDefault(dir.path(), how); };
    const auto load = pressLoadSelection;
    const struct {
        const char* name;
        std::function<void(UI_MarkerSelectionWidget*)> press;
        QString shown;   // the text's start
        QString reason;  // in the text
        size_t boxes;
        bool inTabs;     // also pressed in the tabs (all in the dialog)
        bool shortened;  // the dialog's line shows the text shortened
    } presses[] = {
        {"Set Default", setDefault(std::nullopt),
         "Saved the default marker states to " + defaultsFile() +
             ". They are applied when files are opened from this folder.",
         "", 0, true, false},
        {"Set Default into a read-only folder", setDefault(WriteFailure::ReadOnlyFolder), notWritten,
         "Permission denied", 0, true, false},
        {"Set Default onto a full disk", setDefault(WriteFailure::FileSizeLimit), notWritten, "File too large", 0,
         false, false},
        {"Set Default onto a folder", setDefault(WriteFailure::FolderInTheWay), notWritten, "a folder", 0, false,
         false},
        {"Load Selection", load(selection),
         "Loaded the marker selection from " + selection + ". New analyses start with it.", "", 0, true, false},
        {"Load Selection of a file for other data", load(wrong),
         wrong + " holds 1 flag for 4 markers. The marker selection is unchanged.", "", 1, false, false},
        {"Load Selection from a deep folder", load(deep),
         "Loaded the marker selection from " + deep + ". New analyses start with it.", "", 0, false, true},
    };
    enum Place { ImportDialog, Tab, FloatingTab };
    const char* const places[] = {"the import dialog", "a settings tab", "a floating settings tab"};
    for (Place place : {ImportDialog, Tab, FloatingTab}) {
        for (const auto& p : presses) {
            if (place != ImportDialog && !p.inTabs) continue;
            SCOPED_TRACE(std::string(p.name) + " in " + places[place]);
            restart();
            QFile::remove(defaultsFile());
            QString line, whole;  // the list's own line: its text and tool tip, when shown
            bool lineInView = false;
            std::string fault;
            std::vector<QRect> before, after;
            // `also`: controls outside the list whose place is watched.
            auto press = [&](UI_MarkerSelectionWidget* list, QWidget* top, std::vector<QWidget*> also) {
                QLabel* own = list->findChild<QLabel*>("markerStatus");
                ASSERT_TRUE(own);
                EXPECT_TRUE(own->isHidden()) << "hidden while empty";
                auto controls = [&] {
                    std::vector<QWidget*> all = markerListControls(list);
                    all.insert(all.end(), also.begin(), also.end());
                    return all;
                };
                QCoreApplication::processEvents();  // a new tab is laid out
                before = placesIn(top, controls());
                p.press(list);
                QCoreApplication::processEvents();  // the window lays the line out
                after = placesIn(top, controls());
                if (!own->isHidden()) {
                    line = own->text();
                    whole = own->toolTip();
                    fault = markerLineFault(list);
                }
                lineInView = own->isVisible() && own->visibleRegion() == QRegion(own->rect());
            };
            if (place == ImportDialog) {
                open(files, [&](QDialog* d) {
                    d->show();
                    EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
                    // The list opens with the transform.
                    childWithText<QCheckBox>(d, "Apply Hyperbolic ArcSin Transform.")->click();
                    std::vector<QWidget*> starts;
                    for (const char* text : {"Start SPADE", "Start A-tSNE", "Start HSNE", "OK"})
                        starts.push_back(childWithText<QPushButton>(d, text));
                    press(d->findChild<UI_MarkerSelectionWidget*>(), d, starts);
                    d->done(0);
                    return 0;
                });
            } else {
                openWith(files, false);
                UI_MarkerSelectionWidget* list = create("actionNewTsneAnalysis");
                ASSERT_TRUE(list);
                if (place == FloatingTab) {
                    w().settingsDock()->setFloating(true);
                    ASSERT_TRUE(QTest::qWaitForWindowExposed(w().settingsDock()));
                }
                press(list, list->window(), {});
            }
            EXPECT_TRUE(status(w()).startsWith(p.shown)) << status(w()).toStdString();
            EXPECT_TRUE(status(w()).contains(p.reason)) << status(w()).toStdString();
            EXPECT_EQ(after, before) << "the message moved a control";
            if (place == ImportDialog) {
                EXPECT_EQ(whole, status(w()));
                EXPECT_EQ(line.contains(QChar(0x2026)), p.shortened) << line.toStdString();
                if (!p.shortened) {
                    EXPECT_EQ(line, status(w()));
                }
                EXPECT_TRUE(lineInView) << "shown whole in the dialog";
                EXPECT_EQ(fault, "");
            } else {
                EXPECT_EQ(line, "") << "the status bar is in view";
            }
            EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), p.boxes);
        }
    }
}

}  // namespace
