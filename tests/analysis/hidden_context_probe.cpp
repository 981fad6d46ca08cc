// Creates one hidden OpenGL context the way an analysis does and says on
// standard output whether it is usable, then exits normally. The context tests
// run it in a child process with a broken or missing OpenGL, which must be
// reported, never abort the program.

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
