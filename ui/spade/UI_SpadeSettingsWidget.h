#pragma once

#include "ui/base/UI_ClusterSettingsWidget.h"

#include <string>

class MCV_SpadeAnalysis;
class QLabel;
class QProgressBar;
class QSpinBox;

// The parameter panel of a SPADE analysis: markers, the density and
// down-sampling parameters ("Advanced Parameters") and the target share of
// events and number of nodes ("Parameters"). Each value reaches the analysis
// as it changes, which marks only the stages it affects for recomputation.
// " Compute Spade Tree " runs the analysis to its end on the GUI thread.
//
// A run of a large file takes minutes. Meanwhile the button is disabled and
// the analysis' progress (what runs and how far) shows under it; the panel
// repaints between blocks of work but accepts no input, so nothing can
// change the analysis or the data under the run. A run that published
// nothing says why in a warning box; a setting the run could not use as
// given (computeAdjusted) takes the value it used, in the analysis and in
// its box. A density cache that could not be written is named, with the
// writer's reason, in that line (computeAdjusted) or in the warning box of a
// run that published nothing. GUI thread only.
class UI_SpadeSettingsWidget : public UI_ClusterSettingsWidget {
    Q_OBJECT
public:
    UI_SpadeSettingsWidget(QWidget* parent, MCV_SpadeAnalysis* analysis);

    void initUI() override;

    // For tests: the progress display (hidden while no run is in progress).
    QWidget* progressBox() const { return m_progressBox; }
    QLabel* progressLabel() const { return m_progressLabel; }
    QProgressBar* progressBar() const { return m_progressBar; }
    QSpinBox* sampleSizeBox() const { return m_sampleBox; }
    QSpinBox* targetNodesBox() const { return m_nodesBox; }

private slots:
    void sampleSizeChanged(int value);
    void alphaChanged(double value);
    void targetDensityPercentileChanged(double value);
    void outlierDensityPercentileChanged(double value);
    void densityLimitChanged(double value);
    void targetClusterNumberChanged(int value);
    void compute();

private:
    MCV_SpadeAnalysis* spade() const;
    void showProgress(const std::string& what, int percent);
    void showAdjustments(const QString& cacheNote);

    QWidget* m_progressBox = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QSpinBox* m_sampleBox = nullptr;
    QSpinBox* m_nodesBox = nullptr;
};
