#pragma once
// A page host with one signal and one slot per argument kind, so a test page
// can echo each kind back through the bridge.

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>

class BridgeProbe : public QObject {
    Q_OBJECT
public:
    QList<QList<int>> lists;
    QList<QVariantList> variantLists;
    QStringList texts;
    QStringList debugLines;

signals:
    void qt_list(QList<int> values);
    void qt_variants(QVariantList values);
    void qt_text(QString text);

public slots:
    void js_list(QList<int> values) { lists.append(values); }
    void js_variants(QVariantList values) { variantLists.append(values); }
    void js_text(QString text) { texts.append(text); }
    void js_debug(QString text) { debugLines.append(text); }
};
