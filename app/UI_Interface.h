#pragma once

#include "data/MCV_UiInterface.h"

#include <QMetaType>
#include <QObject>

#include <string>
#include <vector>

// The bridge from the core's callbacks to Qt signals: each operation emits the
// signal of the same name with "Signal" appended and the unchanged argument.
// Connections are direct (all objects live on the GUI thread), so receivers
// run inside the core's call.
class UI_Interface : public QObject, public MCV_UiInterface {
    Q_OBJECT
public:
    UI_Interface();

    void dimensionsAdded() override;
    void analysisInitialized(void* analysis) override;
    void analysisUpdated(void* analysis) override;
    void analysisFinished(void* analysis) override;
    void readyForDeletion(void* analysis) override;
    void newDerivedDataAdded() override;
    void dataRefreshed(void* data) override;
    void selectionRefreshed(void* data) override;
    void highlightRefreshed(void* data) override;
    void spadeTreeRefreshed(void* data) override;
    void analysesRemoved(std::vector<std::string>* analysisNames) override;

signals:
    void dimensionsAddedSignal();
    void analysisInitializedSignal(void* analysis);
    void analysisUpdatedSignal(void* analysis);
    void analysisFinishedSignal(void* analysis);
    void readyForDeletionSignal(void* analysis);
    void newDerivedDataAddedSignal();
    void dataRefreshedSignal(void* data);
    void selectionRefreshedSignal(void* data);
    void highlightRefreshedSignal(void* data);
    void spadeTreeRefreshedSignal(void* data);
    void analysesRemovedSignal(std::vector<std::string>* analysisNames);
};

Q_DECLARE_METATYPE(std::vector<std::string>*)
