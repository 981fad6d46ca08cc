// The statistics panels: per-file counts and shares of the shared selection
// (0 where a share is undefined), the sample statistics CSV in display order,
// and the selection statistics table with its refresh modes and its columns
// following added variables.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_FcsHeader.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTableWidget>

namespace {

using namespace viewtest;

class StatisticsTest : public DataFixture {
protected:
    static int number(QTableWidget* t, int row, int column) {
        return t->item(row, column)->data(Qt::DisplayRole).toInt();
    }
    static float share(QTableWidget* t, int row, int column) {
        return t->item(row, column)->data(Qt::DisplayRole).toFloat();
    }
    // Selects the first `a` events of file 0 and `b` of file 1.
    void select(int a, int b) {
        MCV_DerivedDataPoints* s = MCV_CytometryData::Instance()->selectionPoints();
        s->data().clear();
        for (int e = 0; e < a; ++e) s->data().push_back({0, e});
        for (int e = 0; e < b; ++e) s->data().push_back({1, e});
        s->refreshed(nullptr);
    }
};

TEST_F(StatisticsTest, SampleCountsAndSharesPerFile) {
    UI_SampleStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->item(0, 1)->text(), "run #1 a.fcs");
    EXPECT_EQ(number(t, 1, 2), 12);
    // Unbound: selection changes leave the cells.
    select(5, 3);
    panel.refreshWidget();
    EXPECT_EQ(number(t, 0, 3), 0);

    // Bound with the normal empty selection: 0, not NaN.
    select(0, 0);
    panel.setActiveSelection(all);
    for (int r = 0; r < 2; ++r)
        for (int c = 4; c < 7; ++c) EXPECT_EQ(share(t, r, c), 0.0f) << r << c;

    select(5, 3);
    panel.refreshWidget();
    EXPECT_EQ(number(t, 0, 3), 5);
    EXPECT_EQ((std::vector<float>{share(t, 0, 4), share(t, 1, 4), share(t, 0, 5), share(t, 0, 6)}),
              (std::vector<float>{25.0f, 25.0f, 62.5f, 50.0f}));

    // Sorted by "Total events" ascending, a refresh still fills each file's row.
    t->sortItems(2, Qt::AscendingOrder);
    ASSERT_EQ(t->item(0, 1)->text(), "run?2.fcs");
    select(10, 6);
    panel.refreshWidget();
    EXPECT_EQ(number(t, 0, 3), 6);
    EXPECT_EQ(number(t, 1, 3), 10);

    const QString path = dir.filePath("stats.csv");
    answerWith(path);
    childWithText<QPushButton>(&panel, "Save ...")->click();
    EXPECT_EQ(bytes(path),
              QByteArray("Idx, Filename, Total events, in selection, % in selection, % of selection, % of selection "
                         "normalized\n2, run?2.fcs, 12, 6, 50, 37.5, 50\n1, run #1 a.fcs, 20, 10, 50, 62.5, 50"));
}

TEST_F(StatisticsTest, FilesWithoutActiveEventsShowZero) {
    MCV_DerivedDataPoints* onlyFirst = MCV_CytometryData::Instance()->addDownsampledData("first", all, {20, 0});
    UI_SampleStatisticsWidget panel(nullptr);
    select(4, 0);
    panel.setActiveSelection(onlyFirst);
    QTableWidget* t = panel.statisticsTable();
    EXPECT_EQ(number(t, 1, 2), 0);
    EXPECT_EQ(share(t, 1, 4), 0.0f);
    EXPECT_FLOAT_EQ(share(t, 0, 6), 100.0f);
}

TEST_F(StatisticsTest, SelectionStatisticsRefreshModesAndFormat) {
    select(3, 0);  // CD3 values 0, 1, 2 of file 0; CD4 0
    UI_SelectionStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    ASSERT_EQ(t->columnCount(), 4);
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "CD3");
    EXPECT_EQ(t->item(2, 0)->text(), "Std Dev");
    EXPECT_EQ(t->item(1, 1)->text(), "1.00");
    EXPECT_EQ(t->item(0, 2)->text(), "0.00");

    // Off: an unforced refresh changes nothing; "Refresh" does.
    select(5, 0);
    panel.refreshWidget(false);
    EXPECT_EQ(t->item(1, 1)->text(), "1.00");
    panel.refreshPushButton()->click();
    EXPECT_EQ(t->item(1, 1)->text(), "2.00");
    // Ticking refreshes at once and disables "Refresh".
    select(7, 0);
    panel.continuousBox()->click();
    EXPECT_FALSE(panel.refreshPushButton()->isEnabled());
    EXPECT_EQ(t->item(1, 1)->text(), "3.00");
    select(9, 0);
    panel.refreshWidget(false);
    EXPECT_EQ(t->item(1, 1)->text(), "4.00");

    // An embedding analysis adds two variables: the columns follow.
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.5f);
    panel.refreshWidget(false);
    ASSERT_EQ(t->columnCount(), 6);
    EXPECT_EQ(t->horizontalHeaderItem(5)->text(), "QLMRN_TsneY");
    EXPECT_EQ(t->item(1, 5)->text(), "0.50");
    const QStringList lines = panel.csvText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], "Mean, 4.00, 0.00, 1.00, 0.50, 0.50");
}

TEST_F(StatisticsTest, SampleStatisticsKeepToTheirRowsWhenFilesAreAdded) {
    UI_SampleStatisticsWidget panel(nullptr);
    panel.setActiveSelection(all);
    // A third file after construction has no row; nothing is read past the rows.
    FcsTestFile extra = FcsTestFile::floats({{1, 2, 3}});
    extra.set("$P1S", "CD3");
    extra.set("$P2S", "CD4");
    extra.set("$P3S", "CD8");
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(extra.write(dir, "late.fcs")), 0);
    select(1, 1);
    panel.refreshWidget();
    EXPECT_EQ(panel.statisticsTable()->rowCount(), 2);
    EXPECT_EQ(panel.statisticsTable()->item(0, 3)->data(Qt::DisplayRole).toInt(), 1);
}

}  // namespace

TEST_F(StatisticsTest, AFileThatCannotBeWrittenIsReported) {
    UI_SampleStatisticsWidget panel(nullptr);
    UI_ModalDialogs::takeMessages();
    // A folder where the file should be: the write fails.
    const QString path = dir.filePath("taken.csv");
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.csv"));
    answerWith(path);
    childWithText<QPushButton>(&panel, "Save ...")->click();
    const std::vector<UI_ModalDialogs::Message> shown = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(shown[0].text.contains("taken.csv")) << shown[0].text.toStdString();
}
