#include "analysis/OffscreenBuffer.h"

#include <QSurfaceFormat>
#include <QtGlobal>

namespace Support {

namespace {
const char* const kCannotCreate = "Cannot create requested OpenGL context.";
}

OffscreenBuffer::OffscreenBuffer() {
    setSurfaceType(QSurface::OpenGLSurface);
    context = new QOpenGLContext(this);
    if (!context->create()) {
        fail(QString());
        return;
    }
    const QSurfaceFormat format = context->format();
    if (context->isOpenGLES() || format.majorVersion() < 3 ||
        (format.majorVersion() == 3 && format.minorVersion() < 3)) {
        fail(QStringLiteral("OpenGL 3.3 or later is needed; the system offers %1%2.%3.")
                 .arg(context->isOpenGLES() ? QStringLiteral("OpenGL ES ") : QString())
                 .arg(format.majorVersion())
                 .arg(format.minorVersion()));
        return;
    }
    create();
    // Proves that the window and the context go together before any engine
    // relies on it.
    if (!context->makeCurrent(this)) {
        fail(QStringLiteral("The context cannot be made current on a hidden window."));
        return;
    }
    context->doneCurrent();
    m_valid = true;
}

OffscreenBuffer::~OffscreenBuffer() = default;

QSize OffscreenBuffer::size() const { return geometry().size(); }

void OffscreenBuffer::fail(const QString& reason) {
    m_valid = false;
    m_error = QString::fromLatin1(kCannotCreate);
    if (!reason.isEmpty()) m_error += QLatin1Char(' ') + reason;
    qWarning("%s", qPrintable(m_error));
}

}  // namespace Support
