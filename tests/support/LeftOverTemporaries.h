// The temporaries of the program's file writer (".<name>.<pid>-<n>.part")
// and of older writers ("<name>.tmp") left in a folder: a write, whether it
// succeeded or failed, leaves none. Entries are listed, never opened, so a
// named pipe in the folder does no harm.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

inline QStringList leftOverTemporaries(const QString& folder) {
    return QDir(folder).entryList({".*.part", "*.tmp"},
                                  QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
