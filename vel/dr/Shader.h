#pragma once
// One GLSL shader object. Every operation needs a current OpenGL context; the
// object itself is a plain value (copies share the OpenGL name), and its
// destructor never touches OpenGL, so it is safe after the context is gone.

#include <cstdint>
#include <string>

namespace vel {
namespace dr {

enum ShaderType : std::int32_t {
    VERTEX_SHADER = 0,
    GEOMETRY_SHADER = 1,
    FRAGMENT_SHADER = 2,
    COMPUTE_SHADER = 3,  // named in info-log headers only; cannot be created
};

class Shader {
public:
    explicit Shader(ShaderType type) : _type(type) {}

    // Creates the OpenGL shader object. Throws ShaderLoadingException for a
    // type that has no OpenGL 3.3 shader kind (the compute type).
    void create();
    // Creates the object and sets its one source string.
    bool loadFromString(const char* source);
    // On failure the object is deleted and ShaderCompilationException carries
    // getInfoLog() as its message.
    void compile();
    // "<Kind> shader info log:\n" followed by the driver's log.
    std::string getInfoLog() const;
    bool isCompiled() const { return _compiled; }
    bool isCreated() const { return _created; }
    // Deletes the object if there is one.
    void destroy();

    ShaderType type() const { return _type; }
    unsigned int handle() const { return _handle; }

private:
    ShaderType _type;
    bool _created = false;
    bool _compiled = false;
    unsigned int _handle = 0;
};

}  // namespace dr
}  // namespace vel
