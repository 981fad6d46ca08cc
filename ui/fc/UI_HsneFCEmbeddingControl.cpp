#include "ui/fc/UI_HsneFCEmbeddingControl.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"

void UI_HsneFCEmbeddingControl::registerType() { registerOnce<UI_HsneFCEmbeddingControl>(ANALYSIS_HSNE_FC); }

void UI_HsneFCEmbeddingControl::restart() { analysis->reEmbed(); }
