#include "ui/fc/UI_HsneFCEmbeddingControl.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"

UI_HsneFCEmbeddingControl::UI_HsneFCEmbeddingControl(MCV_HsneFCAnalysis* analysisIn) : analysis(analysisIn) {}

void UI_HsneFCEmbeddingControl::registerType() {
    static const bool registered = [] {
        UI_EmbeddingControl::registerType(ANALYSIS_HSNE_FC, [](MCV_Analysis* base) {
            auto* map = dynamic_cast<MCV_HsneFCAnalysis*>(base);
            return map ? std::make_unique<UI_HsneFCEmbeddingControl>(map) : nullptr;
        });
        return true;
    }();
    (void)registered;
}

int UI_HsneFCEmbeddingControl::iterations() const { return analysis->iterations(); }
bool UI_HsneFCEmbeddingControl::running() const { return analysis->isRunning(); }
void UI_HsneFCEmbeddingControl::setIterations(int value) { analysis->setIterations(value); }
void UI_HsneFCEmbeddingControl::stopGradientDescent() { analysis->stopGradientDescent(); }
void UI_HsneFCEmbeddingControl::embed() { analysis->embed(); }
void UI_HsneFCEmbeddingControl::restart() { analysis->reEmbed(); }
