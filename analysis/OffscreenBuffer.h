#pragma once

#include <QOpenGLContext>
#include <QSize>
#include <QString>
#include <QWindow>

namespace Support {

// A window that is created but never shown, with an OpenGL context of its
// own, in which an analysis runs the GPU gradient descent. Neither the window
// nor the context gets a surface format: both take the application's default
// (set by main before any window exists).
//
// Creation never stops the program. When no context can be had, or only one
// below OpenGL 3.3 (the GPU engine's shaders are GLSL 3.30), the buffer writes
// one warning line, isValid() is false and errorMessage() says why: the
// analysis then uses the CPU engine and shows the message. GUI thread only,
// after the QGuiApplication (or QApplication) exists.
//
// Usage: context->makeCurrent(buffer) immediately before each call into the
// GPU engine and context->doneCurrent() immediately after. The context is a
// child of the window: destroying the window destroys it, so the engine's
// OpenGL objects must be released before, with the context current.
class OffscreenBuffer : public QWindow {
public:
    OffscreenBuffer();
    ~OffscreenBuffer() override;

    OffscreenBuffer(const OffscreenBuffer&) = delete;
    OffscreenBuffer& operator=(const OffscreenBuffer&) = delete;

    // The size of the window's geometry.
    QSize size() const override;

    // Whether the context exists, is at least OpenGL 3.3 (not ES) and could
    // be made current on this window.
    bool isValid() const { return m_valid; }
    // Empty when valid; otherwise begins with "Cannot create requested OpenGL
    // context." followed by the reason.
    QString errorMessage() const { return m_error; }

    QOpenGLContext* context = nullptr;

private:
    void fail(const QString& reason);

    bool m_valid = false;
    QString m_error;
};

}  // namespace Support
