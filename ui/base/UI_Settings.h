#pragma once

#include <QSettings>

// The persistent preferences store: the three last-used folders
// ("dataDefaultFilePath", "exportDefaultFilePath", "dataExportDefaultFilePath").
// Scoped by the organisation and application names, which main() sets before
// the first Instance() call.
class UI_Settings : public QSettings {
public:
    static UI_Settings* Instance();

    UI_Settings();
    ~UI_Settings() override;
};
