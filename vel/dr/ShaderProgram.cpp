#include "vel/dr/ShaderProgram.h"

#include <epoxy/gl.h>

#include "vel/dr/ErrorMessageException.h"

namespace vel {
namespace dr {

void ShaderProgram::deleteShaders() {
    for (Shader& shader : _shaders) shader.destroy();
}

void ShaderProgram::deleteProgram() {
    if (_created) glDeleteProgram(_handle);
    _handle = 0;
    _created = false;
    _linked = false;
    _validated = false;
    // Names are per program object: a new program starts with an empty cache.
    _uniform_locations.clear();
}

void ShaderProgram::create() {
    if (_created) {
        deleteShaders();
        deleteProgram();
    }
    _handle = glCreateProgram();
    _created = true;
    _validated = false;
    _shaders.clear();
    _uniform_locations.clear();
}

void ShaderProgram::addShader(ShaderType type, const char* source) {
    Shader shader(type);
    shader.loadFromString(source);
    attach(shader);
}

void ShaderProgram::attach(const Shader& shader) {
    glAttachShader(_handle, shader.handle());
    _shaders.push_back(shader);
}

void ShaderProgram::build() {
    if (!_created) return;
    try {
        for (Shader& shader : _shaders) shader.compile();
        link();
        validate();
        deleteShaders();
    } catch (const ErrorMessageException&) {
        deleteShaders();
        deleteProgram();
        throw;
    }
}

void ShaderProgram::link() {
    glLinkProgram(_handle);
    GLint status = GL_FALSE;
    glGetProgramiv(_handle, GL_LINK_STATUS, &status);
    _linked = status == GL_TRUE;
    if (!_linked) throw ShaderLinkageException(getInfoLog());
}

void ShaderProgram::validate() {
    glValidateProgram(_handle);
    GLint status = GL_FALSE;
    glGetProgramiv(_handle, GL_VALIDATE_STATUS, &status);
    _validated = status == GL_TRUE;
}

std::string ShaderProgram::getInfoLog() const {
    if (!_created) return std::string();
    GLint length = 0;
    glGetProgramiv(_handle, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return std::string();
    std::string log(static_cast<std::size_t>(length), '\0');
    GLsizei written = 0;
    glGetProgramInfoLog(_handle, length, &written, &log[0]);
    log.resize(static_cast<std::size_t>(written));
    return log;
}

std::string ShaderProgram::getError() const {
    std::string text;
    for (const Shader& shader : _shaders) text += shader.getInfoLog() + "\n";
    return text + "Shader program info log:\n" + getInfoLog();
}

void ShaderProgram::bind() { glUseProgram(_handle); }

void ShaderProgram::release() { glUseProgram(0); }

void ShaderProgram::detachAll() {
    for (const Shader& shader : _shaders)
        if (shader.isCreated()) glDetachShader(_handle, shader.handle());
}

void ShaderProgram::destroy() {
    deleteShaders();
    deleteProgram();
}

int ShaderProgram::getUniformLocation(const char* name) {
    const auto found = _uniform_locations.find(name);
    if (found != _uniform_locations.end()) return found->second;
    const int location = glGetUniformLocation(_handle, name);
    _uniform_locations.emplace(name, location);
    return location;
}

void ShaderProgram::uniform1i(const char* name, int value) { glUniform1i(getUniformLocation(name), value); }
void ShaderProgram::uniform1ui(const char* name, unsigned int value) { glUniform1ui(getUniformLocation(name), value); }
void ShaderProgram::uniform1iv(const char* name, int count, const int* values) {
    glUniform1iv(getUniformLocation(name), count, values);
}
void ShaderProgram::uniform2i(const char* name, int v0, int v1) { glUniform2i(getUniformLocation(name), v0, v1); }
void ShaderProgram::uniform2ui(const char* name, unsigned int v0, unsigned int v1) {
    glUniform2ui(getUniformLocation(name), v0, v1);
}
void ShaderProgram::uniform1f(const char* name, float value) { glUniform1f(getUniformLocation(name), value); }
void ShaderProgram::uniform1fv(const char* name, int count, const float* values) {
    glUniform1fv(getUniformLocation(name), count, values);
}
void ShaderProgram::uniform2f(const char* name, float v0, float v1) { glUniform2f(getUniformLocation(name), v0, v1); }
void ShaderProgram::uniform3f(const char* name, float v0, float v1, float v2) {
    glUniform3f(getUniformLocation(name), v0, v1, v2);
}
void ShaderProgram::uniform3f(const char* name, const float* values) {
    glUniform3f(getUniformLocation(name), values[0], values[1], values[2]);
}
void ShaderProgram::uniform3fv(const char* name, int count, const float* values) {
    glUniform3fv(getUniformLocation(name), count, values);
}
void ShaderProgram::uniform4f(const char* name, float v0, float v1, float v2, float v3) {
    glUniform4f(getUniformLocation(name), v0, v1, v2, v3);
}
void ShaderProgram::uniformMatrix4f(const char* name, const float* matrix) {
    glUniformMatrix4fv(getUniformLocation(name), 1, GL_FALSE, matrix);
}

}  // namespace dr
}  // namespace vel
