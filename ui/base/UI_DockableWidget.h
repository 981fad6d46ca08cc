#pragma once

#include <QDockWidget>

#include <cstdint>
#include <vector>

class QGridLayout;

// Base of every dock of the main window. Owns an inner widget with a
// zero-margin grid (mainLayout()) in which derived docks place their content,
// keeps its own visibility flag with the user's and the program's last request
// (the toggle-view action triggered from a menu, the title-bar close button,
// setVisibility / toggleVisibility), and carries the
// selection bookkeeping shared by the embedding views. A dock shown floating
// for the first time opens centred over its main window (the window system
// would otherwise put it at a corner of the screen); after that it stays where
// the user puts it.
class UI_DockableWidget : public QDockWidget {
    Q_OBJECT
public:
    explicit UI_DockableWidget(QWidget* parent);
    ~UI_DockableWidget() override;

    QGridLayout* mainLayout();
    // The visibility last requested: through setVisibility / toggleVisibility,
    // the toggle-view action or the close button. The window system hiding
    // and showing the docks with a minimised main window leaves it alone.
    bool visibilityFlag() const;

public slots:
    void setVisibility(bool visible);
    void toggleVisibility();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    bool m_visible = false;
    bool m_placedOverWindow = false;
    QGridLayout* m_mainLayout = nullptr;
    // Filled by embedding views: one mask per loaded file, one bit per event.
    std::vector<std::vector<bool>> m_selectionMasks;
    // Filled by embedding views: per point of the embedding, 32767 when
    // selected, else 0.
    std::vector<short> m_selectionFlags;
    int64_t m_numSelected = 0;
    QWidget* m_mainWidget = nullptr;
};
