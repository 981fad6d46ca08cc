// The default marker selection at "Open File(s) ...": a default-marker file
// beside the data is applied when it holds 0/1 flags, at least one per loaded
// marker (further flags are the sample tag's and, from earlier versions,
// those of variables the program added); the default held from the data
// before when it was made for as many markers. Any other default would tick
// and untick markers by position; it is dropped, the marker lists start as
// without one, and the console and the status bar say why, once.
#include "ShellTestSupport.h"

#include <QStatusBar>
#include <QStringList>

namespace {

QStringList debugLines;

void collectDebug(QtMsgType, const QMessageLogContext&, const QString& text) { debugLines << text; }

class ImportDefaultMarkers : public ShellTest {};

TEST_F(ImportDefaultMarkers, OnlyADefaultOfOneFlagPerLoadedMarkerIsAppliedAndARefusalIsToldOnce) {
    const QString file = dir.filePath("QLMRN_DefaultMarkers.txt");
    const struct {
        const char* name;
        const char* stored;         // the folder's file (null: none)
        std::vector<bool> held;     // the default held from before
        std::vector<bool> applied;  // the import's marker list and the default after it
        QString refusal;            // said once on the console and in the status bar
    } cases[] = {
        {"a file of one flag per marker", "1 0 1 ", {}, {true, false, true}, ""},
        {"a file of line-broken flags over a held default",
         "0\n0\n1\n",
         {true, true, true, true},
         {false, false, true},
         ""},
        {"a file with the tag's flag more", "0 1 1 0 ", {true, false, true}, {false, true, true}, ""},
        {"a file of 17 flags from an earlier version",
         "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 ",
         {},
         {true, true, true},
         ""},
        {"a file with a flag less",
         "0 1 ",
         {true, false, true},
         {},
         file + " holds 2 flags for 3 markers. The default marker selection is not applied."},
        {"a text that is no marker file",
         "hello world 7 -3",
         {},
         {},
         file + " is not a marker file: a marker file holds one flag per marker, 0 or 1, separated by white space. "
                "The default marker selection is not applied."},
        {"no file, a held default of other data",
         nullptr,
         {true, false, true, true, false},
         {},
         "The default marker selection holds 5 flags for 3 markers. It is not applied."},
        {"no file, a held default that fits", nullptr, {false, true, false}, {false, true, false}, ""},
    };
    const QString cells = makeFile("cells.fcs", 4, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file);
        if (c.stored) FcsTestFile::writeBytes(file.toStdString(), c.stored);
        MCV_Settings::Instance()->setDefaultMarkers(c.held);
        w().statusBar()->clearMessage();
        std::vector<bool> shown;
        debugLines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectDebug);
        open({cells}, [&shown](QDialog* d) {
            shown = d->findChild<UI_MarkerSelectionWidget*>()->markerSelectionState();
            d->done(0);
            return 0;
        });
        qInstallMessageHandler(previous);
        // Without a default every marker starts ticked.
        EXPECT_EQ(shown, c.applied.empty() ? std::vector<bool>(3, true) : c.applied);
        EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, c.applied);
        EXPECT_EQ(w().statusBar()->currentMessage(), c.refusal);
        int told = 0;
        for (const QString& line : debugLines) told += line.contains("not applied") ? 1 : 0;
        EXPECT_EQ(told, c.refusal.isEmpty() ? 0 : 1) << debugLines.join("|").toStdString();
        if (!c.refusal.isEmpty()) {
            EXPECT_TRUE(debugLines.contains(c.refusal)) << debugLines.join("|").toStdString();
        }
        EXPECT_EQ(MCV_CytometryData::Instance()->numFiles(), 1) << "the data are loaded all the same";
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    }
}

}  // namespace
