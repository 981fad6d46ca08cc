#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// The clickable bar of a collapsible section: an arrow and a title. A press
// of any mouse button asks the section to flip its state.
class UI_ExpanderWidgetHeader : public QWidget {
    Q_OBJECT
public:
    explicit UI_ExpanderWidgetHeader(QWidget* parent);

    // Emits headerClicked(!collapsed), as a click does.
    void toggleVisibility();

    bool collapsed = false;
    QWidget* arrow = nullptr;
    QLabel* titleLabel = nullptr;
    const QString collapsedArrowStyle = QStringLiteral(
        "QWidget {border-image: url(:/Icons/openArrowDrop) 0 0 0 0 stretch stretch; border-width: 0px;}");
    const QString expandedArrowStyle = QStringLiteral(
        "QWidget {border-image: url(:/Icons/closeArrowDrop) 0 0 0 0 stretch stretch; border-width: 0px;}");

signals:
    void headerClicked(bool hide);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
