// The two colormap pickers over the shared table: the map behind each button,
// sliding, the discrete switch, host pushes without echo, dark mode and the
// colour tables.
#include "render/MCV_ColormapTable.h"
#include "support/WidgetFinders.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The layout of each picker: what its host and the button images rely on.
struct PickerCase {
    const char* name;
    int dims;
    std::function<UI_ColormapPicker*(QWidget*)> make;
    QSize size;
    QRect activeButton, firstButton;
    int step, slide;
    // The button image of a map, after ":/colormaps/<name>", continuous and
    // discrete.
    const char* image;
    const char* discreteImage;
};

const PickerCase kPickers[] = {
    {"OneD", 1, [](QWidget* host) -> UI_ColormapPicker* { return new UI_ColormapSelectionWidget(host); },
     QSize(618, 212), QRect(35, 5, 24, 168), QRect(5, 5, 24, 168), 36, 555, "_vert.png", "_vert_disc.png"},
    {"TwoD", 2, [](QWidget* host) -> UI_ColormapPicker* { return new UI_Colormap2DSelectionWidget(host); },
     QSize(704, 172), QRect(5, 5, 128, 128), QRect(5, 5, 128, 128), 138, 567, ".png", ".png"},
};

class ColormapPickerTest : public testing::TestWithParam<PickerCase> {
protected:
    void SetUp() override {
        host.resize(900, 400);
        picker = GetParam().make(&host);
        picker->move(host.width() - 145, 10);
        host.show();
        // The active button first, then the colormap buttons from left to right.
        buttons = picker->findChildren<QPushButton*>();
        std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
            return a->parentWidget()->x() + a->x() < b->parentWidget()->x() + b->x();
        });
    }
    int count() const { return MCV_ColormapTable::count(GetParam().dims); }
    bool shows(QPushButton* button, int idx, bool discrete) const {
        const std::string name = MCV_ColormapTable::names(GetParam().dims)[static_cast<size_t>(idx)];
        const QString url = QString::fromStdString("url(:/colormaps/" + name) +
                            (discrete ? GetParam().discreteImage : GetParam().image) + ")";
        return button->styleSheet().contains(url);
    }
    UI_MaterialCheckBoxWidget* discreteSwitch() const { return picker->findChild<UI_MaterialCheckBoxWidget*>(); }
    void finishSlide() {
        auto* animation = picker->findChild<QPropertyAnimation*>();
        if (animation->state() != QAbstractAnimation::Running) return;
        QSignalSpy done(animation, &QPropertyAnimation::finished);
        ASSERT_TRUE(done.wait(3000));
    }

    QWidget host;
    UI_ColormapPicker* picker = nullptr;
    QList<QPushButton*> buttons;
};

TEST_P(ColormapPickerTest, ShowsEveryMapOfTheTableAtItsIndex) {
    const PickerCase& c = GetParam();
    EXPECT_EQ(picker->size(), c.size);
    const int initial = c.dims == 1 ? MCV_ColormapTable::kDefault1D : 0;
    EXPECT_EQ(picker->activeColormap(), initial);
    EXPECT_FALSE(picker->isDiscrete());
    EXPECT_FALSE(picker->isOpen());
    ASSERT_EQ(buttons.size(), count() + 1);
    EXPECT_EQ(buttons[0]->geometry(), c.activeButton);
    EXPECT_TRUE(shows(buttons[0], initial, false));
    for (int i = 0; i < count(); ++i) {
        EXPECT_EQ(buttons[i + 1]->geometry(), c.firstButton.translated(c.step * i, 0)) << i;
        EXPECT_TRUE(shows(buttons[i + 1], i, false)) << i;
    }
    // The tables the host reads are the table's bytes.
    for (int i = 0; i < count(); ++i) EXPECT_EQ(*picker->colormMapData(i), MCV_ColormapTable::image(i, c.dims).rgb);
    EXPECT_EQ(picker->colormMapData(count()), nullptr);
    EXPECT_EQ(picker->colormMapData(-1), nullptr);
}

TEST_P(ColormapPickerTest, EachButtonChoosesItsMapAndSlidesThePanelBack) {
    const int closedX = picker->x();
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(picker->isOpen());
    finishSlide();
    EXPECT_EQ(picker->pos(), QPoint(closedX - GetParam().slide, 10));
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_FALSE(picker->isOpen());
    finishSlide();
    EXPECT_EQ(picker->x(), closedX);
    for (int i = 0; i < count(); ++i) {
        QTest::mouseClick(buttons[i + 1], Qt::LeftButton);
        EXPECT_EQ(selected.last()[0].toInt(), i);
        EXPECT_EQ(picker->activeColormap(), i);
        EXPECT_TRUE(shows(buttons[0], i, false)) << i;
    }
    EXPECT_EQ(selected.count(), count() + 1);
}

TEST_P(ColormapPickerTest, DiscreteSwitchRestylesTheButtonsAndKeepsThePanelOpen) {
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    QSignalSpy discrete(picker, &UI_ColormapPicker::discreteSelected);
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    discreteSwitch()->js_clicked();  // what the page calls when the user flips it
    ASSERT_EQ(discrete.count(), 1);
    EXPECT_TRUE(discrete[0][0].toBool());
    EXPECT_TRUE(picker->isOpen());
    EXPECT_EQ(selected.count(), 0);
    for (int i = 0; i < count(); ++i) EXPECT_TRUE(shows(buttons[i + 1], i, true)) << i;
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_EQ(selected.last()[0].toInt(), 1);
    EXPECT_TRUE(shows(buttons[0], 1, true));
    EXPECT_TRUE(picker->isDiscrete());
}

TEST_P(ColormapPickerTest, HostPushesEmitNothingAndMoveTheSwitch) {
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    QSignalSpy discrete(picker, &UI_ColormapPicker::discreteSelected);
    picker->setColormap(3, true);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_TRUE(discreteSwitch()->isChecked());
    EXPECT_TRUE(shows(buttons[0], 3, true));
    picker->setColormap(count(), false);  // outside the table: ignored
    picker->setColormap(-1, false);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_TRUE(picker->isDiscrete());
    picker->setColormap(2, false);
    EXPECT_FALSE(discreteSwitch()->isChecked());
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(discrete.count(), 0);
}

TEST_P(ColormapPickerTest, TheActiveButtonDrawsItsMapTopRowUp) {
    // Viridis (1D) runs from purple at the bottom to yellow at the top;
    // 2D_Halvick's top-left corner is yellow.
    picker->setColormap(GetParam().dims == 1 ? MCV_ColormapTable::kDefault1D : 2, false);
    const QImage image = picker->grab().toImage();
    const QPoint top = buttons[0]->geometry().topLeft() + QPoint(12, 7);
    const QColor high(image.pixel(top));
    EXPECT_GT(high.red(), 200);
    EXPECT_GT(high.green(), 200);
    EXPECT_LT(high.blue(), 90);
    if (GetParam().dims == 1) {
        const QColor low(image.pixel(buttons[0]->geometry().bottomLeft() + QPoint(12, -7)));
        EXPECT_LT(low.green(), 40);
        EXPECT_GT(low.blue(), 60);
    }
}

INSTANTIATE_TEST_SUITE_P(Pickers, ColormapPickerTest, testing::ValuesIn(kPickers),
                         [](const testing::TestParamInfo<PickerCase>& p) { return std::string(p.param.name); });

TEST(ColormapPicker1D, LabelsTheEndsAndFollowsDarkMode) {
    QWidget host;
    auto* picker = new UI_ColormapSelectionWidget(&host);
    host.show();
    QLabel* max = childWithText<QLabel>(picker, "max");
    ASSERT_NE(max, nullptr);
    ASSERT_NE(childWithText<QLabel>(picker, "min"), nullptr);
    QList<QWidget*> panels;
    for (QWidget* w : picker->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->styleSheet().isEmpty()) panels << w;
    ASSERT_EQ(panels.size(), 2);
    for (bool dark : {true, false}) {
        picker->setDarkMode(dark);
        for (QWidget* p : panels)
            EXPECT_TRUE(p->styleSheet().contains(dark ? "rgba(35, 35, 35, 1.0)" : "rgba(200, 200, 200, 1.0)"));
        max->ensurePolished();
        EXPECT_EQ(max->palette().color(QPalette::WindowText), QColor(dark ? Qt::white : Qt::black));
    }
}

}  // namespace
