#pragma once

#include <functional>
#include <memory>

class MCV_Analysis;

// The embedding operations the overlay panel calls on its analysis, one
// implementation per embedding analysis type (t-SNE 1, HSNE level 2,
// focus-and-context 3). Each analysis module registers a factory for its type
// code; the panel asks create() for the control of its analysis and leaves
// every embedding control inert when there is none.
class UI_EmbeddingControl {
public:
    using Factory = std::function<std::unique_ptr<UI_EmbeddingControl>(MCV_Analysis*)>;

    // Replaces the factory of `typeCode`; an empty factory removes it.
    static void registerType(int typeCode, Factory factory);
    // The control of `analysis` by its type code, or null (no analysis, or no
    // factory for its type).
    static std::unique_ptr<UI_EmbeddingControl> create(MCV_Analysis* analysis);

    virtual ~UI_EmbeddingControl();

    virtual int iterations() const = 0;
    virtual int exaggerationIter() const = 0;
    virtual int expDecay() const = 0;
    // Set while the gradient-descent loop runs.
    virtual bool running() const = 0;

    virtual void setIterations(int iterations) = 0;
    virtual void setExaggerationIter(int iteration) = 0;
    virtual void setExpDecay(int iterations) = 0;

    // Ends the running loop after its current iteration.
    virtual void stopGradientDescent() = 0;
    // Continues the embedding from its current coordinates (runs the loop).
    virtual void embed() = 0;
    // Starts a new embedding: t-SNE stops and recomputes the gradient descent
    // from its probabilities; an HSNE level stops, re-initialises its
    // embedding and embeds; focus-and-context re-embeds.
    virtual void restart() = 0;
};
