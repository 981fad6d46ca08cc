#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/ShaderProgram.h"

using vel::dr::ShaderProgram;

namespace {

const char* const kVertex = R"(#version 330 core
layout(location = 0) in vec2 vertex;
out vec2 colour;
void main() {
  colour = vertex * 0.5 + 0.5;
  gl_Position = vec4(vertex, 0.0, 1.0);
})";

const char* const kFragment = R"(#version 330 core
in vec2 colour;
uniform vec4 tint;
uniform float gain;
out vec4 fragColour;
void main() { fragColour = tint * gain + vec4(colour, 0.0, 0.0) * 0.0; })";

class ShaderProgramTest : public veltest::GLTest {};

}  // namespace

TEST_F(ShaderProgramTest, BuildsBindsAndSetsUniforms) {
    ShaderProgram program;
    program.build();  // never created: nothing happens
    EXPECT_FALSE(program.isCreated());
    EXPECT_FALSE(program.isLinked());

    program.create();
    program.addShader(vel::dr::VERTEX_SHADER, kVertex);
    program.addShader(vel::dr::FRAGMENT_SHADER, kFragment);
    program.build();
    EXPECT_TRUE(program.isCreated());
    EXPECT_TRUE(program.isLinked());
    EXPECT_TRUE(program.isValidated());
    EXPECT_EQ(glIsProgram(program.handle()), GL_TRUE);

    program.bind();
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<unsigned int>(current), program.handle());
    program.uniform4f("tint", 1.f, 2.f, 3.f, 4.f);
    program.uniform1f("gain", 0.5f);
    program.uniform1f("not_a_uniform", 1.f);  // location -1: silently ignored
    EXPECT_EQ(program.getUniformLocation("not_a_uniform"), -1);
    const int tint = program.getUniformLocation("tint");
    ASSERT_GE(tint, 0);
    EXPECT_EQ(program.getUniformLocation("tint"), tint);
    float values[4] = {};
    glGetUniformfv(program.handle(), tint, values);
    EXPECT_EQ(std::vector<float>(values, values + 4), (std::vector<float>{1.f, 2.f, 3.f, 4.f}));
    glGetUniformfv(program.handle(), program.getUniformLocation("gain"), values);
    EXPECT_EQ(values[0], 0.5f);
    program.release();
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);

    // A second create() frees the first program.
    const unsigned int first = program.handle();
    program.create();
    EXPECT_EQ(glIsProgram(first), GL_FALSE);
    EXPECT_FALSE(program.isLinked());
    program.destroy();
    EXPECT_FALSE(program.isCreated());
    program.destroy();  // repeatable
}

TEST_F(ShaderProgramTest, CompilationFailureCarriesTheInfoLogAndDeletesTheProgram) {
    ShaderProgram program;
    program.create();
    const unsigned int handle = program.handle();
    program.addShader(vel::dr::VERTEX_SHADER, kVertex);
    program.addShader(vel::dr::FRAGMENT_SHADER, "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1.0) }\n");
    try {
        program.build();
        FAIL() << "a syntax error compiled";
    } catch (const vel::dr::ShaderCompilationException& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Fragment shader info log:\n", 0), 0u) << message;
        EXPECT_GT(message.size(), std::string("Fragment shader info log:\n").size()) << "no driver log";
    }
    EXPECT_FALSE(program.isCreated());
    EXPECT_FALSE(program.isLinked());
    EXPECT_FALSE(program.isValidated());
    EXPECT_EQ(glIsProgram(handle), GL_FALSE);
}

TEST_F(ShaderProgramTest, LinkFailureCarriesTheProgramLog) {
    ShaderProgram program;
    program.create();
    program.addShader(vel::dr::VERTEX_SHADER, kVertex);
    // Compiles, but calls a function that no stage defines.
    program.addShader(vel::dr::FRAGMENT_SHADER,
                      "#version 330 core\nvec4 missing();\nout vec4 c;\nvoid main() { c = missing(); }\n");
    try {
        program.build();
        FAIL() << "mismatched stages linked";
    } catch (const vel::dr::ShaderLinkageException& e) {
        EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(program.isCreated());
    // Every member of the family is an ErrorMessageException.
    EXPECT_THROW(throw vel::dr::ShaderLoadingException("x"), vel::dr::ErrorMessageException);
}

TEST_F(ShaderProgramTest, ShaderLogsNameTheirKind) {
    vel::dr::Shader vertex(vel::dr::VERTEX_SHADER);
    vertex.loadFromString("#version 330 core\nvoid main() { undeclared = 1; }\n");
    EXPECT_THROW(vertex.compile(), vel::dr::ShaderCompilationException);
    EXPECT_FALSE(vertex.isCreated());
    EXPECT_FALSE(vertex.isCompiled());
    EXPECT_EQ(vel::dr::Shader(vel::dr::GEOMETRY_SHADER).getInfoLog(), "Geometry shader info log:\n");
    vel::dr::Shader compute(vel::dr::COMPUTE_SHADER);
    EXPECT_THROW(compute.create(), vel::dr::ShaderLoadingException);
    EXPECT_EQ(compute.getInfoLog(), "Compute shader info log:\n");
}
