#include "ui/UI_ModalDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>

bool UI_ModalDialogs::s_scripted = false;
std::deque<QStringList> UI_ModalDialogs::s_files;
std::deque<std::pair<QString, bool>> UI_ModalDialogs::s_texts;
std::deque<std::function<int(QDialog*)>> UI_ModalDialogs::s_dialogs;
std::vector<UI_ModalDialogs::Message> UI_ModalDialogs::s_messages;
int UI_ModalDialogs::s_unanswered = 0;
QString UI_ModalDialogs::s_lastDirectory;
QString UI_ModalDialogs::s_lastFilter;

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

QString UI_ModalDialogs::getText(QWidget* parent, const QString& title, const QString& label,
                                 const QString& text, bool* ok) {
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

void UI_ModalDialogs::message(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                              const QString& text) {
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

void UI_ModalDialogs::setScripted(bool scripted) { s_scripted = scripted; }

bool UI_ModalDialogs::scripted() { return s_scripted; }

void UI_ModalDialogs::answerFiles(const QStringList& files) { s_files.push_back(files); }

void UI_ModalDialogs::answerText(const QString& text, bool ok) { s_texts.emplace_back(text, ok); }

void UI_ModalDialogs::answerDialog(std::function<int(QDialog*)> handler) {
    s_dialogs.push_back(std::move(handler));
}

std::vector<UI_ModalDialogs::Message> UI_ModalDialogs::takeMessages() {
    std::vector<Message> out;
    out.swap(s_messages);
    return out;
}

int UI_ModalDialogs::unanswered() { return s_unanswered; }

QString UI_ModalDialogs::lastDirectory() { return s_lastDirectory; }

QString UI_ModalDialogs::lastFilter() { return s_lastFilter; }

void UI_ModalDialogs::reset() {
    s_files.clear();
    s_texts.clear();
    s_dialogs.clear();
    s_messages.clear();
    s_unanswered = 0;
    s_lastDirectory.clear();
    s_lastFilter.clear();
}
