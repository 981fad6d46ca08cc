#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/ShaderProgram.h"

using vel::dr::ShaderProgram;

namespace {

const char* const kVertex = R"(#version 330 core
layout(location = 0) in vec2 vertex;
void main() { gl_Position = vec4(vertex, 0.0, 1.0); })";

class ShaderProgramTest : public veltest::GLTest {};

}  // namespace

TEST_F(ShaderProgramTest, BuildsBindsAndSetsUniforms) {
    ShaderProgram program;
    program.build();  // never created: nothing happens
    EXPECT_FALSE(program.isCreated() || program.isLinked());
    program.create();
    program.addShader(vel::dr::VERTEX_SHADER, kVertex);
    program.addShader(vel::dr::FRAGMENT_SHADER, R"(#version 330 core
uniform vec4 tint;
uniform float gain;
out vec4 colour;
void main() { colour = tint * gain; })");
    program.build();
    EXPECT_TRUE(program.isCreated() && program.isLinked() && program.isValidated());
    program.bind();
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<unsigned int>(current), program.handle());
    program.uniform4f("tint", 1.f, 2.f, 3.f, 4.f);
    program.uniform1f("gain", 0.5f);
    program.uniform1f("not_a_uniform", 1.f);  // location -1: silently ignored
    EXPECT_EQ(program.getUniformLocation("not_a_uniform"), -1);
    std::vector<float> values(4);
    glGetUniformfv(program.handle(), program.getUniformLocation("tint"), values.data());
    EXPECT_EQ(values, (std::vector<float>{1.f, 2.f, 3.f, 4.f}));
    glGetUniformfv(program.handle(), program.getUniformLocation("gain"), values.data());
    EXPECT_EQ(values[0], 0.5f);
    program.release();
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    const unsigned int first = program.handle();
    program.create();  // frees the first program
    EXPECT_EQ(glIsProgram(first), GL_FALSE);
    EXPECT_FALSE(program.isLinked());
    program.destroy();
    EXPECT_FALSE(program.isCreated());
    program.destroy();  // repeatable
}

// A failed build deletes the program and clears every flag; the exception
// carries the driver's log (under a header naming the shader's kind).
TEST_F(ShaderProgramTest, FailuresCarryTheLogAndDeleteTheProgram) {
    using Check = std::function<void()>;
    const std::vector<std::pair<const char*, Check>> cases{
        {"#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1.0) }\n",
         [] {
             try {
                 throw;
             } catch (const vel::dr::ShaderCompilationException& e) {
                 const std::string message = e.what(), header = "Fragment shader info log:\n";
                 EXPECT_EQ(message.rfind(header, 0), 0u) << message;
                 EXPECT_GT(message.size(), header.size()) << "no driver log";
             }
         }},
        // Compiles, but calls a function that no stage defines.
        {"#version 330 core\nvec4 missing();\nout vec4 c;\nvoid main() { c = missing(); }\n", [] {
             try {
                 throw;
             } catch (const vel::dr::ShaderLinkageException& e) {
                 EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
             }
         }}};
    for (const auto& [fragment, check] : cases) {
        ShaderProgram program;
        program.create();
        const unsigned int handle = program.handle();
        program.addShader(vel::dr::VERTEX_SHADER, kVertex);
        program.addShader(vel::dr::FRAGMENT_SHADER, fragment);
        try {
            program.build();
            ADD_FAILURE() << "built: " << fragment;
        } catch (const vel::dr::ErrorMessageException&) {
            check();
        }
        EXPECT_FALSE(program.isCreated() || program.isLinked() || program.isValidated());
        EXPECT_EQ(glIsProgram(handle), GL_FALSE);
    }
}

// A kind without an OpenGL 3.3 shader (compute) is refused before OpenGL is
// asked for an object.
TEST_F(ShaderProgramTest, ShaderLogsNameTheirKind) {
    vel::dr::Shader vertex(vel::dr::VERTEX_SHADER), compute(vel::dr::COMPUTE_SHADER);
    vertex.loadFromString("#version 330 core\nvoid main() { undeclared = 1; }\n");
    EXPECT_THROW(vertex.compile(), vel::dr::ShaderCompilationException);
    EXPECT_FALSE(vertex.isCreated() || vertex.isCompiled());
    EXPECT_EQ(vel::dr::Shader(vel::dr::GEOMETRY_SHADER).getInfoLog(), "Geometry shader info log:\n");
    EXPECT_THROW(compute.create(), vel::dr::ShaderLoadingException);
    EXPECT_EQ(compute.getInfoLog(), "Compute shader info log:\n");
}
