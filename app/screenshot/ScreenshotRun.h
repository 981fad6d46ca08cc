#pragma once

#include <QString>
#include <QStringList>

class MainWindow;

// Takes the README's screenshot with the real main window: imports `files`
// through the scripted dialog answers with the arcsine transform, creates an
// A-tSNE from the import dialog, computes it from its settings panel, grabs
// the window into the PNG `output` while the embedding converges, stops the
// run and ends the event loop (exit code 0 when the picture was written).
class ScreenshotRun {
public:
    static void start(MainWindow* window, const QString& output, const QStringList& files);
};
