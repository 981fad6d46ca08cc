#pragma once

#include "ui/plot/UI_EmbeddingControlOf.h"

class MCV_TsneAnalysis;

// The overlay panel's embedding controls for A-tSNE analyses (type code 1).
class UI_TsneEmbeddingControl : public UI_EmbeddingControlOf<MCV_TsneAnalysis> {
public:
    using UI_EmbeddingControlOf::UI_EmbeddingControlOf;

    // Installs the factory of type code 1 in the panel's registry; safe to call
    // again. Every t-SNE view calls it before it builds its plot.
    static void registerType();

    // A compute during a run is deferred by the analysis until the running
    // loop has returned.
    void restart() override;
};
