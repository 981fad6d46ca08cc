#pragma once

#include "vel/data/Embedding.h"
#include "vel/data/MapMemEff.h"
#include "vel/dr/TsneParameters.h"

#include <memory>
#include <vector>

// The GPU gradient descent of one embedding analysis together with the hidden
// OpenGL context it runs in. The context is created by the first set-up and
// kept for the owner's life; it is current only inside the calls below, so no
// report to the user interface ever finds it current. Destruction releases the
// engine with the context current, then the context.
class MCV_GpuGradientDescent {
public:
    using SparseMatrix = std::vector<vel::data::MapMemEff<unsigned int, float>>;

    MCV_GpuGradientDescent();
    ~MCV_GpuGradientDescent();

    MCV_GpuGradientDescent(const MCV_GpuGradientDescent&) = delete;
    MCV_GpuGradientDescent& operator=(const MCV_GpuGradientDescent&) = delete;

    // Creates the hidden context when there is none yet, replaces the engine
    // by a new one and initialises it with P, `embedding` and `params`. Returns
    // false, after a console line saying why, when no usable OpenGL context can
    // be had; the caller then falls back to the CPU engine.
    bool initialize(const SparseMatrix& P, vel::data::Embedding<float>* embedding,
                    const vel::dr::TsneParameters& params);
    // One iteration of the engine set up by the last successful initialize.
    void doAnIteration(double multiplier);

    bool hasEngine() const;
    // Number of hidden contexts this object has created (0 or 1).
    int contextsCreated() const { return m_contextsCreated; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_contextsCreated = 0;
};
