// The SPADE tree dock's side of the page protocol on a real SPADE run:
// selections, highlights, stored layouts, bubbles and their exports. The
// page's own behaviour is in test_SpadePages.cpp; the views with their pages
// in tests/app/test_SpadeViews.cpp and test_SpadeTreeRoad.cpp.
#include "SpadeTreeFixture.h"

#include "../../data/StrictFcsReader.h"
#include "support/FileSizeLimit.h"
#include "support/ReadOnlyFolder.h"

#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_Settings.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>
#include <QXmlStreamReader>

#include <cstring>
#include <functional>

namespace {

// Qt's debug lines written while `f` runs.
QStringList debugLines;
template <typename F>
std::string loggedWhile(F&& f) {
    debugLines.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { debugLines << text; });
    f();
    qInstallMessageHandler(previous);
    return debugLines.join('\n').toStdString();
}

std::string readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

TEST_F(SpadeTreeTest, NodeSelectionsBecomeTheSharedSelectionAndBadIndicesAreDropped) {
    compute();
    UI_SpadeWidget* view = open(false);
    QSignalSpy announced(&bridge, &UI_Interface::dataRefreshedSignal);
    MCV_DerivedDataPoints* selection = data->selectionPoints();

    // {indices from the page, clusters meant}
    const std::vector<std::pair<QList<int>, std::vector<int>>> cases = {
        {{0, 2}, {0, 2}},
        {{1, 1, 99, -1, 0}, {1, 0}},  // repeats and strangers are dropped
        {{}, {}},                     // clears the selection
    };
    for (const auto& [page, meant] : cases) {
        announced.clear();
        view->selectionUpdated(page);
        EXPECT_EQ(asSet(selection->data()), eventsOf(meant));
        EXPECT_EQ(selection->data().size(), eventsOf(meant).size()) << "no event twice";
        EXPECT_EQ(selection->refreshSource(), view);
        ASSERT_GE(announced.size(), 1);
        EXPECT_EQ(announced.last().at(0).value<void*>(), selection) << "announced last with this view as origin";
    }
    announced.clear();
    view->selectionUpdated({});
    view->selectionUpdated({-3, 50});
    EXPECT_EQ(announced.size(), 0) << "nothing selected before or after: the shared selection is left alone";
}

TEST_F(SpadeTreeTest, HighlightsAndLayoutsFlowFromTheMasterToItsSetAndTheFollowers) {
    compute();
    UI_SpadeWidget* master = open(false);
    UI_SpadeWidget* slave = open(true);
    QSignalSpy masterPositions(master, &UI_SpadeWidget::qt_setPositions);
    QSignalSpy slavePositions(slave, &UI_SpadeWidget::qt_setPositions);
    QSignalSpy masterData(master, &UI_SpadeWidget::qt_setData);

    for (const auto& [page, stored] : {std::pair(1, 1), {-1, -1}, {999, -1}, {-7, -1}, {0, 0}}) {
        master->jsHighlightUpdated(page);
        EXPECT_EQ(clusters->highlightId(), stored) << page;
    }

    const QString layout = QString::fromUtf8("[{\"px\":1.5,\"py\":-2},{\"px\":0,\"py\":3}]");
    master->nodePositionsUpdated(layout);
    EXPECT_EQ(QString::fromStdString(clusters->spadePositions()), layout);
    ASSERT_GE(slavePositions.size(), 1);
    EXPECT_EQ(slavePositions.last().at(0).toString(), layout);

    // Another cluster set's changes: the master ignores them, a slave
    // re-reads its own set's layout.
    MCV_DerivedDataClusters* other = data->derivedDataClusters("Other", false);
    masterPositions.clear();
    slavePositions.clear();
    masterData.clear();
    other->updateSpadePositions("[]");
    other->setClusters({{{0, 0}}}, nullptr, {}, nullptr);
    EXPECT_EQ(std::make_pair(masterPositions.size(), masterData.size()), std::make_pair(0, 0));
    ASSERT_EQ(slavePositions.size(), 1);
    EXPECT_EQ(slavePositions.last().at(0).toString(), layout);
    clusters->invalidateStatistics();
    clusters->refreshed(nullptr);
    EXPECT_EQ(masterData.size(), 1) << "its own set's change reaches the page";
}

TEST_F(SpadeTreeTest, BubblesBecomePointSetsOnlyUnderFreeNames) {
    compute();
    UI_SpadeWidget* view = open(false);
    QSignalSpy created(view, &UI_SpadeWidget::subtreeCreated);
    MCV_DerivedDataPoints* all = pointSet("All Points");
    const std::vector<Pair> allBefore = all->data();

    view->js_subtreeCreated({2, 0, 0, 77, -1}, "B1");
    ASSERT_EQ(created.size(), 1);
    MCV_DerivedDataPoints* b1 = pointSet("B1");
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(asSet(b1->data()), eventsOf({2, 0}));
    EXPECT_EQ(b1->data().size(), eventsOf({2, 0}).size()) << "a repeated node adds its events once";
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    // Names of other data sets are refused with a box naming the set.
    for (const char* taken : {"All Points", "Selection", "Tree"}) {
        view->js_subtreeCreated({1}, taken);
        const auto boxes = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(boxes.size(), 1u) << taken;
        EXPECT_TRUE(boxes[0].text.contains(QString("\"") + taken + "\"")) << boxes[0].text.toStdString();
    }
    EXPECT_EQ(created.size(), 1);
    EXPECT_EQ(all->data(), allBefore);

    // Its own bubble is refilled.
    view->js_subtreeCreated({1}, "B1");
    EXPECT_EQ(asSet(b1->data()), eventsOf({1}));
    EXPECT_EQ(created.size(), 2);
}

// A master view shown with its tree drawn; its page's script is `page`.
class ShownTree : public SpadeTreeTest {
protected:
    void SetUp() override {
        SpadeTreeTest::SetUp();
        compute();
        view = open(false);
        view->resize(700, 600);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return page("graph ? graph.nodes.length : 0").toInt() == clusters->numClusters(); }, 15000));
    }
    QString page(const QString& script) {
        return view->view()->page()->mainFrame()->evaluateJavaScript(script).toString();
    }
    UI_SpadeWidget* view = nullptr;
};

// A bubble saved on the page under a name the analysis refuses is taken back
// from the page: the bubbles (with the members they had) and the selection
// are those before the save, and no line claims the bubble was created.
TEST_F(ShownTree, ARefusedBubbleNameLeavesNothingOnThePage) {
    page("stopLayout(); selectNodes(d => d.index == 0); saveBubble('B1')");
    ASSERT_NE(pointSet("B1"), nullptr);
    const QString held =
        "subTrees.map(b => b.name + ':' + bubbleMembers(b.name).map(d => d.index).join('+')).join(' ') + '|' +"
        "d3.selectAll('path.bubbleHull').size() + ' ' + d3.selectAll('.bubbleLabel').size() + '|' +"
        "selectedNodes().map(d => d.index).join()";
    for (const char* name : {"All Points", "Selection", "Tree"}) {
        const std::string out =
            loggedWhile([&] { page(QString("selectNodes(d => d.index <= 1); saveBubble('%1')").arg(name)); });
        EXPECT_EQ(page(held).toStdString(), "B1:0|1 1|0,1") << name;
        EXPECT_EQ(out.find("New Subtree created"), std::string::npos) << out;
        EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << name;
        EXPECT_EQ(asSet(data->selectionPoints()->data()), eventsOf({0, 1})) << "the selection is back";
    }
    EXPECT_EQ(asSet(pointSet("B1")->data()), eventsOf({0}));

    const std::string out = loggedWhile([&] { page("selectNodes(d => d.index == 2); saveBubble('B2')"); });
    EXPECT_NE(out.find("New Subtree created: B2 = (2)"), std::string::npos) << out;
    EXPECT_EQ(page(held).toStdString(), "B1:0 B2:2|2 2|");
}

// A master that is the only view of its tree lays it out only while its dock
// is shown; hidden, its steps stop where they are, and shown again it goes
// on.
TEST_F(ShownTree, AHiddenDockStopsItsLayout) {
    const auto steps = [&] { return page("layoutTicks").toInt(); };
    page("simulation.alpha(1)");
    const int start = steps();
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps() > start + 3; }, 5000)) << "the layout runs while shown";
    view->hide();
    const int hidden = steps();
    QTest::qWait(400);
    EXPECT_EQ(steps(), hidden);
    view->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return steps() > hidden + 3; }, 5000)) << "and goes on when shown";
}

// The master page lays the tree out for every view of it: its layout runs
// while any of them is shown, the master or a slave, and waits while none
// is. A view of another tree does not count, nor a view that is gone.
TEST_F(ShownTree, TheLayoutRunsWhileAnyViewOfTheTreeIsShown) {
    UI_SpadeWidget* first = open(true);
    UI_SpadeWidget* second = open(true);
    MCV_SpadeAnalysis otherTree;
    otherTree.init(&bridge, "Other tree");
    auto foreign = std::make_unique<UI_SpadeWidget>(nullptr, &otherTree, true);
    const auto showIf = [](UI_SpadeWidget* v, bool shown) { shown ? v->show() : v->hide(); };
    const auto active = [&] { return page("layoutActive") == "true"; };

    struct Row {
        bool master, first, second, foreign;
    };
    const Row rows[] = {
        {true, false, false, false}, {false, false, false, false}, {false, true, false, false},
        {false, true, true, false},  {false, false, true, false},  {false, false, false, true},
        {true, true, true, true},    {true, false, false, true},   {false, false, false, false},
    };
    for (const Row& r : rows) {
        showIf(view, r.master);
        showIf(first, r.first);
        showIf(second, r.second);
        showIf(foreign.get(), r.foreign);
        QCoreApplication::processEvents();
        EXPECT_EQ(active(), r.master || r.first || r.second) << r.master << r.first << r.second << r.foreign;
    }

    // Only a slave shown: the steps go on from where they stopped.
    const auto steps = [&] { return page("layoutTicks").toInt(); };
    page("simulation.alpha(1)");
    const int paused = steps();
    QTest::qWait(200);
    ASSERT_EQ(steps(), paused);
    second->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return steps() > paused + 3; }, 5000)) << "a slave is shown";
    // The shown slave goes: none is left, and the layout waits again.
    views.erase(std::find_if(views.begin(), views.end(), [&](const auto& v) { return v.get() == second; }));
    EXPECT_FALSE(active());
    const int gone = steps();
    QTest::qWait(200);
    EXPECT_EQ(steps(), gone);
    first->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return steps() > gone + 3; }, 5000)) << "the other slave is shown";
}

// A step that takes long leaves its drawing to the next slice, which takes
// no step, so that a step, a drawing and its paint never add up in one turn
// of the event loop; a short step is drawn in its own slice as before.
TEST_F(ShownTree, ALongStepLeavesItsDrawingToASliceOfItsOwn) {
    page(
        "stopLayout(); var reports = 0; var reportOnce = reportPositions;"
        "reportPositions = function () { ++reports; reportOnce(); };"
        "longStepMs = -1; drawNext = false; simulation.alpha(1); lastDrawEnd = -Infinity");
    const int ticks = page("layoutTicks").toInt();
    page("layoutSlice(); stopLayout()");
    EXPECT_EQ(page("layoutTicks").toInt(), ticks + 1);
    EXPECT_EQ(page("reports").toInt(), 0) << "the due drawing waits for the next slice";
    page("layoutSlice(); stopLayout()");
    EXPECT_EQ(page("layoutTicks").toInt(), ticks + 1) << "which takes no step";
    EXPECT_EQ(page("reports").toInt(), 1) << "and draws";
    page("longStepMs = 1e9; lastDrawEnd = -Infinity; layoutSlice(); stopLayout()");
    EXPECT_EQ(page("layoutTicks").toInt(), ticks + 2);
    EXPECT_EQ(page("reports").toInt(), 2) << "a short step is drawn in its own slice";
}

TEST_F(SpadeTreeTest, ATemplateTreeRefusesBubbles) {
    MCV_TemplateAnalysis classification;
    classification.init(&bridge, "Classes", {{0, 0, 0, 0}, {10, 10, 10, 10}, {20, 20, 20, 20}});
    for (int m = 0; m < 4; ++m) classification.setMarkerState(m, true);
    quietly([&] { ASSERT_TRUE(classification.upsampleData()); });
    UI_SpadeWidget view(nullptr, &classification, false);
    ASSERT_NE(view.clusterSet(), nullptr);
    EXPECT_GE(view.clusterSet()->numClusters(), 3);
    QSignalSpy created(&view, &UI_SpadeWidget::subtreeCreated);
    const size_t sets = data->derivedDataPoints().size();

    view.js_subtreeCreated({0, 1}, "Bubble");
    view.exportSubtree("Bubble", 0);
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 2u);
    EXPECT_EQ(created.size(), 0);
    EXPECT_EQ(data->derivedDataPoints().size(), sets);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0) << "no file was asked for";
}

class BubbleExport : public SpadeTreeTest {
protected:
    // Every case starts with no export folder remembered and leaves none:
    // other tests of the process remember theirs.
    void SetUp() override {
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        SpadeTreeTest::SetUp();
        compute();
        view = open(false);
        view->js_subtreeCreated({0, 2}, "B/1");
        ASSERT_NE(pointSet("B/1"), nullptr);
    }
    void TearDown() override {
        SpadeTreeTest::TearDown();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
    }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    // Exports the bubble answering the file question with `file`.
    void save(const QString& file, int mode) {
        UI_ModalDialogs::answerSaveFile(file);
        view->exportSubtree("B/1", mode);
    }
    // Event e of file f, variable v, as loaded.
    const float& value(const Pair& p, int v) {
        const int width = data->combinedHeader()->numVariables();
        return data->rawData(
            p.first)[static_cast<size_t>(p.second) * static_cast<size_t>(width) + static_cast<size_t>(v)];
    }
    std::vector<Pair> bubble() { return pointSet("B/1")->data(); }
    UI_SpadeWidget* view = nullptr;
};

TEST_F(BubbleExport, AnFcsFileHoldsTheBubblesEventsWithEveryVariableBitForBit) {
    save(path("bubble.fcs"), 0);
    EXPECT_EQ(UI_ModalDialogs::lastProposedName(), "B_1.fcs") << "the name made safe as a file name";
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Cytometry Files (*.fcs);;Binary File (*.bin)");
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    const StrictFcs fcs = StrictFcs::parse(readAll(path("bubble.fcs")));
    ASSERT_TRUE(fcs.ok) << fcs.error;
    const std::vector<Pair> events = bubble();
    const int width = data->combinedHeader()->numVariables();
    ASSERT_EQ(fcs.number("$TOT"),
              static_cast<int64_t>(clusters->clusters()[0].size() + clusters->clusters()[2].size()));
    ASSERT_EQ(fcs.number("$PAR"), width);
    for (size_t i = 0; i < events.size(); ++i)
        for (int v = 0; v < width; ++v)
            ASSERT_EQ(std::memcmp(&fcs.values[i * static_cast<size_t>(width) + static_cast<size_t>(v)],
                                  &value(events[i], v), 4),
                      0)
                << i << " " << v;
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), QDir::home().absolutePath()) << "no folder remembered yet";

    // The next export opens where the last one went; one file per sample.
    save(path("per.fcs"), 1);
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), dir.path());
    size_t total = 0;
    for (int f = 0; f < 3; ++f) {
        const StrictFcs sample = StrictFcs::parse(readAll(path("per-sample " + QString::number(f + 1) + ".fcs")));
        ASSERT_TRUE(sample.ok) << f << sample.error;
        const auto ofFile = std::count_if(events.begin(), events.end(), [&](const Pair& p) { return p.first == f; });
        EXPECT_EQ(sample.number("$TOT"), ofFile);
        total += static_cast<size_t>(sample.number("$TOT"));
    }
    EXPECT_EQ(total, events.size());
}

TEST_F(BubbleExport, ABinaryFileHoldsTheEnabledMarkersInAscendingOrder) {
    spade->setMarkerState(1, false);
    save(path("bubble.bin"), 0);
    const std::vector<Pair> events = bubble();
    std::string expected;
    for (const Pair& p : events)
        for (int v : {0, 2, 3}) expected.append(reinterpret_cast<const char*>(&value(p, v)), 4);
    EXPECT_EQ(readAll(path("bubble.bin")), expected);

    save(path("per.bin"), 1);
    std::string joined;
    for (int f = 0; f < 3; ++f) joined += readAll(path("per-sample " + QString::number(f + 1) + ".bin"));
    EXPECT_EQ(joined.size(), expected.size());
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

TEST_F(BubbleExport, FailuresAndForeignNamesAreReportedAndWriteNothing) {
    struct Case {
        const char* what;
        std::function<void()> act;
        QString mentions;
    };
    const std::vector<Case> cases = {
        {"unwritable folder", [&] { save(path("gone/b.fcs"), 0); }, path("gone/b.fcs")},
        {"unwritable folder, binary", [&] { save(path("gone/b.bin"), 0); }, path("gone/b.bin")},
        {"unwritable folder, per sample", [&] { save(path("gone/b.fcs"), 1); }, path("gone/b.fcs")},
        {"a foreign set", [&] { view->exportSubtree("All Points", 0); }, "\"All Points\""},
        {"no such bubble", [&] { view->exportSubtree("B2", 0); }, "\"B2\""},
        {"no enabled marker",
         [&] {
             for (int m = 0; m < 4; ++m) spade->setMarkerState(m, false);
             save(path("none.bin"), 0);
         },
         "marker"},
    };
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const Case& c : cases) {
        c.act();
        const auto boxes = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_TRUE(boxes[0].text.contains(c.mentions)) << c.what << ": " << boxes[0].text.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before) << c.what;
    }
    UI_ModalDialogs::reset();
    view->exportSubtree("B/1", 0);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty()) << "a cancelled question says nothing";
}

// A bubble or tree export that cannot write its file says why in its box:
// the writer's reason for each file not written (one file, or one per
// sample).
TEST_F(BubbleExport, AFailedExportSaysWhyInItsBox) {
    const QString out = path("out");
    struct Export {
        const char* what;
        std::function<void(const QString& out)> run;
        QStringList files;  // not written, each named in the box
    };
    const std::vector<Export> exports = {
        {"FCS", [&](const QString& o) { save(o + "/b.fcs", 0); }, {"b.fcs"}},
        {"FCS per sample",
         [&](const QString& o) { save(o + "/b.fcs", 1); },
         {"b-sample 1.fcs", "b-sample 2.fcs", "b-sample 3.fcs"}},
        {"binary", [&](const QString& o) { save(o + "/b.bin", 0); }, {"b.bin"}},
        {"binary per sample",
         [&](const QString& o) { save(o + "/b.bin", 1); },
         {"b-sample 1.bin", "b-sample 2.bin", "b-sample 3.bin"}},
        {"tree drawing",
         [&](const QString& o) {
             UI_ModalDialogs::answerSaveFile(o + "/tree.svg");
             view->js_saveSVG("<svg><text>tree</text></svg>");
         },
         {"tree.svg"}},
    };
    for (const Export& e : exports)
        for (const bool readOnlyFolder : {false, true}) {
            SCOPED_TRACE(std::string(e.what) + (readOnlyFolder ? ", read-only folder" : ", full disk"));
            ASSERT_TRUE(QDir().mkpath(out));
            if (readOnlyFolder) {
                ReadOnlyFolder readOnly(out.toStdString());
                ASSERT_TRUE(readOnly.ok());
                e.run(out);
            } else {
                FileSizeLimit limit(16);
                ASSERT_TRUE(limit.ok());
                e.run(out);
            }
            const auto boxes = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
            const QString reason = readOnlyFolder
                                       ? "the folder " + out + " cannot take the new file (Permission denied)"
                                       : "writing failed (File too large)";
            for (const QString& f : e.files)
                EXPECT_TRUE(boxes[0].text.contains(out + "/" + f + ": " + reason)) << boxes[0].text.toStdString();
            EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
            ASSERT_TRUE(QDir(out).removeRecursively());
        }
}

// The writer is chosen by the file name's suffix, as the data model chooses
// it: a folder named like a suffix makes no binary file.
TEST_F(BubbleExport, AFolderWithADotInItsNameHoldsTheFilesUnderTheChosenName) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("run.bin"));
    save(path("run.bin/bubble"), 0);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_TRUE(StrictFcs::parse(readAll(path("run.bin/bubble"))).ok);
    ASSERT_TRUE(QDir(dir.path()).mkpath("run.1"));
    save(path("run.1/per"), 1);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_EQ(QDir(path("run.1")).entryList(QDir::Files).size(), 3) << "one file per sample, inside run.1";
}

// The tree's "Save Image ...": names reach the file without the characters
// XML refuses, and a file that cannot be written is named in a warning.
TEST_F(BubbleExport, TheSavedTreeIsXmlWhateverTheNamesHoldAndAFailureIsReported) {
    QString named = "<svg><text>B";
    named += QChar(1);
    named += "/1";
    named += QChar(0x1f);
    named += " bubble</text></svg>";
    UI_ModalDialogs::answerSaveFile(path("gone/tree.svg"));
    view->js_saveSVG(named);
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(path("gone/tree.svg")));
    EXPECT_FALSE(QDir(path("gone")).exists());

    UI_ModalDialogs::answerSaveFile(path("tree.svg"));
    view->js_saveSVG(named);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    QXmlStreamReader xml(QByteArray::fromStdString(readAll(path("tree.svg"))));
    QString text;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
            text = xml.readElementText();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(text, "B/1 bubble");
}

}  // namespace

namespace {

// Pages loading side by side: the engine may report a load before the page's
// script has connected; each follower still gets the tree and its layout.
TEST_F(SpadeTreeTest, FollowersOpenedTogetherAllGetTheTreeAndTheLayout) {
    compute();
    std::vector<std::pair<double, double>> layout;
    QString text = "[";
    for (int i = 0; i < clusters->numClusters(); ++i)
        text += QString("%1{\"px\":%2,\"py\":%3}").arg(i ? "," : "").arg(i).arg(i * i);
    clusters->updateSpadePositions((text + "]").toStdString());
    std::vector<UI_SpadeWidget*> followers = {open(true), open(true), open(true)};
    for (UI_SpadeWidget* view : followers) view->show();
    const QString drawn = "graph ? graph.nodes.map(d => d.x + ':' + d.y).join() : ''";
    QString expected;
    for (int i = 0; i < clusters->numClusters(); ++i)
        expected += QString("%1%2:%3").arg(i ? "," : "").arg(i).arg(i * i);
    for (UI_SpadeWidget* view : followers) {
        QWebFrame* frame = view->view()->page()->mainFrame();
        for (int waited = 0; frame->evaluateJavaScript(drawn).toString() != expected && waited < 15000; waited += 20)
            QTest::qWait(20);
        EXPECT_EQ(frame->evaluateJavaScript(drawn).toString(), expected);
    }
}

// What a master page is told when it first loads: to lay its tree out when
// any view of the tree is shown at that moment, its own dock or a follower
// opened and shown before it, and to wait otherwise.
TEST_F(SpadeTreeTest, AMasterPageLoadsLayingOutWhenAnyViewOfItsTreeIsShown) {
    compute();
    struct Row {
        const char* what;
        bool followerShown, followerHiddenAgain, masterShown;
        bool layingOut;
    };
    const Row rows[] = {
        {"hidden master, follower shown", true, false, false, true},
        {"hidden master, follower shown and hidden again", true, true, false, false},
        {"nothing shown", false, false, false, false},
        {"shown master", false, false, true, true},
    };
    for (const Row& r : rows) {
        views.clear();
        UI_SpadeWidget* follower = open(true);
        if (r.followerShown) follower->show();
        if (r.followerHiddenAgain) follower->hide();
        UI_SpadeWidget* master = open(false);
        if (r.masterShown) master->show();
        QWebFrame* frame = master->view()->page()->mainFrame();
        const auto page = [frame](const char* script) {
            return frame->evaluateJavaScript(script).toString().toStdString();
        };
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return page("graph ? graph.nodes.length : 0") == std::to_string(clusters->numClusters()); }, 15000))
            << r.what;
        EXPECT_EQ(page("layoutActive"), r.layingOut ? "true" : "false") << r.what;
    }
}

}  // namespace
