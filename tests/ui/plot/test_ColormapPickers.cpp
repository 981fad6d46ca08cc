// The colormap pickers: the Part's colormaps behind each button, sliding,
// discrete switching, host pushes without echo, dark mode and the tables.
#include "ui/PageTestSupport.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const char* kNames[] = {"Spectral", "RdYlBu", "PiYG", "PuOr",   "Magma", "Plasma",      "Viridis", "RdPu",
                        "YlGnBu",   "GnBu",   "BuPu", "YlOrRd", "Reds",  "qualitative", "Q_BlGrRd"};
const char* k2DNames[] = {"2D_Tarn", "2D_Tarn_stretched", "2D_Halvick", "2D_Drisco_noWhitening"};

// The buttons of a picker: the active one first, then the colormap buttons
// from left to right.
template <typename Picker>
QList<QPushButton*> buttons(Picker* picker) {
    QList<QPushButton*> all = picker->template findChildren<QPushButton*>();
    std::sort(all.begin(), all.end(), [](QPushButton* a, QPushButton* b) {
        const int pa = a->parentWidget()->x() + a->x(), pb = b->parentWidget()->x() + b->x();
        return pa < pb;
    });
    return all;
}

template <typename Picker>
void finishSlide(Picker* picker) {
    auto* animation = picker->template findChild<QPropertyAnimation*>();
    if (animation->state() == QAbstractAnimation::Running) {
        QSignalSpy done(animation, &QPropertyAnimation::finished);
        ASSERT_TRUE(done.wait(3000));
    }
}

class Picker1D : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(900, 400);
        picker = new UI_ColormapSelectionWidget(&host);
        picker->move(host.width() - 71, 10);
        host.show();
    }
    UI_MaterialCheckBoxWidget* discreteSwitch() { return picker->findChild<UI_MaterialCheckBoxWidget*>(); }
    QWidget host;
    UI_ColormapSelectionWidget* picker = nullptr;
};

TEST_F(Picker1D, StartsWithViridisContinuousAndClosed) {
    EXPECT_EQ(picker->size(), QSize(618, 212));
    EXPECT_EQ(picker->activeColormap(), 6);
    EXPECT_FALSE(picker->isDiscrete());
    EXPECT_FALSE(picker->isOpen());
    QList<QPushButton*> b = buttons(picker);
    ASSERT_EQ(b.size(), 16);
    EXPECT_EQ(b[0]->geometry(), QRect(35, 5, 24, 168));
    EXPECT_TRUE(b[0]->styleSheet().contains("url(:/colormaps/Viridis_vert.png)"));
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(b[i + 1]->geometry(), QRect(5 + 36 * i, 5, 24, 168));
        EXPECT_TRUE(b[i + 1]->styleSheet().contains(QString("url(:/colormaps/") + kNames[i] + "_vert.png)")) << i;
    }
    QStringList labels;
    for (QLabel* l : picker->findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("max") && labels.contains("min") && labels.contains(" Discrete Colormap"));
    // The active button shows the map with its highest value (yellow) on top.
    const QImage image = picker->grab().toImage();
    const QColor top(image.pixel(47, 12)), bottom(image.pixel(47, 165));
    EXPECT_GT(top.red(), 200);
    EXPECT_GT(top.green(), 200);
    EXPECT_LT(top.blue(), 90);
    EXPECT_LT(bottom.red(), 100);
    EXPECT_LT(bottom.green(), 40);
    EXPECT_GT(bottom.blue(), 60);
}

TEST_F(Picker1D, EachButtonChoosesItsColormapAndClosesThePanel) {
    QSignalSpy selected(picker, &UI_ColormapSelectionWidget::colormapSelected);
    QList<QPushButton*> b = buttons(picker);
    for (int i = 0; i < 15; ++i) {
        QTest::mouseClick(b[i + 1], Qt::LeftButton);
        ASSERT_EQ(selected.count(), i + 1);
        EXPECT_EQ(selected.last()[0].toInt(), i);
        EXPECT_EQ(picker->activeColormap(), i);
        EXPECT_TRUE(b[0]->styleSheet().contains(QString("url(:/colormaps/") + kNames[i] + "_vert.png)")) << i;
    }
}

TEST_F(Picker1D, ActiveImageSlidesThePanelIn555PixelsAndBack) {
    QList<QPushButton*> b = buttons(picker);
    const int closedX = picker->x();
    QTest::mouseClick(b[0], Qt::LeftButton);
    EXPECT_TRUE(picker->isOpen());
    EXPECT_EQ(picker->findChild<QPropertyAnimation*>()->duration(), 500);
    finishSlide(picker);
    EXPECT_EQ(picker->x(), closedX - 555);
    EXPECT_EQ(picker->y(), 10);

    QSignalSpy selected(picker, &UI_ColormapSelectionWidget::colormapSelected);
    QTest::mouseClick(b[13], Qt::LeftButton);
    EXPECT_FALSE(picker->isOpen());
    finishSlide(picker);
    EXPECT_EQ(picker->x(), closedX);
    EXPECT_EQ(selected.count(), 1);
}

TEST_F(Picker1D, DiscreteSwitchRestylesAllButtonsAndKeepsThePanelOpen) {
    QList<QPushButton*> b = buttons(picker);
    QTest::mouseClick(b[0], Qt::LeftButton);
    QSignalSpy discrete(picker, &UI_ColormapSelectionWidget::discreteSelected);
    QSignalSpy selected(picker, &UI_ColormapSelectionWidget::colormapSelected);
    discreteSwitch()->js_clicked();  // what the page calls when the user flips it
    ASSERT_EQ(discrete.count(), 1);
    EXPECT_TRUE(discrete[0][0].toBool());
    EXPECT_TRUE(picker->isOpen());
    EXPECT_EQ(selected.count(), 0);
    for (int i = 0; i < 15; ++i)
        EXPECT_TRUE(b[i + 1]->styleSheet().contains(QString(kNames[i]) + "_vert_disc.png")) << i;
    EXPECT_TRUE(b[0]->styleSheet().contains("Viridis_vert_disc.png"));

    QTest::mouseClick(b[13], Qt::LeftButton);  // Reds
    EXPECT_EQ(selected.last()[0].toInt(), 12);
    EXPECT_TRUE(b[0]->styleSheet().contains("url(:/colormaps/Reds_vert_disc.png)"));
    EXPECT_FALSE(picker->isOpen());
}

TEST_F(Picker1D, HostPushesEmitNothingAndMoveTheSwitch) {
    QSignalSpy selected(picker, &UI_ColormapSelectionWidget::colormapSelected);
    QSignalSpy discrete(picker, &UI_ColormapSelectionWidget::discreteSelected);
    picker->setColormap(3, true);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_TRUE(picker->isDiscrete());
    EXPECT_TRUE(discreteSwitch()->isChecked());
    EXPECT_TRUE(buttons(picker)[0]->styleSheet().contains("PuOr_vert_disc.png"));
    picker->setColormap(15, false);  // outside the table: ignored
    picker->setColormap(-1, false);
    EXPECT_EQ(picker->activeColormap(), 3);
    EXPECT_TRUE(picker->isDiscrete());
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(discrete.count(), 0);
}

TEST_F(Picker1D, DarkModeSwapsTheStyleOfBothPanels) {
    QList<QWidget*> panels;
    for (QWidget* w : picker->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->styleSheet().isEmpty()) panels << w;
    ASSERT_EQ(panels.size(), 2);
    picker->setDarkMode(true);
    for (QWidget* p : panels) {
        EXPECT_TRUE(p->styleSheet().contains("border: 1px solid rgba(35, 35, 35, 1.0)"));
        EXPECT_TRUE(p->styleSheet().contains("QLabel{color: white;}"));
    }
    QLabel* max = nullptr;
    for (QLabel* l : picker->findChildren<QLabel*>())
        if (l->text() == "max") max = l;
    ASSERT_NE(max, nullptr);
    max->ensurePolished();
    EXPECT_EQ(max->palette().color(QPalette::WindowText), QColor(Qt::white));
    picker->setDarkMode(false);
    for (QWidget* p : panels) EXPECT_TRUE(p->styleSheet().contains("border: 1px solid rgba(200, 200, 200, 1.0)"));
    max->ensurePolished();
    EXPECT_EQ(max->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(Picker1D, ColourTablesAreTheMapsRgbBytes) {
    const std::vector<unsigned char>* table = picker->colormMapData(14);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->size(), 600u);
    EXPECT_EQ((*table)[0], 0);
    EXPECT_EQ((*table)[597], 0xED);
    EXPECT_EQ((*table)[598], 0x06);
    EXPECT_EQ((*table)[599], 0x05);
    const std::vector<unsigned char>* viridis = picker->colormMapData(6);
    EXPECT_EQ((*viridis)[300], 0x21);  // pixel 100
    EXPECT_EQ((*viridis)[301], 0x91);
    EXPECT_EQ((*viridis)[302], 0x8C);
    EXPECT_EQ(picker->colormMapData(15), nullptr);
    EXPECT_EQ(picker->colormMapData(-1), nullptr);
}

TEST(Picker2D, ChoosesTheFourFieldsAndSlides567Pixels) {
    QWidget host;
    host.resize(900, 400);
    auto* picker = new UI_Colormap2DSelectionWidget(&host);
    picker->move(host.width() - 145, 10);
    host.show();
    EXPECT_EQ(picker->size(), QSize(704, 172));
    EXPECT_EQ(picker->activeColormap(), 0);
    QList<QPushButton*> b = buttons(picker);
    ASSERT_EQ(b.size(), 5);
    EXPECT_EQ(b[0]->geometry(), QRect(5, 5, 128, 128));
    EXPECT_TRUE(b[0]->styleSheet().contains("url(:/colormaps/2D_Tarn.png)"));

    QTest::mouseClick(b[0], Qt::LeftButton);
    finishSlide(picker);
    EXPECT_EQ(picker->x(), 900 - 145 - 567);
    QSignalSpy selected(picker, &UI_Colormap2DSelectionWidget::colormapSelected);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b[i + 1]->geometry(), QRect(5 + 138 * i, 5, 128, 128));
        QTest::mouseClick(b[i + 1], Qt::LeftButton);
        EXPECT_EQ(selected.last()[0].toInt(), i);
        EXPECT_TRUE(b[0]->styleSheet().contains(QString("url(:/colormaps/") + k2DNames[i] + ".png)"));
    }
    // Discrete changes only the switch; the images stay smooth.
    QSignalSpy discrete(picker, &UI_Colormap2DSelectionWidget::discreteSelected);
    picker->findChild<UI_MaterialCheckBoxWidget*>()->js_clicked();
    EXPECT_TRUE(discrete.last()[0].toBool());
    EXPECT_TRUE(b[1]->styleSheet().contains("url(:/colormaps/2D_Tarn.png)"));
    picker->setColormap(2, false);
    EXPECT_FALSE(picker->findChild<UI_MaterialCheckBoxWidget*>()->isChecked());
    EXPECT_EQ(discrete.count(), 1);

    ASSERT_NE(picker->colormMapData(0), nullptr);
    EXPECT_EQ(picker->colormMapData(0)->size(), 49152u);
    EXPECT_EQ((*picker->colormMapData(0))[0], 0x54);  // top-left #549305
    EXPECT_EQ(picker->colormMapData(4), nullptr);

    const QImage image = picker->grab().toImage();
    const QColor corner(image.pixel(8, 8));  // the active field's top-left area
    EXPECT_NEAR(corner.red(), 0xE6, 12);     // 2D_Halvick is active now
    EXPECT_NEAR(corner.green(), 0xDA, 12);
    EXPECT_LT(corner.blue(), 30);
}

}  // namespace
