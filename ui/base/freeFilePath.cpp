#include "freeFilePath.h"

#include <QFileInfo>

QString freeFilePath(const QString& stem, const QString& suffix) {
    QString path = stem + suffix;
    for (int n = 1; QFileInfo::exists(path); ++n) path = stem + QStringLiteral("_%1").arg(n) + suffix;
    return path;
}
