// The sample panel: default hues, the process-wide defaults for later panels,
// the sample settings file bytes and its round trip (names with blanks, '#'
// and '?'), and live colour changes.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

namespace {

using namespace viewtest;

class SampleSelectionTest : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        MCV_Settings::Instance()->setDefaultSamples({});
        MCV_Settings::Instance()->setDefaultSampleColors({});
    }
    void TearDown() override {
        MCV_Settings::Instance()->setDefaultSamples({});
        MCV_Settings::Instance()->setDefaultSampleColors({});
        DataFixture::TearDown();
    }
    static void click(UI_SampleSelectionWidget& panel, const QString& text) {
        childWithText<QPushButton>(&panel, text)->click();
    }
};

TEST_F(SampleSelectionTest, DefaultsAreSpreadHuesAllShown) {
    UI_SampleSelectionWidget panel(nullptr);
    EXPECT_EQ(*panel.selectionState(), (std::vector<bool>{true, true}));
    EXPECT_EQ(panel.label(1)->text(), "run?2.fcs");
    std::vector<unsigned char> hues;
    for (double hue : {0.0, 0.5}) {
        const QColor c = QColor::fromHsvF(hue, 0.5, 1.0);
        for (int v : {c.red(), c.green(), c.blue()}) hues.push_back(static_cast<unsigned char>(v));
    }
    EXPECT_EQ(*panel.sampleColors(), hues);
    EXPECT_TRUE(panel.colorButton(1)->styleSheet().contains(QColor::fromHsvF(0.5, 0.5, 1.0).name()));

    QSignalSpy selected(&panel, &UI_SampleSelectionWidget::selectionUpdated);
    panel.checkBox(1)->setChecked(false);
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(*panel.selectionState(), (std::vector<bool>{true, false}));
}

TEST_F(SampleSelectionTest, DefaultsApplyToLaterPanels) {
    {
        UI_SampleSelectionWidget panel(nullptr);
        panel.checkBox(0)->setChecked(false);
        click(panel, "Set Default Selection");
        click(panel, "Set Default Colors");
    }
    MCV_Settings::Instance()->defaultSampleColors.erase("run?2.fcs");
    UI_SampleSelectionWidget later(nullptr);
    EXPECT_EQ(*later.selectionState(), (std::vector<bool>{false, true}));
    EXPECT_FALSE(later.checkBox(0)->isChecked());
    // Missing from the colour defaults: mid grey.
    EXPECT_EQ((*later.sampleColors())[3], 128);
    EXPECT_EQ((*later.sampleColors())[4], 128);
    // Missing from a non-empty selection map: hidden.
    MCV_Settings::Instance()->setDefaultSamples({{"other.fcs", true}});
    UI_SampleSelectionWidget third(nullptr);
    EXPECT_EQ(*third.selectionState(), (std::vector<bool>{false, false}));
}

TEST_F(SampleSelectionTest, SettingsFileBytesAndRoundTrip) {
    UI_SampleSelectionWidget panel(nullptr);
    panel.checkBox(1)->setChecked(false);
    const QString path = dir.filePath("samples.txt");
    answerWith(path);
    click(panel, "Save Settings ...");
    const std::vector<unsigned char> c = *panel.sampleColors();
    EXPECT_EQ(bytes(path), QString("run #1 a.fcs 1 %1 %2 %3\nrun?2.fcs 0 %4 %5 %6")
                               .arg(c[0])
                               .arg(c[1])
                               .arg(c[2])
                               .arg(c[3])
                               .arg(c[4])
                               .arg(c[5])
                               .toUtf8());

    // A second panel loads it back: every flag and byte restored, both
    // signals once.
    UI_SampleSelectionWidget other(nullptr);
    QSignalSpy selected(&other, &UI_SampleSelectionWidget::selectionUpdated);
    QSignalSpy coloured(&other, &UI_SampleSelectionWidget::colorsUpdated);
    other.checkBox(0)->setChecked(false);
    selected.clear();
    answerWith(path);
    click(other, "Load Settings ...");
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(coloured.count(), 1);
    EXPECT_EQ(*other.selectionState(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(other.checkBox(0)->isChecked());
    EXPECT_EQ(*other.sampleColors(), c);
}

TEST_F(SampleSelectionTest, PartialAndMalformedFilesChangeOnlyNamedRows) {
    UI_SampleSelectionWidget panel(nullptr);
    const std::vector<unsigned char> before = *panel.sampleColors();
    const QString path = dir.filePath("partial.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("run?2.fcs 0 10 20 999\nunknown.fcs 1 1 2 3\nrun?2.fcs x\n\nrun?2.fcs 0 10 20 300");
    f.close();
    answerWith(path);
    click(panel, "Load Settings ...");
    const std::vector<unsigned char> after = *panel.sampleColors();
    EXPECT_EQ(std::vector<unsigned char>(after.begin(), after.begin() + 3),
              std::vector<unsigned char>(before.begin(), before.begin() + 3));
    EXPECT_EQ(*panel.selectionState(), (std::vector<bool>{true, false}));
    // The last record wins; bytes beyond 255 are clipped.
    EXPECT_EQ(std::vector<unsigned char>(after.begin() + 3, after.end()), (std::vector<unsigned char>{10, 20, 255}));
}

TEST_F(SampleSelectionTest, ColourDialogChangesLive) {
    UI_SampleSelectionWidget panel(nullptr);
    QSignalSpy coloured(&panel, &UI_SampleSelectionWidget::colorsUpdated);
    panel.colorButton(1)->click();
    EXPECT_TRUE(panel.colorPicker()->isVisible());
    coloured.clear();
    panel.colorPicker()->setCurrentColor(QColor(1, 2, 3));
    EXPECT_EQ(coloured.count(), 1);
    EXPECT_EQ(std::vector<unsigned char>(panel.sampleColors()->begin() + 3, panel.sampleColors()->end()),
              (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_TRUE(panel.colorButton(1)->styleSheet().contains("#010203"));
    panel.colorPicker()->setCurrentColor(QColor(9, 9, 9));
    EXPECT_EQ(coloured.count(), 2);
    panel.colorPicker()->hide();
}

}  // namespace
