// The heat map dock with its real page on a data model wired to a bridge:
// what it offers the page, what it takes from it, and its exports.
#include "../../data/StrictFcsReader.h"
#include "data/FcsTestFile.h"
#include "support/FileSizeLimit.h"
#include "support/FolderSnapshot.h"
#include "support/ReadOnlyFolder.h"
#include "ui/PageTestSupport.h"

#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/heatmap/UI_HeatMapWidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

using Pair = std::pair<int, int>;

QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Two files of 20 and 12 events over CD3, CD4, CD8 and a cluster set of
// three clusters, one of them with events of both files.
class HeatMapDock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&bridge);
        load();
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
        for (const char* key : {"exportDefaultFilePath", "dataExportDefaultFilePath"})
            UI_Settings::Instance()->remove(key);
    }
    void load() {
        const std::vector<std::string> files = {"run #1 a.fcs", "run?2.fcs"};
        for (size_t f = 0; f < files.size(); ++f) {
            std::vector<std::vector<float>> rows;
            for (int e = 0; e < (f == 0 ? 20 : 12); ++e)
                rows.push_back({0.5f * float(e) + 0.1f * float(f), float(f), float(e % 3) + 0.25f});
            FcsTestFile fcs = FcsTestFile::floats(rows);
            for (int v = 0; v < 3; ++v) fcs.set("$P" + std::to_string(v + 1) + "S", markers[v]);
            ASSERT_EQ(data->loadFromFile(fcs.write(dir, files[f])), 0);
        }
        data->initAllDerviedDataPointer();
        blobs = data->derivedDataClusters(setName, false);
        std::vector<MCV_DerivedDataClusters::PointList> clusters(3);
        for (int e = 0; e < 10; ++e) clusters[0].push_back({0, e});
        for (int e = 0; e < 4; ++e) clusters[0].push_back({1, e});
        for (int e = 10; e < 20; ++e) clusters[1].push_back({0, e});
        for (int e = 4; e < 12; ++e) clusters[2].push_back({1, e});
        blobs->setClusters(clusters, nullptr, {}, nullptr);
    }
    void TearDown() override {
        docks.clear();
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        for (const char* key : {"exportDefaultFilePath", "dataExportDefaultFilePath"})
            UI_Settings::Instance()->remove(key);
        MCV_Settings::Instance()->setDefaultMarkers({});
        delete MCV_CytometryData::Instance();
    }

    // A dock wired as the shell wires it, its page loaded.
    UI_HeatMapWidget* open() {
        docks.push_back(std::make_unique<UI_HeatMapWidget>(nullptr));
        UI_HeatMapWidget* dock = docks.back().get();
        QObject::connect(&bridge, &UI_Interface::dataRefreshedSignal, dock, &UI_HeatMapWidget::dataRefreshed);
        QObject::connect(&bridge, &UI_Interface::selectionRefreshedSignal, dock, &UI_HeatMapWidget::selectionRefreshed);
        QObject::connect(&bridge, &UI_Interface::highlightRefreshedSignal, dock, &UI_HeatMapWidget::highlightRefreshed);
        dock->resize(800, 600);
        dock->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dock));
        EXPECT_TRUE(pagetest::waitForPage(dock->webView()));
        return dock;
    }
    QString js(UI_HeatMapWidget* dock, const QString& script) {
        return pagetest::js(dock->webView(), script).toString();
    }
    // Chooses `name` in the page's selector, as the user does.
    void choose(UI_HeatMapWidget* dock, const QString& name) {
        const QString literal = QString::fromUtf8(QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact));
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return js(dock,
                      "[].some.call(document.getElementById('clusterSelector').options, "
                      "function (o) { return o.value === " +
                          literal + "[0]; })") == "true";
        }));
        js(dock, "var s = document.getElementById('clusterSelector'); s.value = " + literal +
                     "[0]; s.dispatchEvent(new Event('change'))");
    }
    QString options(UI_HeatMapWidget* dock) {
        return js(dock,
                  "[].map.call(document.querySelectorAll('#clusterSelector option'), "
                  "function (o) { return o.text; }).join('|')");
    }
    std::vector<Pair> eventsOf(const std::vector<int>& clusters) {
        std::vector<Pair> events;
        for (int c : clusters)
            events.insert(events.end(), blobs->clusters()[size_t(c)].begin(), blobs->clusters()[size_t(c)].end());
        return events;
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    std::string readAll(const QString& file) { return bytes(file).toStdString(); }

    const char* markers[3] = {"CD3", "CD4", "CD8"};
    const std::string setName = "T/NK: blobs";
    QTemporaryDir dir;
    UI_Interface bridge;
    MCV_CytometryData* data = nullptr;
    MCV_DerivedDataClusters* blobs = nullptr;
    std::vector<std::unique_ptr<UI_HeatMapWidget>> docks;
};

TEST_F(HeatMapDock, TheFirstPushOffersEverySetAndTheStoredMarkerFlags) {
    data->derivedDataClusters("Other", false);
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    UI_HeatMapWidget* first = open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return options(first) == "Clusters|T/NK: blobs|Other"; }))
        << options(first).toStdString();
    EXPECT_EQ(js(first, "_markerSelection.join()"), "1,0,1");
    MCV_Settings::Instance()->setDefaultMarkers({});
    UI_HeatMapWidget* second = open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return options(second) == "Clusters|T/NK: blobs|Other"; }));
    EXPECT_EQ(js(second, "_markerSelection.join()"), "1,1,1") << "no flags stored: the measured markers";

    // A set made later reaches both selectors once.
    MCV_DerivedDataClusters* late = data->derivedDataClusters("Late \xe7\xb4\xb0", false);
    late->setClusters({{{0, 1}}}, nullptr, {}, nullptr);
    late->setClusterName(0, "x");
    for (UI_HeatMapWidget* dock : {first, second})
        EXPECT_EQ(options(dock), QString::fromUtf8("Clusters|T/NK: blobs|Other|Late \xe7\xb4\xb0"));
}

// The rows start as the analyses' inputs do: embedding coordinates and the
// sample tag would otherwise set the colour range and decide the dendrogram.
TEST_F(HeatMapDock, TheRowsStartAsTheMeasuredMarkersOrAsTheStoredDefaultIs) {
    data->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY", "QLMRN_ST"},
                        std::vector<std::vector<float>>(3, std::vector<float>(20, -17.0f)));
    const std::vector<MCV_DerivedDataClusters::PointList> members = blobs->clusters();
    blobs->setClusters(members, nullptr, {}, nullptr);  // medians of the new variables
    const struct {
        std::vector<bool> stored;
        const char* flags;  // pushed before the data
        const char* rows;   // shown with the data
        const char* lowest;
    } cases[] = {
        {{}, "1,1,1,0,0,0", "CD3,CD4,CD8", "0.00"},
        {{true, false, true, true, false, true}, "1,0,1,1,0,1", "CD3,CD8,QLMRN_TsneX,QLMRN_ST", "-17.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        MCV_Settings::Instance()->setDefaultMarkers(c.stored);
        UI_HeatMapWidget* dock = open();
        EXPECT_TRUE(QTest::qWaitFor([&] { return js(dock, "_markerSelection.join()") == c.flags; }))
            << js(dock, "_markerSelection.join()").toStdString();
        choose(dock, QString::fromStdString(setName));
        EXPECT_EQ(js(dock, "selectedMarkerIndices().map(function (m) { return _data.names[m]; }).join()"), c.rows);
        EXPECT_EQ(js(dock, "document.getElementById('legendLabelBottom').textContent").mid(2), c.lowest);
    }
}

// A dock opened before the data set had any variable could push no flags;
// they follow just before its first data.
TEST_F(HeatMapDock, FlagsThatCouldNotBePushedAtFirstPrecedeTheFirstData) {
    delete MCV_CytometryData::Instance();
    data = MCV_CytometryData::Instance();
    data->init(&bridge);
    UI_HeatMapWidget* dock = open();
    QSignalSpy flags(dock, &UI_HeatMapWidget::qt_setMarkerSelection);
    QTest::qWait(50);
    EXPECT_EQ(flags.size(), 0);
    load();
    data->addDimensions({"QLMRN_ST"}, 0.0f);
    choose(dock, QString::fromStdString(setName));
    ASSERT_EQ(flags.size(), 1);
    EXPECT_EQ(js(dock, "_markerSelection.join() + ' ' + _data.names.length"), "1,1,1,0 4");
    choose(dock, QString::fromStdString(setName));
    EXPECT_EQ(flags.size(), 1) << "once";
}

TEST_F(HeatMapDock, ChoosingASetShowsItAndANameNoSetBearsChangesNothing) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    EXPECT_EQ(dock->currentSet(), blobs);
    EXPECT_EQ(js(dock, "_data.nodes.length + ' ' + _data.names.join()"), "3 CD3,CD4,CD8");
    EXPECT_EQ(js(dock, "document.querySelectorAll('rect.cellPaint').length"), "9");

    // A name in another script is found as it was registered.
    MCV_DerivedDataClusters* named = data->derivedDataClusters("Zellen \xc3\xbc \xe7\xb4\xb0\xe8\x83\x9e", false);
    named->setClusters({{{0, 1}}}, nullptr, {}, nullptr);
    choose(dock, QString::fromUtf8("Zellen \xc3\xbc \xe7\xb4\xb0\xe8\x83\x9e"));
    EXPECT_EQ(dock->currentSet(), named);
    choose(dock, QString::fromStdString(setName));

    QSignalSpy pushed(dock, &UI_HeatMapWidget::qt_setData);
    const size_t sets = data->derivedDataClusters().size();
    dock->js_selectData("No such set");
    EXPECT_EQ(data->derivedDataClusters().size(), sets) << "no set is made for a name";
    EXPECT_EQ(dock->currentSet(), blobs);
    EXPECT_EQ(pushed.size(), 0);
}

TEST_F(HeatMapDock, OnlyTheShownSetsChangesSelectionsAndHighlightsReachThePage) {
    MCV_DerivedDataClusters* other = data->derivedDataClusters("Other", false);
    other->setClusters({{{0, 1}}, {{0, 2}}}, nullptr, {}, nullptr);
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    QSignalSpy pushed(dock, &UI_HeatMapWidget::qt_setData);
    QSignalSpy selected(dock, &UI_HeatMapWidget::qt_setSelection);
    QSignalSpy highlighted(dock, &UI_HeatMapWidget::qt_setHighlight);
    std::vector<unsigned> landmarks;
    other->setClusterName(0, "renamed");
    other->selectCluster(1, false, landmarks);
    other->setHighlight(1);
    EXPECT_EQ(pushed.size() + selected.size() + highlighted.size(), 0);

    blobs->setClusterName(2, "NK \xe7\xb4\xb0\xe8\x83\x9e");
    ASSERT_EQ(pushed.size(), 1);
    EXPECT_EQ(js(dock, "document.getElementById('subsetLabel2').textContent"),
              QString::fromUtf8("NK \xe7\xb4\xb0\xe8\x83\x9e"));
    blobs->selectCluster(1, false, landmarks);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0][0].value<QList<int>>(), (QList<int>{0, 1, 0}));
    EXPECT_EQ(js(dock, "_selection.join()"), "0,1,0");
    blobs->setHighlight(2);
    ASSERT_EQ(highlighted.size(), 1);
    EXPECT_EQ(highlighted[0][0].toInt(), 2);
}

TEST_F(HeatMapDock, ColumnsChosenOnThePageBecomeTheSharedSelectionAndBadIndicesAreIgnored) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    MCV_DerivedDataPoints* selection = data->selectionPoints();
    QSignalSpy announced(&bridge, &UI_Interface::dataRefreshedSignal);
    // {list from the page, clusters meant}
    const std::vector<std::pair<QList<int>, std::vector<int>>> cases = {
        {{0, 1, 1, 1, 1}, {1, 2}},  // a page still showing a larger set
        {{1}, {0}},
        {{0, 0, 0}, {}},
        {{}, {}},
    };
    for (const auto& [page, meant] : cases) {
        announced.clear();
        dock->js_selectionUpdated(page);
        EXPECT_EQ(selection->data(), eventsOf(meant));
        EXPECT_EQ(selection->refreshSource(), dock);
        ASSERT_GE(announced.size(), 1);
        EXPECT_EQ(announced.last().at(0).value<void*>(), selection);
    }
    EXPECT_EQ(blobs->numSelectedClusters(), 0) << "the set's own selection stays";

    // A click on a column, as the user does.
    QWebView* view = dock->webView();
    const QJsonArray at =
        QJsonDocument::fromJson(js(dock,
                                   "JSON.stringify((function (b) { return [b.left + b.width / 2, b.top + 20]; })("
                                   "document.querySelector('#cluster2 rect.cellPaint').getBoundingClientRect()))")
                                    .toUtf8())
            .array();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(at[0].toInt(), at[1].toInt()));
    EXPECT_EQ(selection->data(), eventsOf({2}));

    // {highlight from the page, highlight stored}
    for (const auto& [page, stored] : {std::pair(1, 1), {7, -1}, {-5, -1}, {0, 0}}) {
        dock->js_highlightUpdated(page);
        EXPECT_EQ(blobs->highlightId(), stored) << page;
    }
}

TEST_F(HeatMapDock, MergesAndRenamesTouchOnlyClustersOfTheSet) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    const std::vector<Pair> second = eventsOf({1});
    for (const QList<int>& page : {QList<int>{0, 1}, QList<int>{0, 0, 0, 1, 1}, QList<int>{}}) {
        dock->js_mergeClusters(page);
        EXPECT_EQ(blobs->numClusters(), 3);
    }
    dock->js_mergeClusters({1, 0, 1, 1});
    ASSERT_EQ(blobs->numClusters(), 2);
    EXPECT_EQ(blobs->clusters()[1], second);
    EXPECT_EQ(js(dock, "document.querySelectorAll('g.column').length"), "2") << "the merged set reaches the page";

    for (int idx : {-1, 2, 99}) dock->js_setSubsetName(idx, "x");
    EXPECT_EQ(blobs->clusterName(0) + "|" + blobs->clusterName(1), "1|2");
    const QString name = QString::fromUtf8("CD4 \"na\xc3\xafve\" <T> & \xe7\xbb\x86\xe8\x83\x9e");
    dock->js_setSubsetName(1, name);
    EXPECT_EQ(blobs->clusterName(1), name.toStdString());
    EXPECT_EQ(js(dock, "document.getElementById('subsetLabel1').textContent"), name);
}

TEST_F(HeatMapDock, TheMedianTableIsTheSetsCsvAndAFileThatCannotBeWrittenIsReported) {
    UI_HeatMapWidget* dock = open();
    dock->js_saveCSV();
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "no set shown: nothing asked";
    choose(dock, QString::fromStdString(setName));
    blobs->setClusterName(0, "\xc3\xa9t\xc3\xa9");

    UI_ModalDialogs::answerSaveFile("");
    dock->js_saveCSV();
    EXPECT_FALSE(UI_Settings::Instance()->contains("exportDefaultFilePath")) << "cancelled: nothing remembered";
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir::home().absolutePath());
    EXPECT_EQ(UI_ModalDialogs::lastProposedName(), "T_NK_ blobs.csv");
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Table Files (*.csv)");

    UI_ModalDialogs::answerSaveFile(path("medians.csv"));
    dock->js_saveCSV();
    EXPECT_EQ(bytes(path("medians.csv")).toStdString(), blobs->csvString());
    EXPECT_TRUE(bytes(path("medians.csv")).contains("\xc3\xa9t\xc3\xa9,")) << "UTF-8";
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), dir.path());
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    UI_ModalDialogs::answerSaveFile(path("missing/medians.csv"));
    dock->js_saveCSV();
    const auto boxes = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains(path("missing/medians.csv"))) << boxes[0].text.toStdString();
}

TEST_F(HeatMapDock, CellOriginsGoToOneFilePerClusterUnderSafeDistinctNames) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    blobs->setClusterName(0, "a/b");
    blobs->setClusterName(1, "a_b");
    blobs->setClusterName(2, "");
    const QStringList names = {"a_b", "a_b-2", "_"};
    // {file chosen, stem of the tables}
    const std::pair<const char*, const char*> stems[] = {{"run.csv", "run"}, {"run.CSV", "run"}, {"tables", "tables"}};
    for (const auto& [chosen, stem] : stems) {
        UI_ModalDialogs::answerSaveFile(path(chosen));
        dock->js_saveStatistics();
        for (int c = 0; c < 3; ++c) {
            const QByteArray table = bytes(path(stem + names[c] + ".csv"));
            EXPECT_EQ(table.toStdString(), blobs->originCsvString(c)) << chosen << " " << c;
            EXPECT_TRUE(
                table.startsWith("Idx, Filename, Total events, in selection, % in selection, % of selection, "
                                 "% of selection normalized\n"));
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"*.csv"}, QDir::Files).size(), 6)
        << QDir(dir.path()).entryList().join(" ").toStdString();
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    UI_ModalDialogs::answerSaveFile(path("missing/run.csv"));
    dock->js_saveStatistics();
    const auto boxes = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(boxes.size(), 1u) << "one message for all";
    for (const QString& name : names)
        EXPECT_TRUE(boxes[0].text.contains(path("missing/run" + name + ".csv"))) << boxes[0].text.toStdString();
}

TEST_F(HeatMapDock, ClusterFilesHoldEachClustersEventsBitForBitWholeOrPerSample) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    const int width = data->combinedHeader()->numVariables();
    auto sameEvents = [&](const StrictFcs& fcs, const std::vector<Pair>& events) {
        ASSERT_TRUE(fcs.ok) << fcs.error;
        ASSERT_EQ(fcs.number("$TOT"), int64_t(events.size()));
        ASSERT_EQ(fcs.number("$PAR"), width);
        for (size_t i = 0; i < events.size(); ++i)
            for (int v = 0; v < width; ++v)
                ASSERT_EQ(std::memcmp(&fcs.values[i * size_t(width) + size_t(v)],
                                      &data->rawData(events[i].first)[size_t(events[i].second * width + v)], 4),
                          0)
                    << i << " " << v;
    };

    UI_ModalDialogs::answerSaveFile(path("c.fcs"));
    dock->js_saveClusters(false);
    EXPECT_EQ(UI_ModalDialogs::lastProposedName(), "T_NK_ blobs.fcs");
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Cytometry Files (*.fcs)") << "only what the export writes";
    EXPECT_EQ(UI_Settings::Instance()->value("dataExportDefaultFilePath").toString(), dir.path());
    size_t total = 0;
    for (int c = 0; c < 3; ++c) {
        sameEvents(StrictFcs::parse(readAll(path("c-" + QString::number(c + 1) + ".fcs"))), eventsOf({c}));
        total += eventsOf({c}).size();
    }
    EXPECT_EQ(total, 32u) << "every clustered event once";

    UI_ModalDialogs::answerSaveFile(path("p.fcs"));
    dock->js_saveClusters(true);
    for (int c = 0; c < 3; ++c)
        for (int f = 0; f < 2; ++f) {
            std::vector<Pair> ofFile;
            for (const Pair& p : eventsOf({c}))
                if (p.first == f) ofFile.push_back(p);
            const QString file =
                path("p-" + QString::number(c + 1) + "-" + QString::fromStdString(data->fileName(f, true)) + ".fcs");
            EXPECT_EQ(QFile::exists(file), !ofFile.empty()) << file.toStdString();
            if (!ofFile.empty()) sameEvents(StrictFcs::parse(readAll(file)), ofFile);
        }
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    // {file chosen, written}
    for (const auto& [chosen, what] : {std::pair("c.bin", "a binary file"), {"missing/c.fcs", "a missing folder"}}) {
        const int before = QDir(dir.path()).entryList(QDir::Files).size();
        UI_ModalDialogs::answerSaveFile(path(chosen));
        dock->js_saveClusters(false);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), before) << what;
        const auto boxes = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(boxes.size(), 1u) << what;
        EXPECT_TRUE(boxes[0].text.contains(path(chosen))) << boxes[0].text.toStdString();
    }
}

// The heat map's cluster export takes the scatter plot's road: a full disk
// and a set that gives no file each say so in one box.
TEST_F(HeatMapDock, AClusterExportOntoAFullDiskOrOfASetWithoutFilesSaysSo) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    for (const bool perSample : {false, true}) {
        UI_ModalDialogs::answerSaveFile(path("c.fcs"));
        {
            FileSizeLimit limit(200);
            ASSERT_TRUE(limit.ok());
            dock->js_saveClusters(perSample);
        }
        const auto boxes = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(boxes.size(), 1u) << perSample;
        EXPECT_TRUE(boxes[0].text.contains("could not all be written")) << boxes[0].text.toStdString();
    }
    for (auto& members : blobs->clusters()) members.clear();
    dock->js_saveClusters(true);
    blobs->clusters().clear();
    dock->js_saveClusters(false);
    const auto boxes = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Heat Map");
    EXPECT_TRUE(boxes[0].text.contains("has no events in its clusters")) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[1].text.contains("has no clusters")) << boxes[1].text.toStdString();
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "no file was asked for";
}

// Every export of the dock that fails says why in its box: a disk that
// fills up, a folder that takes no file, a named pipe in the place of the
// (first) file.
TEST_F(HeatMapDock, EveryFailedExportSaysWhyInItsBox) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    const QString out = path("out");
    struct Export {
        const char* what;
        std::function<void()> run;
        QString first;  // the first file it writes
        const char* says;
    };
    const std::vector<Export> exports = {
        {"median table", [&] { dock->js_saveCSV(); }, out + "/t.csv", "The table could not be written to"},
        {"cell origins", [&] { dock->js_saveStatistics(); }, out + "/t1.csv", "could not be written:\n"},
        {"cluster files", [&] { dock->js_saveClusters(false); }, out + "/t-1.fcs", "could not all be written"},
        {"cluster files per sample", [&] { dock->js_saveClusters(true); },
         out + "/t-1-" + QString::fromStdString(data->fileName(0, true)) + ".fcs", "could not all be written"},
    };
    enum How { Full, ReadOnly, Pipe };
    const std::pair<How, const char*> failures[] = {{Full, "writing failed (File too large)"},
                                                    {ReadOnly, "cannot take the new file (Permission denied)"},
                                                    {Pipe, "it is a named pipe, not a regular file"}};
    for (const Export& e : exports)
        for (const auto& [how, reason] : failures) {
            SCOPED_TRACE(std::string(e.what) + ": " + reason);
            ASSERT_TRUE(QDir().mkpath(out));
            UI_ModalDialogs::answerSaveFile(out + "/t." + (QString(e.what).startsWith("cluster") ? "fcs" : "csv"));
            if (how == Full) {
                FileSizeLimit limit(16);
                ASSERT_TRUE(limit.ok());
                e.run();
            } else if (how == ReadOnly) {
                ReadOnlyFolder readOnly(out.toStdString());
                ASSERT_TRUE(readOnly.ok());
                e.run();
            } else {
                ASSERT_EQ(::mkfifo(QFile::encodeName(e.first).constData(), 0600), 0);
                e.run();
            }
            const auto boxes = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(std::make_pair(boxes[0].icon, boxes[0].title),
                      std::make_pair(QMessageBox::Warning, QString("Heat Map")));
            EXPECT_TRUE(boxes[0].text.contains(e.says)) << boxes[0].text.toStdString();
            EXPECT_TRUE(boxes[0].text.contains(e.first)) << boxes[0].text.toStdString();
            EXPECT_TRUE(boxes[0].text.contains(reason)) << boxes[0].text.toStdString();
            ASSERT_TRUE(QDir(out).removeRecursively());
        }
}

// The heat map's cluster export asks before it replaces files of the
// series, as the scatter plot's does.
TEST_F(HeatMapDock, AClusterExportOverAnEarlierOneAsksFirst) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    const QString out = path("out");
    ASSERT_TRUE(QDir().mkpath(out));
    QFile old(out + "/e-2.fcs");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an earlier export");
    old.close();
    const auto before = folderSnapshot(out);
    for (const bool yes : {false, true}) {
        UI_ModalDialogs::answerSaveFile(out + "/e.fcs");
        UI_ModalDialogs::answerQuestion(yes);
        dock->js_saveClusters(false);
        const auto asked = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(asked.size(), 1u) << yes;
        EXPECT_EQ(std::make_pair(asked[0].icon, asked[0].title),
                  std::make_pair(QMessageBox::Question, QString("Heat Map")));
        EXPECT_TRUE(asked[0].text.startsWith("1 of the 3 files named after \"" + out + "/e.fcs\" already exists."))
            << asked[0].text.toStdString();
        if (!yes) {
            EXPECT_EQ(folderSnapshot(out), before);
        }
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(StrictFcs::parse(readAll(out + "/e-2.fcs")).number("$TOT"), int64_t(eventsOf({1}).size()));
}

TEST_F(HeatMapDock, TheSavedDrawingIsStandaloneSvgWithTheNamesIntact) {
    UI_HeatMapWidget* dock = open();
    choose(dock, QString::fromStdString(setName));
    const QString spaced = QString::fromUtf8(
        "T\xc2\xa0"
        "cells <b>&");
    blobs->setClusterName(0, spaced.toStdString());
    blobs->setClusterName(1, "bad\x01name");
    const QString file = path("drawing.svg");
    UI_ModalDialogs::answerSaveFile(file);
    js(dock, "printSVG()");

    QXmlStreamReader xml(bytes(file));
    QStringList texts, rootChildren;
    int depth = 0;
    bool namespaces = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (depth == 0) {
                EXPECT_EQ(xml.name(), QLatin1String("svg"));
                EXPECT_EQ(xml.namespaceUri(), QLatin1String("http://www.w3.org/2000/svg"));
                for (const QXmlStreamNamespaceDeclaration& d : xml.namespaceDeclarations())
                    namespaces |= d.prefix() == QLatin1String("xlink") &&
                                  d.namespaceUri() == QLatin1String("http://www.w3.org/1999/xlink");
            }
            if (depth == 1) rootChildren << xml.name().toString();
            if (xml.name() == QLatin1String("text"))
                texts << xml.readElementText();
            else
                ++depth;
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(namespaces);
    ASSERT_FALSE(rootChildren.isEmpty());
    EXPECT_EQ(rootChildren.last(), "style");
    EXPECT_TRUE(texts.contains(spaced)) << texts.join("|").toStdString();
    EXPECT_TRUE(texts.contains("badname"));
    EXPECT_TRUE(texts.contains("CD4"));
}

}  // namespace
