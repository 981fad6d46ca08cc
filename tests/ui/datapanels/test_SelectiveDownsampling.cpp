// The down-sampling dock: counts, clamped targets, free names for new sets.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

namespace {

class SelectiveDownsamplingTest : public viewtest::DataFixture {
protected:
    void type(int row, const QString& text) { panel.countsTable()->item(row, 2)->setText(text); }
    QString cell(int row, int column) { return panel.countsTable()->item(row, column)->text(); }
    // Presses Downsample; returns the number of new sets, checked against the signal.
    int downsample() {
        QSignalSpy done(&panel, &UI_SelectiveDownsamplingWidget::dataDownsampled);
        const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
        childWithText<QPushButton>(&panel, "Downsample")->click();
        const int made = int(MCV_CytometryData::Instance()->derivedDataPoints().size() - sets);
        EXPECT_EQ(done.count(), made);
        return made;
    }
    UI_SelectiveDownsamplingWidget panel{nullptr};
};

TEST_F(SelectiveDownsamplingTest, RowsShowFilesCountsAndClampedTargetsAndNothingIsDoneWithoutInput) {
    // Typing into the row without counts does not crash.
    panel.countsTable()->setItem(0, 2, new QTableWidgetItem("7"));
    EXPECT_TRUE(panel.targets().empty());
    EXPECT_EQ(downsample(), 0);
    panel.setActiveSelection(all);
    EXPECT_EQ((QStringList{cell(0, 0), cell(1, 0), cell(0, 1), cell(1, 1), cell(0, 2)}),
              (QStringList{"run #1 a.fcs", "run?2.fcs", "20", "12", "0"}));
    for (auto [row, typed, shown] : {std::tuple(0, "abc", "0"), {0, "-5", "0"}, {1, "999", "12"}, {0, "7", "7"}}) {
        type(row, typed);
        EXPECT_EQ(cell(row, 2), shown) << typed;
    }
    panel.countsTable()->item(0, 1)->setText("3");
    EXPECT_EQ(panel.targets(), (std::vector<int>{7, 12})) << "other columns never change targets";
    // An unknown input keeps the rows but makes nothing; a smaller set clamps the targets.
    panel.setActiveSelection(static_cast<MCV_DerivedDataPoints*>(nullptr));
    EXPECT_EQ(panel.countsTable()->rowCount(), 2);
    EXPECT_EQ(downsample(), 0);
    panel.setActiveSelection(MCV_CytometryData::Instance()->addDownsampledData("small", all, {5, 4}));
    EXPECT_EQ(panel.targets(), (std::vector<int>{5, 4}));
    EXPECT_EQ(cell(0, 2), "5");
}

TEST_F(SelectiveDownsamplingTest, DownsampleMakesASetUnderTheFirstFreeName) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    panel.setActiveSelection(data->addDownsampledData("Gated", all, {10, 6}));
    data->addDownsampledData("Gated-downsampled(1)", all, {1, 1});
    type(0, "4");
    type(1, "3");
    EXPECT_EQ(downsample() + downsample(), 2);
    const std::vector<MCV_DerivedDataPoints*>& sets = data->derivedDataPoints();
    EXPECT_EQ(sets[sets.size() - 2]->name(), "Gated-downsampled");
    EXPECT_EQ(sets[sets.size() - 2]->pointsPerFile(), (std::vector<int>{4, 3}));
    EXPECT_EQ(sets.back()->name(), "Gated-downsampled(2)");
    type(0, "0");
    type(1, "0");
    EXPECT_EQ(downsample(), 0) << "all targets 0";
}

}  // namespace
