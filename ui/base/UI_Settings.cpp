#include "UI_Settings.h"

UI_Settings* UI_Settings::Instance() {
    // Never destroyed: the store lives until the process ends.
    static UI_Settings* instance = new UI_Settings();
    return instance;
}

UI_Settings::UI_Settings() : QSettings() {}

UI_Settings::~UI_Settings() = default;
