#include "UI_ColormapSelectionWidget.h"

#include "render/MCV_ColormapTable.h"

#include <QLabel>

UI_ColormapSelectionWidget::UI_ColormapSelectionWidget(QWidget* parent)
    : UI_ColormapPicker(parent, 1, MCV_ColormapTable::kDefault1D) {
    Layout layout;
    layout.size = QSize(618, 212);
    layout.left = QRect(0, 0, 64, 178);
    layout.spacer = QRect(64, 0, 14, 178);
    layout.right = QRect(78, 0, 540, 212);
    layout.activeButton = QRect(35, 5, 24, 168);
    layout.firstButton = QRect(5, 5, 24, 168);
    layout.step = 36;
    layout.discreteSwitch = QPoint(5, 180);
    layout.slideDistance = 555;
    build(layout);

    auto* maxLabel = new QLabel("max", leftPanel());
    maxLabel->setGeometry(0, 5, 30, maxLabel->sizeHint().height());
    maxLabel->setAlignment(Qt::AlignRight);
    auto* minLabel = new QLabel("min", leftPanel());
    minLabel->setGeometry(0, 158, 30, minLabel->sizeHint().height());
    minLabel->setAlignment(Qt::AlignRight);
}

QString UI_ColormapSelectionWidget::buttonStyle(int idx) const {
    return "QPushButton{background-color: transparent; background-image: url(" + imagePath(idx) + "_vert" +
           (isDiscrete() ? "_disc" : "") + ".png);}";
}
