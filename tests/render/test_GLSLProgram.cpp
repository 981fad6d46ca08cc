// The GLSL program wrapper on a real context: building the renderer's
// programs from the resources, the reports of compile and link failures with
// their logs, uniform lookups and values, release and re-creation.
#include "RenderTest.h"
#include "support/CapturedOutput.h"

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
    // Creates, compiles and links; what it printed.
    std::string build(const char* vertex, const char* geometry, const char* fragment, const char* name) {
        EXPECT_TRUE(program.createFromFiles(vertex, geometry, fragment, name));
        return capturedStdout([&] { program.compileAndLink(); });
    }
    MCV_GLSLProgram program;
};

TEST_F(GLSLProgramTest, EveryRendererProgramBuildsSilentlyWithItsStages) {
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
        EXPECT_EQ(build(p[0], p[1], p[2], p[2]), "") << p[2];
        EXPECT_TRUE(program.isCompiledAndLinked()) << p[2];
        GLint stages = -1;
        glGetProgramiv(program.programId(), GL_ATTACHED_SHADERS, &stages);
        EXPECT_EQ(stages, p[1][0] ? 3 : 2) << p[2];
        // A second creation is refused and keeps the first program.
        const GLuint id = program.programId();
        EXPECT_FALSE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "x"));
        EXPECT_EQ(program.programId(), id);
        EXPECT_EQ(program.programName(), p[2]);
        program.releaseProgram();
        EXPECT_FALSE(program.isCreated());
        EXPECT_FALSE(program.isCompiledAndLinked());
        EXPECT_EQ(program.programId(), 0u);
        EXPECT_FALSE(glIsProgram(id));
    }
}

struct Failure {
    const char* what;
    const char* vertex;
    const char* fragment;
    const char* report;  // the first line printed
    const char* inLog;   // what the compiler's or linker's log names, or ""
};

class GLSLProgramFailureTest : public GLSLProgramTest, public testing::WithParamInterface<Failure> {};

TEST_P(GLSLProgramFailureTest, IsReportedWithTheLogAndTheProgramCanBeBuiltAgain) {
    const Failure& f = GetParam();
    const std::string out = build(f.vertex, "", f.fragment, f.what);
    const std::string head = f.report;
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    EXPECT_NE(out.find(f.inLog, head.size()), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_FALSE(program.isCompiledAndLinked());
    program.releaseProgram();
    EXPECT_EQ(build("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "fixed"), "");
    EXPECT_TRUE(program.isCompiledAndLinked());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GLSLProgramFailureTest,
    testing::Values(Failure{"missing", "noSuchVertexShader", "glslProgramBasicGL_fragment",
                            "Failed to initialize OpenGL. Vertex shader compilation failed for missing.\n", ""},
                    Failure{"broken", "glslProgramBasicGL_vertex", "test_broken_fragment",
                            "Failed to initialize OpenGL. Fragment shader compilation failed for broken.\n",
                            "colourThatDoesNotExist"},
                    Failure{"unmatched", "glslProgramBasicGL_vertex", "test_unmatched_fragment",
                            "Failed to initialize OpenGL. Failed to link unmatched.\n", "modelViewProjectionMatrix"}),
    [](const testing::TestParamInfo<Failure>& p) { return std::string(p.param.what); });

TEST_F(GLSLProgramTest, UniformsOfEveryKindReachTheProgram) {
    build("glslProgramBasicGL_vertex", "", "test_uniforms_fragment", "uniforms");
    ASSERT_TRUE(program.isCompiledAndLinked());
    program.bindAndEnable();
    const GLuint id = program.programId();
    auto at = [&](const char* name) { return program.getUniformLocation(name); };
    auto ints = [&](const char* name) {
        std::array<GLint, 4> v{};
        glGetUniformiv(id, at(name), v.data());
        return v;
    };
    auto floats = [&](const char* name) {
        std::array<GLfloat, 16> v{};
        glGetUniformfv(id, at(name), v.data());
        return v;
    };
    using I = std::array<GLint, 4>;
    program.setParameter1i(at("i1"), 7);
    program.setParameter2i(at("i2"), 1, 2);
    program.setParameter3i(at("i3"), 3, 4, 5);
    program.setParameter4i(at("i4"), 6, 7, 8, 9);
    EXPECT_EQ(ints("i1"), (I{7, 0, 0, 0}));
    EXPECT_EQ(ints("i2"), (I{1, 2, 0, 0}));
    EXPECT_EQ(ints("i3"), (I{3, 4, 5, 0}));
    EXPECT_EQ(ints("i4"), (I{6, 7, 8, 9}));
    program.setParameter1f(at("f1"), 0.5f);
    program.setParameter2f(at("f2"), 1.5f, 2.5f);
    program.setParameter3f(at("f3"), 3.5f, 4.5f, 5.5f);
    program.setParameter4f(at("f4"), 6.5f, 7.5f, 8.5f, 9.5f);
    EXPECT_EQ(floats("f1")[0], 0.5f);
    EXPECT_EQ(floats("f2")[1], 2.5f);
    EXPECT_EQ(floats("f3")[2], 5.5f);
    EXPECT_EQ(floats("f4")[3], 9.5f);

    const int i2v[2] = {10, 11}, i3v[3] = {12, 13, 14}, i4v[4] = {15, 16, 17, 18};
    const float f2v[2] = {0.25f, 0.75f}, f3v[3] = {1, 2, 3}, f4v[4] = {4, 5, 6, 7};
    program.setParameter2iv(at("i2"), i2v);
    program.setParameter3iv(at("i3"), i3v);
    program.setParameter4iv(at("i4"), i4v);
    program.setParameter2fv(at("f2"), f2v);
    program.setParameter3fv(at("f3"), f3v);
    program.setParameter4fv(at("f4"), f4v);
    EXPECT_EQ(ints("i2"), (I{10, 11, 0, 0}));
    EXPECT_EQ(ints("i3"), (I{12, 13, 14, 0}));
    EXPECT_EQ(ints("i4"), (I{15, 16, 17, 18}));
    EXPECT_EQ(floats("f2")[1], 0.75f);
    EXPECT_EQ(floats("f3")[1], 2.0f);
    EXPECT_EQ(floats("f4")[0], 4.0f);

    // Column-major, not transposed: element 12 is column 3, row 0.
    std::array<float, 16> m{};
    for (int i = 0; i < 16; ++i) m[static_cast<size_t>(i)] = static_cast<float>(i);
    program.setParameter4x4fv(at("m4"), m.data());
    EXPECT_EQ(floats("m4"), m);
    program.disable();
}

TEST_F(GLSLProgramTest, UnknownNamesAreReportedAndTheirLocationIsANoOp) {
    build("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "single");
    program.bindAndEnable();
    int uniform = 0, attribute = 0, sampler = 0;
    const std::string out = capturedStdout([&] {
        uniform = program.getUniformLocation("nothing");
        attribute = program.getAttributeLocation("noAttribute");
        sampler = program.getSamplerLocation("noSampler");
    });
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

}  // namespace
