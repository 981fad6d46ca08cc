#include "UI_InputBlocker.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QShortcut>
#include <QWidget>

#include <algorithm>

namespace {

bool isInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::InputMethod:
            return true;
        default:
            return false;
    }
}

}  // namespace

UI_InputBlocker::UI_InputBlocker() {
    for (QWidget* window : QApplication::topLevelWidgets()) m_windows.insert(window);
    qApp->installEventFilter(this);
}

UI_InputBlocker::~UI_InputBlocker() { qApp->removeEventFilter(this); }

bool UI_InputBlocker::blocked(const QWidget* widget) const { return widget && m_windows.contains(widget->window()); }

bool UI_InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    if (!isInput(event->type())) return false;
    if (watched->isWidgetType()) return blocked(static_cast<const QWidget*>(watched));
    // Window-system windows pass: the widget they deliver to is filtered, and
    // they keep their own press and grab state right. An action or shortcut
    // fires only for a window opened meanwhile.
    if (event->type() != QEvent::Shortcut) return false;
    if (auto* shortcut = qobject_cast<QShortcut*>(watched)) return blocked(shortcut->parentWidget());
    if (auto* action = qobject_cast<QAction*>(watched)) {
        const QList<QWidget*> widgets = action->associatedWidgets();
        return std::all_of(widgets.begin(), widgets.end(), [this](const QWidget* w) { return blocked(w); });
    }
    return true;
}
