// Finding the real child widgets a user would press, by what they show.
#pragma once

#include <QGridLayout>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QString>

// The first child of type W (in creation order) whose text() is `text`, or null.
template <typename W>
W* childWithText(const QObject* parent, const QString& text) {
    for (W* w : parent->findChildren<W*>())
        if (w->text() == text) return w;
    return nullptr;
}

// The widget of type W in column 1 beside the label showing `text` in a grid
// (a settings row), or null.
template <typename W>
W* widgetBeside(const QObject* parent, const QString& text) {
    QLabel* label = childWithText<QLabel>(parent, text);
    auto* grid = label && label->parentWidget() ? qobject_cast<QGridLayout*>(label->parentWidget()->layout()) : nullptr;
    if (!grid) return nullptr;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rows, &columns);
    QLayoutItem* item = grid->itemAtPosition(row, 1);
    return item ? qobject_cast<W*>(item->widget()) : nullptr;
}
