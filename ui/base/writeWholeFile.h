#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Every file the interface writes goes through here, and so through the
// program's one file writer (MCV_ReplacingFile): the bytes go to a new
// temporary beside `path`, which takes the target's name only once it is
// whole and on the disk. On any failure (full disk, file-size limit, a folder
// that cannot take the new file, a folder, read-only file, pipe or device in
// the way) a file that was there stays exactly as it was and no temporary is
// left; nothing waits on a pipe. A replaced file keeps its permissions; a
// symbolic link is followed. What failed goes to `error` when given, as a
// clause such as "the folder /x cannot take the new file (Permission denied);
// the existing file is unchanged".
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// writeWholeFile, and on failure the program's warning for a file the user
// chose: "Could not write the file <path>: <what failed>." in a box of the
// dialog seam.
bool saveWholeFile(QWidget* parent, const QString& path, const QByteArray& bytes);
