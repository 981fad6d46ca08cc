#pragma once
// A GLSL program built from source strings, with its shaders and a cache of
// uniform locations. Usage: create(), addShader() for the vertex and the
// fragment stage, build(), then bind() and set uniforms by name.
//
// Every operation needs the OpenGL context that was current at create(). The
// destructor never touches OpenGL (the context may already be gone); owners
// call destroy() while the context is current to free the program.

#include <string>
#include <unordered_map>
#include <vector>

#include "vel/dr/Shader.h"

namespace vel {
namespace dr {

class ShaderProgram {
public:
    ShaderProgram() = default;

    // Deletes any earlier program with its shaders, then creates a new program
    // object with no shaders and an empty location cache.
    void create();
    // Creates a shader from `source`, attaches it and lists it.
    void addShader(ShaderType type, const char* source);
    void attach(const Shader& shader);
    // Compiles every listed shader, links, validates and deletes the shader
    // objects. Does nothing before create(). Any failure deletes the shaders and
    // the program, clears every flag and is rethrown.
    void build();
    // Throws ShaderLinkageException with the program's info log on failure.
    void link();
    void validate();
    std::string getInfoLog() const;
    // Every listed shader's log, then the program's.
    std::string getError() const;
    void bind();
    void release();
    void detachAll();
    // Deletes the shaders and the program; clears the flags. Safe to repeat.
    void destroy();

    bool isCreated() const { return _created; }
    bool isLinked() const { return _linked; }
    bool isValidated() const { return _validated; }
    unsigned int handle() const { return _handle; }

    // Cached after the first lookup; -1 (no such active uniform) is cached too.
    int getUniformLocation(const char* name);

    // Set on the currently bound program.
    void uniform1i(const char* name, int value);
    void uniform1ui(const char* name, unsigned int value);
    void uniform1iv(const char* name, int count, const int* values);
    void uniform2i(const char* name, int v0, int v1);
    void uniform2ui(const char* name, unsigned int v0, unsigned int v1);
    void uniform1f(const char* name, float value);
    void uniform1fv(const char* name, int count, const float* values);
    void uniform2f(const char* name, float v0, float v1);
    void uniform3f(const char* name, float v0, float v1, float v2);
    void uniform3f(const char* name, const float* values);
    void uniform3fv(const char* name, int count, const float* values);
    void uniform4f(const char* name, float v0, float v1, float v2, float v3);
    // One column-major 4x4 matrix, not transposed.
    void uniformMatrix4f(const char* name, const float* matrix);

private:
    void deleteShaders();
    void deleteProgram();

    unsigned int _handle = 0;
    bool _created = false;
    bool _linked = false;
    bool _validated = false;
    std::vector<Shader> _shaders;
    std::unordered_map<std::string, int> _uniform_locations;
};

}  // namespace dr
}  // namespace vel
