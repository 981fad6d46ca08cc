#pragma once

#include <QWidget>

class QGridLayout;
class UI_ExpanderWidgetHeader;

// A collapsible section: a header bar over one body widget, shown or hidden
// by a click on the header or by hideBody(). With the resize flag the window
// given at construction (which must have a layout) is re-laid out and resized
// to its size hint on every toggle, so a dialog grows and shrinks with it.
class UI_ExpanderWidget : public QWidget {
    Q_OBJECT
public:
    UI_ExpanderWidget(QWidget* parent, bool expanded, bool resizeParent);

    // Replaces the body; the old one is only taken out of the layout (not
    // deleted, not hidden). A collapsed section hides the new body at once.
    void setBody(QWidget* body);
    void setHeader(QString text);

    UI_ExpanderWidgetHeader* header() const;
    QWidget* body() const;
    bool isCollapsed() const;

public slots:
    void hideBody(bool hide);

private:
    UI_ExpanderWidgetHeader* m_header = nullptr;
    QWidget* m_body = nullptr;
    QWidget* m_windowToResize = nullptr;
    bool m_resizeWindow = false;
    QGridLayout* m_layout = nullptr;
};
