#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class MainWindow;
class QPushButton;

// Takes the README's screenshots with the real main window. Both pictures
// start alike: `files` are imported through the scripted dialog answers with
// the arcsine transform, and the import dialog creates the analysis.
//
// - Tsne: an A-tSNE is computed from its settings panel and the window is
//   grabbed while the embedding converges; the run is then stopped.
// - HsneDrillDown: an HSNE is computed from its settings panel; once the
//   overview has converged, a rectangle selects a few of its clusters, the
//   plot's context menu zooms into them (the "Selection Name" prompt keeps
//   the proposed name), and when the new level has converged the window is
//   grabbed with both levels side by side.
//
// The event loop ends with exit code 0 when the picture was written into the
// PNG `output`, 1 otherwise.
class ScreenshotRun {
public:
    enum class Picture { Tsne, HsneDrillDown };

    static void start(MainWindow* window, Picture picture, const QString& output, const QStringList& files);

private:
    // Opens `files` through "Open File(s) ...", answers the import dialog
    // with `importChoice` (a UI_ImportDialog::Choice) and names the new
    // analysis `analysisName`; `then` runs once its settings panel exists.
    static void importAndCreate(MainWindow* window, const QStringList& files, int importChoice,
                                const QString& analysisName, std::function<void()> then);
    static void startTsne(MainWindow* window, const QString& output, const QStringList& files);
    static void startHsneDrillDown(MainWindow* window, const QString& output, const QStringList& files);
    // A left click as the mouse gives it (press, release), so that handlers
    // of either signal run.
    static void click(QPushButton* button);
    // Grabs `window` into `output`, reports it and ends the event loop.
    static void grabAndQuit(MainWindow* window, const QString& output);
    // Reports `why` and ends the event loop with exit code 1.
    static void fail(const char* why);
};
