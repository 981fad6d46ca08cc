#include "writeWholeFile.h"

#include "UI_ModalDialogs.h"

#include "data/MCV_ReplacingFile.h"

#include <QFile>
#include <QObject>

#include <string>

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    std::string why;
    const bool written = MCV_ReplacingFile::writeWhole(QFile::encodeName(path).toStdString(), bytes.constData(),
                                                       static_cast<size_t>(bytes.size()), &why);
    if (!written && error) *error = QString::fromLocal8Bit(why.c_str());
    return written;
}

bool saveWholeFile(QWidget* parent, const QString& path, const QByteArray& bytes) {
    QString why;
    if (writeWholeFile(path, bytes, &why)) return true;
    UI_ModalDialogs::message(QMessageBox::Warning, parent, QObject::tr("Warning"),
                             QObject::tr("Could not write the file %1: %2.").arg(path, why));
    return false;
}
