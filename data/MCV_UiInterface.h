#pragma once

#include <string>
#include <vector>

// The one way the data model and the analyses report to the user interface.
// Every call runs its receivers synchronously on the GUI thread before it
// returns. Arguments are borrowed: the analysis or derived-data object stays
// owned by its owner, and the name vector lives only during the call.
// Objects are never destroyed through this interface.
class MCV_UiInterface {
public:
    virtual void dimensionsAdded() = 0;
    virtual void analysisInitialized(void* analysis) = 0;
    virtual void analysisUpdated(void* analysis) = 0;
    virtual void analysisFinished(void* analysis) = 0;
    virtual void readyForDeletion(void* analysis) = 0;
    virtual void newDerivedDataAdded() = 0;
    virtual void dataRefreshed(void* data) = 0;
    virtual void selectionRefreshed(void* data) = 0;
    virtual void highlightRefreshed(void* data) = 0;
    virtual void spadeTreeRefreshed(void* data) = 0;
    virtual void analysesRemoved(std::vector<std::string>* analysisNames) = 0;

protected:
    // Never destroyed through the interface; virtual so that the classes
    // that implement it have virtual destructors of their own.
    virtual ~MCV_UiInterface() = default;
};
