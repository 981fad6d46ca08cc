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

#include <algorithm>

namespace {

// Asks an analysis to stop; it reports readyForDeletion once it has stopped,
// which reaches deleteAnalysis. The one place that dispatches on the type
// code: t-SNE (1), HSNE level (2) and focus-and-context (3) analyses add their
// cast-and-call here when their classes exist. Other kinds are not stopped.
void markForDeletion(MCV_Analysis* analysis) {
    switch (analysis->type()) {
        case ANALYSIS_TSNE:
            // The type code alone does not make the class.
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) tsne->markForDeletion();
            break;
        default:
            break;
    }
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
// Each kind's creation (name prompt, output variables, analysis, view dock,
// settings panel, wiring) is added with the kind's classes. Until then the
// actions only require loaded data.

void MainWindow::newSpadeAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newTsneAnalysisTriggered() {
    if (!hasData()) return;
    bool ok = false;
    const QString text = UI_ModalDialogs::getText(
        nullptr, QStringLiteral("Analysis Name"),
        QStringLiteral("Please name the new A-tSNE Analysis.\n Please use unique names to identify your analysis in "
                       "the system."),
        uniqueAnalysisName(QStringLiteral("A-tSNE Analysis")), &ok);
    if (text.isEmpty()) return;
    const QString name = uniqueAnalysisName(text);

    // The embedding writes its coordinates into these variables.
    std::vector<std::string> missing;
    MCV_FcsHeader* header = m_data->combinedHeader();
    for (const char* variable : {"QLMRN_TsneX", "QLMRN_TsneY"}) {
        if (header && header->variableIdx(variable) >= 0) continue;
        qDebug() << "Adding Channel "
                 << "\"" << variable << "\""
                 << ".";
        missing.push_back(variable);
    }
    m_data->addDimensions(missing, 0.0f);

    auto* analysis = new MCV_TsneAnalysis();
    analysis->init(m_bridge, name.toStdString());

    auto* view = new UI_TsneWidget(this, analysis);
    view->setWindowTitle(name);
    addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);

    auto* panel = new UI_TsneSettingsWidget(this, analysis);

    connect(m_bridge, &UI_Interface::analysisInitializedSignal, view, &UI_TsneWidget::initComputation);
    connect(m_bridge, &UI_Interface::analysisUpdatedSignal, view, &UI_TsneWidget::computationUpdated);
    connect(m_bridge, &UI_Interface::analysisFinishedSignal, view, &UI_TsneWidget::computationFinished);
    connect(m_bridge, &UI_Interface::dataRefreshedSignal, view, &UI_TsneWidget::dataRefreshed);
    connect(m_bridge, &UI_Interface::selectionRefreshedSignal, view, &UI_TsneWidget::selectionRefreshed);
    connect(m_bridge, &UI_Interface::highlightRefreshedSignal, view, &UI_TsneWidget::highlightRefreshed);
    connect(panel, &UI_TsneSettingsWidget::dataDownsampled, this, &MainWindow::advertiseNewData);

    addAnalysis(analysis);
    addView(view, analysis);
    addSettingsPanel(panel, analysis, name);
}

void MainWindow::newHsneAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newHsneFCAnalysisTriggered() {
    if (!hasData()) return;
}

void MainWindow::newHsneLevelTriggered(int level, MCV_HsneAnalysisHierarchy* hierarchy, std::vector<uint>* selection) {
    if (!hasData() || !hierarchy || !selection || selection->empty()) return;
}

void MainWindow::classifyData() {}
