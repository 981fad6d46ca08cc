#include "UI_ExpanderWidget.h"

#include "UI_ExpanderWidgetHeader.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLayout>

UI_ExpanderWidget::UI_ExpanderWidget(QWidget* parent, bool expanded, bool resizeParent)
    : QWidget(parent), m_windowToResize(parent), m_resizeWindow(resizeParent) {
    setObjectName("UI_ExpanderWidget");
    m_layout = new QGridLayout(this);
    m_layout->setAlignment(Qt::AlignTop);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_header = new UI_ExpanderWidgetHeader(this);
    m_header->setAutoFillBackground(true);
    m_layout->addWidget(m_header, 0, 0);
    connect(m_header, &UI_ExpanderWidgetHeader::headerClicked, this, &UI_ExpanderWidget::hideBody);
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet("#UI_ExpanderWidget {border: 1px solid #B9B9B9;}");
    if (!expanded) emit m_header->headerClicked(true);
}

void UI_ExpanderWidget::setBody(QWidget* body) {
    if (m_body) m_layout->removeWidget(m_body);
    m_body = body;
    if (!m_body) return;
    m_layout->addWidget(m_body, 1, 0);
    if (m_header->collapsed) m_body->hide();
}

void UI_ExpanderWidget::setHeader(QString text) { m_header->titleLabel->setText(text); }

UI_ExpanderWidgetHeader* UI_ExpanderWidget::header() const { return m_header; }

QWidget* UI_ExpanderWidget::body() const { return m_body; }

bool UI_ExpanderWidget::isCollapsed() const { return m_header->collapsed; }

void UI_ExpanderWidget::hideBody(bool hide) {
    m_header->collapsed = hide;
    m_header->arrow->setStyleSheet(hide ? m_header->collapsedArrowStyle : m_header->expandedArrowStyle);
    if (!m_body) return;
    m_body->setVisible(!hide);
    if (!m_resizeWindow || !m_windowToResize) return;
    // Let pending paints and posted events run first, so the size hint below
    // reflects the body's new visibility.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (QLayout* layout = m_windowToResize->layout()) layout->activate();
    m_windowToResize->resize(m_windowToResize->sizeHint());
}
