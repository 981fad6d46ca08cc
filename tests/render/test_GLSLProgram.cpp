// The GLSL program wrapper on a real context: building the renderer's
// programs from the resources, the reports of compile and link failures with
// their logs, uniform lookups and values, release and re-creation.
#include "RenderTest.h"

#include "render/MCV_GLSLProgram.h"

#include <array>

namespace {

using rendertest::RenderTest;

class GLSLProgramTest : public RenderTest {
protected:
    void TearDown() override {
        if (program.isCreated()) program.releaseProgram();
        RenderTest::TearDown();
    }
    MCV_GLSLProgram program;
};

GLint attachedShaders(GLuint program) {
    GLint count = -1;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
    return count;
}

TEST_F(GLSLProgramTest, BuildsAThreeStageProgramFromTheResources) {
    ASSERT_TRUE(program.createFromFiles("glslProgramSimplePoints_vertex", "glslProgramSimplePoints_geometry",
                                        "glslProgramSimplePointsMarkers_fragment", "points"));
    EXPECT_EQ(attachedShaders(program.programId()), 3);
    testing::internal::CaptureStdout();
    program.compileAndLink();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(program.isCompiledAndLinked());

    // A second creation is refused and keeps the first program.
    const GLuint id = program.programId();
    EXPECT_FALSE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "other"));
    EXPECT_EQ(program.programId(), id);
    EXPECT_EQ(program.programName(), "points");
}

TEST_F(GLSLProgramTest, WithoutGeometryNameOnlyTwoStagesAreBuilt) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "single"));
    EXPECT_EQ(attachedShaders(program.programId()), 2);
    program.compileAndLink();
    EXPECT_TRUE(program.isCompiledAndLinked());
}

TEST_F(GLSLProgramTest, MissingSourceReportsTheStageThatFailedToCompile) {
    ASSERT_TRUE(program.createFromFiles("noSuchVertexShader", "", "glslProgramBasicGL_fragment", "missing"));
    testing::internal::CaptureStdout();
    program.compileAndLink();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Failed to initialize OpenGL. Vertex shader compilation failed for missing.\n", 0), 0u) << out;
    EXPECT_FALSE(program.isCompiledAndLinked());
}

TEST_F(GLSLProgramTest, CompileErrorIsReportedWithTheCompilersLog) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "test_broken_fragment", "broken"));
    testing::internal::CaptureStdout();
    program.compileAndLink();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "Failed to initialize OpenGL. Fragment shader compilation failed for broken.\n";
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    // The log names the undeclared identifier, and the report ends the line.
    EXPECT_NE(out.find("colourThatDoesNotExist", head.size()), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_FALSE(program.isCompiledAndLinked());
}

TEST_F(GLSLProgramTest, LinkErrorIsReportedWithTheLinkersLog) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "test_unmatched_fragment", "unmatched"));
    testing::internal::CaptureStdout();
    program.compileAndLink();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "Failed to initialize OpenGL. Failed to link unmatched.\n";
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    EXPECT_NE(out.find("modelViewProjectionMatrix", head.size()), std::string::npos) << out;
    EXPECT_FALSE(program.isCompiledAndLinked());
    // Recovery: release, create again from good sources.
    program.releaseProgram();
    EXPECT_FALSE(program.isCreated());
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "fixed"));
    program.compileAndLink();
    EXPECT_TRUE(program.isCompiledAndLinked());
}

TEST_F(GLSLProgramTest, UniformsOfEveryKindReachTheProgram) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "test_uniforms_fragment", "uniforms"));
    program.compileAndLink();
    ASSERT_TRUE(program.isCompiledAndLinked());
    program.bindAndEnable();
    const GLuint id = program.programId();
    auto ints = [&](const char* name) {
        std::array<GLint, 4> v{};
        glGetUniformiv(id, program.getUniformLocation(name), v.data());
        return v;
    };
    auto floats = [&](const char* name) {
        std::array<GLfloat, 16> v{};
        glGetUniformfv(id, program.getUniformLocation(name), v.data());
        return v;
    };

    program.setParameter1i(program.getUniformLocation("i1"), 7);
    program.setParameter2i(program.getUniformLocation("i2"), 1, 2);
    program.setParameter3i(program.getUniformLocation("i3"), 3, 4, 5);
    program.setParameter4i(program.getUniformLocation("i4"), 6, 7, 8, 9);
    program.setParameter1f(program.getUniformLocation("f1"), 0.5f);
    program.setParameter2f(program.getUniformLocation("f2"), 1.5f, 2.5f);
    program.setParameter3f(program.getUniformLocation("f3"), 3.5f, 4.5f, 5.5f);
    program.setParameter4f(program.getUniformLocation("f4"), 6.5f, 7.5f, 8.5f, 9.5f);
    EXPECT_EQ(ints("i1")[0], 7);
    EXPECT_EQ((std::array<GLint, 2>{ints("i2")[0], ints("i2")[1]}), (std::array<GLint, 2>{1, 2}));
    EXPECT_EQ(ints("i3")[2], 5);
    EXPECT_EQ(ints("i4")[3], 9);
    EXPECT_FLOAT_EQ(floats("f1")[0], 0.5f);
    EXPECT_FLOAT_EQ(floats("f2")[1], 2.5f);
    EXPECT_FLOAT_EQ(floats("f3")[2], 5.5f);
    EXPECT_FLOAT_EQ(floats("f4")[3], 9.5f);

    const int i2v[2] = {10, 11}, i3v[3] = {12, 13, 14}, i4v[4] = {15, 16, 17, 18};
    const float f2v[2] = {0.25f, 0.75f}, f3v[3] = {1, 2, 3}, f4v[4] = {4, 5, 6, 7};
    program.setParameter2iv(program.getUniformLocation("i2"), i2v);
    program.setParameter3iv(program.getUniformLocation("i3"), i3v);
    program.setParameter4iv(program.getUniformLocation("i4"), i4v);
    program.setParameter2fv(program.getUniformLocation("f2"), f2v);
    program.setParameter3fv(program.getUniformLocation("f3"), f3v);
    program.setParameter4fv(program.getUniformLocation("f4"), f4v);
    EXPECT_EQ(ints("i2")[1], 11);
    EXPECT_EQ(ints("i3")[0], 12);
    EXPECT_EQ(ints("i4")[2], 17);
    EXPECT_FLOAT_EQ(floats("f2")[1], 0.75f);
    EXPECT_FLOAT_EQ(floats("f3")[1], 2.0f);
    EXPECT_FLOAT_EQ(floats("f4")[0], 4.0f);

    // Column-major, not transposed: element 12 is column 3, row 0.
    float m[16] = {};
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(i);
    program.setParameter4x4fv(program.getUniformLocation("m4"), m);
    const auto back = floats("m4");
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(back[static_cast<size_t>(i)], static_cast<float>(i));
    program.disable();
}

TEST_F(GLSLProgramTest, UnknownNamesAreReportedAndTheirLocationIsANoOp) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "single"));
    program.compileAndLink();
    program.bindAndEnable();
    testing::internal::CaptureStdout();
    const int uniform = program.getUniformLocation("nothing");
    const int attribute = program.getAttributeLocation("noAttribute");
    const int sampler = program.getSamplerLocation("noSampler");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(uniform, -1);
    EXPECT_EQ(attribute, -1);
    EXPECT_EQ(sampler, -1);
    EXPECT_EQ(out,
              "Failed to initialize OpenGL. Could not find uniform nothing in program single.\n"
              "Failed to initialize OpenGL. Could not find attribute noAttribute in program single.\n"
              "Failed to initialize OpenGL. Could not find sampler noSampler in program single.\n");
    const float values[4] = {1, 2, 3, 4};
    program.setParameter4fv(uniform, values);
    program.setParameter4x4fv(uniform, values);
    program.setParameter1i(uniform, 3);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_GE(program.getAttributeLocation("position"), 0);
    program.disable();
}

TEST_F(GLSLProgramTest, ReleaseClearsTheFlagsAndAllowsANewProgram) {
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "first"));
    program.compileAndLink();
    const GLuint first = program.programId();
    program.releaseProgram();
    EXPECT_FALSE(program.isCreated());
    EXPECT_FALSE(program.isCompiledAndLinked());
    EXPECT_EQ(program.programId(), 0u);
    EXPECT_FALSE(glIsProgram(first));
    ASSERT_TRUE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "second"));
    program.compileAndLink();
    EXPECT_TRUE(program.isCompiledAndLinked());
    EXPECT_EQ(program.programName(), "second");
}

TEST_F(GLSLProgramTest, EveryRendererProgramCompilesAndLinks) {
    const char* programs[][3] = {
        {"glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment"},
        {"glslProgramBasicGL_vertex", "glslProgramBasicGL_geometry", "glslProgramSimplePoints_fragment"},
        {"glslProgramSimplePoints_vertex", "glslProgramSimplePoints_geometry",
         "glslProgramSimplePointsMarkers_fragment"},
        {"glslProgramBasicGL_vertex", "", "glslProgramSimplePointsDensity_fragment"},
        {"glslProgramSimplePointsDensityOffscreen_vertex", "glslProgramSimplePointsDensityOffscreen_geometry",
         "glslProgramSimplePointsDensityOffscreen_fragment"},
        {"glslProgramBasicGL_vertex", "", "glslProgramGradientOffscreen_fragment"},
        {"glslProgramBasicGL_vertex", "", "glslProgramMeanShiftOffscreen_fragment"},
        {"glslProgramSplatPointOffscreen_vertex", "glslProgramSplatPointOffscreen_geometry",
         "glslProgramSplatPointOffscreen_fragment"},
        {"glslProgramBasicGL_vertex", "", "glslProgramFocusAndContextBackground_fragment"},
    };
    for (const auto& p : programs) {
        MCV_GLSLProgram each;
        ASSERT_TRUE(each.createFromFiles(p[0], p[1], p[2], p[2]));
        testing::internal::CaptureStdout();
        each.compileAndLink();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << p[2];
        EXPECT_TRUE(each.isCompiledAndLinked()) << p[2];
        each.releaseProgram();
    }
}

}  // namespace
