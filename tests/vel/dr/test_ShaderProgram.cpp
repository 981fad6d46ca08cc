#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vel/GLTest.h"
#include "vel/dr/ErrorMessageException.h"
#include "vel/dr/ShaderProgram.h"

using vel::dr::ShaderProgram;

namespace {
class ShaderProgramTest : public veltest::GLTest {};
}  // namespace

// A failed build deletes the program and clears every flag; the exception
// carries the driver's log under a header naming the shader's kind. A
// rebuilt or destroyed program frees its predecessor.
TEST_F(ShaderProgramTest, FailuresCarryTheLogAndDeleteTheProgram) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"out vec4 c;\nvoid main() { c = vec4(1.0) }\n", "Fragment shader info log:\n"},
        {"vec4 missing();\nout vec4 c;\nvoid main() { c = missing(); }\n", "missing"},  // links, not compiles
        {"out vec4 c;\nvoid main() { c = vec4(1.0); }\n", ""},
    };
    for (const auto& [fragment, expected] : cases) {
        ShaderProgram program;
        program.build();  // never created: nothing happens
        program.create();
        const unsigned int handle = program.handle();
        program.addShader(vel::dr::VERTEX_SHADER, "#version 330 core\nvoid main() { gl_Position = vec4(0.0); }\n");
        program.addShader(vel::dr::FRAGMENT_SHADER, ("#version 330 core\n" + fragment).c_str());
        try {
            program.build();
            EXPECT_TRUE(expected.empty()) << "built: " << fragment;
        } catch (const vel::dr::ErrorMessageException& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(expected), std::string::npos) << message;
            EXPECT_GT(message.size(), expected.size()) << "no driver log";
        }
        EXPECT_EQ(program.isLinked(), expected.empty());
        EXPECT_EQ(glIsProgram(handle) == GL_TRUE, expected.empty());
        program.create();
        if (program.handle() != handle) {
            EXPECT_EQ(glIsProgram(handle), GL_FALSE);  // OpenGL may hand out the freed name anew
        }
        program.destroy();
        program.destroy();
        EXPECT_FALSE(program.isCreated());
    }
}

// A kind without an OpenGL 3.3 shader (compute) is refused before OpenGL is
// asked for an object.
TEST_F(ShaderProgramTest, ShaderLogsNameTheirKind) {
    vel::dr::Shader vertex(vel::dr::VERTEX_SHADER), compute(vel::dr::COMPUTE_SHADER);
    vertex.loadFromString("#version 330 core\nvoid main() { undeclared = 1; }\n");
    EXPECT_THROW(vertex.compile(), vel::dr::ShaderCompilationException);
    EXPECT_FALSE(vertex.isCreated() || vertex.isCompiled());
    EXPECT_THROW(compute.create(), vel::dr::ShaderLoadingException);
    EXPECT_EQ(compute.getInfoLog(), "Compute shader info log:\n");
}
