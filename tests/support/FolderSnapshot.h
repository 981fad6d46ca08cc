// Every entry under a folder, hidden ones (left-over temporaries) too, with
// its bytes, "<dir>" for a folder, "<special>" for a pipe, socket or device
// (which are not opened: a pipe would wait for a writer): what a failed write
// must leave as it was.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include <map>

inline std::map<QString, QByteArray> folderSnapshot(const QString& folder) {
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        QFile f(p);
        out[QDir(folder).relativeFilePath(p)] = it.fileInfo().isDir()         ? QByteArray("<dir>")
                                                : !it.fileInfo().isFile()     ? QByteArray("<special>")
                                                : f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                              : QByteArray("<unreadable>");
    }
    return out;
}
