#pragma once

#include <QVector>
#include <QWidget>

class QCheckBox;
class QGridLayout;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// Median, mean and standard deviation of the shared selection for every
// marker of the combined header: three rows, one column per marker after the
// label column, values with two decimals. "Refresh" refreshes by hand and
// computes every column afresh; "Refresh Continously" makes every unforced
// refresh (each selection change) update the table. The marker columns follow
// the marker count: a refresh after variables were added rebuilds them. A
// value that was not computed, or of a marker of which the selection holds no
// value (an empty selection, a column of NaN), reads "n/a". GUI thread only.
class UI_SelectionStatisticsWidget : public QWidget {
    Q_OBJECT
public:
    explicit UI_SelectionStatisticsWidget(QWidget* parent);
    ~UI_SelectionStatisticsWidget() override;

    // Unforced: only while "Refresh Continously" is ticked.
    void refreshWidget(bool forced);

    QTableWidget* statisticsTable() const { return table; }
    QPushButton* refreshPushButton() const { return refreshButton; }
    QCheckBox* continuousBox() const { return autoRefreshBox; }
    // The table as saved: three lines, cells joined by ", ".
    QString csvText() const;

private slots:
    void saveClicked();
    void refreshClicked();
    void autoRefreshClicked();

private:
    void initUI();
    void initWidget();
    // Writes the current statistics into the marker columns.
    void fillValues();

    QGridLayout* layout = nullptr;
    QTableWidget* table = nullptr;
    QVector<QVector<QTableWidgetItem*>> items;
    QPushButton* refreshButton = nullptr;
    QCheckBox* autoRefreshBox = nullptr;
};
