#include <epoxy/gl.h>

#include "render/MCV_GLSLProgram.h"

#include "data/readTextFile.h"

#include <iostream>
#include <vector>

namespace {

const char* const kFailure = "Failed to initialize OpenGL.";

std::string shaderSource(const std::string& file) {
    return readTextFile(QString::fromStdString(":/shaders/" + file + ".glsl")).toStdString();
}

GLuint createShader(GLenum type, const std::string& source) {
    const GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    return shader;
}

}  // namespace

bool MCV_GLSLProgram::createFromFiles(std::string vertexFile, std::string geometryFile, std::string fragmentFile,
                                      std::string programName) {
    if (created) return false;
    name = programName;
    vertexShader = createShader(GL_VERTEX_SHADER, shaderSource(vertexFile));
    if (!geometryFile.empty()) geometryShader = createShader(GL_GEOMETRY_SHADER, shaderSource(geometryFile));
    fragmentShader = createShader(GL_FRAGMENT_SHADER, shaderSource(fragmentFile));
    program = glCreateProgram();
    glAttachShader(program, vertexShader);
    if (geometryShader != 0) glAttachShader(program, geometryShader);
    glAttachShader(program, fragmentShader);
    created = true;
    return true;
}

bool MCV_GLSLProgram::compileStage(unsigned int shader, const char* stage) {
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE) return true;
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
    if (length > 0) glGetShaderInfoLog(shader, length, nullptr, log.data());
    glDeleteShader(shader);
    std::cout << kFailure << " " << stage << " shader compilation failed for " << name << ".\n" << log.data() << "\n";
    return false;
}

void MCV_GLSLProgram::compileAndLink() {
    if (compiledAndLinked) return;
    if (!compileStage(vertexShader, "Vertex")) return;
    if (geometryShader != 0 && !compileStage(geometryShader, "Geometry")) return;
    if (!compileStage(fragmentShader, "Fragment")) return;

    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        compiledAndLinked = true;
        return;
    }
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
    if (length > 0) glGetProgramInfoLog(program, length, nullptr, log.data());
    glDeleteProgram(program);
    std::cout << kFailure << " Failed to link " << name << ".\n" << log.data() << "\n";
}

void MCV_GLSLProgram::validate() {
    glValidateProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_VALIDATE_STATUS, &status);
    if (status != GL_TRUE) std::cout << kFailure << " " << name << " is invalid.\n";
}

void MCV_GLSLProgram::bindAndEnable() { glUseProgram(program); }

void MCV_GLSLProgram::disable() { glUseProgram(0); }

void MCV_GLSLProgram::releaseProgram() {
    created = false;
    compiledAndLinked = false;
    // The shader objects go with the program, so a rebuild leaks nothing. A
    // shader that failed to compile was deleted then; glIsShader skips it.
    for (GLuint shader : {vertexShader, geometryShader, fragmentShader})
        if (shader != 0 && glIsShader(shader)) glDeleteShader(shader);
    // A program that failed to link was deleted then.
    if (program != 0 && glIsProgram(program)) glDeleteProgram(program);
    vertexShader = geometryShader = fragmentShader = program = 0;
}

int MCV_GLSLProgram::getUniformLocation(const char* uniform) {
    const GLint location = glGetUniformLocation(program, uniform);
    if (location == -1)
        std::cout << kFailure << " Could not find uniform " << uniform << " in program " << name << ".\n";
    return location;
}

int MCV_GLSLProgram::getAttributeLocation(const char* attribute) {
    const GLint location = glGetAttribLocation(program, attribute);
    if (location == -1)
        std::cout << kFailure << " Could not find attribute " << attribute << " in program " << name << ".\n";
    return location;
}

int MCV_GLSLProgram::getSamplerLocation(const char* sampler) {
    const GLint location = glGetUniformLocation(program, sampler);
    if (location == -1)
        std::cout << kFailure << " Could not find sampler " << sampler << " in program " << name << ".\n";
    return location;
}

void MCV_GLSLProgram::bindTexture(const char* sampler, int unit, unsigned target, unsigned texture) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(target, texture);
    setParameter1i(getSamplerLocation(sampler), unit);
}

void MCV_GLSLProgram::setParameter1i(int location, int v0) {
    if (location != -1) glUniform1i(location, v0);
}
void MCV_GLSLProgram::setParameter2i(int location, int v0, int v1) {
    if (location != -1) glUniform2i(location, v0, v1);
}
void MCV_GLSLProgram::setParameter3i(int location, int v0, int v1, int v2) {
    if (location != -1) glUniform3i(location, v0, v1, v2);
}
void MCV_GLSLProgram::setParameter4i(int location, int v0, int v1, int v2, int v3) {
    if (location != -1) glUniform4i(location, v0, v1, v2, v3);
}
void MCV_GLSLProgram::setParameter2iv(int location, const int* v) {
    if (location != -1) glUniform2iv(location, 1, v);
}
void MCV_GLSLProgram::setParameter3iv(int location, const int* v) {
    if (location != -1) glUniform3iv(location, 1, v);
}
void MCV_GLSLProgram::setParameter4iv(int location, const int* v) {
    if (location != -1) glUniform4iv(location, 1, v);
}
void MCV_GLSLProgram::setParameter1f(int location, float v0) {
    if (location != -1) glUniform1f(location, v0);
}
void MCV_GLSLProgram::setParameter2f(int location, float v0, float v1) {
    if (location != -1) glUniform2f(location, v0, v1);
}
void MCV_GLSLProgram::setParameter3f(int location, float v0, float v1, float v2) {
    if (location != -1) glUniform3f(location, v0, v1, v2);
}
void MCV_GLSLProgram::setParameter4f(int location, float v0, float v1, float v2, float v3) {
    if (location != -1) glUniform4f(location, v0, v1, v2, v3);
}
void MCV_GLSLProgram::setParameter2fv(int location, const float* v) {
    if (location != -1) glUniform2fv(location, 1, v);
}
void MCV_GLSLProgram::setParameter3fv(int location, const float* v) {
    if (location != -1) glUniform3fv(location, 1, v);
}
void MCV_GLSLProgram::setParameter4fv(int location, const float* v) {
    if (location != -1) glUniform4fv(location, 1, v);
}
void MCV_GLSLProgram::setParameter4x4fv(int location, const float* m) {
    if (location != -1) glUniformMatrix4fv(location, 1, GL_FALSE, m);
}
