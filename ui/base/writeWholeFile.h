#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Every file the interface writes goes through here. The bytes go to a
// temporary file beside `path`, which replaces the target only once it is
// whole, flushed and closed (QSaveFile): on any failure (full disk, file-size
// limit, unwritable folder, a folder or read-only file in the way) a file that
// was there stays exactly as it was and no temporary is left. A replaced file
// keeps its permissions; a symbolic link is followed. The reason of a failure
// goes to `error` when given.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// writeWholeFile, and on failure the program's warning for a file the user
// chose: "Could not write the file <path>." in a box of the dialog seam.
bool saveWholeFile(QWidget* parent, const QString& path, const QByteArray& bytes);
