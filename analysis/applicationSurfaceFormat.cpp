#include "analysis/applicationSurfaceFormat.h"

QSurfaceFormat applicationSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    return format;
}

void setApplicationSurfaceFormat() { QSurfaceFormat::setDefaultFormat(applicationSurfaceFormat()); }
