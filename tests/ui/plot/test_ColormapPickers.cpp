// The two colormap pickers over the shared table: the map behind each button,
// sliding, the discrete switch and host pushes without echo.
#include "render/MCV_ColormapTable.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QImage>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct PickerCase {
    const char* name;
    int dims;
    std::function<UI_ColormapPicker*(QWidget*)> make;
    // The button image of a map after ":/colormaps/<name>", continuous and discrete.
    const char* image;
    const char* discreteImage;
};

const PickerCase kPickers[] = {
    {"OneD", 1, [](QWidget* host) -> UI_ColormapPicker* { return new UI_ColormapSelectionWidget(host); }, "_vert.png",
     "_vert_disc.png"},
    {"TwoD", 2, [](QWidget* host) -> UI_ColormapPicker* { return new UI_Colormap2DSelectionWidget(host); }, ".png",
     ".png"},
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

TEST_P(ColormapPickerTest, EachButtonShowsAndChoosesItsMapAndSlidesThePanelBack) {
    ASSERT_EQ(buttons.size(), count() + 1);
    EXPECT_TRUE(shows(buttons[0], GetParam().dims == 1 ? MCV_ColormapTable::kDefault1D : 0, false));
    for (int i = 0; i < count(); ++i) {
        EXPECT_TRUE(shows(buttons[i + 1], i, false)) << i;
        const std::vector<unsigned char>& rgb = MCV_ColormapTable::image(i, GetParam().dims).rgb;
        EXPECT_EQ(*picker->colormMapData(i), rgb) << i;
        if (GetParam().dims == 2) continue;
        // The button images show the highest value at the top.
        const QImage image(
            QString::fromStdString(MCV_ColormapTable::resourceStem(MCV_ColormapTable::names(1)[size_t(i)])) +
            "_vert.png");
        EXPECT_EQ(QColor(image.pixel(12, 0)), QColor(rgb[597], rgb[598], rgb[599])) << i;
        EXPECT_EQ(QColor(image.pixel(0, 167)), QColor(rgb[0], rgb[1], rgb[2])) << i;
    }
    EXPECT_EQ(picker->colormMapData(count()), nullptr);
    EXPECT_EQ(picker->colormMapData(-1), nullptr);

    const int closedX = picker->x();
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    finishSlide();
    EXPECT_LT(picker->x(), closedX);
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    QTest::mouseClick(buttons[2], Qt::LeftButton);
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

TEST_P(ColormapPickerTest, DiscreteSwitchRestylesTheButtonsAndHostPushesEmitNothing) {
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    QSignalSpy discrete(picker, &UI_ColormapPicker::discreteSelected);
    QSignalSpy selected(picker, &UI_ColormapPicker::colormapSelected);
    discreteSwitch()->js_clicked();  // what the page calls when the user flips it
    ASSERT_EQ(discrete.count(), 1);
    EXPECT_TRUE(discrete[0][0].toBool());
    EXPECT_TRUE(picker->isOpen());
    for (int i = 0; i < count(); ++i) EXPECT_TRUE(shows(buttons[i + 1], i, true)) << i;
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_TRUE(shows(buttons[0], 1, true));
    ASSERT_EQ(selected.count(), 1);

    picker->setColormap(3, false);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_FALSE(discreteSwitch()->isChecked());
    EXPECT_TRUE(shows(buttons[0], 3, false));
    picker->setColormap(count(), true);  // outside the table: ignored
    picker->setColormap(-1, true);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_FALSE(picker->isDiscrete());
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(discrete.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Pickers, ColormapPickerTest, testing::ValuesIn(kPickers),
                         [](const testing::TestParamInfo<PickerCase>& p) { return std::string(p.param.name); });

}  // namespace
