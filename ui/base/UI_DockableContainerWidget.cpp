#include "UI_DockableContainerWidget.h"

#include <QGridLayout>
#include <QTabWidget>

UI_DockableContainerWidget::UI_DockableContainerWidget(QWidget* parent) : UI_DockableWidget(parent) {}

UI_DockableContainerWidget::~UI_DockableContainerWidget() {
    delete m_tabWidget;
    m_tabWidget = nullptr;
}

void UI_DockableContainerWidget::initUI() {}

int UI_DockableContainerWidget::addTabWidget(QWidget* widget, QString label) {
    if (!m_tabWidget) {
        m_tabWidget = new QTabWidget(this);
        mainLayout()->addWidget(m_tabWidget, 0, 0);
    }
    return m_tabWidget->addTab(widget, label);
}

QTabWidget* UI_DockableContainerWidget::tabWidget() const { return m_tabWidget; }
