#pragma once

#include <QObject>
#include <QSet>

class QWidget;

// While it lives, no user input reaches the windows that were open when it was
// made (the main window, its docks, floating docks, other dialogs): their
// mouse, wheel, key, shortcut, touch, tablet, context-menu, drag-and-drop and
// input-method events are dropped, not delayed, so nothing a user did during a
// long computation acts after it. A window's close request is not input and
// still arrives, and a window opened meanwhile (the question a close request
// asks, a message box) takes input as usual.
//
// Made around a computation on the GUI thread that processes pending events,
// so the window repaints and the window system is answered. GUI thread only.
class UI_InputBlocker : public QObject {
public:
    UI_InputBlocker();
    ~UI_InputBlocker() override;

protected:
    // Drops the input to the windows that were open when it was made.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether `widget` is in one of the windows open when the blocker was made.
    bool blocked(const QWidget* widget) const;

    QSet<const QWidget*> m_windows;
};
