#pragma once

#include "UI_DockableWidget.h"

class QTabWidget;

// A dock whose content is a tab widget (the main window's Settings dock, the
// views' extended settings). Pages leave their tab by being deleted.
class UI_DockableContainerWidget : public UI_DockableWidget {
public:
    explicit UI_DockableContainerWidget(QWidget* parent);
    ~UI_DockableContainerWidget() override;

    void initUI();
    // Adds `widget` as a new tab titled `label` and returns its index; the
    // tab widget is created, at row 0 / column 0, by the first call.
    int addTabWidget(QWidget* widget, QString label);
    // Null until the first addTabWidget.
    QTabWidget* tabWidget() const;

private:
    QTabWidget* m_tabWidget = nullptr;
};
