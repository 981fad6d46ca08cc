#include "UI_ModalDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QAbstractButton>
#include <QPushButton>

bool UI_ModalDialogs::s_scripted = false;
std::deque<QStringList> UI_ModalDialogs::s_files;
std::deque<std::pair<QString, bool>> UI_ModalDialogs::s_texts;
std::deque<std::function<int(QDialog*)>> UI_ModalDialogs::s_dialogs;
std::deque<QColor> UI_ModalDialogs::s_colors;
std::deque<QString> UI_ModalDialogs::s_directories;
std::deque<QString> UI_ModalDialogs::s_saveFiles;
std::deque<bool> UI_ModalDialogs::s_questions;
std::vector<UI_ModalDialogs::Message> UI_ModalDialogs::s_messages;
int UI_ModalDialogs::s_unanswered = 0;
QString UI_ModalDialogs::s_lastDirectory;
QString UI_ModalDialogs::s_lastFilter;
QString UI_ModalDialogs::s_lastProposedName;

QStringList UI_ModalDialogs::openFiles(QWidget* parent, const QString& directory, const QString& nameFilter,
                                       bool several) {
    s_lastDirectory = directory;
    s_lastFilter = nameFilter;
    if (s_scripted) {
        if (s_files.empty()) {
            ++s_unanswered;
            return {};
        }
        QStringList answer = s_files.front();
        s_files.pop_front();
        return answer;
    }
    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setDirectory(directory);
    dialog.setNameFilter(nameFilter);
    if (!dialog.exec()) return {};
    return dialog.selectedFiles();
}

QString UI_ModalDialogs::getText(QWidget* parent, const QString& title, const QString& label, const QString& text,
                                 bool* ok) {
    if (s_scripted) {
        if (s_texts.empty()) {
            ++s_unanswered;
            if (ok) *ok = false;
            return QString();
        }
        const std::pair<QString, bool> answer = s_texts.front();
        s_texts.pop_front();
        if (ok) *ok = answer.second;
        return answer.second ? answer.first : QString();
    }
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
}

void UI_ModalDialogs::message(QMessageBox::Icon icon, QWidget* parent, const QString& title, const QString& text) {
    if (s_scripted) {
        s_messages.push_back(Message{icon, title, text});
        return;
    }
    switch (icon) {
        case QMessageBox::Critical:
            QMessageBox::critical(parent, title, text);
            break;
        case QMessageBox::Warning:
            QMessageBox::warning(parent, title, text);
            break;
        default:
            QMessageBox::information(parent, title, text);
            break;
    }
}

int UI_ModalDialogs::exec(QDialog* dialog) {
    if (s_scripted) {
        if (s_dialogs.empty()) {
            ++s_unanswered;
            dialog->reject();
            return QDialog::Rejected;
        }
        std::function<int(QDialog*)> handler = std::move(s_dialogs.front());
        s_dialogs.pop_front();
        return handler(dialog);
    }
    return dialog->exec();
}

namespace {
// The next queued answer of one kind; `cancelled` (and one more unanswered
// question) when none is queued.
template <typename T>
T nextAnswer(std::deque<T>& queue, const T& cancelled, int& unanswered) {
    if (queue.empty()) {
        ++unanswered;
        return cancelled;
    }
    T answer = queue.front();
    queue.pop_front();
    return answer;
}
}  // namespace

QColor UI_ModalDialogs::getColor(const QColor& initial, QWidget* parent, const QString& title,
                                 QColorDialog::ColorDialogOptions options) {
    if (s_scripted) return nextAnswer(s_colors, QColor(), s_unanswered);
    return QColorDialog::getColor(initial, parent, title, options);
}

QString UI_ModalDialogs::getDirectory(QWidget* parent, const QString& directory) {
    s_lastDirectory = directory;
    s_lastFilter.clear();
    if (s_scripted) return nextAnswer(s_directories, QString(), s_unanswered);
    QFileDialog dialog(parent, QString(), directory);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!dialog.exec() || dialog.selectedFiles().isEmpty()) return QString();
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
}

QString UI_ModalDialogs::saveFile(QWidget* parent, const QString& directory, const QString& defaultSuffix,
                                  const QString& nameFilter, const QString& proposedName) {
    s_lastDirectory = directory;
    s_lastFilter = nameFilter;
    s_lastProposedName = proposedName;
    if (s_scripted) return nextAnswer(s_saveFiles, QString(), s_unanswered);
    QFileDialog dialog(parent, QString(), directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setNameFilter(nameFilter);
    if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
    if (!dialog.exec() || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

bool UI_ModalDialogs::question(QWidget* parent, const QString& title, const QString& text,
                               const QString& informativeText, const QString& yesText, const QString& noText) {
    if (s_scripted) {
        s_messages.push_back(Message{QMessageBox::Question, title, text});
        return nextAnswer(s_questions, false, s_unanswered);
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(informativeText);
    QAbstractButton* yes = nullptr;
    if (yesText.isEmpty() && noText.isEmpty()) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        yes = box.button(QMessageBox::Yes);
    } else {
        yes = box.addButton(yesText, QMessageBox::YesRole);
        box.addButton(noText, QMessageBox::NoRole);
    }
    box.exec();
    return box.clickedButton() == yes;
}

void UI_ModalDialogs::setScripted(bool scripted) { s_scripted = scripted; }

bool UI_ModalDialogs::scripted() { return s_scripted; }

void UI_ModalDialogs::answerFiles(const QStringList& files) { s_files.push_back(files); }

void UI_ModalDialogs::answerText(const QString& text, bool ok) { s_texts.emplace_back(text, ok); }

void UI_ModalDialogs::answerColor(const QColor& color) { s_colors.push_back(color); }

void UI_ModalDialogs::answerDirectory(const QString& directory) { s_directories.push_back(directory); }

void UI_ModalDialogs::answerSaveFile(const QString& file) { s_saveFiles.push_back(file); }

void UI_ModalDialogs::answerQuestion(bool yes) { s_questions.push_back(yes); }

void UI_ModalDialogs::answerDialog(std::function<int(QDialog*)> handler) { s_dialogs.push_back(std::move(handler)); }

std::vector<UI_ModalDialogs::Message> UI_ModalDialogs::takeMessages() {
    std::vector<Message> out;
    out.swap(s_messages);
    return out;
}

int UI_ModalDialogs::unanswered() { return s_unanswered; }

QString UI_ModalDialogs::lastDirectory() { return s_lastDirectory; }

QString UI_ModalDialogs::lastFilter() { return s_lastFilter; }
QString UI_ModalDialogs::lastProposedName() { return s_lastProposedName; }

void UI_ModalDialogs::reset() {
    s_files.clear();
    s_texts.clear();
    s_dialogs.clear();
    s_colors.clear();
    s_directories.clear();
    s_saveFiles.clear();
    s_questions.clear();
    s_messages.clear();
    s_unanswered = 0;
    s_lastDirectory.clear();
    s_lastFilter.clear();
    s_lastProposedName.clear();
}
