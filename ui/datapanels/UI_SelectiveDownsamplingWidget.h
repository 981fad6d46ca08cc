#pragma once

#include "ui/base/UI_DockableWidget.h"

#include <QString>

#include <vector>

class MCV_Analysis;
class MCV_DerivedDataPoints;
class QTableWidget;

// The "Downsampling" dock of an analysis settings panel: one row per loaded
// sample file with the number of the input set's points from that file
// ("Selected") and an editable number to keep ("Target"). "Downsample"
// registers a new point set named after the input set and announces it with
// dataDownsampled().
//
// Invariants after a refresh with an input set: both count vectors hold one
// entry per loaded file and every target lies in [0, selected count]. Targets
// survive re-bindings (clamped to the new counts). GUI thread only.
class UI_SelectiveDownsamplingWidget : public UI_DockableWidget {
    Q_OBJECT
public:
    explicit UI_SelectiveDownsamplingWidget(QWidget* parent);
    ~UI_SelectiveDownsamplingWidget() override;

    // The panels bind their analysis; nothing here reads it.
    void refreshWidget(MCV_Analysis* analysis);
    // The input set (not owned; null keeps the rows on show).
    void setActiveSelection(MCV_DerivedDataPoints* set);
    void refreshWidget();

    MCV_DerivedDataPoints* activeInput() const { return activeSelection; }
    const std::vector<int>& selected() const { return selectedCounts; }
    const std::vector<int>& targets() const { return targetCounts; }
    QTableWidget* countsTable() const { return table; }

signals:
    void dataDownsampled();
    // A press of "Downsample" that made nothing, in one sentence for the
    // window's status bar (the console has its line as well).
    void downsampleRefused(const QString& reason);
    // A press of "Downsample" that made a point set: its name and size
    // ("All Points-downsampled: 15000 events"), for the status bar, where it
    // takes the place of an earlier refusal. Emitted before dataDownsampled().
    void downsampleDone(const QString& result);

private slots:
    void cellEdited(int row, int column);
    void downsample();

private:
    void initUI();

    MCV_DerivedDataPoints* activeSelection = nullptr;
    QTableWidget* table = nullptr;
    std::vector<int> selectedCounts;
    std::vector<int> targetCounts;
};
