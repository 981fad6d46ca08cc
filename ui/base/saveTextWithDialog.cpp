#include "saveTextWithDialog.h"

#include "UI_ModalDialogs.h"
#include "UI_Settings.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTextStream>

bool saveTextWithDialog(QWidget* parent, const QString& suffix, const QString& nameFilter, const QString& text) {
    UI_Settings* store = UI_Settings::Instance();
    store->sync();
    const QString folder = store->value(QStringLiteral("exportDefaultFilePath")).toString();
    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(folder.isEmpty() ? QDir::home().absolutePath() : folder);
    dialog.setDefaultSuffix(suffix);
    dialog.setNameFilter(nameFilter);
    if (UI_ModalDialogs::exec(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QString path = dialog.selectedFiles().first();
    store->setValue(QStringLiteral("exportDefaultFilePath"), QFileInfo(path).absolutePath());
    store->sync();

    QFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (written) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        out << text;
        out.flush();
        written = out.status() == QTextStream::Ok;
        file.close();
        written = written && file.error() == QFileDevice::NoError;
    }
    if (!written)
        UI_ModalDialogs::message(QMessageBox::Warning, parent, QObject::tr("Warning"),
                                 QObject::tr("Could not write the file %1.").arg(path));
    return written;
}
