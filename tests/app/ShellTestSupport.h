#pragma once

// Helpers of the shell tests: analyses and panels of our own kinds that record
// what the window does to them, and the scripted answers of the dialog seam.

#include "analysis/MCV_Analysis.h"
#include "data/MCV_UiInterface.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_SettingsWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <set>
#include <string>

// An analysis whose destruction is recorded by address (never dereferenced
// afterwards), with a settable type code and running state.
class TestAnalysis : public MCV_Analysis {
public:
    static std::set<const void*>& destroyed() {
        static std::set<const void*> set;
        return set;
    }

    TestAnalysis(int type, const std::string& name, MCV_UiInterface* ui = nullptr) {
        m_type = type;
        init(ui, name);
        destroyed().erase(this);
    }
    ~TestAnalysis() override { destroyed().insert(this); }

    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
    bool isRunning() const override { return running; }

    // Ends a computation as the iterating analyses do: the last thing it does
    // is report readyForDeletion; whatever runs after the call must still find
    // the object alive. Returns whether it was.
    bool finishMarkedForDeletion() {
        running = false;
        const void* self = this;
        m_ui->readyForDeletion(this);
        return destroyed().count(self) == 0;
    }

    bool running = false;
};

// A settings panel that counts the shell's calls and carries a marker panel
// bound to its analysis, as the real panels do.
class TestPanel : public UI_SettingsWidget {
public:
    TestPanel(QWidget* parent, MCV_Analysis* analysis) : UI_SettingsWidget(parent, analysis) {
        m_markerSelectionWidget = new UI_MarkerSelectionWidget(this, 2);
        m_markerSelectionWidget->refreshWidget(analysis, false);
    }
    void newDataAdded() override { ++newData; }
    UI_MarkerSelectionWidget* markers() const { return m_markerSelectionWidget; }
    int newData = 0;
};

// Runs the deferred deletions that are due once control is back in the
// event loop.
inline void runDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Scripted dialog answers for one test; everything is reset on both ends.
struct ScriptedDialogs {
    ScriptedDialogs() {
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    ~ScriptedDialogs() {
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(false);
    }
};
