#pragma once

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class AutoUpdater;
class MCV_Analysis;
class MCV_CytometryData;
class MCV_HsneAnalysisHierarchy;
class MCV_MarkerDefault;
class QCloseEvent;
class UI_AboutDialog;
class UI_DockableContainerWidget;
class UI_DockableWidget;
class UI_FileInfoWidget;
class UI_Interface;
class UI_Settings;
class UI_SettingsWidget;
class UI_SpadeWidget;
class Ui_MainWindow;

// The application's one main window: menus and actions, the Settings dock,
// the callback bridge to the data model and the analyses, the update checker
// and the lists of analyses, view docks and settings panels.
//
// Ownership: the window owns the views, the panels and the update checker;
// it destroys an analysis when the analysis reports that it is ready for
// deletion, and retires every analysis with its docks and panels when an
// import replaces the data set (the user is asked before the import when
// there are analyses). Views and panels are tied to the analysis
// they were made for (never matched by title). An analysis is destroyed only
// after the callback that asked for it has returned, so no caller up the
// stack is left holding a freed object. GUI thread only.
//
// The source is split by concern: MainWindow.cpp (construction, lists,
// help, quit), MainWindowImport.cpp (file import and colour images),
// MainWindowAnalyses.cpp (the table of analysis kinds, creation and removal
// of analyses), MainWindowTemplate.cpp (the template classification made
// from its table), MainWindowViews.cpp (view commands).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // ---- For the creation slots (and tests) ----
    // Appends to the analysis list; the window owns the analysis from now on.
    void addAnalysis(MCV_Analysis* analysis);
    // Appends a view dock; `owner` is the analysis it shows (null for views of
    // derived data), whose removal takes the view with it.
    void addView(UI_DockableWidget* view, MCV_Analysis* owner);
    // Appends a settings panel bound to `owner` and adds it as a tab titled
    // `tabTitle` to the Settings dock; removed with its analysis. Its
    // refused Computes show in the status bar.
    void addSettingsPanel(UI_SettingsWidget* panel, MCV_Analysis* owner, const QString& tabTitle);

    // Wires a SPADE tree view: the bridge's data, selection and highlight
    // signals for every view; for a slave also the stored layout (on spade
    // tree and highlight changes); its new bubbles to advertiseNewData.
    void connectSpadeView(UI_SpadeWidget* view);

    // A name no analysis of the list bears: `name`, else `name` + " " + k for
    // the first free k = 1, 2, ... For an analysis of `type` (a code of
    // AnalysisType; -1: none) the names it derives from its own (an HSNE
    // analysis' overview level) must be free too, and for one that names a
    // cluster set after itself (SPADE, template classification) also the
    // name in the data model's registry.
    QString uniqueAnalysisName(QString name, int type = -1);

    const std::vector<MCV_Analysis*>& analyses() const;
    const std::vector<UI_DockableWidget*>& views() const;
    const std::vector<UI_SettingsWidget*>& settingsPanels() const;
    UI_Interface* bridge() const;
    UI_DockableContainerWidget* settingsDock() const;
    UI_FileInfoWidget* fileInfoView() const;
    UI_AboutDialog* aboutDialog() const;
    MCV_CytometryData* dataModel() const;
    AutoUpdater* updater() const;
    // Replaces the update checker (the window owns the new one).
    void setUpdater(AutoUpdater* updater);
    // Whether an import completed: files are loaded and "All Points" exists.
    // Creating an analysis requires it.
    bool hasData() const;

    // The documentation page opened by Help > Browse Documentation.
    static const char* const documentationUrl;
    static const char* const quitQuestion;

public slots:
    void advertiseNewData();
    void advertiseNewDimensions();
    void removeAnalyses(std::vector<std::string>* analysisNames);
    void newHsneLevelTriggered(int level, MCV_HsneAnalysisHierarchy* hierarchy, std::vector<uint>* selection);

private slots:
    void openFile();
    void openColorImage();
    bool addColorImage(QString fileName);
    void classifyData();
    void goToDocumentationTriggered();
    void checkForUpdatesTriggered();
    void aboutTriggered();
    void exportSpadeTree();
    void fileInfoViewTriggered();
    void settingsViewTriggered();
    void heatMapViewTriggered();
    void treeViewTriggered();
    void hierarchyViewTriggered();
    void imageViewTriggered();
    void scatterPlotViewTriggered();
    void spadeViewTriggered();
    void newSpadeAnalysisTriggered();
    void newTsneAnalysisTriggered();
    void newHsneAnalysisTriggered();
    void newHsneFCAnalysisTriggered();
    void activeMarkerChanged(int markerIdx, int viewId);
    void deleteAnalysis(void* analysis);
    // The answer Yes to the quit question.
    void quitNow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initExternalUI();
    void initConnections();
    void refreshUI();

    // Import steps (MainWindowImport.cpp).
    bool anyAnalysisRunning() const;
    // Retires everything built on the current data set and makes `loaded`
    // the process-wide one.
    void replaceDataModel(std::unique_ptr<MCV_CytometryData> loaded);
    // The files loaded into a new data set, or null (with the message shown)
    // when one could not be loaded.
    std::unique_ptr<MCV_CytometryData> loadFiles(const QStringList& files);
    // `adopted`: the default marker selection the import applied.
    void runImportDialog(const QString& folder, const MCV_MarkerDefault& adopted);
    void showHeaderInFileInfo();

    // Creates an analysis of the kind `type` (an ANALYSIS_* code) with its
    // view dock and settings panel, after asking for its name.
    void createAnalysis(int type);

    // Asks every running analysis to stop for good; each is deleted once it
    // has stopped.
    void stopRunningAnalyses();
    // Gives the view docks on the right an even share of the area's height.
    void shareViewArea();

    // Takes `analysis` out of the list with its views and panels and destroys
    // them: at once, or after the current callback has returned (`deferred`).
    void retireAnalysis(MCV_Analysis* analysis, bool deferred);
    // Retires every analysis and every remaining view (the data they show is
    // about to go).
    void retireAll();

    Ui_MainWindow* m_ui = nullptr;
    UI_Settings* m_settings = nullptr;
    UI_Interface* m_bridge = nullptr;
    AutoUpdater* m_updater = nullptr;
    UI_FileInfoWidget* m_fileInfoView = nullptr;
    UI_DockableContainerWidget* m_settingsDock = nullptr;
    MCV_CytometryData* m_data = nullptr;
    std::vector<MCV_Analysis*> m_analyses;
    std::vector<UI_DockableWidget*> m_views;
    std::vector<UI_SettingsWidget*> m_settingsPanels;
    // The analysis each view and panel belongs to (null: none), parallel to
    // the lists above.
    std::vector<MCV_Analysis*> m_viewOwners;
    std::vector<MCV_Analysis*> m_panelOwners;
    UI_AboutDialog* m_aboutDialog = nullptr;
    bool m_actionFlags[4] = {true, false, false, false};
    bool m_dataReady = false;
    // The last import's refusal of a default marker selection (or empty),
    // dropped from the status bar by the next import that refuses none.
    QString m_defaultsRefusal;
};
