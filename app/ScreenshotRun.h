#pragma once

class MainWindow;

// Takes the README's screenshot. When QLMRN_SCREENSHOT_PNG names an output
// file and QLMRN_SCREENSHOT_FILES lists FCS files (separated by ':'), the
// started program imports those files through the scripted dialog answers
// with the arcsine transform, creates an A-tSNE from the import dialog,
// computes it from its settings panel, grabs the window into the PNG while
// the embedding converges, stops the run and quits.
// Not a user option: nothing happens unless both variables are set.
class ScreenshotRun {
public:
    static bool startFromEnvironment(MainWindow* window);
};
