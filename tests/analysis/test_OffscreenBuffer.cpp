#include <gtest/gtest.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSurfaceFormat>
#include <vector>

#include "analysis/OffscreenBuffer.h"
#include "analysis/applicationSurfaceFormat.h"
#include "vel/data/Embedding.h"
#include "vel/dr/GradientDescentTSNETexture.h"

namespace {

struct ProbeResult {
    int exitCode = -1;
    bool crashed = true;
    QString out, err;
};

ProbeResult runProbe(const QMap<QString, QString>& environment) {
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.begin(); it != environment.end(); ++it) env.insert(it.key(), it.value());
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(QLMRN_HIDDEN_CONTEXT_PROBE), QStringList());
    ProbeResult result;
    if (!probe.waitForFinished(60000)) return result;
    result.exitCode = probe.exitCode();
    result.crashed = probe.exitStatus() != QProcess::NormalExit;
    result.out = QString::fromLocal8Bit(probe.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(probe.readAllStandardError());
    return result;
}

class OffscreenBufferTest : public testing::Test {
protected:
    static void SetUpTestSuite() { setApplicationSurfaceFormat(); }
};

}  // namespace

// The hidden window carries a core context of the default format, left not
// current, that lives as long as the window.
TEST_F(OffscreenBufferTest, HiddenContextRunsTheGpuEngine) {
    auto* buffer = new Support::OffscreenBuffer;
    ASSERT_TRUE(buffer->isValid()) << qPrintable(buffer->errorMessage());
    EXPECT_FALSE(buffer->isVisible());
    EXPECT_NE(buffer->handle(), nullptr) << "the platform window was not created";
    const QSurfaceFormat format = buffer->context->format();
    EXPECT_GE(format.majorVersion() * 10 + format.minorVersion(), 33);
    EXPECT_EQ(format.profile(), QSurfaceFormat::CoreProfile);
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr) << "the context was left current";

    // The engine's shaders compile and run in it; the analysis's GPU tests
    // run a whole embedding there.
    {
        vel::dr::GradientDescentTSNETexture engine;
        std::vector<vel::data::MapMemEff<unsigned int, float>> P(8);
        for (unsigned int i = 0; i < 8; ++i) P[i][(i + 1) % 8] = P[i][(i + 7) % 8] = 0.5f;
        vel::data::Embedding<float> embedding;
        ASSERT_TRUE(buffer->context->makeCurrent(buffer));
        engine.initialize(P, &embedding, vel::dr::TsneParameters());
        engine.doAnIteration(1.0);
        engine.releaseOpenGLObjects();
        EXPECT_EQ(buffer->context->functions()->glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        buffer->context->doneCurrent();
    }

    QPointer<QOpenGLContext> context = buffer->context;
    delete buffer;
    EXPECT_TRUE(context.isNull()) << "the context outlived its window";
}

TEST_F(OffscreenBufferTest, EveryBufferHasItsOwnContext) {
    Support::OffscreenBuffer a, b;
    ASSERT_TRUE(a.isValid() && b.isValid());
    EXPECT_NE(a.context, b.context);
}

// Without a usable OpenGL the program goes on, with one warning line and a
// message for the analysis to show.
TEST_F(OffscreenBufferTest, MissingOpenGLIsReportedNotFatal) {
    const ProbeResult working = runProbe({});
    ASSERT_FALSE(working.crashed) << qPrintable(working.err);
    EXPECT_TRUE(working.out.startsWith("valid ")) << qPrintable(working.out + working.err);

    // No OpenGL integration in the window system; a driver that offers only OpenGL 3.0.
    const QMap<QString, QString> broken[] = {
        {{"QT_XCB_GL_INTEGRATION", "none"}},
        {{"MESA_GL_VERSION_OVERRIDE", "3.0"}, {"MESA_GLSL_VERSION_OVERRIDE", "130"}}};
    for (const auto& env : broken) {
        const ProbeResult r = runProbe(env);
        EXPECT_FALSE(r.crashed) << qPrintable(r.err);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("invalid: Cannot create requested OpenGL context.")) << qPrintable(r.out + r.err);
    }
    EXPECT_TRUE(runProbe(broken[1]).out.contains("OpenGL 3.3 or later is needed; the system offers 3.0."));
}
