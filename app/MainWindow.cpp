#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "app/CocoaInitializer.h"
#include "app/FeedAutoUpdater.h"
#include "app/UI_AboutDialog.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_Settings.h"
#include "app/Ui_MainWindow.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"
#include "ui/base/UI_DockableContainerWidget.h"
#include "ui/base/UI_SettingsWidget.h"
#include "ui/plot/UI_EmbeddingView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QStatusBar>
#include <QUrl>

#include <cassert>
#include <memory>

const char* const MainWindow::documentationUrl = "https://quillmaren.merrowfield.org/docApp";
const char* const MainWindow::quitQuestion =
    "Are you sure you want to quit? The current state of the analysis will be lost.\n"
    "Please make sure to export all data needed for further analysis, where possible.";

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), m_ui(new Ui_MainWindow) {
    m_ui->setupUi(this);
    const std::pair<QAction*, void (MainWindow::*)()> wiring[] = {
        {m_ui->actionOpenFile, &MainWindow::openFile},
        {m_ui->actionAddColorImage, &MainWindow::openColorImage},
        {m_ui->actionClassifyData, &MainWindow::classifyData},
        {m_ui->actionExportSpadeTree, &MainWindow::exportSpadeTree},
        {m_ui->actionFileInformation, &MainWindow::fileInfoViewTriggered},
        {m_ui->actionSettings, &MainWindow::settingsViewTriggered},
        {m_ui->actionHeatMap, &MainWindow::heatMapViewTriggered},
        {m_ui->actionTree, &MainWindow::treeViewTriggered},
        {m_ui->actionHierarchy, &MainWindow::hierarchyViewTriggered},
        {m_ui->actionImage, &MainWindow::imageViewTriggered},
        {m_ui->actionSpadeView, &MainWindow::spadeViewTriggered},
        {m_ui->actionScatterplotView, &MainWindow::scatterPlotViewTriggered},
        {m_ui->actionNewSpadeAnalysis, &MainWindow::newSpadeAnalysisTriggered},
        {m_ui->actionNewTsneAnalysis, &MainWindow::newTsneAnalysisTriggered},
        {m_ui->actionNewHsneAnalysis, &MainWindow::newHsneAnalysisTriggered},
        {m_ui->actionNewHsneFCAnalysis, &MainWindow::newHsneFCAnalysisTriggered},
        {m_ui->actionDocumentation, &MainWindow::goToDocumentationTriggered},
        {m_ui->actionCheckForUpdates, &MainWindow::checkForUpdatesTriggered},
        {m_ui->actionAbout, &MainWindow::aboutTriggered},
    };
    for (const auto& w : wiring) connect(w.first, &QAction::triggered, this, w.second);
    QMetaObject::connectSlotsByName(this);

    // Qt fires a shortcut only for an action that belongs to a shown widget.
    // These actions are in no menu, so they are added to the window itself
    // (which adds no menu entry).
    addActions({m_ui->actionTree, m_ui->actionHierarchy, m_ui->actionImage, m_ui->actionSpadeView,
                m_ui->actionScatterplotView, m_ui->actionNewHsneFCAnalysis, m_ui->actionClassifyData,
                m_ui->actionAddColorImage});

    m_bridge = new UI_Interface();
    initExternalUI();
    initConnections();
    m_settings = UI_Settings::Instance();
    {
        CocoaInitializer scope;
        m_updater = new FeedAutoUpdater(MCV_UPDATE_FEED_URL_MAC);
    }
}

MainWindow::~MainWindow() {
    for (UI_DockableWidget* view : m_views) delete view;
    m_views.clear();
    for (UI_SettingsWidget* panel : m_settingsPanels) delete panel;
    m_settingsPanels.clear();
    delete m_updater;
    m_updater = nullptr;
    delete m_ui;
    m_ui = nullptr;
}

void MainWindow::initExternalUI() {
    m_settingsDock = new UI_DockableContainerWidget(this);
    m_settingsDock->setWindowTitle("Settings");
    m_settingsDock->setMinimumWidth(300);
    m_settingsDock->setMaximumWidth(500);
    addDockWidget(Qt::LeftDockWidgetArea, m_settingsDock);
    m_settingsDock->setVisibility(true);
    refreshUI();
}

void MainWindow::initConnections() {
    connect(m_bridge, &UI_Interface::newDerivedDataAddedSignal, this, &MainWindow::advertiseNewData);
    connect(m_bridge, &UI_Interface::dimensionsAddedSignal, this, &MainWindow::advertiseNewDimensions);
    connect(m_bridge, &UI_Interface::readyForDeletionSignal, this, &MainWindow::deleteAnalysis);
    connect(m_bridge, &UI_Interface::analysesRemovedSignal, this, &MainWindow::removeAnalyses);
}

void MainWindow::refreshUI() {
    m_ui->actionExportSpadeTree->setEnabled(m_actionFlags[0]);
    m_ui->actionNewSpadeAnalysis->setEnabled(m_actionFlags[1]);
    m_ui->actionNewTsneAnalysis->setEnabled(m_actionFlags[2]);
    m_ui->actionNewHsneAnalysis->setEnabled(m_actionFlags[3]);
}

// ---- Lists ----

void MainWindow::addAnalysis(MCV_Analysis* analysis) {
    assert(analysis);
    m_analyses.push_back(analysis);
}

void MainWindow::addView(UI_DockableWidget* view, MCV_Analysis* owner) {
    assert(view);
    m_views.push_back(view);
    m_viewOwners.push_back(owner);
}

void MainWindow::addSettingsPanel(UI_SettingsWidget* panel, MCV_Analysis* owner, const QString& tabTitle) {
    assert(panel);
    m_settingsDock->addTabWidget(panel, tabTitle);
    // A refused Compute would otherwise show only on the console. The
    // panel's refusal or adjustment line stays until its next request goes
    // through, which either says what it made or takes the line away (a line
    // of another source shown since then stays).
    auto warning = std::make_shared<QString>();
    auto showWarning = [this, warning](const QString& reason) {
        *warning = reason;
        statusBar()->showMessage(reason);
    };
    connect(panel, &UI_SettingsWidget::computeRefused, this, showWarning);
    connect(panel, &UI_SettingsWidget::computeAdjusted, this, showWarning);
    connect(panel, &UI_SettingsWidget::requestDone, this, [this, warning](const QString& result) {
        if (!result.isEmpty())
            statusBar()->showMessage(result);
        else if (!warning->isEmpty() && statusBar()->currentMessage() == *warning)
            statusBar()->clearMessage();
        warning->clear();
    });
    m_settingsPanels.push_back(panel);
    m_panelOwners.push_back(owner);
}

const std::vector<MCV_Analysis*>& MainWindow::analyses() const { return m_analyses; }
const std::vector<UI_DockableWidget*>& MainWindow::views() const { return m_views; }
const std::vector<UI_SettingsWidget*>& MainWindow::settingsPanels() const { return m_settingsPanels; }
UI_Interface* MainWindow::bridge() const { return m_bridge; }
UI_DockableContainerWidget* MainWindow::settingsDock() const { return m_settingsDock; }
UI_FileInfoWidget* MainWindow::fileInfoView() const { return m_fileInfoView; }
UI_AboutDialog* MainWindow::aboutDialog() const { return m_aboutDialog; }
MCV_CytometryData* MainWindow::dataModel() const { return m_data; }
AutoUpdater* MainWindow::updater() const { return m_updater; }

void MainWindow::setUpdater(AutoUpdater* updater) {
    delete m_updater;
    m_updater = updater;
}

bool MainWindow::hasData() const { return m_data && m_dataReady && m_data->combinedHeader(); }

void MainWindow::advertiseNewData() {
    // A panel's newDataAdded may add derived data and so re-enter here; walk a
    // copy so the list may change meanwhile.
    const std::vector<UI_SettingsWidget*> panels = m_settingsPanels;
    for (UI_SettingsWidget* panel : panels)
        if (panel) panel->newDataAdded();
}

void MainWindow::advertiseNewDimensions() {
    // The analyses' rows first, at the new width; then every open plot takes
    // them, before it draws again.
    for (MCV_Analysis* analysis : m_analyses) {
        analysis->refreshMarkerData();
        analysis->widenPointRows();
    }
    for (UI_DockableWidget* view : m_views)
        if (auto* embedding = qobject_cast<UI_EmbeddingView*>(view)) embedding->followColumns();
    showHeaderInFileInfo();
    const std::vector<UI_SettingsWidget*> panels = m_settingsPanels;
    for (UI_SettingsWidget* panel : panels)
        if (panel) panel->updateMarkerSelectionWidget();
}

void MainWindow::showHeaderInFileInfo() {
    if (!m_fileInfoView || !m_data || !m_data->combinedHeader()) return;
    m_fileInfoView->setInfoText(QString::fromStdString(m_data->combinedHeader()->printHeader()));
}

// ---- Help ----

void MainWindow::goToDocumentationTriggered() { QDesktopServices::openUrl(QUrl(documentationUrl)); }

void MainWindow::checkForUpdatesTriggered() {
    if (m_updater) m_updater->checkForUpdates(false);
}

void MainWindow::aboutTriggered() {
    if (!m_aboutDialog) m_aboutDialog = new UI_AboutDialog(this, Qt::Dialog);
    m_aboutDialog->show();
}

// ---- Quit ----

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    QMessageBox* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(), quitQuestion,
                                       QMessageBox::Yes | QMessageBox::No, this);
    connect(box->button(QMessageBox::Yes), &QAbstractButton::clicked, this, &MainWindow::quitNow);
    connect(box->button(QMessageBox::No), &QAbstractButton::clicked, box, &QObject::deleteLater);
    connect(qApp, &QCoreApplication::aboutToQuit, box, &QObject::deleteLater);
    box->show();
}

void MainWindow::quitNow() {
    // A running analysis iterates on the GUI thread and pumps the events that
    // brought this answer: the application's event loop ends only when that
    // run has returned. Stopped, it returns after its current iteration; the
    // window goes at once.
    stopRunningAnalyses();
    close();
    QCoreApplication::quit();
}
