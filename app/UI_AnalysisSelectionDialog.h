#pragma once

#include <QDialog>
#include <QStringList>

class QGridLayout;
class QListView;

// Asks which existing analysis a new view should attach to. Callers run it
// with exec() after init(names) and read selectedIdx() only when accepted.
class UI_AnalysisSelectionDialog : public QDialog {
    Q_OBJECT
public:
    UI_AnalysisSelectionDialog(QWidget* parent, Qt::WindowFlags flags);

    void init(QStringList names);
    // Row of the selected name, or -1 when nothing is selected.
    int selectedIdx() const;

    QListView* listView() const;

private:
    QGridLayout* m_layout = nullptr;
    QListView* m_listView = nullptr;
};
