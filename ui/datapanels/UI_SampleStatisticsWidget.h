#pragma once

#include "data/MCV_SelectedPerFile.h"

#include <QVector>
#include <QWidget>

class MCV_DerivedDataPoints;
class QGridLayout;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// One row per sample file loaded at construction: its number, name, events in
// the active point set ("Total events"), the distinct events of the active set
// that the shared selection holds ("in selection"; selected events outside the
// set do not count), those as a share of the file's events in the set, as a
// share of all selected events of the set, and the first share normalised over
// the files.
// Cells hold numbers, so sorting by a column compares numbers; the panel keeps
// each file's items so refreshes reach the right row in any sort order.
// "Save ..." writes the table as comma-separated text in display order.
//
// Shares whose denominator is 0 (a file without active events, an empty
// selection) are shown as 0. GUI thread only.
class UI_SampleStatisticsWidget : public QWidget {
    Q_OBJECT
public:
    explicit UI_SampleStatisticsWidget(QWidget* parent);
    ~UI_SampleStatisticsWidget() override;

    // Not owned; null freezes the cells.
    void setActiveSelection(MCV_DerivedDataPoints* set);
    void refreshWidget();

    QTableWidget* statisticsTable() const { return table; }
    // The table as saved: header line, then one line per displayed row.
    QString csvText() const;

private slots:
    void saveClicked();

private:
    void initUI();
    void initWidget();

    QGridLayout* layout = nullptr;
    MCV_DerivedDataPoints* activeSelection = nullptr;
    QTableWidget* table = nullptr;
    QVector<QVector<QTableWidgetItem*>> items;
    QPushButton* saveButton = nullptr;
    MCV_SelectedPerFile selectedCounter;
};
