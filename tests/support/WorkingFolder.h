// Makes a folder the process's working folder for as long as the object
// lives and restores the previous one afterwards, also when a test stops half
// way, so that no later test runs in a removed temporary folder.
#pragma once

#include <QDir>
#include <QString>

class WorkingFolder {
public:
    explicit WorkingFolder(const QString& folder) : m_previous(QDir::currentPath()) {
        m_entered = QDir::setCurrent(folder);
    }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    bool entered() const { return m_entered; }

private:
    QString m_previous;
    bool m_entered = false;
};
