#pragma once

// Scope in which the platform's native application environment is prepared
// while the update checker is created. Our checker needs no such environment,
// so the scope is empty; it is kept so the main window's construction reads
// the same on every platform.
class CocoaInitializer {
public:
    CocoaInitializer();
    ~CocoaInitializer();

    CocoaInitializer(const CocoaInitializer&) = delete;
    CocoaInitializer& operator=(const CocoaInitializer&) = delete;
};
