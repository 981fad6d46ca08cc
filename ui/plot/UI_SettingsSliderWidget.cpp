#include "UI_SettingsSliderWidget.h"

#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/owningMainWindow.h"

#include <QGridLayout>
#include <QMainWindow>
#include <QPalette>
#include <QPropertyAnimation>
#include <QPushButton>

UI_SettingsSliderWidget::UI_SettingsSliderWidget(QWidget* parent, int height)
    : QWidget(parent),
      m_parent(parent),
      m_slideAnimation(nullptr),
      m_mainLayout(nullptr),
      m_optionsButton(nullptr),
      m_screenshotButton(nullptr),
      m_handle(nullptr),
      m_height(height),
      m_parentSize(-1, -1),
      m_open(true),
      m_peeking(false),
      m_peekHeight(15),
      m_extendedSettings(nullptr) {
    initUI();
}

UI_SettingsSliderWidget::~UI_SettingsSliderWidget() {
    if (m_extendedSettings) {
        // The tabs belong to their creators, not to the dock.
        for (QPointer<QWidget>& widget : m_extendedWidgets)
            if (widget) widget->setParent(nullptr);
        delete m_extendedSettings;
    }
}

void UI_SettingsSliderWidget::initUI() {
    setMinimumHeight(m_height);
    setMaximumHeight(m_height);

    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(0, 0, 0, 190)));
    setPalette(pal);
    setAutoFillBackground(true);

    m_slideAnimation = new QPropertyAnimation(this, "geometry", this);
    m_slideAnimation->setDuration(500);
    m_slideAnimation->setEasingCurve(QEasingCurve::InOutCubic);

    m_mainLayout = new QGridLayout(this);
    m_mainLayout->setSpacing(0);
    m_mainLayout->setContentsMargins(0, 0, 0, 0);

    auto* buttons = new QGridLayout();
    buttons->setContentsMargins(10, 10, 10, 10);
    buttons->setSpacing(10);
    m_screenshotButton = new QPushButton(this);
    m_screenshotButton->setFixedSize(24, 24);
    m_screenshotButton->setStyleSheet(
        "background-color: transparent; background-image: url(:/Icons/cameraBt); background-repeat: none; "
        "border: none;");
    m_optionsButton = new QPushButton(this);
    m_optionsButton->setFixedSize(24, 24);
    m_optionsButton->setStyleSheet(
        "background-color: transparent; background-image: url(:/Icons/optionsBt); background-repeat: none; "
        "border: none;");
    buttons->addWidget(m_screenshotButton, 1, 0, Qt::AlignRight | Qt::AlignTop);
    buttons->addWidget(m_optionsButton, 0, 0, Qt::AlignRight | Qt::AlignTop);
    connect(m_screenshotButton, &QPushButton::clicked, this, &UI_SettingsSliderWidget::openScreenshotDialog);
    connect(m_optionsButton, &QPushButton::clicked, this, &UI_SettingsSliderWidget::openOptions);
    m_mainLayout->addLayout(buttons, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignTop);

    m_closedHandleStyle =
        "background-color: transparent; background-image: url(:/Icons/openArrow); background-repeat: none; "
        "border: none;";
    m_openHandleStyle =
        "background-color: transparent; background-image: url(:/Icons/closeArrow); background-repeat: none; "
        "border: none;";
    m_handle = new QPushButton(this);
    m_handle->setFixedSize(100, 15);
    m_handle->setStyleSheet(m_openHandleStyle);
    m_mainLayout->addWidget(m_handle, 0, 1, Qt::AlignHCenter);
    connect(m_handle, &QPushButton::clicked, this, &UI_SettingsSliderWidget::toggle);

    m_mainLayout->setRowStretch(0, 15);
    m_mainLayout->setRowStretch(1, 95);
    m_mainLayout->setColumnStretch(0, 1);
    m_mainLayout->setColumnStretch(1, 8);
    m_mainLayout->setColumnStretch(2, 1);
    for (int c = 0; c < 3; ++c) m_mainLayout->setColumnMinimumWidth(c, 100);

    connect(m_slideAnimation, &QPropertyAnimation::finished, this, &UI_SettingsSliderWidget::toggleHandleStyle);
    if (m_parent) connect(m_slideAnimation, &QPropertyAnimation::finished, m_parent, [this] { m_parent->update(); });
}

void UI_SettingsSliderWidget::moveTo(int targetY, int durationMs) {
    const QRect current = geometry();
    m_slideAnimation->setDuration(durationMs);
    m_slideAnimation->setStartValue(QRect(current.x(), current.y(), current.width(), current.height()));
    m_slideAnimation->setEndValue(QRect(current.x(), targetY, current.width(), m_height));
    // A running animation takes the new values without restarting.
    m_slideAnimation->start();
}

void UI_SettingsSliderWidget::slideIn() {
    m_open = true;
    moveTo(m_parentSize.height() - m_height, 500);
}

void UI_SettingsSliderWidget::slideOut() {
    m_open = false;
    moveTo(m_parentSize.height(), 500);
}

void UI_SettingsSliderWidget::peekIn() {
    if (m_open || m_peeking) return;
    m_peeking = true;
    moveTo(m_parentSize.height() - m_peekHeight, 300);
}

void UI_SettingsSliderWidget::peekOut() {
    if (m_open || !m_peeking) return;
    m_peeking = false;
    moveTo(m_parentSize.height(), 300);
}

void UI_SettingsSliderWidget::setParentSize(QSize size) {
    m_parentSize = size;
    if (m_open)
        move(0, size.height() - height());
    else
        move(0, size.height());
    setFixedWidth(size.width());
}

void UI_SettingsSliderWidget::toggle() {
    if (m_open)
        slideOut();
    else
        slideIn();
}

void UI_SettingsSliderWidget::toggleHandleStyle() {
    m_handle->setStyleSheet(m_open ? m_openHandleStyle : m_closedHandleStyle);
}

UI_DockableContainerWidget* UI_SettingsSliderWidget::extendedSettingsWidget() {
    if (m_extendedSettings) return m_extendedSettings;
    QMainWindow* mainWindow = owningMainWindow(this);
    m_extendedSettings = new UI_DockableContainerWidget(mainWindow);
    m_extendedSettings->setWindowTitle("Extended Settings");
    for (size_t i = 0; i < m_extendedWidgets.size(); ++i)
        if (m_extendedWidgets[i]) m_extendedSettings->addTabWidget(m_extendedWidgets[i], m_extendedTitles[i]);
    if (mainWindow) {
        mainWindow->addDockWidget(Qt::RightDockWidgetArea, m_extendedSettings);
        m_extendedSettings->setFloating(true);
        m_extendedSettings->setVisibility(false);
    }
    return m_extendedSettings;
}

void UI_SettingsSliderWidget::addWidgetToExtendedSettings(QWidget* widget, QString title) {
    m_extendedWidgets.push_back(widget);
    m_extendedTitles.push_back(title);
    if (m_extendedSettings) m_extendedSettings->addTabWidget(widget, title);
}

void UI_SettingsSliderWidget::openOptions() { extendedSettingsWidget()->toggleVisibility(); }

void UI_SettingsSliderWidget::openScreenshotDialog() { emit screenshotButtonPressed(); }
