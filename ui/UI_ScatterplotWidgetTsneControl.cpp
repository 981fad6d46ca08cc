// The overlay panel's embedding controls for A-tSNE analyses (type code 1).
#include "ui/UI_ScatterplotWidget.h"

#include "analysis/MCV_TsneAnalysis.h"
#include "ui/UI_EmbeddingControl.h"

#include <memory>

namespace {

class TsneEmbeddingControl : public UI_EmbeddingControl {
public:
    explicit TsneEmbeddingControl(MCV_TsneAnalysis* analysis) : tsne(analysis) {}

    int iterations() const override { return tsne->iterations(); }
    int exaggerationIter() const override { return tsne->exaggerationIter(); }
    int expDecay() const override { return tsne->expDecay(); }
    bool running() const override { return tsne->isRunning(); }
    void setIterations(int iterations) override { tsne->setIterations(iterations); }
    void setExaggerationIter(int iteration) override { tsne->setExaggerationIter(iteration); }
    void setExpDecay(int iterations) override { tsne->setExpDecay(iterations); }
    void stopGradientDescent() override { tsne->stopGradientDescent(); }
    // Reached also while the loop runs (it pumps the event loop): the
    // analysis then defers the request until the running loop has returned.
    void embed() override { tsne->embed(); }
    void restart() override {
        tsne->stopGradientDescent();
        tsne->computeGradientDescent();
    }

private:
    MCV_TsneAnalysis* tsne;
};

}  // namespace

void UI_ScatterplotWidget::registerEmbeddingControls() {
    static const bool registered = [] {
        UI_EmbeddingControl::registerType(ANALYSIS_TSNE, [](MCV_Analysis* analysis) -> std::unique_ptr<UI_EmbeddingControl> {
            auto* tsne = dynamic_cast<MCV_TsneAnalysis*>(analysis);
            if (!tsne) return nullptr;
            return std::make_unique<TsneEmbeddingControl>(tsne);
        });
        return true;
    }();
    (void)registered;
}
