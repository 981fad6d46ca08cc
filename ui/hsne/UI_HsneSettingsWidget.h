#pragma once

#include "ui/hsne/UI_HierarchySettingsWidget.h"

class MCV_HsneAnalysisHierarchy;
class QSpinBox;

// The parameter panel of an HSNE analysis: input point set, markers, kNN back
// end and metric (see UI_EmbeddingSettingsWidget), the hierarchy's random
// walks, pruning and landmark selection (UI_HierarchySettingsWidget), the
// number of scales, caching and GPU use. " Compute HSNE " hands them to the analysis, which builds (or loads)
// the hierarchy and embeds its overview level. The walk, pruning and landmark
// settings reach the analysis when they change; the input set, number of
// scales, caching, GPU flag, back end and metric only at Compute.
//
// The number of scales follows a suggestion made from the size of the input
// set and the landmark-selection percentile whenever either changes; the user
// may change it afterwards. A Compute during a run (the run pumps the event
// loop) is left to the analysis, which carries it out after the running loop.
// One the analysis refuses (a level embeds while no build runs) hands nothing
// over and is reported through computeRefused. GUI thread only.
class UI_HsneSettingsWidget : public UI_HierarchySettingsWidget {
    Q_OBJECT
public:
    UI_HsneSettingsWidget(QWidget* parent, MCV_HsneAnalysisHierarchy* analysis);

    void initUI() override;

    // The suggested number of scales for an input of `numPoints` points when
    // each scale keeps the share `factor` of the one below: one scale, plus one
    // per reduction while 2000 points or more remain.
    static int suggestedNumScales(int numPoints, float factor);

    // For tests.
    QSpinBox* numScalesBox() const { return numScalesSpin; }
    bool cachingChosen() const { return cachingEnabled; }
    bool gpuChosen() const { return useGPU; }
    int numScalesChosen() const { return numScales; }

public slots:
    void computeHSNE();
    void computeNumScales();

private slots:
    void numScalesChanged(int value);
    void cacheCheckBoxChanged(int state);
    void useGPUChanged(int state);

protected:
    void inputChanged() override;
    void landmarkSelectionChanged() override;
    bool refused() override;
    void handOver() override;
    void start() override;

private:
    MCV_HsneAnalysisHierarchy* hierarchy() const;

    QSpinBox* numScalesSpin = nullptr;
    bool useGPU = false;
    bool cachingEnabled = true;
    int numScales = 4;
};
