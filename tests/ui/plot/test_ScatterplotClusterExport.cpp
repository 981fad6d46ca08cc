// The scatter plot's "Save Clusters ..." entries on the plot's own density
// clusters: what they offer, the FCS files they write, and a warning box for
// every export that writes nothing or fails.
#include "../../data/StrictFcsReader.h"
#include "ScatterplotTest.h"
#include "support/CapturedOutput.h"
#include "support/FileSizeLimit.h"
#include "support/FolderSnapshot.h"
#include "support/ReadOnlyFolder.h"

#include "data/MCV_DerivedDataClusters.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTimer>

#include <sys/stat.h>

#include <cstring>

namespace {

using namespace viewtest;

std::string readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

class ScatterplotClusterExport : public ScatterplotTest {
protected:
    void SetUp() override {
        ScatterplotTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(out.isValid());
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
        UI_Settings::Instance()->remove("dataExportDefaultFilePath");
        emit widget->settingsPanel()->computeMSOnceSignal();
        const std::string name = widget->pointRenderer()->meanShiftClustersName();
        ASSERT_FALSE(name.empty());
        for (MCV_DerivedDataClusters* s : MCV_CytometryData::Instance()->derivedDataClusters())
            if (s->name() == name) set = s;
        ASSERT_NE(set, nullptr);
        ASSERT_GE(set->numClusters(), 2) << "three blobs";
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        UI_Settings::Instance()->remove("dataExportDefaultFilePath");
        ScatterplotTest::TearDown();
    }

    // Opens the plot's context menu and picks `entry`, answering the file
    // question with `file` (under the output folder); the entries it showed.
    QStringList pick(const QString& entry, const QString& file) {
        UI_ModalDialogs::answerSaveFile(out.filePath(file));
        QStringList shown;
        QMenu menu;
        QTimer::singleShot(0, [&] {
            auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* a : open ? open->actions() : QList<QAction*>()) shown << a->text();
            for (QAction* a : open ? open->actions() : QList<QAction*>())
                if (a->text() == entry)
                    return QTest::mouseClick(open, Qt::LeftButton, {}, open->actionGeometry(a).center());
            if (open) open->close();
        });
        quietly([&] { widget->showContextMenu(widget->rect().center(), &menu); });
        return shown;
    }
    QStringList files() const { return QDir(out.path()).entryList(QDir::Files, QDir::Name); }
    // The events of a written file, checked bit for bit against cluster c's
    // events of sample file `sample` (-1: all of them).
    void holdsCluster(const QString& file, int c, int sample) {
        const StrictFcs fcs = StrictFcs::parse(readAll(out.filePath(file)));
        ASSERT_TRUE(fcs.ok) << file.toStdString() << ": " << fcs.error;
        std::vector<std::pair<int, int>> events;
        for (const auto& p : set->clusters()[static_cast<size_t>(c)])
            if (sample < 0 || p.first == sample) events.push_back(p);
        ASSERT_EQ(fcs.number("$TOT"), static_cast<int64_t>(events.size())) << file.toStdString();
        ASSERT_EQ(fcs.number("$PAR"), variables);
        MCV_CytometryData* data = MCV_CytometryData::Instance();
        for (size_t i = 0; i < events.size(); ++i)
            for (int v = 0; v < variables; ++v)
                ASSERT_EQ(std::memcmp(&fcs.values[i * size_t(variables) + size_t(v)],
                                      &data->rawData(events[i].first)[size_t(events[i].second * variables + v)], 4),
                          0)
                    << file.toStdString() << " " << i << " " << v;
    }

    QTemporaryDir out;
    MCV_DerivedDataClusters* set = nullptr;
};

TEST_F(ScatterplotClusterExport, TheDialogOffersFcsOnlyAndTheFilesHoldEachClustersEvents) {
    const QStringList shown = pick("Save Clusters ...", "c.fcs");
    EXPECT_EQ(shown, (QStringList{"Save Clusters ...", "Save Clusters (per sample) ..."}));
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Cytometry Files (*.fcs)") << "only what the export writes";
    EXPECT_EQ(UI_ModalDialogs::lastProposedName(), QString::fromStdString(set->name()) + ".fcs");
    EXPECT_EQ(UI_Settings::Instance()->value("dataExportDefaultFilePath").toString(), out.path());
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    ASSERT_EQ(files().size(), set->numClusters()) << files().join(" ").toStdString();
    for (int c = 0; c < set->numClusters(); ++c)
        holdsCluster("c-" + QString::fromStdString(set->clusterName(c)) + ".fcs", c, -1);

    pick("Save Clusters (per sample) ...", "p.fcs");
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    for (int c = 0; c < set->numClusters(); ++c)
        for (int f = 0; f < data->numFiles(); ++f) {
            const QString file = "p-" + QString::fromStdString(set->clusterName(c)) + "-" +
                                 QString::fromStdString(data->fileName(f, true)) + ".fcs";
            if (QFile::exists(out.filePath(file))) holdsCluster(file, c, f);
        }
}

// Names the export cannot write, and a disk that fills up: a warning box
// naming the file, from both entries.
TEST_F(ScatterplotClusterExport, AnExportThatWritesNothingOrFailsSaysSo) {
    const struct {
        const char* file;
        bool full;  // written under a file-size limit
        const char* says;
    } cases[] = {
        {"c.bin", false, "FCS files only"},
        {"c", false, "FCS files only"},
        {"c.fcs", true, "could not all be written"},
    };
    for (const auto& k : cases)
        for (const QString entry : {"Save Clusters ...", "Save Clusters (per sample) ..."}) {
            SCOPED_TRACE(k.file + (" " + entry.toStdString()));
            if (k.full) {
                FileSizeLimit limit(200);
                ASSERT_TRUE(limit.ok());
                pick(entry, k.file);
            } else {
                pick(entry, k.file);
                EXPECT_EQ(files(), QStringList{}) << "nothing written";
            }
            const std::vector<UI_ModalDialogs::Message> boxes = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
            EXPECT_TRUE(boxes[0].text.contains(out.filePath(k.file))) << boxes[0].text.toStdString();
            EXPECT_TRUE(boxes[0].text.contains(k.says)) << boxes[0].text.toStdString();
            for (const QString& f : files()) QFile::remove(out.filePath(f));
        }
}

// A set that gives no file (no clusters; per sample, no events in them) says
// so before any file is asked for.
TEST_F(ScatterplotClusterExport, ASetWithoutFilesToWriteSaysSoWithoutAskingForAFile) {
    for (auto& members : set->clusters()) members.clear();
    pick("Save Clusters (per sample) ...", "p.fcs");
    set->clusters().clear();
    pick("Save Clusters ...", "c.fcs");
    const std::vector<UI_ModalDialogs::Message> boxes = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.contains("has no events in its clusters")) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[1].text.contains("has no clusters")) << boxes[1].text.toStdString();
    EXPECT_EQ(files(), QStringList{});
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
}

// The file dialog asks about the chosen name only, which is never written.
// When files of the series exist, one question says how many would be
// replaced: No leaves every file as it was, Yes replaces them.
TEST_F(ScatterplotClusterExport, ExistingFilesOfTheSeriesAreAskedAboutOnceAndNoKeepsThem) {
    struct Case {
        const char* entry;
        int existing;  // files of the series there before
        bool yes;
    };
    const Case cases[] = {{"Save Clusters ...", 1, false},
                          {"Save Clusters ...", 2, true},
                          {"Save Clusters (per sample) ...", 2, false},
                          {"Save Clusters (per sample) ...", 1, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.entry) + " " + std::to_string(k.existing) + (k.yes ? " yes" : " no"));
        for (const QString& f : files()) QFile::remove(out.filePath(f));
        // The series, as an export into the empty folder writes it.
        pick(k.entry, "e.fcs");
        const QStringList series = files();
        ASSERT_GE(series.size(), 2);
        ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty()) << "nothing there, nothing asked";
        // The files of an earlier export of other data.
        for (int i = 0; i < series.size(); ++i)
            if (i >= k.existing) {
                ASSERT_TRUE(QFile::remove(out.filePath(series[i])));
            } else {
                QFile old(out.filePath(series[i]));
                ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
                old.write("an earlier export of " + series[i].toUtf8());
            }
        const auto before = folderSnapshot(out.path());

        UI_ModalDialogs::answerQuestion(k.yes);
        pick(k.entry, "e.fcs");
        const std::vector<UI_ModalDialogs::Message> asked = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(asked.size(), 1u) << "one question, no box";
        EXPECT_EQ(asked[0].icon, QMessageBox::Question);
        EXPECT_EQ(asked[0].title, "Save Clusters");
        const QString count = QString("%1 of the %2 files named after \"%3\" already %4")
                                  .arg(k.existing)
                                  .arg(series.size())
                                  .arg(out.filePath("e.fcs"), k.existing == 1 ? "exists." : "exist.");
        EXPECT_TRUE(asked[0].text.startsWith(count)) << asked[0].text.toStdString();
        EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
        if (!k.yes) {
            EXPECT_EQ(folderSnapshot(out.path()), before) << "No writes nothing";
            continue;
        }
        EXPECT_EQ(files(), series);
        if (std::string(k.entry) == "Save Clusters ...")
            for (int c = 0; c < set->numClusters(); ++c)
                holdsCluster("e-" + QString::fromStdString(set->clusterName(c)) + ".fcs", c, -1);
        for (const QString& f : series)
            EXPECT_FALSE(readAll(out.filePath(f)).rfind("an earlier export", 0) == 0) << f.toStdString();
    }
}

// A failed export names each file not written with the writer's reason:
// a disk that fills up, a folder that takes no file, a named pipe in the
// place of a file of the series (the others are written).
TEST_F(ScatterplotClusterExport, AFailedExportSaysWhyInItsBox) {
    enum How { Full, ReadOnly, Pipe };
    const std::pair<How, const char*> cases[] = {{Full, "writing failed (File too large)"},
                                                 {ReadOnly, "cannot take the new file (Permission denied)"},
                                                 {Pipe, "it is a named pipe, not a regular file"}};
    for (const auto& [how, reason] : cases)
        for (const bool perSample : {false, true}) {
            SCOPED_TRACE(std::string(reason) + (perSample ? ", per sample" : ""));
            const std::string chosen = out.filePath("f.fcs").toStdString();
            const std::vector<std::string> series =
                MCV_CytometryData::Instance()->clusterFileNames(set->name(), chosen, perSample);
            ASSERT_GE(series.size(), 2u);
            const QString entry = perSample ? "Save Clusters (per sample) ..." : "Save Clusters ...";
            if (how == Full) {
                FileSizeLimit limit(200);
                ASSERT_TRUE(limit.ok());
                pick(entry, "f.fcs");
            } else if (how == ReadOnly) {
                ReadOnlyFolder readOnly(out.path().toStdString());
                ASSERT_TRUE(readOnly.ok());
                pick(entry, "f.fcs");
            } else {
                ASSERT_EQ(::mkfifo(series[0].c_str(), 0600), 0);
                pick(entry, "f.fcs");
                EXPECT_EQ(files().size(), int(series.size()) - 1) << "the others are written";
            }
            const std::vector<UI_ModalDialogs::Message> boxes = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(boxes.size(), 1u) << "a pipe is not a file to replace: no question";
            EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
            const QString text = boxes[0].text;
            EXPECT_TRUE(text.contains("could not all be written to files named after \"" + out.filePath("f.fcs")))
                << text.toStdString();
            EXPECT_TRUE(text.contains(QString::fromStdString(series[0]) + ": ")) << text.toStdString();
            EXPECT_TRUE(text.contains(reason)) << text.toStdString();
            const int lines = text.count('\n');
            EXPECT_EQ(lines, how == Pipe ? 1 : std::min<int>(int(series.size()), 6)) << text.toStdString();
            QDir(out.path()).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(out.path()));
        }
}

}  // namespace
