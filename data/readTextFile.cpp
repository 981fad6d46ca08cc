#include "data/readTextFile.h"

#include <QFile>
#include <QTextStream>

QString readTextFile(QString path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    return stream.readAll();
}
