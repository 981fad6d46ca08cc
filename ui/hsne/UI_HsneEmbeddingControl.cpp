#include "ui/hsne/UI_HsneEmbeddingControl.h"

#include "analysis/hsne/MCV_HsneAnalysis.h"

void UI_HsneEmbeddingControl::registerType() { registerOnce<UI_HsneEmbeddingControl>(ANALYSIS_HSNE); }

void UI_HsneEmbeddingControl::restart() {
    analysis->stopGradientDescent();
    analysis->reInitEmbedding();
    analysis->embed();
}
