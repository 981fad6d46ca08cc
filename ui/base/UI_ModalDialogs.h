#pragma once

#include <QColor>
#include <QColorDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

// Every modal question the shell and the panels ask goes through here: file
// choices, text prompts, message boxes and the run of a modal dialog. In
// production each call is the plain Qt call. A test (or the scripted
// screenshot run) switches on scripted mode and queues the answers; each
// question then takes the next answer of its kind without showing anything,
// and message boxes are recorded instead of shown. A question without a
// queued answer is answered as if cancelled.
class UI_ModalDialogs {
public:
    // One recorded message box.
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    // A QFileDialog (parent, empty caption, directory and filter) in
    // existing-file(s) mode with `nameFilter`; the chosen files, or none when
    // cancelled.
    static QStringList openFiles(QWidget* parent, const QString& directory, const QString& nameFilter, bool several);
    // QInputDialog::getText with normal echo. `ok` tells whether it was
    // accepted; a cancelled prompt returns the empty text.
    static QString getText(QWidget* parent, const QString& title, const QString& label, const QString& text, bool* ok);
    // A modal box with one OK button (critical, warning or information).
    static void message(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text);
    // Runs `dialog` modally and returns its result.
    static int exec(QDialog* dialog);
    // QColorDialog::getColor: the chosen colour, or an invalid colour when
    // cancelled.
    static QColor getColor(const QColor& initial, QWidget* parent, const QString& title,
                           QColorDialog::ColorDialogOptions options);
    // A QFileDialog in directory mode with the show-directories-only option,
    // opened at `directory`; the chosen directory's absolute path, or the
    // empty text when cancelled.
    static QString getDirectory(QWidget* parent, const QString& directory);
    // A QFileDialog in save mode opened at `directory` with `defaultSuffix`,
    // `nameFilter` and, when not empty, `proposedName` selected; the first
    // selected file, or the empty text when cancelled.
    static QString saveFile(QWidget* parent, const QString& directory, const QString& defaultSuffix,
                            const QString& nameFilter, const QString& proposedName = QString());
    // A question box (question icon) with `informativeText` under `text` and
    // two buttons: `yesText` in the yes role, `noText` in the no role (the
    // standard Yes and No buttons when both texts are empty). True when the
    // yes button was chosen; closing the box counts as the no button. In
    // scripted mode the question is recorded with the message boxes (icon
    // Question) and an unanswered one counts as no.
    static bool question(QWidget* parent, const QString& title, const QString& text,
                         const QString& informativeText = QString(), const QString& yesText = QString(),
                         const QString& noText = QString());

    // ---- Scripted mode (tests, the screenshot run) ----
    static void setScripted(bool scripted);
    static bool scripted();
    // Queues the answer of the next file question (empty list: cancelled).
    static void answerFiles(const QStringList& files);
    // Queues the answer of the next text prompt.
    static void answerText(const QString& text, bool ok = true);
    // Queues the answer of the next colour question (an invalid colour:
    // cancelled).
    static void answerColor(const QColor& color);
    // Queues the answer of the next directory question (empty: cancelled).
    static void answerDirectory(const QString& directory);
    // Queues the answer of the next save-file question (empty: cancelled).
    static void answerSaveFile(const QString& file);
    // Queues the answer of the next Yes/No question (true: the yes button).
    static void answerQuestion(bool yes);
    // Queues the handler of the next exec(); it gets the real dialog and
    // returns the result (it may run dialog->exec() itself and answer it).
    static void answerDialog(std::function<int(QDialog*)> handler);
    // The message boxes recorded since the last call, oldest first.
    static std::vector<Message> takeMessages();
    // Questions asked in scripted mode that found no answer.
    static int unanswered();
    // Folder and name filter of the last file, directory or save-file
    // question (either mode).
    static QString lastDirectory();
    static QString lastFilter();
    // The file name the last save-file question proposed (either mode).
    static QString lastProposedName();
    // Drops every queued answer, recorded message and the unanswered count.
    static void reset();

private:
    static bool s_scripted;
    static std::deque<QStringList> s_files;
    static std::deque<std::pair<QString, bool>> s_texts;
    static std::deque<std::function<int(QDialog*)>> s_dialogs;
    static std::deque<QColor> s_colors;
    static std::deque<QString> s_directories;
    static std::deque<QString> s_saveFiles;
    static std::deque<bool> s_questions;
    static std::vector<Message> s_messages;
    static int s_unanswered;
    static QString s_lastDirectory;
    static QString s_lastFilter;
    static QString s_lastProposedName;
};
