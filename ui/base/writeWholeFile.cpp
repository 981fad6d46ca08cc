#include "writeWholeFile.h"

#include "UI_ModalDialogs.h"

#include <QObject>
#include <QSaveFile>

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile whose flush writes only part of the
    // buffer (a full disk or file-size limit mid-way) commits the truncated
    // file as a success. Unbuffered, such a write returns a short count.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                         file.write(bytes) == static_cast<qint64>(bytes.size()) && file.commit();
    // An uncommitted QSaveFile removes its temporary when it goes.
    if (!written && error) *error = file.errorString();
    return written;
}

bool saveWholeFile(QWidget* parent, const QString& path, const QByteArray& bytes) {
    if (writeWholeFile(path, bytes)) return true;
    UI_ModalDialogs::message(QMessageBox::Warning, parent, QObject::tr("Warning"),
                             QObject::tr("Could not write the file %1.").arg(path));
    return false;
}
