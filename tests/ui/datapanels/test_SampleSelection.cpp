// The sample panel: hues, defaults for later panels, the settings file.
#include "support/DataFixture.h"
#include "support/WidgetFinders.h"

#include "data/MCV_Settings.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QPushButton>
#include <QSignalSpy>

namespace {

using Bytes = std::vector<unsigned char>;

class SampleSelectionTest : public viewtest::DataFixture {
protected:
    void TearDown() override {
        MCV_Settings::Instance()->setDefaultSamples({});
        MCV_Settings::Instance()->setDefaultSampleColors({});
        DataFixture::TearDown();
    }
    static void click(UI_SampleSelectionWidget& panel, const QString& text) {
        childWithText<QPushButton>(&panel, text)->click();
    }
    static Bytes second(UI_SampleSelectionWidget& panel) {
        return Bytes(panel.sampleColors()->begin() + 3, panel.sampleColors()->end());
    }
};

TEST_F(SampleSelectionTest, AllShownInSpreadHuesAndBoxesAndTheColourDialogReportLive) {
    UI_SampleSelectionWidget panel(nullptr);
    EXPECT_EQ(*panel.selectionState(), (std::vector<bool>{true, true}));
    const QColor cyan = QColor::fromHsvF(0.5, 0.5, 1.0);  // hues spread over the circle
    EXPECT_EQ(second(panel), (Bytes{uchar(cyan.red()), uchar(cyan.green()), uchar(cyan.blue())}));
    QSignalSpy selected(&panel, &UI_SampleSelectionWidget::selectionUpdated);
    QSignalSpy coloured(&panel, &UI_SampleSelectionWidget::colorsUpdated);
    panel.checkBox(1)->setChecked(false);
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(*panel.selectionState(), (std::vector<bool>{true, false}));
    panel.colorButton(1)->click();
    EXPECT_TRUE(panel.colorPicker()->isVisible());
    coloured.clear();  // opening the dialog may report the current colour
    panel.colorPicker()->setCurrentColor(QColor(1, 2, 3));
    EXPECT_EQ(coloured.count(), 1);
    EXPECT_EQ(second(panel), (Bytes{1, 2, 3}));
    EXPECT_TRUE(panel.colorButton(1)->styleSheet().contains("#010203"));
    panel.colorPicker()->hide();
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
    EXPECT_EQ(second(later), Bytes(3, 128)) << "missing from the colour defaults: mid grey";
    MCV_Settings::Instance()->setDefaultSamples({{"other.fcs", true}});
    EXPECT_EQ(*UI_SampleSelectionWidget(nullptr).selectionState(), (std::vector<bool>{false, false}))
        << "missing from a non-empty selection map: hidden";
}

TEST_F(SampleSelectionTest, SettingsFileBytesRoundTripAndPartialFiles) {
    UI_SampleSelectionWidget panel(nullptr);
    panel.checkBox(1)->setChecked(false);
    const QString path = dir.filePath("samples.txt");
    answerWith(path);
    click(panel, "Save Settings ...");
    const Bytes c = *panel.sampleColors();
    QString expected = "run #1 a.fcs 1 %1 %2 %3\nrun?2.fcs 0 %4 %5 %6";
    for (unsigned char byte : c) expected = expected.arg(int(byte));
    EXPECT_EQ(bytes(path), expected.toUtf8());
    UI_SampleSelectionWidget other(nullptr);
    other.checkBox(0)->setChecked(false);
    QSignalSpy selected(&other, &UI_SampleSelectionWidget::selectionUpdated);
    QSignalSpy coloured(&other, &UI_SampleSelectionWidget::colorsUpdated);
    answerWith(path);
    click(other, "Load Settings ...");
    EXPECT_EQ(std::make_pair(selected.count(), coloured.count()), std::make_pair(1, 1)) << "each signal once";
    EXPECT_EQ(*other.selectionState(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(other.checkBox(0)->isChecked());
    EXPECT_EQ(*other.sampleColors(), c);

    // A partial, malformed file changes only the rows it names.
    FcsTestFile::writeBytes(path.toStdString(),
                            "run?2.fcs 0 10 20 999\nunknown.fcs 1 1 2 3\nrun?2.fcs x\n\nrun?2.fcs 0 10 20 300");
    answerWith(path);
    click(other, "Load Settings ...");
    EXPECT_EQ(*other.selectionState(), (std::vector<bool>{true, false}));
    EXPECT_EQ(*other.sampleColors(), (Bytes{c[0], c[1], c[2], 10, 20, 255}))
        << "the last record wins; bytes beyond 255 are clipped";
}

}  // namespace
