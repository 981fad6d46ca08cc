#include "vel/dr/Shader.h"

#include <epoxy/gl.h>

#include <vector>

#include "vel/dr/ErrorMessageException.h"

namespace vel {
namespace dr {

namespace {

GLenum glKind(ShaderType type) {
    switch (type) {
        case VERTEX_SHADER:
            return GL_VERTEX_SHADER;
        case GEOMETRY_SHADER:
            return GL_GEOMETRY_SHADER;
        case FRAGMENT_SHADER:
            return GL_FRAGMENT_SHADER;
        default:
            return 0;
    }
}

const char* logHeader(ShaderType type) {
    switch (type) {
        case VERTEX_SHADER:
            return "Vertex shader info log:\n";
        case GEOMETRY_SHADER:
            return "Geometry shader info log:\n";
        case FRAGMENT_SHADER:
            return "Fragment shader info log:\n";
        default:
            return "Compute shader info log:\n";
    }
}

}  // namespace

void Shader::create() {
    const GLenum kind = glKind(_type);
    // glCreateShader with an unknown kind only raises GL_INVALID_ENUM and yields
    // name 0, which every later call would trip over.
    if (kind == 0) throw ShaderLoadingException(std::string(logHeader(_type)) + "this shader type cannot be created");
    _handle = glCreateShader(kind);
    _created = true;
}

bool Shader::loadFromString(const char* source) {
    create();
    glShaderSource(_handle, 1, &source, nullptr);
    return true;
}

void Shader::compile() {
    glCompileShader(_handle);
    GLint status = GL_FALSE;
    glGetShaderiv(_handle, GL_COMPILE_STATUS, &status);
    _compiled = status == GL_TRUE;
    if (!_compiled) {
        const std::string log = getInfoLog();
        glDeleteShader(_handle);
        _handle = 0;
        _created = false;
        _compiled = false;
        throw ShaderCompilationException(log);
    }
}

std::string Shader::getInfoLog() const {
    std::string text = logHeader(_type);
    if (!_created) return text;
    GLint length = 0;
    glGetShaderiv(_handle, GL_INFO_LOG_LENGTH, &length);
    if (length > 1) {
        std::vector<char> log(static_cast<std::size_t>(length));
        GLsizei written = 0;
        glGetShaderInfoLog(_handle, length, &written, log.data());
        text.append(log.data(), static_cast<std::size_t>(written));
    }
    return text;
}

void Shader::destroy() {
    if (_created) glDeleteShader(_handle);
    _handle = 0;
    _created = false;
    _compiled = false;
}

}  // namespace dr
}  // namespace vel
