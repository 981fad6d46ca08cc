#include "boolVectorFile.h"

#include "writeWholeFile.h"

bool writeBoolVectorToFile(std::string path, std::vector<bool> flags, QString* error) {
    QByteArray text;
    text.reserve(static_cast<int>(2 * flags.size()));
    for (bool f : flags) text += f ? "1 " : "0 ";
    return writeWholeFile(QString::fromStdString(path), text, error);
}
