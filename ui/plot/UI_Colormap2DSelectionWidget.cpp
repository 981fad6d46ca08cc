#include "UI_Colormap2DSelectionWidget.h"

UI_Colormap2DSelectionWidget::UI_Colormap2DSelectionWidget(QWidget* parent) : UI_ColormapPicker(parent, 2, 0) {
    Layout layout;
    layout.size = QSize(704, 172);
    layout.left = QRect(0, 0, 138, 138);
    layout.spacer = QRect(138, 0, 14, 138);
    layout.right = QRect(152, 0, 552, 172);
    layout.activeButton = QRect(5, 5, 128, 128);
    layout.firstButton = QRect(5, 5, 128, 128);
    layout.step = 138;
    layout.discreteSwitch = QPoint(5, 140);
    layout.slideDistance = 567;
    build(layout);
}

QString UI_Colormap2DSelectionWidget::buttonStyle(int idx) const {
    return "QPushButton{background-color: transparent; background-image: url(" + imagePath(idx) + ".png);}";
}
