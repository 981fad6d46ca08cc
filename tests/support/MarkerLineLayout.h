// Where a marker list's status line sits, for the tests of the import and
// export dialogs: the line lies in the list's layout, shown whole, over no
// check box or button, and a message moves no control of the dialog.
#pragma once

#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <string>
#include <vector>

// Whether `layout` or a layout inside it holds `widget`.
inline bool layoutHolds(const QLayout* layout, const QWidget* widget) {
    if (!layout) return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == widget || layoutHolds(item->layout(), widget)) return true;
    }
    return false;
}

// What is wrong with the list's status line as shown: empty when it lies in the
// list's layout inside the list, is shown whole (neither clipped by a window
// or a parent nor its text cut) and overlaps no check box or button of the
// list.
inline std::string markerLineFault(UI_MarkerSelectionWidget* list) {
    QLabel* line = list->statusLine();
    if (!line || line->parentWidget() != list) return "the line is not the list's";
    if (!layoutHolds(list->layout(), line)) return "the line is outside the list's layout";
    if (!line->isVisible()) return "the line is not shown";
    if (!list->rect().contains(line->geometry())) return "the line reaches outside the list";
    if (line->visibleRegion() != QRegion(line->rect())) return "the line is clipped";
    const QRect room = line->contentsRect();
    const QRect text = line->fontMetrics().boundingRect(room, int(line->alignment()) | Qt::TextWordWrap, line->text());
    if (text.width() > room.width() || text.height() > room.height())
        return "the text needs " + std::to_string(text.width()) + " x " + std::to_string(text.height()) +
               " pixels, the line has " + std::to_string(room.width()) + " x " + std::to_string(room.height());
    for (QAbstractButton* control : list->findChildren<QAbstractButton*>()) {
        if (!control->isVisible()) continue;
        if (control->geometry().intersects(line->geometry()))
            return "the line overlaps \"" + control->text().toStdString() + "\"";
    }
    return "";
}

// The rectangles of `controls` in `window`'s coordinates, then the window's
// own, to compare before and after a message.
inline std::vector<QRect> placesIn(const QWidget* window, const std::vector<QWidget*>& controls) {
    std::vector<QRect> out;
    for (const QWidget* c : controls) out.push_back(c ? QRect(c->mapTo(window, QPoint()), c->size()) : QRect());
    out.push_back(window->geometry());
    return out;
}

// The list's current check boxes and buttons, in a fixed order.
inline std::vector<QWidget*> markerListControls(UI_MarkerSelectionWidget* list) {
    std::vector<QWidget*> out(list->checkBoxes().begin(), list->checkBoxes().end());
    if (list->sampleBox()) out.push_back(list->sampleBox());
    for (const char* text : {"Inverse Markers", "Load Selection", "Set Default"})
        for (QAbstractButton* b : list->findChildren<QAbstractButton*>())
            if (b->text() == text && !b->isHidden()) out.push_back(b);
    return out;
}
