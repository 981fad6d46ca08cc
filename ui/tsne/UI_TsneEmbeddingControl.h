#pragma once

#include "ui/plot/UI_EmbeddingControl.h"

class MCV_TsneAnalysis;

// The overlay panel's embedding controls for A-tSNE analyses (type code 1).
class UI_TsneEmbeddingControl : public UI_EmbeddingControl {
public:
    explicit UI_TsneEmbeddingControl(MCV_TsneAnalysis* analysis);

    // Installs the factory of type code 1 in the panel's registry; safe to call
    // again. Every t-SNE view calls it before it builds its plot.
    static void registerType();

    int iterations() const override;
    int exaggerationIter() const override;
    int expDecay() const override;
    bool running() const override;
    void setIterations(int iterations) override;
    void setExaggerationIter(int iteration) override;
    void setExpDecay(int iterations) override;
    void stopGradientDescent() override;
    // Reached also while the loop runs (it pumps the event loop): the
    // analysis then defers the request until the running loop has returned.
    void embed() override;
    void restart() override;

private:
    MCV_TsneAnalysis* tsne;
};
