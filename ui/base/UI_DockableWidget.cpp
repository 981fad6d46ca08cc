#include "UI_DockableWidget.h"

#include "owningMainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QMainWindow>

UI_DockableWidget::UI_DockableWidget(QWidget* parent) : QDockWidget(parent) {
    m_mainWidget = new QWidget(this);
    m_mainLayout = new QGridLayout(m_mainWidget);
    m_mainLayout->setContentsMargins(0, 0, 0, 0);
    setWidget(m_mainWidget);
    // Triggered, not toggled: the window system unchecks the action of every
    // shown dock while the main window is minimised or on another desktop and
    // checks it again on restore. Taking that for a request would hide the
    // docks for good (a hidden widget gets no show event on restore).
    connect(toggleViewAction(), &QAction::triggered, this, &UI_DockableWidget::setVisibility);
}

UI_DockableWidget::~UI_DockableWidget() {
    delete m_mainLayout;
    m_mainLayout = nullptr;
    delete m_mainWidget;
    m_mainWidget = nullptr;
}

QGridLayout* UI_DockableWidget::mainLayout() { return m_mainLayout; }

bool UI_DockableWidget::visibilityFlag() const { return m_visible; }

void UI_DockableWidget::setVisibility(bool visible) {
    m_visible = visible;
    setVisible(visible);
}

void UI_DockableWidget::toggleVisibility() {
    m_visible = !m_visible;
    setVisible(m_visible);
}

void UI_DockableWidget::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    if (event->isAccepted()) m_visible = false;
}

void UI_DockableWidget::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    if (!isFloating() || m_placedOverWindow) return;
    const QMainWindow* window = owningMainWindow(this);
    if (!window || !window->isVisible()) return;
    // Before the window system maps the dock, so it appears there at once.
    QRect frame = frameGeometry();
    frame.moveCenter(window->frameGeometry().center());
    move(frame.topLeft());
    m_placedOverWindow = true;
}
