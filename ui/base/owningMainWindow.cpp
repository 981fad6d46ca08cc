#include "owningMainWindow.h"

#include <QApplication>
#include <QMainWindow>

QMainWindow* owningMainWindow(const QWidget* widget) {
    for (QWidget* w = widget ? widget->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* window = qobject_cast<QMainWindow*>(w)) return window;
    return qobject_cast<QMainWindow*>(QApplication::activeWindow());
}
