#pragma once

#include "ui/plot/UI_EmbeddingControl.h"

class MCV_HsneFCAnalysis;

// The overlay panel's embedding controls for focus-and-context analyses
// (type code 3).
//
// The analysis keeps its early-exaggeration length and decay to itself: the
// panel shows 0 for both and its changes of them go nowhere.
class UI_HsneFCEmbeddingControl : public UI_EmbeddingControl {
public:
    explicit UI_HsneFCEmbeddingControl(MCV_HsneFCAnalysis* analysis);

    // Installs the factory of type code 3 in the panel's registry; safe to call
    // again. Every focus-and-context view calls it before it builds its plot.
    static void registerType();

    int iterations() const override;
    int exaggerationIter() const override { return 0; }
    int expDecay() const override { return 0; }
    bool running() const override;
    void setIterations(int iterations) override;
    void setExaggerationIter(int /*iteration*/) override {}
    void setExpDecay(int /*iterations*/) override {}
    void stopGradientDescent() override;
    // Reached also while the loop runs: the analysis then changes nothing.
    void embed() override;
    // A new embedding from random positions over the current map's matrix; a
    // request during a run is carried out once the running loop has returned.
    void restart() override;

private:
    MCV_HsneFCAnalysis* analysis;
};
