#pragma once
// A minimal web view host for tests: exposes js_debug and js_saveSVG like the
// data views do, with a settable current data set.

#include "ui/web/UI_WebPageHost.h"

#include <QObject>
#include <QStringList>

class MCV_DerivedData;

class SvgPageProbe : public QObject {
    Q_OBJECT
public:
    MCV_DerivedData* current = nullptr;
    QString style;
    QStringList debugLines;
    QList<int> clickedColormaps;

public slots:
    void js_debug(QString text) {
        debugLines.append(text);
        UI_WebPageHost::debug(text);
    }
    void js_saveSVG(QString xml) { UI_WebPageHost::saveSvg(nullptr, current, xml, style); }
    void js_colormapClicked(int idx) { clickedColormaps.append(idx); }
};
