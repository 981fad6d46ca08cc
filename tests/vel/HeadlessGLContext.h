#pragma once
// A real OpenGL 3.3 core context for the library's GPU tests and benchmark,
// without Qt and without a window: EGL on Mesa's surfaceless platform, with
// functions loaded through libepoxy as in the library.

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <string>

namespace veltest {

class HeadlessGLContext {
public:
    HeadlessGLContext() {
        const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (extensions == nullptr || std::string(extensions).find("EGL_EXT_platform_base") == std::string::npos) return;
        _display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0, count = 0;
        if (_display != EGL_NO_DISPLAY && !eglInitialize(_display, &major, &minor)) _display = EGL_NO_DISPLAY;
        if (_display == EGL_NO_DISPLAY) return;
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        const EGLint contextAttributes[] = {
            EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
            EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        if (eglBindAPI(EGL_OPENGL_API) && eglChooseConfig(_display, configAttributes, &config, 1, &count) && count > 0)
            _context = eglCreateContext(_display, config, EGL_NO_CONTEXT, contextAttributes);
        _valid = _context != EGL_NO_CONTEXT && makeCurrent();
    }
    ~HeadlessGLContext() {
        if (_display == EGL_NO_DISPLAY) return;
        eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (_context != EGL_NO_CONTEXT) eglDestroyContext(_display, _context);
        eglTerminate(_display);
    }
    HeadlessGLContext(const HeadlessGLContext&) = delete;
    HeadlessGLContext& operator=(const HeadlessGLContext&) = delete;

    bool valid() const { return _valid; }
    std::string error() const { return _valid ? "" : "no surfaceless EGL display with an OpenGL 3.3 core context"; }
    bool makeCurrent() { return eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, _context) == EGL_TRUE; }
    static std::string renderer() {
        const GLubyte* text = glGetString(GL_RENDERER);
        return text ? reinterpret_cast<const char*>(text) : "(unknown)";
    }

private:
    EGLDisplay _display = EGL_NO_DISPLAY;
    EGLContext _context = EGL_NO_CONTEXT;
    bool _valid = false;
};

}  // namespace veltest
