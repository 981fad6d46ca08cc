// Finding the real child widgets a user would press, by what they show.
#pragma once

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
