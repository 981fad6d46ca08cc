// The down-sampling dock: counts per file from the bound set, clamped target
// edits, free names for the new set, and no action without targets or input.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

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
    void clickDownsample() { childWithText<QPushButton>(&panel, "Downsample")->click(); }
    // Downsample pressed without a result: no signal, no new set.
    void expectNothingDone() {
        QSignalSpy done(&panel, &UI_SelectiveDownsamplingWidget::dataDownsampled);
        const size_t sets = MCV_CytometryData::Instance()->derivedDataPoints().size();
        clickDownsample();
        EXPECT_EQ(done.count(), 0);
        EXPECT_EQ(MCV_CytometryData::Instance()->derivedDataPoints().size(), sets);
    }
    UI_SelectiveDownsamplingWidget panel{nullptr};
};

TEST_F(SelectiveDownsamplingTest, UnboundPanelOrLeftoverTargetsWithoutInputDoNothing) {
    EXPECT_EQ(panel.countsTable()->rowCount(), 1);
    // Typing into the row without counts changes nothing and does not crash.
    panel.countsTable()->setItem(0, 2, new QTableWidgetItem("7"));
    EXPECT_TRUE(panel.targets().empty());
    expectNothingDone();
    // What a settings panel does when its input becomes unknown.
    panel.setActiveSelection(all);
    type(0, "5");
    panel.setActiveSelection(static_cast<MCV_DerivedDataPoints*>(nullptr));
    expectNothingDone();
}

TEST_F(SelectiveDownsamplingTest, RowsShowFilesCountsAndClampedTargets) {
    panel.setActiveSelection(all);
    ASSERT_EQ(panel.countsTable()->rowCount(), 2);
    // File names as they are on disk.
    EXPECT_EQ((QStringList{cell(0, 0), cell(1, 0), cell(0, 1), cell(1, 1)}),
              (QStringList{"run #1 a.fcs", "run?2.fcs", "20", "12"}));
    EXPECT_EQ(panel.targets(), (std::vector<int>{0, 0}));
    EXPECT_FALSE(panel.countsTable()->item(0, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(panel.countsTable()->item(0, 2)->flags() & Qt::ItemIsEditable);

    for (auto [row, typed, shown] : {std::tuple(0, "abc", "0"), {0, "-5", "0"}, {1, "999", "12"}, {0, "7", "7"}}) {
        type(row, typed);
        EXPECT_EQ(cell(row, 2), shown) << typed;
    }
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
    expectNothingDone();
}

}  // namespace
