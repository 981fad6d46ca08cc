#include "UI_ExpanderWidgetHeader.h"

#include <QGridLayout>
#include <QLabel>

UI_ExpanderWidgetHeader::UI_ExpanderWidgetHeader(QWidget* parent) : QWidget(parent) {
    setObjectName("UI_ExpanderWidgetHeader");
    arrow = new QWidget(this);
    arrow->setFixedSize(10, 10);
    arrow->setStyleSheet(expandedArrowStyle);
    titleLabel = new QLabel("Text", this);

    QGridLayout* layout = new QGridLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(arrow, 0, 0, Qt::AlignCenter);
    layout->addWidget(titleLabel, 0, 1, Qt::AlignCenter);
    layout->setColumnStretch(0, 0);
    layout->setColumnStretch(1, 1);

    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet("#UI_ExpanderWidgetHeader {border: 1px solid #B9B9B9; background-color: #DBDBDB}");
}

void UI_ExpanderWidgetHeader::toggleVisibility() { emit headerClicked(!collapsed); }

void UI_ExpanderWidgetHeader::mousePressEvent(QMouseEvent*) { emit headerClicked(!collapsed); }
