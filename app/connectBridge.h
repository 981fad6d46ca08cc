#pragma once

#include "app/UI_Interface.h"

#include <QObject>

// The six bridge connections every embedding view takes: the analysis'
// initialisation, updates and end, and the data, selection and highlight
// changes. All of the default (direct on the GUI thread) type.
template <typename View>
void connectBridge(UI_Interface* bridge, View* view) {
    QObject::connect(bridge, &UI_Interface::analysisInitializedSignal, view, &View::initComputation);
    QObject::connect(bridge, &UI_Interface::analysisUpdatedSignal, view, &View::computationUpdated);
    QObject::connect(bridge, &UI_Interface::analysisFinishedSignal, view, &View::computationFinished);
    QObject::connect(bridge, &UI_Interface::dataRefreshedSignal, view, &View::dataRefreshed);
    QObject::connect(bridge, &UI_Interface::selectionRefreshedSignal, view, &View::selectionRefreshed);
    QObject::connect(bridge, &UI_Interface::highlightRefreshedSignal, view, &View::highlightRefreshed);
}
