// The down-sampling dock: counts per file from the bound set, clamped target
// edits, free names for the new set, and no action without targets or input.
#include "support/DataFixture.h"

#include "ui/datapanels/UI_SelectiveDownsamplingWidget.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <numeric>

namespace {

using namespace viewtest;

// The registered set of that name, or null (looking up never creates).
MCV_DerivedDataPoints* findSet(const std::string& name) {
    for (MCV_DerivedDataPoints* s : MCV_CytometryData::Instance()->derivedDataPoints())
        if (s->name() == name) return s;
    return nullptr;
}

class SelectiveDownsamplingTest : public DataFixture {
protected:
    void type(int row, const QString& text) { panel.countsTable()->item(row, 2)->setText(text); }
    QString cell(int row, int column) { return panel.countsTable()->item(row, column)->text(); }
    void clickDownsample() {
        for (QPushButton* b : panel.findChildren<QPushButton*>())
            if (b->text() == "Downsample") b->click();
    }
    UI_SelectiveDownsamplingWidget panel{nullptr};
};

TEST_F(SelectiveDownsamplingTest, UnboundPanelShowsOneEmptyRowAndDoesNothing) {
    QSignalSpy done(&panel, &UI_SelectiveDownsamplingWidget::dataDownsampled);
    EXPECT_EQ(panel.windowTitle(), "Downsampling");
    EXPECT_EQ(panel.countsTable()->rowCount(), 1);
    EXPECT_EQ(panel.countsTable()->horizontalHeaderItem(2)->text(), "Target");
    // Typing into the row without counts changes nothing and does not crash.
    panel.countsTable()->setItem(0, 2, new QTableWidgetItem("7"));
    EXPECT_TRUE(panel.targets().empty());
    const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
    clickDownsample();
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets);
}

TEST_F(SelectiveDownsamplingTest, RowsShowFilesCountsAndClampedTargets) {
    panel.setActiveSelection(all);
    ASSERT_EQ(panel.countsTable()->rowCount(), 2);
    // File names as they are on disk.
    EXPECT_EQ(cell(0, 0), "run #1 a.fcs");
    EXPECT_EQ(cell(1, 0), "run?2.fcs");
    EXPECT_EQ(cell(0, 1), "20");
    EXPECT_EQ(cell(1, 1), "12");
    EXPECT_EQ(panel.targets(), (std::vector<int>{0, 0}));
    EXPECT_FALSE(panel.countsTable()->item(0, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(panel.countsTable()->item(0, 2)->flags() & Qt::ItemIsEditable);

    type(0, "abc");
    EXPECT_EQ(cell(0, 2), "0");
    type(0, "-5");
    EXPECT_EQ(cell(0, 2), "0");
    type(1, "999");
    EXPECT_EQ(cell(1, 2), "12");
    type(0, "7");
    EXPECT_EQ(panel.targets(), (std::vector<int>{7, 12}));
    // Other columns never change targets.
    panel.countsTable()->item(0, 1)->setText("3");
    EXPECT_EQ(panel.targets(), (std::vector<int>{7, 12}));

    // Null keeps the rows; a smaller set clamps the targets.
    panel.setActiveSelection(nullptr);
    EXPECT_EQ(panel.countsTable()->rowCount(), 2);
    MCV_DerivedDataPoints* small = MCV_CytometryData::Instance()->addDownsampledData("small", all, {5, 4});
    ASSERT_NE(small, nullptr);
    panel.setActiveSelection(small);
    EXPECT_EQ(panel.targets(), (std::vector<int>{5, 4}));
    EXPECT_EQ(cell(0, 2), "5");
}

TEST_F(SelectiveDownsamplingTest, DownsampleMakesASetUnderTheFirstFreeName) {
    MCV_CytometryData* data = MCV_CytometryData::Instance();
    MCV_DerivedDataPoints* gated = data->addDownsampledData("Gated", all, {10, 6});
    data->addDownsampledData("Gated-downsampled(1)", all, {1, 1});
    panel.setActiveSelection(gated);
    type(0, "4");
    type(1, "3");
    QSignalSpy done(&panel, &UI_SelectiveDownsamplingWidget::dataDownsampled);
    clickDownsample();
    EXPECT_EQ(done.count(), 1);
    MCV_DerivedDataPoints* made = findSet("Gated-downsampled");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->pointsPerFile(), (std::vector<int>{4, 3}));
    clickDownsample();
    EXPECT_NE(findSet("Gated-downsampled(2)"), nullptr);
    EXPECT_EQ(done.count(), 2);

    // All targets 0: nothing.
    type(0, "0");
    type(1, "0");
    const size_t sets = data->derivedDataPoints().size();
    clickDownsample();
    EXPECT_EQ(done.count(), 2);
    EXPECT_EQ(data->derivedDataPoints().size(), sets);
}

TEST_F(SelectiveDownsamplingTest, LeftoverTargetsWithoutInputDoNothing) {
    panel.setActiveSelection(all);
    type(0, "5");
    // What a settings panel does when its input becomes unknown.
    MCV_DerivedDataPoints* none = nullptr;
    panel.setActiveSelection(none);
    QSignalSpy done(&panel, &UI_SelectiveDownsamplingWidget::dataDownsampled);
    const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
    clickDownsample();
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets);
}

}  // namespace
