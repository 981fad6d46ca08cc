// The GLSL program wrapper on a real context: the renderer's programs, and the
// reports of compile and link failures with their logs.
#include "RenderTest.h"
#include "support/CapturedOutput.h"

#include "render/MCV_GLSLProgram.h"

namespace {

using rendertest::RenderTest;

class GLSLProgramTest : public RenderTest {
protected:
    // What creating, compiling and linking printed.
    std::string build(const char* vertex, const char* geometry, const char* fragment, const char* name) {
        EXPECT_TRUE(program.createFromFiles(vertex, geometry, fragment, name));
        return capturedStdout([&] { program.compileAndLink(); });
    }
    MCV_GLSLProgram program;
};

TEST_F(GLSLProgramTest, RendererProgramsBuildSilentlyWithTheirStagesAndAreReleased) {
    // Every program of the renderer compiles and links without a report.
    EXPECT_EQ(capturedStdout([&] { makeRenderer(10, 10); }), "");
    EXPECT_EQ(
        build("glslProgramBasicGL_vertex", "glslProgramBasicGL_geometry", "glslProgramSimplePoints_fragment", "p"), "");
    GLint stages = -1;
    glGetProgramiv(program.programId(), GL_ATTACHED_SHADERS, &stages);
    EXPECT_EQ(stages, 3);
    // A second creation is refused and keeps the first program.
    const GLuint id = program.programId();
    EXPECT_FALSE(program.createFromFiles("glslProgramBasicGL_vertex", "", "glslProgramBasicGL_fragment", "x"));
    EXPECT_EQ(program.programId(), id);
    program.releaseProgram();
    EXPECT_FALSE(program.isCreated() || program.isCompiledAndLinked() || program.programId() || glIsProgram(id));
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

}  // namespace
