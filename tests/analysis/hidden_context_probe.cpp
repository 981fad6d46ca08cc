// Creates one hidden OpenGL context as an analysis does and prints whether it is
// usable; run in a child process with a broken OpenGL, it must never abort.

#include <QGuiApplication>
#include <QSurfaceFormat>
#include <cstdio>

#include "analysis/OffscreenBuffer.h"
#include "analysis/applicationSurfaceFormat.h"

int main(int argc, char** argv) {
    setApplicationSurfaceFormat();

    QGuiApplication app(argc, argv);

    Support::OffscreenBuffer buffer;
    if (buffer.isValid())
        std::printf("valid %d.%d\n", buffer.context->format().majorVersion(), buffer.context->format().minorVersion());
    else
        std::printf("invalid: %s\n", qPrintable(buffer.errorMessage()));
    return 0;
}
