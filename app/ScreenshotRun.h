#pragma once

class MainWindow;

// Takes the README's screenshot. When QLMRN_SCREENSHOT_PNG names an output
// file and QLMRN_SCREENSHOT_FILES lists FCS files (separated by ':'), the
// started program imports those files through the scripted dialog answers,
// opens the file information view, grabs the screen into the PNG and quits.
// Not a user option: nothing happens unless both variables are set.
class ScreenshotRun {
public:
    static bool startFromEnvironment(MainWindow* window);
};
