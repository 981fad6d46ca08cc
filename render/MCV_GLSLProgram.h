#pragma once

#include <string>

// One GLSL program built from sources in the resource tree (":/shaders/<name>.glsl").
//
// createFromFiles() reads the sources and creates the shader and program
// objects; compileAndLink() compiles and links them. Nothing here throws:
// every failure is one report on standard output beginning "Failed to
// initialize OpenGL.", and the caller sees it only through the flags and the
// location -1. Every operation needs the OpenGL context that was current when
// the program was created; the destructor touches no OpenGL object, so owners
// call releaseProgram() first, with the context current.
class MCV_GLSLProgram {
public:
    MCV_GLSLProgram() = default;
    ~MCV_GLSLProgram() = default;

    MCV_GLSLProgram(const MCV_GLSLProgram&) = delete;
    MCV_GLSLProgram& operator=(const MCV_GLSLProgram&) = delete;

    // Base names without folder or extension; an empty geometry name means no
    // geometry stage. A missing resource gives an empty source, which shows as
    // a compilation failure later. Returns false, changing nothing, when the
    // program was already created.
    bool createFromFiles(std::string vertexFile, std::string geometryFile, std::string fragmentFile,
                         std::string programName);
    // Compiles the stages in pipeline order and links, stopping at the first
    // failure (whose object is deleted and whose log is printed). Does nothing
    // once linked.
    void compileAndLink();
    void validate();

    void bindAndEnable();
    void disable();
    // Clears both flags and deletes the program object; all ids become 0.
    void releaseProgram();

    bool isCreated() const { return created; }
    bool isCompiledAndLinked() const { return compiledAndLinked; }
    // Whether `program` exists and is ready to draw with.
    static bool usable(const MCV_GLSLProgram* program) { return program && program->isCompiledAndLinked(); }

    // -1, after a report, when the name is not active in the program.
    int getUniformLocation(const char* name);
    int getAttributeLocation(const char* name);
    int getSamplerLocation(const char* name);

    // Set a uniform of the program that is current (bindAndEnable first). A
    // location of -1 makes each of them a no-op.
    void setParameter1i(int location, int v0);
    // Binds `texture` to `target` on texture unit `unit` and points the
    // sampler uniform `sampler` of the current program at that unit.
    void bindTexture(const char* sampler, int unit, unsigned target, unsigned texture);
    void setParameter2i(int location, int v0, int v1);
    void setParameter3i(int location, int v0, int v1, int v2);
    void setParameter4i(int location, int v0, int v1, int v2, int v3);
    void setParameter2iv(int location, const int* v);
    void setParameter3iv(int location, const int* v);
    void setParameter4iv(int location, const int* v);
    void setParameter1f(int location, float v0);
    void setParameter2f(int location, float v0, float v1);
    void setParameter3f(int location, float v0, float v1, float v2);
    void setParameter4f(int location, float v0, float v1, float v2, float v3);
    void setParameter2fv(int location, const float* v);
    void setParameter3fv(int location, const float* v);
    void setParameter4fv(int location, const float* v);
    // 16 values, column-major, not transposed.
    void setParameter4x4fv(int location, const float* m);

    const std::string& programName() const { return name; }
    unsigned int programId() const { return program; }

private:
    // Compiles one stage; on failure deletes it and prints `stage` with the log.
    bool compileStage(unsigned int shader, const char* stage);

    bool created = false;
    bool compiledAndLinked = false;
    std::string name;
    unsigned int vertexShader = 0;
    unsigned int geometryShader = 0;
    unsigned int fragmentShader = 0;
    unsigned int program = 0;
};
