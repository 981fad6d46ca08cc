// Creation and removal of analyses and of the docks and panels tied to them.
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_SettingsWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QDebug>
#include <QVector>

#include <algorithm>

namespace {

// One row per kind of analysis the user can create. A row says what the
// creation asks (prompt and default name), what it adds to the data (the
// variables the analysis writes its result into), what it builds (analysis,
// view dock, settings panel) and how those are wired. The row is also the
// one place that knows how to stop an analysis of the kind.
struct AnalysisKind {
    int type;
    const char* defaultName;
    const char* namePrompt;
    std::vector<const char*> outputVariables;
    MCV_Analysis* (*create)(MCV_UiInterface* ui, const std::string& name);
    UI_DockableWidget* (*createView)(QWidget* parent, MCV_Analysis* analysis);
    UI_SettingsWidget* (*createPanel)(QWidget* parent, MCV_Analysis* analysis);
    void (*connect)(MainWindow* window, UI_Interface* bridge, UI_DockableWidget* view, UI_SettingsWidget* panel);
    // Asks the analysis to stop; it reports readyForDeletion once it has
    // stopped, which reaches deleteAnalysis. The analysis carries the kind's
    // type code but need not be of its class.
    void (*markForDeletion)(MCV_Analysis* analysis);
};

const AnalysisKind kKinds[] = {
    {
        ANALYSIS_TSNE,
        "A-tSNE Analysis",
        "Please name the new A-tSNE Analysis.\n Please use unique names to identify your analysis in the system.",
        {"QLMRN_TsneX", "QLMRN_TsneY"},
        [](MCV_UiInterface* ui, const std::string& name) -> MCV_Analysis* {
            auto* analysis = new MCV_TsneAnalysis();
            analysis->init(ui, name);
            return analysis;
        },
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_DockableWidget* {
            return new UI_TsneWidget(parent, static_cast<MCV_TsneAnalysis*>(analysis));
        },
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_SettingsWidget* {
            return new UI_TsneSettingsWidget(parent, static_cast<MCV_TsneAnalysis*>(analysis));
        },
        [](MainWindow* window, UI_Interface* bridge, UI_DockableWidget* dock, UI_SettingsWidget* settings) {
            auto* view = static_cast<UI_TsneWidget*>(dock);
            QObject::connect(bridge, &UI_Interface::analysisInitializedSignal, view, &UI_TsneWidget::initComputation);
            QObject::connect(bridge, &UI_Interface::analysisUpdatedSignal, view, &UI_TsneWidget::computationUpdated);
            QObject::connect(bridge, &UI_Interface::analysisFinishedSignal, view, &UI_TsneWidget::computationFinished);
            QObject::connect(bridge, &UI_Interface::dataRefreshedSignal, view, &UI_TsneWidget::dataRefreshed);
            QObject::connect(bridge, &UI_Interface::selectionRefreshedSignal, view, &UI_TsneWidget::selectionRefreshed);
            QObject::connect(bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_TsneWidget::highlightRefreshed);
            QObject::connect(static_cast<UI_TsneSettingsWidget*>(settings), &UI_TsneSettingsWidget::dataDownsampled,
                             window, &MainWindow::advertiseNewData);
        },
        [](MCV_Analysis* analysis) {
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) tsne->markForDeletion();
        },
    },
};

const AnalysisKind* kindOf(int type) {
    for (const AnalysisKind& kind : kKinds)
        if (kind.type == type) return &kind;
    return nullptr;
}

// Kinds without a row are not stopped.
void markForDeletion(MCV_Analysis* analysis) {
    if (const AnalysisKind* kind = kindOf(analysis->type())) kind->markForDeletion(analysis);
}

}  // namespace

QString MainWindow::uniqueAnalysisName(QString name) {
    QString candidate = name;
    int counter = 1;
    for (;;) {
        const std::string wanted = candidate.toStdString();
        const bool taken =
            std::any_of(m_analyses.begin(), m_analyses.end(), [&](MCV_Analysis* a) { return a->name() == wanted; });
        if (!taken) return candidate;
        candidate = name + " " + QString::number(counter++);
    }
}

void MainWindow::deleteAnalysis(void* analysis) {
    auto it = std::find(m_analyses.begin(), m_analyses.end(), static_cast<MCV_Analysis*>(analysis));
    if (it == m_analyses.end()) {
        qDebug() << "Ignoring the deletion of an analysis that is not in the list.";
        return;
    }
    // Reached from inside the analysis' own call: destroy after it returns.
    retireAnalysis(*it, true);
}

void MainWindow::removeAnalyses(std::vector<std::string>* analysisNames) {
    if (!analysisNames || analysisNames->empty()) return;
    // From the last entry down: an analysis that stops at once leaves the
    // list during its markForDeletion, and the entries below keep their places.
    for (size_t i = m_analyses.size(); i-- > 0;) {
        if (i >= m_analyses.size()) continue;
        MCV_Analysis* analysis = m_analyses[i];
        const std::string name = analysis->name();
        if (std::find(analysisNames->begin(), analysisNames->end(), name) != analysisNames->end())
            markForDeletion(analysis);
    }
}

void MainWindow::stopRunningAnalyses() {
    const std::vector<MCV_Analysis*> analyses = m_analyses;  // a stop may retire one at once
    for (MCV_Analysis* analysis : analyses)
        if (analysis->isRunning()) markForDeletion(analysis);
}

void MainWindow::retireAnalysis(MCV_Analysis* analysis, bool deferred) {
    m_analyses.erase(std::remove(m_analyses.begin(), m_analyses.end(), analysis), m_analyses.end());

    for (size_t i = m_views.size(); i-- > 0;) {
        if (m_viewOwners[i] != analysis) continue;
        UI_DockableWidget* view = m_views[i];
        m_views.erase(m_views.begin() + static_cast<long>(i));
        m_viewOwners.erase(m_viewOwners.begin() + static_cast<long>(i));
        removeDockWidget(view);
        if (deferred)
            view->deleteLater();
        else
            delete view;
    }
    for (size_t i = m_settingsPanels.size(); i-- > 0;) {
        if (m_panelOwners[i] != analysis) continue;
        UI_SettingsWidget* panel = m_settingsPanels[i];
        m_settingsPanels.erase(m_settingsPanels.begin() + static_cast<long>(i));
        m_panelOwners.erase(m_panelOwners.begin() + static_cast<long>(i));
        if (deferred) {
            panel->setParent(nullptr);  // leaves its tab now (and hides)
            panel->deleteLater();
        } else {
            delete panel;
        }
    }

    if (!deferred) {
        delete analysis;
        return;
    }
    // Deferred deletion of a plain object: a parentless carrier whose own
    // deferred deletion runs when control is back in the event loop that
    // delivered this call, never inside a nested processEvents.
    QObject* carrier = new QObject();
    connect(carrier, &QObject::destroyed, [analysis]() { delete analysis; });
    carrier->deleteLater();
}

void MainWindow::retireAll() {
    while (!m_analyses.empty()) retireAnalysis(m_analyses.back(), false);
    for (UI_DockableWidget* view : m_views) {
        removeDockWidget(view);
        delete view;
    }
    m_views.clear();
    m_viewOwners.clear();
    for (UI_SettingsWidget* panel : m_settingsPanels) delete panel;
    m_settingsPanels.clear();
    m_panelOwners.clear();
}

// ---- Creation ----
// The SPADE, HSNE and focus-and-context entries only require loaded data
// until their kinds have rows.

void MainWindow::createAnalysis(int type) {
    const AnalysisKind* kind = kindOf(type);
    if (!kind || !hasData()) return;
    bool ok = false;
    const QString text = UI_ModalDialogs::getText(nullptr, QStringLiteral("Analysis Name"), kind->namePrompt,
                                                  uniqueAnalysisName(kind->defaultName), &ok);
    if (text.isEmpty()) return;
    const QString name = uniqueAnalysisName(text);

    std::vector<std::string> missing;
    MCV_FcsHeader* header = m_data->combinedHeader();
    for (const char* variable : kind->outputVariables) {
        if (header && header->variableIdx(variable) >= 0) continue;
        qDebug() << "Adding Channel "
                 << "\"" << variable << "\""
                 << ".";
        missing.push_back(variable);
    }
    if (!missing.empty()) m_data->addDimensions(missing, 0.0f);

    MCV_Analysis* analysis = kind->create(m_bridge, name.toStdString());
    UI_DockableWidget* view = kind->createView(this, analysis);
    view->setWindowTitle(name);
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    UI_SettingsWidget* panel = kind->createPanel(this, analysis);
    kind->connect(this, m_bridge, view, panel);

    addAnalysis(analysis);
    addView(view, analysis);
    addSettingsPanel(panel, analysis, name);
    shareViewArea();
}

void MainWindow::shareViewArea() {
    // A dock added below others gets only what they leave free, which may be
    // nothing.
    QList<QDockWidget*> docks;
    for (UI_DockableWidget* view : m_views)
        if (dockWidgetArea(view) == Qt::RightDockWidgetArea && !view->isFloating()) docks << view;
    if (docks.size() > 1) resizeDocks(docks, QVector<int>(docks.size(), 1).toList(), Qt::Vertical);
}

void MainWindow::newSpadeAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newTsneAnalysisTriggered() { createAnalysis(ANALYSIS_TSNE); }

void MainWindow::newHsneAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newHsneFCAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newHsneLevelTriggered(int /*level*/, MCV_HsneAnalysisHierarchy* hierarchy,
                                       std::vector<uint>* selection) {
    if (!hasData() || !hierarchy || !selection || selection->empty()) return;
}

void MainWindow::classifyData() {}
