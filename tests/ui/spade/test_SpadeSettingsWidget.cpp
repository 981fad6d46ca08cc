// The SPADE and template settings panels: their controls (one table for
// both), the marker check before a compute and the published result, and the
// SPADE panel's progress. A refused classification is in tests/ui/template/.
#include "support/CapturedOutput.h"
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_DerivedDataClusters.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ExpanderWidgetHeader.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/template/UI_TemplateSettingsWidget.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>

#include <functional>
#include <iterator>
#include <memory>

namespace {

enum Panel { Spade, Template };

// What the grid of the panel's scroll area shows, row by row: section titles
// (with "(collapsed)") or the compute button's text, and the row's stretch.
std::string gridRows(QWidget* panel) {
    auto* grid = qobject_cast<QGridLayout*>(panel->findChild<QScrollArea*>()->widget()->layout());
    QStringList rows;
    for (int r = 0; grid && r < grid->rowCount(); ++r) {
        QLayoutItem* item = grid->itemAtPosition(r, 0);
        if (!item) continue;
        QWidget* w = item->widget() ? item->widget() : item->layout()->itemAt(0)->widget();
        QString row = "?";
        if (auto* section = qobject_cast<UI_ExpanderWidget*>(w))
            row = section->header()->titleLabel->text() + (section->isCollapsed() ? " (collapsed)" : "");
        else if (auto* button = qobject_cast<QPushButton*>(w))
            row = "[" + button->text() + "]";
        rows << row + " " + QString::number(grid->rowStretch(r));
    }
    return rows.join(" | ").toStdString();
}

// The section a control sits in.
UI_ExpanderWidget* sectionOf(QWidget* w) {
    while (w && !qobject_cast<UI_ExpanderWidget*>(w)) w = w->parentWidget();
    return static_cast<UI_ExpanderWidget*>(w);
}

// Unchecks every marker in the panel's real check list.
void uncheckAllMarkers(QWidget* panel) {
    for (QCheckBox* box : panel->findChild<UI_MarkerSelectionWidget*>()->checkBoxes())
        if (box->isChecked()) box->click();
}

class ClusterPanelTest : public viewtest::DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        spade = std::make_unique<MCV_SpadeAnalysis>();
        spade->init(nullptr, "S");
        classification = std::make_unique<MCV_TemplateAnalysis>();
        classification->init(nullptr, "T", {{1, 1, 1}, {15, 1, 1}});
    }
    void TearDown() override {
        spade.reset();
        classification.reset();
        DataFixture::TearDown();
    }
    std::unique_ptr<MCV_SpadeAnalysis> spade;
    std::unique_ptr<MCV_TemplateAnalysis> classification;
};

// A typed value reaches the analysis at once; each SPADE value marks the
// stages it affects (after a compute has cleared them), so the next compute
// redoes only those.
TEST_F(ClusterPanelTest, ControlsShowTheirDefaultsAndPassTypedValuesOnAtOnce) {
    UI_SpadeSettingsWidget spadePanel(nullptr, spade.get());
    UI_TemplateSettingsWidget templatePanel(nullptr, classification.get());
    const auto flags = [&] {
        return std::string{spade->densitiesDirty() ? 'D' : '-', spade->downsamplingDirty() ? 'S' : '-',
                           spade->clusteringDirty() ? 'T' : '-'};
    };
    const struct {
        Panel panel;
        const char* section;
        const char* label;
        double minimum, maximum, value;
        int decimals;  // -1: a QSpinBox
        const char* toolTip;
        double typed;
        const char* dirty;  // the SPADE stages marked
    } controls[] = {
        {Spade, "Advanced Parameters", "Heuristic Sample", 0, 999999, 2000, -1,
         "The number of random Points used to determine the median density.", 1234, "D--"},
        {Spade, "Advanced Parameters", "Alpha", 0, 99.99, 3.0, 2,
         "Scales the neighborhood size for the density computation for downsampling.", 4.5, "D--"},
        {Spade, "Advanced Parameters", "Target Density %", 0, 99.99, 3.0, 2,
         "Percentile of the upper limit of the target density. Points with a density between the outlier density and "
         "the target density are considered rare, but not noise and kept.\n A value of 3.0 (and an outlier density of "
         "1.0) means the cells in between the first and third percentile, ordered by density are considered rare and "
         "kept.\nPoints with a density above this value are kept only with a probability according to their density, "
         "the larger the density, the lower the probability.",
         7.25, "-S-"},
        {Spade, "Advanced Parameters", "Outlier Density %", 0, 99.99, 1.0, 2,
         "Percentile of the upper limit of the outlier density. Points with a density below this threshold are "
         "considered as noise.\nA value of 1.0 means the first percentile of the cells ordered by density is "
         "discarded. Use larger values if you expect more noise.",
         0.5, "-S-"},
        {Spade, "Parameters", "Target Events %", 0, 100.0, 10.0, 2,
         "Target number of points to keep after downsampling in percent.\nThe number might not be reached depending "
         "on the outlier and target density parameters.",
         100, "-S-"},
        {Spade, "Parameters", "Target Nodes", 0, 99999, 50, -1, "Target number of nodes in the SPADE tree.", 8, "--T"},
        {Template, "Parameters", "Max Single Marker Distance", 0, 99.99, 2.5, 2,
         "Maximum difference for a single marker, for upsampling.", 1.5, "---"},
        {Template, "Parameters", "Max Total Distance", 0, 99.99, 20.0, 2,
         "Maximum difference for all markers combined, for upsampling.", 12, "---"},
    };
    // The analysis' value of each control, in table order.
    const std::function<double()> stored[] = {
        [&] { return spade->maxRandomSampleSize(); },
        [&] { return spade->alpha(); },
        [&] { return spade->targetDensityPercentile(); },
        [&] { return spade->outlierDensityPercentile(); },
        [&] { return spade->densityLimit(); },
        [&] { return spade->targetNumberOfClusters(); },
        [&] { return classification->maxSingleDistance(); },
        [&] { return classification->maxTotalDistance(); },
    };
    for (size_t i = 0; i < std::size(controls); ++i) {
        const auto& c = controls[i];
        QWidget* panel = c.panel == Spade ? static_cast<QWidget*>(&spadePanel) : &templatePanel;
        auto* box = widgetBeside<QAbstractSpinBox>(panel, c.label);
        ASSERT_NE(box, nullptr) << c.label;
        EXPECT_EQ(sectionOf(box)->header()->titleLabel->text(), c.section) << c.label;
        EXPECT_EQ(box->toolTip(), c.toolTip) << c.label;
        EXPECT_EQ(childWithText<QLabel>(panel, c.label)->toolTip(), c.toolTip) << c.label;
        if (c.decimals < 0) {
            auto* spin = qobject_cast<QSpinBox*>(box);
            ASSERT_NE(spin, nullptr) << c.label;
            EXPECT_EQ(std::make_tuple(spin->minimum(), spin->maximum(), spin->value(), spin->singleStep()),
                      std::make_tuple(int(c.minimum), int(c.maximum), int(c.value), 1))
                << c.label;
        } else {
            auto* spin = qobject_cast<QDoubleSpinBox*>(box);
            ASSERT_NE(spin, nullptr) << c.label;
            EXPECT_EQ(
                std::make_tuple(spin->minimum(), spin->maximum(), spin->value(), spin->decimals(), spin->singleStep()),
                std::make_tuple(c.minimum, c.maximum, c.value, c.decimals, 1.0))
                << c.label;
        }
        quietly([&] { spade->computeSpadeTree(); });
        ASSERT_EQ(flags(), "---");
        box->selectAll();
        QTest::keyClicks(box, QString::number(c.typed).replace('.', QLocale().decimalPoint()));
        EXPECT_FLOAT_EQ(stored[i](), c.typed) << c.label << ": before any compute";
        EXPECT_EQ(flags(), c.dirty) << c.label;
    }
    EXPECT_EQ(gridRows(&spadePanel),
              "Active Markers 0 | Advanced Parameters (collapsed) 0 | Parameters 0 | [ Compute Spade Tree ] 1");
    EXPECT_EQ(gridRows(&templatePanel), "Active Markers 0 | Parameters 0 | [ Upsample ] 1");
    EXPECT_TRUE(spadePanel.progressBox()->isHidden()) << "no run, no progress";

    // Built over other values, the boxes show them and change nothing.
    spade->setMaxRandomSampleSize(7);
    classification->setMaxTotalDistance(4.25f);
    UI_SpadeSettingsWidget otherSpade(nullptr, spade.get());
    UI_TemplateSettingsWidget otherTemplate(nullptr, classification.get());
    EXPECT_EQ(widgetBeside<QSpinBox>(&otherSpade, "Heuristic Sample")->value(), 7);
    EXPECT_EQ(widgetBeside<QDoubleSpinBox>(&otherTemplate, "Max Total Distance")->value(), 4.25);
    EXPECT_EQ(classification->maxSingleDistance(), 1.5f);
    EXPECT_EQ(UI_SpadeSettingsWidget(nullptr, nullptr).computeButtonWidget(), nullptr) << "no analysis: no controls";
}

TEST_F(ClusterPanelTest, ComputeWithoutMarkersWarnsAndRunsNothing) {
    spade->setDensityLimit(100.0f);  // every event is kept: a tree whatever the random draws
    UI_SpadeSettingsWidget spadePanel(nullptr, spade.get());
    UI_TemplateSettingsWidget templatePanel(nullptr, classification.get());
    const struct {
        UI_ClusterSettingsWidget* panel;
        std::function<size_t()> clusters;
        const char* name;  // of the published set
        const char* text;
    } cases[] = {
        {&spadePanel, [&] { return spade->clusters().size(); }, "S",
         "No markers selected.\nSelect at least one marker to compute the SPADE tree."},
        {&templatePanel, [&] { return classification->clusters().size(); }, "T",
         "No markers selected.\nSelect at least one marker to compute the the template matching."},
    };
    for (const auto& c : cases) {
        quietly([&] { QTest::mousePress(c.panel->computeButtonWidget(), Qt::LeftButton); });
        QTest::mouseRelease(c.panel->computeButtonWidget(), Qt::LeftButton);
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty()) << c.text;
        const size_t before = c.clusters();
        EXPECT_GT(before, 0u) << c.text << ": the press alone computes";
        MCV_DerivedDataClusters* published = MCV_CytometryData::Instance()->derivedDataClusters(c.name, true);
        EXPECT_EQ(published->clusters().size(), before) << c.text;

        uncheckAllMarkers(c.panel);
        QTest::mouseClick(c.panel->computeButtonWidget(), Qt::LeftButton);
        const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u) << c.text;
        EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(messages[0].title, "No markers selected");
        EXPECT_EQ(messages[0].text, c.text);
        EXPECT_EQ(c.clusters(), before) << c.text << ": the last result stays";
    }
}

// Records at every paint of the progress bar what the panel shows: whether
// the compute button is enabled, the text and the percentage.
class ProgressPaints : public QObject {
public:
    explicit ProgressPaints(UI_SpadeSettingsWidget* panel) : m_panel(panel) {
        panel->progressBar()->installEventFilter(this);
    }
    QStringList seen;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            seen << QString("%1 | %2 | %3")
                        .arg(m_panel->computeButtonWidget()->isEnabled() ? "enabled" : "disabled")
                        .arg(m_panel->progressLabel()->text())
                        .arg(m_panel->progressBar()->value());
        return false;
    }

private:
    UI_SpadeSettingsWidget* m_panel;
};

// A run repaints its progress with the button disabled and publishes its tree
// under the analysis' name; a run that keeps no event says why and leaves the
// published tree as it was.
TEST_F(ClusterPanelTest, SpadeComputeShowsItsProgressAndPublishesOrSaysWhyNot) {
    spade->setDensityLimit(100.0f);  // every event is kept: a tree whatever the random draws
    UI_SpadeSettingsWidget panel(nullptr, spade.get());
    panel.resize(400, 900);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ProgressPaints paints(&panel);
    const auto press = [&] {
        quietly([&] { QTest::mousePress(panel.computeButtonWidget(), Qt::LeftButton); });
        QTest::mouseRelease(panel.computeButtonWidget(), Qt::LeftButton);
    };
    press();
    ASSERT_FALSE(paints.seen.isEmpty()) << "no repaint during the run";
    for (const QString& paint : paints.seen) {
        EXPECT_TRUE(paint.startsWith("disabled | ")) << paint.toStdString();
        EXPECT_FALSE(paint.startsWith("disabled |  |")) << paint.toStdString() << ": says what runs";
    }
    EXPECT_TRUE(panel.computeButtonWidget()->isEnabled());
    EXPECT_TRUE(panel.progressBox()->isHidden());
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    MCV_DerivedDataClusters* published = MCV_CytometryData::Instance()->derivedDataClusters("S", true);
    const size_t clusters = spade->clusters().size();
    ASSERT_GT(clusters, 0u);
    EXPECT_EQ(published->clusters().size(), clusters);

    QAbstractSpinBox* events = widgetBeside<QAbstractSpinBox>(&panel, "Target Events %");
    events->selectAll();
    QTest::keyClicks(events, "0");
    press();
    const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(spade->errorMessage().empty());
    EXPECT_EQ(messages[0].text.toStdString(), spade->errorMessage());
    EXPECT_EQ(published->clusters().size(), clusters);
    EXPECT_TRUE(panel.computeButtonWidget()->isEnabled());
    EXPECT_TRUE(panel.progressBox()->isHidden());
}

}  // namespace
