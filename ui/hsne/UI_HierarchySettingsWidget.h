#pragma once

#include "analysis/hsne/MCV_HsneHierarchyBuilder.h"
#include "ui/base/UI_EmbeddingSettingsWidget.h"

#include <memory>

class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QProgressBar;
class QSpinBox;
class UI_InputBlocker;

// What the settings panels of the analyses that build an HSNE hierarchy (HSNE,
// focus and context) share: the hierarchy rows of "Advanced Parameters" (seed,
// memory-preserving computation, kNN checks, random walks, pruning and the
// landmark selection by percentile), which reach the analysis's builder as
// they change, the compute button with the build's progress under it, and the
// compute path.
//
// A build of a large selection takes minutes; the builder runs it on a thread
// of its own and calls this panel's hook on the GUI thread meanwhile. While it
// runs, Compute is disabled, the progress (step, scale, percentage) shows
// under it and in the main window's status bar, and the panel processes every
// pending event while an UI_InputBlocker drops all user input: the window
// repaints and answers the window system, and a close request still asks its
// question (Yes stops the build). Afterwards the status bar says what became
// of the cache when there is something to say (MCV_HsneHierarchyBuilder::
// cacheNote). GUI thread only.
class UI_HierarchySettingsWidget : public UI_EmbeddingSettingsWidget {
    Q_OBJECT
public:
    ~UI_HierarchySettingsWidget() override;

    // For tests: " Compute HSNE " and the progress display under it (hidden
    // while no build runs).
    QPushButton* computeHsneButton() const { return computeButton; }
    QWidget* progressBox() const { return m_progressBox; }
    QLabel* progressLabel() const { return m_progressLabel; }
    QProgressBar* progressBar() const { return m_progressBar; }

public slots:
    // Checks the markers (a warning box when none is chosen), hands the
    // panel's settings over (handOver), the kNN back end and metric, and
    // starts the analysis (start). A compute the analysis will refuse hands
    // nothing over; the analysis is still started, to write its line.
    void computeHierarchy();

protected:
    // `builder` belongs to `analysis` and outlives the panel.
    UI_HierarchySettingsWidget(QWidget* parent, MCV_Analysis* analysis, MCV_HsneHierarchyBuilder* builder);

    // Rows 2 to 11 of `advanced`; the percentile selection's check box is
    // labelled `percentileLabel`; the walk threshold and the percentile boxes
    // step by `thresholdStep` and `percentileStep`.
    void addHierarchyRows(QGridLayout* advanced, const char* percentileLabel, double thresholdStep,
                          double percentileStep);
    // The sections' end (UI_EmbeddingSettingsWidget::finishSections) with
    // " Compute HSNE " and the progress display under it, wired to
    // computeHierarchy.
    QPushButton* finishHierarchySections(QWidget* advancedBody, QWidget* parameterBody);

    // The panels' controls, each showing `value` before anything is connected:
    // an integer box over [lowest, highest], a real box over [0, highest]
    // stepping by `step` (two decimals), a check box.
    static QSpinBox* intBox(int lowest, int highest, int value);
    static QDoubleSpinBox* realBox(double highest, double step, float value);
    static QCheckBox* flagBox(bool checked);

    // After the percentile selection was switched or the percentile changed.
    virtual void landmarkSelectionChanged();
    // Whether the analysis will refuse a compute now; the panel has reported
    // it (computeRefused).
    virtual bool refused();
    // The settings that wait for Compute, handed to the analysis.
    virtual void handOver() = 0;
    // Starts the build (and the embedding after it).
    virtual void start() = 0;

    MCV_HsneHierarchyBuilder* m_builder = nullptr;

private:
    // The builder's progress hook.
    void showBuild(const MCV_HsneHierarchyBuilder::Status& status);
    void showInStatusBar(const QString& text);

    QWidget* m_progressBox = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    std::unique_ptr<UI_InputBlocker> m_inputBlocker;  // while a build runs
    QString m_statusLine;                             // the progress line last shown
};
