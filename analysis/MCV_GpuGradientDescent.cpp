#include "analysis/MCV_GpuGradientDescent.h"

#include "analysis/OffscreenBuffer.h"

#include "vel/dr/GradientDescentTSNETexture.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <iostream>
#include <stdexcept>

struct MCV_GpuGradientDescent::State {
    std::unique_ptr<Support::OffscreenBuffer> buffer;
    std::unique_ptr<vel::dr::GradientDescentTSNETexture> engine;
};

namespace {

// Keeps the hidden context current for one engine call, also when the call
// throws, so that no report to the user interface ever finds it current.
class CurrentContext {
public:
    explicit CurrentContext(Support::OffscreenBuffer& buffer) : m_buffer(buffer) {
        if (!m_buffer.context->makeCurrent(&m_buffer))
            throw std::runtime_error("GPU gradient descent: the hidden OpenGL context cannot be made current");
    }
    ~CurrentContext() { m_buffer.context->doneCurrent(); }
    CurrentContext(const CurrentContext&) = delete;
    CurrentContext& operator=(const CurrentContext&) = delete;

private:
    Support::OffscreenBuffer& m_buffer;
};

}  // namespace

MCV_GpuGradientDescent::MCV_GpuGradientDescent() : m_state(std::make_unique<State>()) {}

MCV_GpuGradientDescent::~MCV_GpuGradientDescent() {
    // The engine's OpenGL objects belong to the hidden context: release them
    // while it is current, before the window takes the context with it.
    if (m_state->engine && m_state->buffer && m_state->buffer->isValid() &&
        m_state->buffer->context->makeCurrent(m_state->buffer.get())) {
        m_state->engine->releaseOpenGLObjects();
        m_state->buffer->context->doneCurrent();
    }
    m_state->engine.reset();
    m_state->buffer.reset();
}

bool MCV_GpuGradientDescent::initialize(const SparseMatrix& P, vel::data::Embedding<float>* embedding,
                                        const vel::dr::TsneParameters& params) {
    if (!m_state->buffer) {
        // A hidden window needs the window system, which only a GUI
        // application brings.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            std::cout << "GPU gradient descent: no OpenGL without a GUI application." << std::endl;
            return false;
        }
        m_state->buffer = std::make_unique<Support::OffscreenBuffer>();
        ++m_contextsCreated;
    }
    if (!m_state->buffer->isValid()) {
        std::cout << "GPU gradient descent: " << m_state->buffer->errorMessage().toStdString() << std::endl;
        return false;
    }
    CurrentContext current(*m_state->buffer);
    if (m_state->engine) m_state->engine->releaseOpenGLObjects();
    m_state->engine = std::make_unique<vel::dr::GradientDescentTSNETexture>();
    m_state->engine->initialize(P, embedding, params);
    return true;
}

void MCV_GpuGradientDescent::doAnIteration(double multiplier) {
    if (!m_state->engine || !m_state->buffer)
        throw std::logic_error("Cannot compute a gradient descent iteration on unitialized data");
    CurrentContext current(*m_state->buffer);
    m_state->engine->doAnIteration(multiplier);
}

bool MCV_GpuGradientDescent::hasEngine() const { return m_state->engine != nullptr; }
