#include "boolVectorFile.h"

#include "writeWholeFile.h"

#include <QFileInfo>

#include <fstream>

bool readBoolVectorFromFile(std::string path, std::vector<bool>* out) {
    if (!out) return false;
    // Opening a named pipe for reading would wait for a writer forever.
    if (!QFileInfo(QString::fromStdString(path)).isFile()) return false;
    std::ifstream in(path);
    if (!in.is_open()) return false;
    out->clear();
    out->reserve(50);
    long long value = 0;
    while (in >> value) out->push_back(value != 0);
    return true;
}

bool writeBoolVectorToFile(std::string path, std::vector<bool> flags) {
    QByteArray text;
    text.reserve(static_cast<int>(2 * flags.size()));
    for (bool f : flags) text += f ? "1 " : "0 ";
    return writeWholeFile(QString::fromStdString(path), text);
}
