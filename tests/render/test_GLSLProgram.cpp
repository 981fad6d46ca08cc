// The GLSL program wrapper on a real context: the renderer's programs, the
// reports of compile and link failures with their logs, uniforms, release.
#include "RenderTest.h"
#include "support/CapturedOutput.h"

#include "render/MCV_GLSLProgram.h"

#include <array>
#include <numeric>

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

TEST_F(GLSLProgramTest, RendererProgramsBuildSilentlyWithTheirStagesAndAreReleased) {
    // Every program of the renderer compiles and links without a report.
    EXPECT_EQ(capturedStdout([&] { makeRenderer(10, 10); }), "");
    for (const char* geometry : {"glslProgramBasicGL_geometry", ""}) {
        EXPECT_EQ(build("glslProgramBasicGL_vertex", geometry, "glslProgramSimplePoints_fragment", "p"), "");
        GLint stages = -1;
        glGetProgramiv(program.programId(), GL_ATTACHED_SHADERS, &stages);
        EXPECT_EQ(stages, geometry[0] ? 3 : 2);
        // A second creation is refused and keeps the first program.
        const GLuint id = program.programId();
        EXPECT_FALSE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "x"));
        EXPECT_EQ(program.programId(), id);
        EXPECT_EQ(program.programName(), "p");
        program.releaseProgram();
        EXPECT_FALSE(program.isCreated() || program.isCompiledAndLinked() || program.programId() || glIsProgram(id));
    }
}

TEST_F(GLSLProgramTest, FailuresAreReportedWithTheLogAndTheProgramCanBeBuiltAgain) {
    // Vertex, fragment, the first line printed, what the compiler's or linker's log names.
    const char* failures[][4] = {
        {"noSuchVertexShader", "glslProgramBasicGL_fragment", "Vertex shader compilation failed for p.\n", ""},
        {"glslProgramBasicGL_vertex", "test_broken_fragment", "Fragment shader compilation failed for p.\n",
         "colourThatDoesNotExist"},
        {"glslProgramBasicGL_vertex", "test_unmatched_fragment", "Failed to link p.\n", "modelViewProjectionMatrix"},
    };
    for (const auto& f : failures) {
        const std::string out = build(f[0], "", f[1], "p");
        const std::string head = std::string("Failed to initialize OpenGL. ") + f[2];
        ASSERT_EQ(out.rfind(head, 0), 0u) << out;
        EXPECT_NE(out.find(f[3], head.size()), std::string::npos) << out;
        EXPECT_EQ(out.back(), '\n');
        EXPECT_FALSE(program.isCompiledAndLinked());
        program.releaseProgram();
        EXPECT_EQ(build("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "fixed"), "");
        EXPECT_TRUE(program.isCompiledAndLinked());
        program.releaseProgram();
    }
}

TEST_F(GLSLProgramTest, UniformsOfEveryKindReachTheProgram) {
    build("glslProgramBasicGL_vertex", "", "test_uniforms_fragment", "uniforms");
    ASSERT_TRUE(program.isCompiledAndLinked());
    program.bindAndEnable();
    const GLuint id = program.programId();
    auto at = [&](const char* name) { return program.getUniformLocation(name); };
    // Every uniform's components in declaration order.
    auto values = [&] {
        std::vector<float> all;
        for (const char* name : {"i1", "i2", "i3", "i4", "f1", "f2", "f3", "f4"}) {
            std::array<GLfloat, 4> v{};
            glGetUniformfv(id, at(name), v.data());
            all.insert(all.end(), v.begin(), v.begin() + (name[1] - '0'));
        }
        return all;
    };
    const int iv[4] = {6, 7, 8, 9};
    const float fv[4] = {0.5f, 1.5f, 2.5f, 3.5f};
    program.setParameter1i(at("i1"), 7);
    program.setParameter2i(at("i2"), 1, 2);
    program.setParameter3i(at("i3"), 3, 4, 5);
    program.setParameter4iv(at("i4"), iv);
    program.setParameter1f(at("f1"), 0.5f);
    program.setParameter2fv(at("f2"), fv);
    program.setParameter3f(at("f3"), 3.5f, 4.5f, 5.5f);
    program.setParameter4fv(at("f4"), fv);
    EXPECT_EQ(values(), (std::vector<float>{7,    1,    2,    3,    4,    5,    6,    7,    8,    9,
                                            0.5f, 0.5f, 1.5f, 3.5f, 4.5f, 5.5f, 0.5f, 1.5f, 2.5f, 3.5f}));
    program.setParameter2iv(at("i2"), iv);
    program.setParameter3iv(at("i3"), iv);
    program.setParameter4i(at("i4"), 1, 2, 3, 4);
    program.setParameter2f(at("f2"), 0.25f, 0.75f);
    program.setParameter3fv(at("f3"), fv);
    program.setParameter4f(at("f4"), 4, 5, 6, 7);
    EXPECT_EQ(values(),
              (std::vector<float>{7, 6, 7, 6, 7, 8, 1, 2, 3, 4, 0.5f, 0.25f, 0.75f, 0.5f, 1.5f, 2.5f, 4, 5, 6, 7}));
    // Column-major, not transposed.
    std::array<float, 16> m{}, back{};
    std::iota(m.begin(), m.end(), 0.0f);
    program.setParameter4x4fv(at("m4"), m.data());
    glGetUniformfv(id, at("m4"), back.data());
    EXPECT_EQ(back, m);
    program.disable();
}

TEST_F(GLSLProgramTest, UnknownNamesAreReportedAndTheirLocationIsANoOp) {
    build("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "single");
    program.bindAndEnable();
    std::vector<int> at;
    const std::string out = capturedStdout([&] {
        at = {program.getUniformLocation("nothing"), program.getAttributeLocation("noAttribute"),
              program.getSamplerLocation("noSampler")};
    });
    EXPECT_EQ(at, (std::vector<int>{-1, -1, -1}));
    const int uniform = at[0];
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
