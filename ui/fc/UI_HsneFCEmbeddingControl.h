#pragma once

#include "ui/plot/UI_EmbeddingControlOf.h"

class MCV_HsneFCAnalysis;

// The overlay panel's embedding controls for focus-and-context analyses
// (type code 3).
class UI_HsneFCEmbeddingControl : public UI_EmbeddingControlOf<MCV_HsneFCAnalysis> {
public:
    using UI_EmbeddingControlOf::UI_EmbeddingControlOf;

    // Installs the factory of type code 3 in the panel's registry; safe to call
    // again. Every focus-and-context view calls it before it builds its plot.
    static void registerType();

    // A new embedding from random positions over the current map's matrix; a
    // request during a run is carried out once the running loop has returned.
    void restart() override;
};
