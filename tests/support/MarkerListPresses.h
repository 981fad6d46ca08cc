// A marker list's "Set Default" and "Load Selection" pressed as a user does,
// for the tests of what the list says afterwards, wherever it sits.
#pragma once

#include "WriteFailure.h"

#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using MarkerListPress = std::function<void(UI_MarkerSelectionWidget*)>;

// A selection file holding `flags`, deep below `folder` in folders of long
// names, one of them a single word wider than a dialog: its path makes a
// message too long for the list's line.
inline QString deepSelectionFile(const QDir& folder, const QByteArray& flags) {
    const QString deepFolder =
        folder.filePath(QString(120, 'd') + "/a folder of many words in its name, for wrapping/" + QString(100, 'e') +
                        "/and one more of them, as data folders have");
    if (!QDir().mkpath(deepFolder)) ADD_FAILURE() << "cannot make " << deepFolder.toStdString();
    const QString path = QDir(deepFolder).filePath("selection.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(flags) != flags.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

// The list's current button of that text (earlier builds' are hidden).
inline QPushButton* markerListButton(UI_MarkerSelectionWidget* list, const QString& text) {
    for (QPushButton* b : list->findChildren<QPushButton*>())
        if (b->text() == text && !b->isHidden()) return b;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

// "Set Default" as it is, or while writes into `folder` (the data folder,
// where the default-marker file goes) fail `how`.
inline MarkerListPress pressSetDefault(const QString& folder, std::optional<WriteFailure> how) {
    return [folder, how](UI_MarkerSelectionWidget* list) {
        QPushButton* set = markerListButton(list, "Set Default");
        ASSERT_TRUE(set);
        if (!how) return set->click();
        if (how == WriteFailure::FolderInTheWay) {
            ASSERT_TRUE(QDir(folder).mkdir("QLMRN_DefaultMarkers.txt"));
        }
        ASSERT_TRUE(underWriteFailure(*how, folder.toStdString(), 4, [&] { set->click(); }));
        QDir(folder).rmdir("QLMRN_DefaultMarkers.txt");
    };
}

// "Load Selection", answered with `file`.
inline MarkerListPress pressLoadSelection(const QString& file) {
    return [file](UI_MarkerSelectionWidget* list) {
        QPushButton* load = markerListButton(list, "Load Selection");
        ASSERT_TRUE(load);
        UI_ModalDialogs::answerFiles({file});
        load->click();
    };
}
