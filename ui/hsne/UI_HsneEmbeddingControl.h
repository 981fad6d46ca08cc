#pragma once

#include "ui/plot/UI_EmbeddingControlOf.h"

class MCV_HsneAnalysis;

// The overlay panel's embedding controls for HSNE levels (type code 2).
class UI_HsneEmbeddingControl : public UI_EmbeddingControlOf<MCV_HsneAnalysis> {
public:
    using UI_EmbeddingControlOf::UI_EmbeddingControlOf;

    // Installs the factory of type code 2 in the panel's registry; safe to call
    // again. Every level view calls it before it builds its plot.
    static void registerType();

    // Stop, a new embedding, embed. While the level's loop runs (the views
    // pump the event loop) the level carries the new embedding out, with a new
    // loop, once the running loop has returned, and the resume changes
    // nothing: nothing a running loop uses is replaced under it.
    void restart() override;
};
