#include "ui/tsne/UI_TsneEmbeddingControl.h"

#include "analysis/tsne/MCV_TsneAnalysis.h"

#include <memory>

UI_TsneEmbeddingControl::UI_TsneEmbeddingControl(MCV_TsneAnalysis* analysis) : tsne(analysis) {}

void UI_TsneEmbeddingControl::registerType() {
    static const bool registered = [] {
        UI_EmbeddingControl::registerType(ANALYSIS_TSNE,
                                          [](MCV_Analysis* analysis) -> std::unique_ptr<UI_EmbeddingControl> {
                                              auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis);
                                              if (!tsne) return nullptr;
                                              return std::make_unique<UI_TsneEmbeddingControl>(tsne);
                                          });
        return true;
    }();
    (void)registered;
}

int UI_TsneEmbeddingControl::iterations() const { return tsne->iterations(); }
int UI_TsneEmbeddingControl::exaggerationIter() const { return tsne->exaggerationIter(); }
int UI_TsneEmbeddingControl::expDecay() const { return tsne->expDecay(); }
bool UI_TsneEmbeddingControl::running() const { return tsne->isRunning(); }
void UI_TsneEmbeddingControl::setIterations(int iterations) { tsne->setIterations(iterations); }
void UI_TsneEmbeddingControl::setExaggerationIter(int iteration) { tsne->setExaggerationIter(iteration); }
void UI_TsneEmbeddingControl::setExpDecay(int iterations) { tsne->setExpDecay(iterations); }
void UI_TsneEmbeddingControl::stopGradientDescent() { tsne->stopGradientDescent(); }
void UI_TsneEmbeddingControl::embed() { tsne->embed(); }

void UI_TsneEmbeddingControl::restart() {
    tsne->stopGradientDescent();
    tsne->computeGradientDescent();
}
