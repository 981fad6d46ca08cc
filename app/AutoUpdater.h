#pragma once

// The update checker behind "Check for Updates ...": one implementation
// exists per platform; the main window owns it and only asks for interactive
// checks.
class AutoUpdater {
public:
    virtual ~AutoUpdater() {}
    // An interactive check (false) tells the user what it found; a background
    // check (true) is the implementation's choice.
    virtual void checkForUpdates(bool inBackground) = 0;
};
