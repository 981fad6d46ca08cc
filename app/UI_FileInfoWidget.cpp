#include "app/UI_FileInfoWidget.h"

#include <QGridLayout>
#include <QTextBrowser>

UI_FileInfoWidget::UI_FileInfoWidget(QWidget* parent) : UI_DockableWidget(parent) { initUI(); }

UI_FileInfoWidget::~UI_FileInfoWidget() {
    delete m_textBrowser;
    m_textBrowser = nullptr;
}

void UI_FileInfoWidget::initUI() {
    setWindowTitle("File Information");
    if (!m_textBrowser) m_textBrowser = new QTextBrowser(this);
    mainLayout()->addWidget(m_textBrowser, 0, 0);
}

void UI_FileInfoWidget::setInfoText(QString text) {
    m_textBrowser->clear();
    m_textBrowser->setPlainText(text);
}

QTextBrowser* UI_FileInfoWidget::textBrowser() const { return m_textBrowser; }
