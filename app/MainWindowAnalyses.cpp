// Creation and removal of analyses and of the docks and panels tied to them.
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/tsne/MCV_TsneAnalysis.h"
#include "app/UI_Interface.h"
#include "app/connectBridge.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_EmbeddingSettingsWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_SettingsWidget.h"
#include "ui/fc/UI_HsneFCSettingsWidget.h"
#include "ui/fc/UI_HsneFCWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"
#include "ui/hsne/UI_HsneWidget.h"
#include "ui/spade/UI_SpadeSettingsWidget.h"
#include "ui/spade/UI_SpadeWidget.h"
#include "ui/tsne/UI_TsneSettingsWidget.h"
#include "ui/tsne/UI_TsneWidget.h"

#include <QDebug>
#include <QVector>

#include <algorithm>

namespace {

// One row per kind of analysis. A row says what the creation asks (prompt
// and default name), what it adds to the data (the variables the analysis
// writes its result into), what it builds (analysis, view dock, settings
// panel) and how those are wired. The row is also the one place that knows
// how to stop an analysis of the kind. A kind whose view shows another
// analysis (an HSNE analysis shows its overview level) names it with
// `shown`; that analysis' own row makes and wires the view. A kind without
// `createView` has no view dock, only its settings tab. Rows without
// `create` are not made from a menu (HSNE levels come from a drill-down).
struct AnalysisKind {
    int type;
    const char* defaultName;
    const char* namePrompt;
    // The names, besides its own, that an analysis of the kind named `name`
    // brings into the analysis list (an HSNE analysis: its overview level);
    // null: none. A new analysis takes none of them while any is held.
    std::vector<std::string> (*derivedNames)(const std::string& name);
    // Whether the analysis registers a cluster set under its own name: the
    // data model would give a taken name another suffix, so the analysis
    // would end up with a name the window never checked.
    bool namesItsClusterSet;
    std::vector<const char*> outputVariables;
    MCV_Analysis* (*create)(MCV_UiInterface* ui, const std::string& name);
    // The analysis the view shows; null: the analysis itself.
    MCV_Analysis* (*shown)(MCV_Analysis* analysis);
    UI_DockableWidget* (*createView)(QWidget* parent, MCV_Analysis* analysis);
    UI_SettingsWidget* (*createPanel)(QWidget* parent, MCV_Analysis* analysis);
    void (*connectView)(MainWindow* window, UI_Interface* bridge, UI_DockableWidget* view);
    void (*connectPanel)(MainWindow* window, UI_SettingsWidget* panel);
    // Asks the analysis to stop; it reports readyForDeletion once it has
    // stopped, which reaches deleteAnalysis. The analysis carries the kind's
    // type code but need not be of its class.
    void (*markForDeletion)(MCV_Analysis* analysis);
    // Whether the creation ends by applying the action flags again.
    bool reappliesActionFlags;
};

void connectDownsampling(MainWindow* window, UI_SettingsWidget* panel) {
    QObject::connect(static_cast<UI_EmbeddingSettingsWidget*>(panel), &UI_EmbeddingSettingsWidget::dataDownsampled,
                     window, &MainWindow::advertiseNewData);
}

const AnalysisKind kKinds[] = {
    // SPADE. The template classification (MainWindowTemplate.cpp) carries the
    // same type code, so this row also says how to stop one.
    {
        ANALYSIS_SPADE,
        "Spade Analysis",
        "Please name the new Spade Analysis.\n Please use unique names to identify your analysis in the system.",
        nullptr,
        true,
        {},
        [](MCV_UiInterface* ui, const std::string& name) -> MCV_Analysis* {
            auto* analysis = new MCV_SpadeAnalysis();
            analysis->init(ui, name);
            return analysis;
        },
        nullptr,
        // The master view: its page lays the tree out for every other view.
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_DockableWidget* {
            return new UI_SpadeWidget(parent, static_cast<MCV_SpadeAnalysis*>(analysis), false);
        },
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_SettingsWidget* {
            return new UI_SpadeSettingsWidget(parent, static_cast<MCV_SpadeAnalysis*>(analysis));
        },
        [](MainWindow* window, UI_Interface*, UI_DockableWidget* view) {
            window->connectSpadeView(static_cast<UI_SpadeWidget*>(view));
        },
        nullptr,
        // A run goes to its end without taking input; there is nothing to stop.
        [](MCV_Analysis*) {},
        true,
    },
    {
        ANALYSIS_TSNE,
        "A-tSNE Analysis",
        "Please name the new A-tSNE Analysis.\n Please use unique names to identify your analysis in the system.",
        nullptr,
        false,
        {"QLMRN_TsneX", "QLMRN_TsneY"},
        [](MCV_UiInterface* ui, const std::string& name) -> MCV_Analysis* {
            auto* analysis = new MCV_TsneAnalysis();
            analysis->init(ui, name);
            return analysis;
        },
        nullptr,
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_DockableWidget* {
            return new UI_TsneWidget(parent, static_cast<MCV_TsneAnalysis*>(analysis));
        },
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_SettingsWidget* {
            return new UI_TsneSettingsWidget(parent, static_cast<MCV_TsneAnalysis*>(analysis));
        },
        [](MainWindow*, UI_Interface* bridge, UI_DockableWidget* view) {
            connectBridge(bridge, static_cast<UI_TsneWidget*>(view));
        },
        connectDownsampling,
        [](MCV_Analysis* analysis) {
            if (auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis)) tsne->markForDeletion();
        },
        false,
    },
    {
        ANALYSIS_HSNE_HIERARCHY,
        "HSNE Analysis",
        "Please name the new HSNE Analysis.\n Please use unique names to identify your analysis in the system.",
        [](const std::string& name) {
            return std::vector<std::string>{MCV_HsneAnalysisHierarchy::overviewLevelName(name)};
        },
        false,
        {"QLMRN_HsneDataX", "QLMRN_HsneDataY"},
        [](MCV_UiInterface* ui, const std::string& name) -> MCV_Analysis* {
            auto* hierarchy = new MCV_HsneAnalysisHierarchy();
            hierarchy->init(ui, name);
            return hierarchy;
        },
        [](MCV_Analysis* analysis) -> MCV_Analysis* {
            return static_cast<MCV_HsneAnalysisHierarchy*>(analysis)->analysis(0);
        },
        nullptr,
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_SettingsWidget* {
            return new UI_HsneSettingsWidget(parent, static_cast<MCV_HsneAnalysisHierarchy*>(analysis));
        },
        nullptr,
        connectDownsampling,
        // The hierarchy iterates nothing itself: a build stops at its next
        // block (no hierarchy, no cache file), its running levels stop (each
        // is in the list and is stopped for good on its own); the hierarchy
        // goes with the data set or the window.
        [](MCV_Analysis* analysis) {
            if (auto* hierarchy = dynamic_cast<MCV_HsneAnalysisHierarchy*>(analysis)) {
                hierarchy->builder().stop();
                for (MCV_HsneAnalysis* level : *hierarchy->analyses())
                    if (level) level->stopGradientDescent();
            }
        },
        false,
    },
    {
        ANALYSIS_HSNE,
        nullptr,
        nullptr,
        nullptr,
        false,
        {},
        nullptr,
        nullptr,
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_DockableWidget* {
            auto* level = static_cast<MCV_HsneAnalysis*>(analysis);
            return new UI_HsneWidget(parent, level, level->owner());
        },
        nullptr,
        [](MainWindow* window, UI_Interface* bridge, UI_DockableWidget* dock) {
            auto* view = static_cast<UI_HsneWidget*>(dock);
            connectBridge(bridge, view);
            QObject::connect(view, &UI_HsneWidget::newHsneLevelTriggered, window, &MainWindow::newHsneLevelTriggered);
        },
        nullptr,
        [](MCV_Analysis* analysis) {
            if (auto* level = dynamic_cast<MCV_HsneAnalysis*>(analysis)) level->markForDeletion();
        },
        false,
    },
    {
        ANALYSIS_HSNE_FC,
        "HSNE F+C Analysis",
        "Please name the new HSNE Analysis.\n Please use unique names to identify your analysis in the system.",
        nullptr,
        false,
        {"QLMRN_HsneDataX", "QLMRN_HsneDataY"},
        [](MCV_UiInterface* ui, const std::string& name) -> MCV_Analysis* {
            auto* analysis = new MCV_HsneFCAnalysis();
            analysis->init(ui, name);
            return analysis;
        },
        nullptr,
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_DockableWidget* {
            return new UI_HsneFCWidget(parent, static_cast<MCV_HsneFCAnalysis*>(analysis));
        },
        [](QWidget* parent, MCV_Analysis* analysis) -> UI_SettingsWidget* {
            return new UI_HsneFCSettingsWidget(parent, static_cast<MCV_HsneFCAnalysis*>(analysis));
        },
        [](MainWindow*, UI_Interface* bridge, UI_DockableWidget* view) {
            connectBridge(bridge, static_cast<UI_HsneFCWidget*>(view));
        },
        connectDownsampling,
        // Idle: readyForDeletion at once; running: once the run has ended.
        [](MCV_Analysis* analysis) {
            if (auto* map = dynamic_cast<MCV_HsneFCAnalysis*>(analysis)) map->markForDeletion();
        },
        false,
    },
};

const AnalysisKind* kindOf(int type) {
    for (const AnalysisKind& kind : kKinds)
        if (kind.type == type) return &kind;
    return nullptr;
}

// The view dock of `analysis` by its kind's row, titled, docked on the right,
// shown and wired; null for a kind without a view.
UI_DockableWidget* openView(MainWindow* window, MCV_Analysis* analysis, const QString& title) {
    const AnalysisKind* kind = kindOf(analysis->type());
    if (!kind->createView) return nullptr;
    UI_DockableWidget* view = kind->createView(window, analysis);
    view->setWindowTitle(title);
    window->addDockWidget(Qt::RightDockWidgetArea, view);
    view->setVisibility(true);
    kind->connectView(window, window->bridge(), view);
    return view;
}

// Kinds without a row are not stopped.
void markForDeletion(MCV_Analysis* analysis) {
    if (const AnalysisKind* kind = kindOf(analysis->type())) kind->markForDeletion(analysis);
}

}  // namespace

QString MainWindow::uniqueAnalysisName(QString name, int type) {
    // The names held are those of the list, which holds every analysis an
    // open one brought (an HSNE analysis' levels too); a closed analysis
    // frees its name.
    const AnalysisKind* kind = kindOf(type);
    const auto taken = [&](const std::string& wanted) {
        if (std::any_of(m_analyses.begin(), m_analyses.end(), [&](MCV_Analysis* a) { return a->name() == wanted; }))
            return true;
        return kind && kind->namesItsClusterSet && m_data && m_data->nameTaken(wanted);
    };
    QString candidate = name;
    int counter = 1;
    for (;;) {
        std::vector<std::string> brought{candidate.toStdString()};
        if (kind && kind->derivedNames) {
            const std::vector<std::string> derived = kind->derivedNames(brought.front());
            brought.insert(brought.end(), derived.begin(), derived.end());
        }
        if (std::none_of(brought.begin(), brought.end(), taken)) return candidate;
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

void MainWindow::createAnalysis(int type) {
    const AnalysisKind* kind = kindOf(type);
    if (!kind || !kind->create || !hasData()) return;
    bool ok = false;
    const QString text = UI_ModalDialogs::getText(nullptr, QStringLiteral("Analysis Name"), kind->namePrompt,
                                                  uniqueAnalysisName(kind->defaultName, type), &ok);
    if (text.isEmpty()) return;
    const QString name = uniqueAnalysisName(text, type);

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
    MCV_Analysis* shown = kind->shown ? kind->shown(analysis) : analysis;
    UI_DockableWidget* view = openView(this, shown, QString::fromStdString(shown->name()));
    UI_SettingsWidget* panel = kind->createPanel(this, analysis);
    if (kind->connectPanel) kind->connectPanel(this, panel);

    addAnalysis(analysis);
    if (shown != analysis) addAnalysis(shown);
    if (view) addView(view, shown);
    addSettingsPanel(panel, analysis, name);
    if (view) shareViewArea();
    if (kind->reappliesActionFlags) refreshUI();
}

void MainWindow::shareViewArea() {
    // A dock added below others gets only what they leave free, which may be
    // nothing.
    QList<QDockWidget*> docks;
    for (UI_DockableWidget* view : m_views)
        if (dockWidgetArea(view) == Qt::RightDockWidgetArea && !view->isFloating()) docks << view;
    if (docks.size() > 1) resizeDocks(docks, QVector<int>(docks.size(), 1).toList(), Qt::Vertical);
}

void MainWindow::newSpadeAnalysisTriggered() { createAnalysis(ANALYSIS_SPADE); }

void MainWindow::newTsneAnalysisTriggered() { createAnalysis(ANALYSIS_TSNE); }

void MainWindow::newHsneAnalysisTriggered() { createAnalysis(ANALYSIS_HSNE_HIERARCHY); }

void MainWindow::newHsneFCAnalysisTriggered() { createAnalysis(ANALYSIS_HSNE_FC); }

void MainWindow::newHsneLevelTriggered(int level, MCV_HsneAnalysisHierarchy* hierarchy, std::vector<uint>* selection) {
    if (!hasData() || !hierarchy || !selection || selection->empty()) return;
    // The data level has nothing finer below it: no level, no empty dock.
    if (level < 1) {
        qDebug() << "The data level has no finer level to zoom into.";
        return;
    }
    // The list belongs to the level it was made on; the prompt below may run
    // an event loop.
    std::vector<unsigned> landmarks = *selection;
    const QString base =
        QString::fromStdString(hierarchy->name()) +
        (level == 1 ? QStringLiteral(" - Data Level")
                    : QStringLiteral(" - Level ") + QString::number(hierarchy->numScales() + 1 - level));
    bool ok = false;
    QString text = UI_ModalDialogs::getText(nullptr, QStringLiteral("Selection Name"),
                                            QStringLiteral("Please name the new HSNE Analysis Selection.\n Please use "
                                                           "unique names to identify your analysis in the system."),
                                            uniqueAnalysisName(base), &ok);
    if (text.isEmpty()) text = base;
    const QString name = uniqueAnalysisName(text);

    // The level gets its name from the hierarchy below; the view is titled
    // with it before.
    auto* analysis = new MCV_HsneAnalysis(hierarchy);
    UI_DockableWidget* view = openView(this, analysis, name);
    addAnalysis(analysis);
    addView(view, analysis);
    shareViewArea();

    hierarchy->initNextLevelAnalysisFromSelection(analysis, name.toStdString(), level, &landmarks);
    // The whole descent runs here; the view follows it through the bridge.
    analysis->embed();
}
