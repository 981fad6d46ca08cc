// The sample and selection statistics panels, and UTF-8 names in every data
// panel (FCS 3.1 TEXT and file systems write them).
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/datapanels/UI_SampleStatisticsWidget.h"
#include "ui/datapanels/UI_SelectionStatisticsWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace {

class StatisticsTest : public viewtest::DataFixture {
protected:
    static float number(QTableWidget* t, int row, int column) {
        return t->item(row, column)->data(Qt::DisplayRole).toFloat();
    }
    // Selects the first `a` events of file 0 and `b` of file 1.
    static void select(int a, int b) {
        MCV_DerivedDataPoints* s = MCV_CytometryData::Instance()->selectionPoints();
        s->data().clear();
        for (int e = 0; e < a; ++e) s->data().push_back({0, e});
        for (int e = 0; e < b; ++e) s->data().push_back({1, e});
        s->refreshed(nullptr);
    }
};

TEST_F(StatisticsTest, SampleCountsAndSharesPerFileInDisplayOrder) {
    UI_SampleStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    select(5, 3);
    panel.refreshWidget();
    EXPECT_EQ(number(t, 0, 3), 0) << "unbound: selection changes leave the cells";
    // Bound with the normal empty selection: 0, not NaN.
    select(0, 0);
    panel.setActiveSelection(all);
    for (int c = 4; c < 7; ++c) EXPECT_EQ(number(t, 1, c), 0.0f) << c;
    select(5, 3);
    panel.refreshWidget();
    EXPECT_EQ((std::vector<float>{number(t, 0, 3), number(t, 0, 4), number(t, 1, 4), number(t, 0, 5), number(t, 0, 6)}),
              (std::vector<float>{5, 25, 25, 62.5f, 50}));
    // Sorted by "Total events" ascending, a refresh still fills each file's row.
    t->sortItems(2, Qt::AscendingOrder);
    select(10, 6);
    panel.refreshWidget();
    const QString path = dir.filePath("stats.csv");
    answerWith(path);
    childWithText<QPushButton>(&panel, "Save ...")->click();
    EXPECT_EQ(bytes(path),
              QByteArray("Idx, Filename, Total events, in selection, % in selection, % of selection, % of selection "
                         "normalized\n2, run?2.fcs, 12, 6, 50, 37.5, 50\n1, run #1 a.fcs, 20, 10, 50, 62.5, 50"));
    // A folder where the file should be: the failed write is reported.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.csv"));
    answerWith(dir.filePath("taken.csv"));
    childWithText<QPushButton>(&panel, "Save ...")->click();
    const std::vector<UI_ModalDialogs::Message> shown = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(shown[0].text.contains("taken.csv")) << shown[0].text.toStdString();
}

// The panel counts the selected events of its own point set: a selection
// that reaches beyond a thinned set (another view's Ctrl+A, a cluster of
// another analysis) leaves "in selection" at most "Total events". Expected
// rows come from ordered sets built here.
TEST_F(StatisticsTest, SampleCountsAreTheSelectedEventsOfThePanelsOwnPointSet) {
    using Points = std::vector<std::pair<int, int>>;
    auto events = [](int file, int from, int to, int step) {
        Points out;
        for (int e = from; e < to; e += step) out.push_back({file, e});
        return out;
    };
    auto joined = [](std::initializer_list<Points> parts) {
        Points out;
        for (const Points& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // Every second event of each file: 10 of file 0, 6 of file 1.
    const Points even = joined({events(0, 0, 20, 2), events(1, 0, 12, 2)});
    MCV_DerivedDataPoints* thinned = MCV_CytometryData::Instance()->derivedDataPoints("Thinned", true);
    thinned->setPoints(even, false);
    const Points every = joined({events(0, 0, 20, 1), events(1, 0, 12, 1)});
    const struct {
        const char* what;
        MCV_DerivedDataPoints* set;
        Points selection;
    } cases[] = {
        {"every event selected", thinned, every},
        {"file 0 partly, file 1 wholly", thinned, joined({events(0, 0, 8, 1), events(1, 0, 12, 1)})},
        {"only events outside the set", thinned, joined({events(0, 1, 20, 2), events(1, 1, 12, 2)})},
        {"each event of file 0 listed twice", thinned, joined({events(0, 0, 20, 1), events(0, 0, 20, 1)})},
        {"pairs naming no event among them", thinned, {{0, 4}, {5, 0}, {0, 20}, {-1, 2}, {1, 12}, {1, 6}}},
        {"All Points, part of the events", nullptr, joined({events(0, 3, 11, 1), events(1, 0, 12, 3)})},
        {"All Points, every event", nullptr, every},
    };
    UI_SampleStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MCV_DerivedDataPoints* set = c.set ? c.set : all;
        panel.setActiveSelection(set);
        MCV_DerivedDataPoints* s = MCV_CytometryData::Instance()->selectionPoints();
        s->setPoints(c.selection, false);
        panel.refreshWidget();
        // The reference: per file, the set's events and its distinct selected ones.
        const std::set<std::pair<int, int>> selected(c.selection.begin(), c.selection.end());
        std::set<std::pair<int, int>> inBoth;
        double total[2] = {0, 0}, in[2] = {0, 0};
        for (const auto& p : set->data()) {
            total[p.first] += 1;
            if (selected.count(p) && inBoth.insert(p).second) in[p.first] += 1;
        }
        const double percent[2] = {total[0] ? 100 * in[0] / total[0] : 0, total[1] ? 100 * in[1] / total[1] : 0};
        for (int f = 0; f < 2; ++f) {
            SCOPED_TRACE(f);
            const double inSet = in[0] + in[1], sum = percent[0] + percent[1];
            EXPECT_EQ(number(t, f, 2), float(total[f]));
            EXPECT_EQ(number(t, f, 3), float(in[f]));
            EXPECT_LE(number(t, f, 4), 100.0f);
            EXPECT_NEAR(number(t, f, 4), percent[f], 1e-4);
            EXPECT_NEAR(number(t, f, 5), inSet ? 100 * in[f] / inSet : 0, 1e-4);
            EXPECT_NEAR(number(t, f, 6), sum ? 100 * percent[f] / sum : 0, 1e-4);
            // "Save ..." writes the table: the same numbers.
            EXPECT_EQ(panel.csvText().split('\n').value(f + 1).split(", ").value(3), QString::number(in[f]));
        }
        if (c.set) continue;
        // Over "All Points" a selection of distinct events reads as it always
        // has: the selection's own events per file, and their share of it.
        ASSERT_EQ(selected.size(), c.selection.size());
        for (int f = 0; f < 2; ++f) {
            const float k = float(s->pointsPerFile()[size_t(f)]);
            EXPECT_EQ(number(t, f, 3), k);
            EXPECT_FLOAT_EQ(number(t, f, 5), k * 100.0f / float(c.selection.size()));
        }
    }
}

TEST_F(StatisticsTest, FilesWithoutActiveEventsShowZeroAndLaterFilesGetNoRow) {
    UI_SampleStatisticsWidget panel(nullptr);
    select(4, 0);
    panel.setActiveSelection(MCV_CytometryData::Instance()->addDownsampledData("first", all, {20, 0}));
    QTableWidget* t = panel.statisticsTable();
    EXPECT_EQ(number(t, 1, 2) + number(t, 1, 4), 0.0f);
    EXPECT_FLOAT_EQ(number(t, 0, 6), 100.0f);
    // A third file after construction: nothing is read past the rows.
    panel.setActiveSelection(all);
    FcsTestFile late = FcsTestFile::floats({{1, 2, 3}});
    late.set("$P1S", "CD3");
    late.set("$P2S", "CD4");
    late.set("$P3S", "CD8");
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(late.write(dir, "late.fcs")), 0);
    select(1, 1);
    panel.refreshWidget();
    EXPECT_EQ(t->rowCount(), 2);
    EXPECT_EQ(number(t, 0, 3), 1);
}

TEST_F(StatisticsTest, SelectionStatisticsRefreshModesAndColumnsFollowingAddedVariables) {
    select(3, 0);  // CD3 values 0, 1, 2 of file 0; CD4 0
    UI_SelectionStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    EXPECT_EQ(t->item(1, 1)->text() + t->item(0, 2)->text(), "1.000.00");
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
    MCV_CytometryData::Instance()->addDimensions({"QLMRN_TsneX", "QLMRN_TsneY"}, 0.5f);
    panel.refreshWidget(false);
    ASSERT_EQ(t->columnCount(), 6);
    EXPECT_EQ(t->horizontalHeaderItem(5)->text(), "QLMRN_TsneY");
    EXPECT_EQ(panel.csvText().split('\n').value(1), "Mean, 4.00, 0.00, 1.00, 0.50, 0.50");
}

// A marker of which the selection holds no value has no median, mean or
// deviation: "n/a" on screen and in the saved table, never a measured 0.00.
TEST_F(StatisticsTest, SelectionStatisticsOfMarkersWithoutValuesReadNotAvailable) {
    // A variable every event holds as NaN.
    MCV_CytometryData::Instance()->addDimensions({"Empty"}, {std::vector<float>(20, std::nanf(""))});
    UI_SelectionStatisticsWidget panel(nullptr);
    QTableWidget* t = panel.statisticsTable();
    ASSERT_EQ(t->columnCount(), 5);
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> points;
        QString median;  // row "Median" as saved
    };
    const Case cases[] = {
        {"no event", {}, "Median, n/a, n/a, n/a, n/a"},
        {"pairs naming no loaded event", {{7, 0}, {0, 9999}, {-1, 2}}, "Median, n/a, n/a, n/a, n/a"},
        {"events, one marker NaN throughout", {{0, 4}, {1, 2}, {0, 5}}, "Median, 4.00, 0.00, 2.00, n/a"},
        {"a stray pair among events", {{7, 0}, {1, 11}}, "Median, 11.00, 1.00, 2.00, n/a"},
    };
    for (const Case& c : cases) {
        MCV_DerivedDataPoints* s = MCV_CytometryData::Instance()->selectionPoints();
        s->data() = c.points;
        s->refreshed(nullptr);
        panel.refreshPushButton()->click();
        const QStringList lines = panel.csvText().split('\n');
        ASSERT_EQ(lines.size(), 3) << c.what;
        EXPECT_EQ(lines[0], c.median) << c.what;
        for (int row = 1; row < 3; ++row)
            for (int column = 1; column < 5; ++column)
                EXPECT_EQ(t->item(row, column)->text() == "n/a", t->item(0, column)->text() == "n/a")
                    << c.what << ", row " << row << ", column " << column;
    }
}

TEST_F(StatisticsTest, Utf8MarkerAndFileNamesReachThePanelsUnchanged) {
    const QString marker = QStringLiteral("Alexa Fluor\u2122 405-A");
    const QString file = QStringLiteral("Probe \u00fc \u03b2.fcs");
    delete MCV_CytometryData::Instance();
    FcsTestFile fcs = FcsTestFile::floats({{1.0f, 2.0f}});
    fcs.set("$P2S", marker.toStdString());
    ASSERT_EQ(MCV_CytometryData::Instance()->loadFromFile(fcs.write(dir, file.toStdString())), 0);
    UI_SelectionStatisticsWidget selectionStatistics(nullptr);
    selectionStatistics.refreshWidget(true);
    UI_MarkerSelectionWidget markers(nullptr, 2);
    markers.refreshWidget(false);
    EXPECT_EQ(selectionStatistics.statisticsTable()->horizontalHeaderItem(2)->text(), marker);
    EXPECT_NE(childWithText<QCheckBox>(&markers, marker), nullptr);
    EXPECT_EQ(UI_SampleStatisticsWidget(nullptr).statisticsTable()->item(0, 1)->text(), file);
    UI_SampleSelectionWidget samples(nullptr);
    EXPECT_NE(childWithText<QLabel>(&samples, file), nullptr);
}

}  // namespace
