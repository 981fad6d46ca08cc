#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

class QGridLayout;
class QPropertyAnimation;
class QPushButton;
class UI_DockableContainerWidget;

// The translucent settings strip attached to the bottom edge of a view. Open,
// it sits at the bottom of its host; closed, just below the host's bottom edge;
// peeking, a 15-pixel strip of it shows. The host calls setParentSize() on
// every resize and peekIn()/peekOut() as the pointer nears or leaves its
// bottom edge. Subclasses put their controls at row 1, column 1 of the grid and
// an optional left-hand panel at row 0, column 0 spanning two rows.
//
// All movements share one "geometry" animation and keep x and width; the flags
// change when a movement starts, not when it ends.
class UI_SettingsSliderWidget : public QWidget {
    Q_OBJECT
public:
    UI_SettingsSliderWidget(QWidget* parent, int height);
    ~UI_SettingsSliderWidget() override;

    // Places the panel by the open flag alone, without animation, and makes it
    // as wide as the host.
    void setParentSize(QSize size);
    void peekIn();
    void peekOut();
    void slideIn();
    void slideOut();

    // The floating "Extended Settings" dock, created on first call with every
    // widget recorded so far as a tab. The panel owns it.
    UI_DockableContainerWidget* extendedSettingsWidget();
    // Records a tab for the dock (added at once when the dock exists). The
    // widget stays owned by its creator: the panel hands recorded widgets back
    // (without parent) before it deletes the dock.
    void addWidgetToExtendedSettings(QWidget* widget, QString title);

    bool isOpen() const { return m_open; }
    bool isPeeking() const { return m_peeking; }

signals:
    void screenshotButtonPressed();

private slots:
    void toggle();
    void toggleHandleStyle();
    void openOptions();
    void openScreenshotDialog();

protected:
    QGridLayout* mainLayout() const { return m_mainLayout; }
    int panelHeight() const { return m_height; }

private:
    void initUI();
    void moveTo(int targetY, int durationMs);

    QWidget* m_parent;
    QPropertyAnimation* m_slideAnimation;
    QGridLayout* m_mainLayout;
    QPushButton* m_optionsButton;
    QPushButton* m_screenshotButton;
    QPushButton* m_handle;
    int m_height;
    QSize m_parentSize;
    bool m_open;
    bool m_peeking;
    int m_peekHeight;
    QString m_closedHandleStyle;
    QString m_openHandleStyle;
    UI_DockableContainerWidget* m_extendedSettings;
    // Guarded: a recorded widget may be deleted by its owner at any time.
    std::vector<QPointer<QWidget>> m_extendedWidgets;
    std::vector<QString> m_extendedTitles;
};
