#include "ui/tsne/UI_TsneEmbeddingControl.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"

void UI_TsneEmbeddingControl::registerType() { registerOnce<UI_TsneEmbeddingControl>(ANALYSIS_TSNE); }

void UI_TsneEmbeddingControl::restart() {
    analysis->stopGradientDescent();
    analysis->computeGradientDescent();
}
