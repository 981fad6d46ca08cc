#pragma once

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

// The main window's form: its 19 actions, the menu bar and the four menus.
// Built by setupUi(); every text goes through translation in the context
// "MainWindow". The caller connects the actions' triggered() signals.
class Ui_MainWindow {
public:
    QAction* actionOpenFile = nullptr;
    QAction* actionAddColorImage = nullptr;
    QAction* actionClassifyData = nullptr;
    QAction* actionExportSpadeTree = nullptr;
    QAction* actionFileInformation = nullptr;
    QAction* actionSettings = nullptr;
    QAction* actionHeatMap = nullptr;
    QAction* actionTree = nullptr;
    QAction* actionHierarchy = nullptr;
    QAction* actionImage = nullptr;
    QAction* actionSpadeView = nullptr;
    QAction* actionScatterplotView = nullptr;
    QAction* actionNewSpadeAnalysis = nullptr;
    QAction* actionNewTsneAnalysis = nullptr;
    QAction* actionNewHsneAnalysis = nullptr;
    QAction* actionNewHsneFCAnalysis = nullptr;
    QAction* actionDocumentation = nullptr;
    QAction* actionCheckForUpdates = nullptr;
    QAction* actionAbout = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* menuFile = nullptr;
    QMenu* menuAnalysis = nullptr;
    QMenu* menuView = nullptr;
    QMenu* menuHelp = nullptr;

    void setupUi(QMainWindow* window) {
        if (window->objectName().isEmpty()) window->setObjectName("MainWindow");
        window->resize(1800, 1400);
        window->setDockNestingEnabled(true);

        actionOpenFile = makeAction(window, "actionOpenFile");
        actionAddColorImage = makeAction(window, "actionAddColorImage");
        actionClassifyData = makeAction(window, "actionClassifyData");
        actionExportSpadeTree = makeAction(window, "actionExportSpadeTree");
        actionFileInformation = makeAction(window, "actionFileInformation");
        actionSettings = makeAction(window, "actionSettings");
        actionHeatMap = makeAction(window, "actionHeatMap");
        actionTree = makeAction(window, "actionTree");
        actionHierarchy = makeAction(window, "actionHierarchy");
        actionImage = makeAction(window, "actionImage");
        actionSpadeView = makeAction(window, "actionSpadeView");
        actionScatterplotView = makeAction(window, "actionScatterplotView");
        actionNewSpadeAnalysis = makeAction(window, "actionNewSpadeAnalysis");
        actionNewTsneAnalysis = makeAction(window, "actionNewTsneAnalysis");
        actionNewHsneAnalysis = makeAction(window, "actionNewHsneAnalysis");
        actionNewHsneFCAnalysis = makeAction(window, "actionNewHsneFCAnalysis");
        actionDocumentation = makeAction(window, "actionDocumentation");
        actionCheckForUpdates = makeAction(window, "actionCheckForUpdates");
        actionAbout = makeAction(window, "actionAbout");

        menuBar = new QMenuBar(window);
        menuBar->setObjectName("menuBar");
        menuBar->setGeometry(QRect(0, 0, 1400, 22));
        menuFile = makeMenu(menuBar, "menuFile");
        menuAnalysis = makeMenu(menuBar, "menuAnalysis");
        menuView = makeMenu(menuBar, "menuView");
        menuHelp = makeMenu(menuBar, "menuHelp");
        window->setMenuBar(menuBar);

        menuBar->addAction(menuFile->menuAction());
        menuBar->addAction(menuAnalysis->menuAction());
        menuBar->addAction(menuView->menuAction());
        menuBar->addAction(menuHelp->menuAction());
        menuFile->addAction(actionOpenFile);
        menuAnalysis->addAction(actionNewSpadeAnalysis);
        menuAnalysis->addAction(actionNewTsneAnalysis);
        menuAnalysis->addAction(actionNewHsneAnalysis);
        menuView->addAction(actionHeatMap);
        menuView->addAction(actionFileInformation);
        menuView->addAction(actionSettings);
        menuHelp->addAction(actionDocumentation);
        menuHelp->addAction(actionCheckForUpdates);
        menuHelp->addAction(actionAbout);

        retranslateUi(window);
    }

    void retranslateUi(QMainWindow* window) {
        window->setWindowTitle(tr("Quillmaren"));
        set(actionOpenFile, "Open File(s) ...", "Ctrl+O");
        set(actionAddColorImage, "Add Color Image", "Ctrl+Shift+O");
        set(actionClassifyData, "Classify with Template...", "Ctrl+Shift+C");
        set(actionExportSpadeTree, "Export Spade Tree ...", "Ctrl+Shift+E");
        set(actionFileInformation, "File Information View", "Ctrl+Shift+I");
        set(actionSettings, "Settings View", "Ctrl+,");
        set(actionHeatMap, "HeatMap View", "Ctrl+Shift+H");
        set(actionTree, "Focus + Context Tree View", "Ctrl+Shift+T");
        set(actionHierarchy, "Hierarchy View", "Ctrl+Shift+X");
        set(actionImage, "Image View", "Ctrl+Shift+J");
        set(actionSpadeView, "Spade View", "Ctrl+Shift+S");
        set(actionScatterplotView, "Scatterplot View", "Ctrl+Shift+P");
        set(actionNewSpadeAnalysis, "New Spade Analysis", "Ctrl+S");
        set(actionNewTsneAnalysis, "New A-tSNE Analysis", "Ctrl+T");
        set(actionNewHsneAnalysis, "New HSNE Analysis", "Ctrl+F");
        set(actionNewHsneFCAnalysis, "New HSNE Focus + Context Analysis", "Ctrl+Shift+F");
        set(actionDocumentation, "Browse Documentation ...", nullptr);
        set(actionCheckForUpdates, "Check for Updates ...", nullptr);
        set(actionAbout, "About Quillmaren ...", nullptr);
        menuFile->setTitle(tr("File"));
        menuAnalysis->setTitle(tr("Analysis"));
        menuView->setTitle(tr("View"));
        menuHelp->setTitle(tr("Help"));
    }

private:
    static QString tr(const char* text) { return QCoreApplication::translate("MainWindow", text, nullptr); }

    static QAction* makeAction(QMainWindow* window, const char* name) {
        QAction* action = new QAction(window);
        action->setObjectName(name);
        return action;
    }
    static QMenu* makeMenu(QMenuBar* bar, const char* name) {
        QMenu* menu = new QMenu(bar);
        menu->setObjectName(name);
        return menu;
    }
    static void set(QAction* action, const char* text, const char* shortcut) {
        action->setText(tr(text));
        if (shortcut) action->setShortcut(QKeySequence(tr(shortcut)));
    }
};
