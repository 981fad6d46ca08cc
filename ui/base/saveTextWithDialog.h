#pragma once

#include <QString>

class QWidget;

// Asks for a file to save `text` in, starting in the settings store's
// "exportDefaultFilePath" folder (the home folder when unset), remembers the
// chosen folder, and writes the text as UTF-8 (writeWholeFile: a failed write
// leaves an existing file as it was). A file that cannot be written is
// reported in a warning box. Returns whether the text was written.
bool saveTextWithDialog(QWidget* parent, const QString& suffix, const QString& nameFilter, const QString& text);
