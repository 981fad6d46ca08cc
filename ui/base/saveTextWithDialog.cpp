#include "saveTextWithDialog.h"

#include "UI_ModalDialogs.h"
#include "UI_Settings.h"
#include "writeWholeFile.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

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

    return saveWholeFile(parent, path, text.toUtf8());
}
