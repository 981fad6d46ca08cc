#include <gtest/gtest.h>

#include <QOpenGLContext>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSurfaceFormat>

#include "analysis/OffscreenBuffer.h"
#include "analysis/applicationSurfaceFormat.h"

namespace {

// What the probe printed, or "crashed".
QString runProbe(const QMap<QString, QString>& environment) {
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.begin(); it != environment.end(); ++it) env.insert(it.key(), it.value());
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(QLMRN_HIDDEN_CONTEXT_PROBE), QStringList());
    if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return "crashed: " + QString::fromLocal8Bit(probe.readAllStandardError());
    return QString::fromLocal8Bit(probe.readAllStandardOutput());
}

}  // namespace

// The hidden window carries a core context of the default format, left not
// current, that lives as long as the window (the analysis GPU tests run the
// engine in it).
TEST(OffscreenBuffer, EachHiddenWindowHasItsOwnCoreContextForItsLifetime) {
    setApplicationSurfaceFormat();
    auto* buffer = new Support::OffscreenBuffer;
    ASSERT_TRUE(buffer->isValid()) << qPrintable(buffer->errorMessage());
    EXPECT_FALSE(buffer->isVisible());
    EXPECT_EQ(buffer->context->format().profile(), QSurfaceFormat::CoreProfile);
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr) << "the context was left current";
    {
        Support::OffscreenBuffer other;
        EXPECT_NE(other.context, buffer->context) << "every buffer has its own context";
    }

    QPointer<QOpenGLContext> context = buffer->context;
    delete buffer;
    EXPECT_TRUE(context.isNull()) << "the context outlived its window";
}

// Without a usable OpenGL the program goes on, with one warning line and a
// message for the analysis to show.
TEST(OffscreenBuffer, MissingOpenGLIsReportedNotFatal) {
    EXPECT_TRUE(runProbe({}).startsWith("valid "));
    // No OpenGL integration in the window system; a driver that offers only OpenGL 3.0.
    const QMap<QString, QString> broken[] = {
        {{"QT_XCB_GL_INTEGRATION", "none"}},
        {{"MESA_GL_VERSION_OVERRIDE", "3.0"}, {"MESA_GLSL_VERSION_OVERRIDE", "130"}}};
    for (const auto& env : broken) {
        const QString out = runProbe(env);
        EXPECT_TRUE(out.startsWith("invalid: Cannot create requested OpenGL context.")) << qPrintable(out);
        EXPECT_TRUE(!env.contains("MESA_GL_VERSION_OVERRIDE") ||
                    out.contains("OpenGL 3.3 or later is needed; the system offers 3.0."))
            << qPrintable(out);
    }
}
