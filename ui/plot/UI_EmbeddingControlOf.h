#pragma once

#include "ui/plot/UI_EmbeddingControl.h"

#include <memory>

// The embedding controls every iterating analysis answers alike: the
// iteration settings, the running flag, stop and resume, forwarded to
// `Analysis`. A kind derives from it, adds its restart and registers itself.
template <typename Analysis>
class UI_EmbeddingControlOf : public UI_EmbeddingControl {
public:
    explicit UI_EmbeddingControlOf(Analysis* analysisIn) : analysis(analysisIn) {}

    // Installs `Control` (constructed from an `Analysis*`) as the factory of
    // `typeCode`, once; later calls change nothing.
    template <typename Control>
    static void registerOnce(int typeCode) {
        static const bool registered = [typeCode] {
            UI_EmbeddingControl::registerType(typeCode, [](MCV_Analysis* base) -> std::unique_ptr<UI_EmbeddingControl> {
                auto* typed = dynamic_cast<Analysis*>(base);
                if (!typed) return nullptr;
                return std::make_unique<Control>(typed);
            });
            return true;
        }();
        (void)registered;
    }

    int iterations() const override { return analysis->iterations(); }
    int exaggerationIter() const override { return analysis->exaggerationIter(); }
    int expDecay() const override { return analysis->expDecay(); }
    bool running() const override { return analysis->isRunning(); }
    void setIterations(int value) override { analysis->setIterations(value); }
    void setExaggerationIter(int value) override { analysis->setExaggerationIter(value); }
    void setExpDecay(int value) override { analysis->setExpDecay(value); }
    void stopGradientDescent() override { analysis->stopGradientDescent(); }
    // Reached also while the loop runs (it pumps the event loop): the
    // analysis then defers or ignores the request.
    void embed() override { analysis->embed(); }

protected:
    Analysis* analysis;
};
