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

// Every press of Downsample gives exactly one line for the status bar: the
// refusal, or the set made with its size.
TEST_F(SelectiveDownsamplingTest, EachPressSaysWhatItMadeOrWhyItMadeNothing) {
    QSignalSpy refused(&panel, &UI_SelectiveDownsamplingWidget::downsampleRefused);
    QSignalSpy made(&panel, &UI_SelectiveDownsamplingWidget::downsampleDone);
    const QString zero =
        "Can not downsample to 0 total points! Set a Target above 0 for at least one sample, then "
        "press Downsample again.";
    const QString noInput =
        "Can not downsample: no input data is chosen. Choose the input data in the panel, then press Downsample "
        "again.";
    // {input bound (null: none), targets typed, the line, whether it is a refusal}
    const struct {
        MCV_DerivedDataPoints* input;
        std::vector<int> targets;
        QString line;
        bool refusal;
    } presses[] = {
        {all, {0, 0}, zero, true},
        {all, {4, 3}, "All Points-downsampled: 7 events", false},
        {all, {20, 0}, "All Points-downsampled(1): 20 events", false},
        {nullptr, {1, 1}, noInput, true},
    };
    for (const auto& p : presses) {
        SCOPED_TRACE(p.line.toStdString());
        panel.setActiveSelection(p.input);
        for (int row = 0; row < 2; ++row) type(row, QString::number(p.targets[size_t(row)]));
        refused.clear();
        made.clear();
        EXPECT_EQ(downsample(), p.refusal ? 0 : 1);
        QSignalSpy& said = p.refusal ? refused : made;
        ASSERT_EQ(refused.count() + made.count(), 1);
        ASSERT_EQ(said.count(), 1);
        EXPECT_EQ(said[0][0].toString(), p.line);
    }
}

}  // namespace
