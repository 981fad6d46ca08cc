#include "app/UI_Interface.h"

UI_Interface::UI_Interface() : QObject(nullptr) {
    qRegisterMetaType<std::vector<std::string>*>("std::vector<std::string>*");
}

void UI_Interface::dimensionsAdded() { emit dimensionsAddedSignal(); }
void UI_Interface::analysisInitialized(void* analysis) { emit analysisInitializedSignal(analysis); }
void UI_Interface::analysisUpdated(void* analysis) { emit analysisUpdatedSignal(analysis); }
void UI_Interface::analysisFinished(void* analysis) { emit analysisFinishedSignal(analysis); }
void UI_Interface::readyForDeletion(void* analysis) { emit readyForDeletionSignal(analysis); }
void UI_Interface::newDerivedDataAdded() { emit newDerivedDataAddedSignal(); }
void UI_Interface::dataRefreshed(void* data) { emit dataRefreshedSignal(data); }
void UI_Interface::selectionRefreshed(void* data) { emit selectionRefreshedSignal(data); }
void UI_Interface::highlightRefreshed(void* data) { emit highlightRefreshedSignal(data); }
void UI_Interface::spadeTreeRefreshed(void* data) { emit spadeTreeRefreshedSignal(data); }
void UI_Interface::analysesRemoved(std::vector<std::string>* analysisNames) {
    emit analysesRemovedSignal(analysisNames);
}
