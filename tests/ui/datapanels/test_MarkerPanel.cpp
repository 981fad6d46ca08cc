// The marker check list: grid layout, defaults, binding to an analysis, and
// the default-marker file it writes and the import reads.
#include "app/ShellTestSupport.h"
#include "data/FcsTestFile.h"
#include "support/WidgetFinders.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/boolVectorFile.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class MarkerPanel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }
    void TearDown() override {
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }
    void loadMarkers(int n) {
        std::vector<std::vector<float>> rows(2, std::vector<float>(static_cast<size_t>(n), 0.5f));
        ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(FcsTestFile::floats(rows).write(dir, "m.fcs")), 0);
    }
    static QPoint cell(UI_MarkerSelectionWidget& panel, QWidget* w) {
        QGridLayout* grid = static_cast<QGridLayout*>(panel.layout());
        int r = -1, c = -1, rs = 0, cs = 0;
        grid->getItemPosition(grid->indexOf(w), &r, &c, &rs, &cs);
        return QPoint(c, r);
    }
    // The current button of that text (earlier builds' go deferred).
    static QPushButton* button(UI_MarkerSelectionWidget& panel, const QString& text) {
        runDeferredDeletes();
        return childWithText<QPushButton>(&panel, text);
    }

    QTemporaryDir dir;
};

TEST_F(MarkerPanel, MarkersFillTheGridColumnByColumnWithTheSampleBoxAndButtonsAfterThem) {
    struct Case {
        int markers, columns;
        bool sample;
        std::vector<std::pair<int, QPoint>> boxes;  // marker -> (column, row)
        QPoint sampleBox, inverse, load, setDefault;
    };
    const QPoint none(-1, -1);
    const Case cases[] = {
        {7, 2, false, {{0, {0, 0}}, {3, {0, 3}}, {4, {1, 0}}, {6, {1, 2}}}, none, {0, 5}, {0, 6}, {1, 6}},
        {7, 2, true, {{6, {1, 2}}}, {1, 3}, {0, 5}, {0, 6}, {1, 6}},
        {6, 4, true, {{5, {2, 1}}}, {3, 0}, {0, 3}, none, none},
        {2, 4, true, {{1, {1, 0}}}, {2, 0}, {0, 2}, none, none},
        {0, 2, true, {}, none, none, none, none},  // no markers: no buttons either
    };
    for (const Case& c : cases) {
        delete MCV_CytometryData::Instance();
        if (c.markers) loadMarkers(c.markers);
        UI_MarkerSelectionWidget panel(nullptr, c.columns);
        panel.refreshWidget(c.sample);
        const std::string name = std::to_string(c.markers) + " in " + std::to_string(c.columns);
        ASSERT_EQ(panel.checkBoxes().size(), size_t(c.markers)) << name;
        for (auto [m, at] : c.boxes) EXPECT_EQ(cell(panel, panel.checkBoxes()[size_t(m)]), at) << name << " " << m;
        if (c.sampleBox != none) {
            EXPECT_EQ(cell(panel, panel.sampleBox()), c.sampleBox) << name;
        }
        const std::pair<const char*, QPoint> buttons[] = {
            {"Inverse Markers", c.inverse}, {"Load Selection", c.load}, {"Set Default", c.setDefault}};
        for (auto [text, at] : buttons) {
            QPushButton* b = button(panel, text);
            if (!c.markers || at != none) {
                EXPECT_EQ(b ? cell(panel, b) : none, at) << name << " " << text;
            }
        }
    }
}

TEST_F(MarkerPanel, DefaultsDecideInitialStatesAndLongerDefaultsAreClipped) {
    loadMarkers(10);
    {
        UI_MarkerSelectionWidget panel(nullptr, 2);
        panel.refreshWidget(false);
        EXPECT_EQ(panel.markerSelectionState(), std::vector<bool>(10, true)) << "no default: all checked";
    }
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true, true, true});
    {
        UI_MarkerSelectionWidget panel(nullptr, 2);
        panel.refreshWidget(false);
        EXPECT_EQ(panel.markerSelectionState(),
                  (std::vector<bool>{true, false, true, true, true, false, false, false, false, false}));
        EXPECT_FALSE(panel.checkBoxes()[1]->isChecked());
    }
    std::vector<bool> twelve(12, false);
    twelve[10] = twelve[11] = twelve[2] = true;
    MCV_Settings::Instance()->setDefaultMarkers(twelve);
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(true);
    // Flags of another data set never name a marker this one lacks.
    EXPECT_EQ(panel.markerSelectionState().size(), 10u);
    EXPECT_EQ(panel.selectedMarkers(), (std::vector<int>{-1, 2}));
    EXPECT_EQ(panel.checkBoxes().size(), 10u);
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers.size(), 12u) << "the stored default is left alone";
}

TEST_F(MarkerPanel, BoundAnalysisFollowsClicksAndInverse) {
    loadMarkers(4);
    TestAnalysis analysis(1, "a");
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true, true});
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(&analysis, true);
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{true, false, true, true}));

    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.checkBoxes()[0]->click();
    EXPECT_FALSE(analysis.markerStates()[0]);
    EXPECT_FALSE(panel.markerSelectionState()[0]);

    QTest::mouseClick(button(panel, "Inverse Markers"), Qt::LeftButton);
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(panel.markerSelectionState(), analysis.markerStates());
    EXPECT_FALSE(panel.sampleBox()->isChecked()) << "the Sample box flips too";
    EXPECT_EQ(panel.selectedMarkers(), (std::vector<int>{0, 1}));
    EXPECT_EQ(*analysis.selectedMarkers(), (std::vector<unsigned>{0, 1}));
}

TEST_F(MarkerPanel, SetDefaultWritesTheExactBytesBesideTheData) {
    loadMarkers(3);
    MCV_Settings::Instance()->setDefaultMarkers({true, false, true});
    QSettings().setValue("dataDefaultFilePath", dir.path());
    QSettings().sync();
    UI_MarkerSelectionWidget panel(nullptr, 4);
    panel.refreshWidget(false);
    MCV_Settings::Instance()->setDefaultMarkers({});
    button(panel, "Set Default")->click();

    QFile file(dir.filePath("QLMRN_DefaultMarkers.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1 0 1 "));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, (std::vector<bool>{true, false, true}));

    std::vector<bool> back;
    ASSERT_TRUE(readBoolVectorFromFile(file.fileName().toStdString(), &back));
    EXPECT_EQ(back, (std::vector<bool>{true, false, true}));
}

TEST_F(MarkerPanel, SetDefaultWithoutDataFolderWritesNothing) {
    loadMarkers(2);
    QSettings().remove("dataDefaultFilePath");
    QSettings().sync();
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(false);
    button(panel, "Set Default")->click();
    EXPECT_FALSE(QFile::exists("/QLMRN_DefaultMarkers.txt"));
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers.size(), 2u) << "the in-memory default is still set";
}

TEST_F(MarkerPanel, LoadSelectionReplacesFlagsAndRebuildsUnderItsOwnClick) {
    loadMarkers(4);
    ScriptedDialogs dialogs;
    QFile f(dir.filePath("sel.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0\n7 0\n1\n-3 ");
    f.close();
    UI_ModalDialogs::answerFiles({f.fileName()});
    TestAnalysis analysis(1, "a");
    UI_MarkerSelectionWidget panel(nullptr, 2);
    panel.refreshWidget(&analysis, false);
    panel.show();
    QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);  // rebuilds inside its own click
    EXPECT_EQ(UI_ModalDialogs::lastFilter(), "Text Files (*.txt)");
    // Five flags for four markers: the fifth is dropped.
    const std::vector<bool> expected{false, true, false, true};
    EXPECT_EQ(panel.markerSelectionState(), expected);
    EXPECT_EQ(MCV_Settings::Instance()->defaultMarkers, expected);
    EXPECT_EQ(analysis.markerStates(), (std::vector<bool>{false, true, false, true}));
    ASSERT_EQ(panel.checkBoxes().size(), 4u);
    EXPECT_TRUE(panel.checkBoxes()[1]->isChecked());

    // A cancelled choice changes nothing but still rebuilds.
    QTest::mouseClick(button(panel, "Load Selection"), Qt::LeftButton);
    EXPECT_EQ(panel.markerSelectionState(), expected);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);
}

TEST(BoolVectorFile, ReadsUntilTheFirstNonNumberAndRefusesMissingFiles) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("f.txt").toStdString();
    std::vector<bool> out{true};
    EXPECT_FALSE(readBoolVectorFromFile(path, &out));
    EXPECT_EQ(out, std::vector<bool>{true}) << "unchanged when the file cannot be opened";
    ASSERT_TRUE(writeBoolVectorToFile(path, {}));
    EXPECT_TRUE(readBoolVectorFromFile(path, &out));
    EXPECT_TRUE(out.empty());
    FcsTestFile::writeBytes(path, "1 0 2 x 1");
    EXPECT_TRUE(readBoolVectorFromFile(path, &out));
    EXPECT_EQ(out, (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(writeBoolVectorToFile(dir.filePath("no/such/folder.txt").toStdString(), {true}));
}

}  // namespace
