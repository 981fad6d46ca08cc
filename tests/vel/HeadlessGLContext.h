#pragma once
// A real OpenGL 3.3+ core context for the library's GPU tests and benchmark,
// without Qt and without a window: EGL on Mesa's surfaceless platform, or a
// pbuffer on the X display as a fall-back. Functions are loaded through
// libepoxy, as in the library. Header-only test support, not library code.

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <string>

namespace veltest {

class HeadlessGLContext {
public:
    HeadlessGLContext() {
        if (!open(EGL_PLATFORM_SURFACELESS_MESA, false) && !open(EGL_PLATFORM_X11_KHR, true)) return;
        _valid = makeCurrent();
        if (!_valid) _error = "eglMakeCurrent failed";
    }
    ~HeadlessGLContext() {
        if (_display == EGL_NO_DISPLAY) return;
        eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (_context != EGL_NO_CONTEXT) eglDestroyContext(_display, _context);
        if (_surface != EGL_NO_SURFACE) eglDestroySurface(_display, _surface);
        eglTerminate(_display);
    }
    HeadlessGLContext(const HeadlessGLContext&) = delete;
    HeadlessGLContext& operator=(const HeadlessGLContext&) = delete;

    bool valid() const { return _valid; }
    const std::string& error() const { return _error; }
    bool makeCurrent() { return eglMakeCurrent(_display, _surface, _surface, _context) == EGL_TRUE; }
    void doneCurrent() { eglMakeCurrent(_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT); }
    // The GL_RENDERER string of the current context.
    static std::string renderer() {
        const GLubyte* text = glGetString(GL_RENDERER);
        return text ? reinterpret_cast<const char*>(text) : "(unknown)";
    }

private:
    bool open(EGLenum platform, bool pbuffer) {
        const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (extensions == nullptr || std::string(extensions).find("EGL_EXT_platform_base") == std::string::npos) {
            _error = "EGL has no platform extension";
            return false;
        }
        EGLDisplay display = eglGetPlatformDisplayEXT(platform, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
            _error = "cannot initialise an EGL display";
            return false;
        }
        const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                           pbuffer ? EGL_PBUFFER_BIT : 0, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        const EGLint contextAttributes[] = {
            EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
            EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        EGLContext context = EGL_NO_CONTEXT;
        if (eglBindAPI(EGL_OPENGL_API) && eglChooseConfig(display, configAttributes, &config, 1, &count) && count > 0)
            context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
        if (context == EGL_NO_CONTEXT) {
            _error = "cannot create an OpenGL 3.3 core context";
            eglTerminate(display);
            return false;
        }
        EGLSurface surface = EGL_NO_SURFACE;
        if (pbuffer) {
            const EGLint surfaceAttributes[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
            surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
            if (surface == EGL_NO_SURFACE) {
                _error = "cannot create a pbuffer";
                eglDestroyContext(display, context);
                eglTerminate(display);
                return false;
            }
        }
        _display = display;
        _context = context;
        _surface = surface;
        return true;
    }

    EGLDisplay _display = EGL_NO_DISPLAY;
    EGLContext _context = EGL_NO_CONTEXT;
    EGLSurface _surface = EGL_NO_SURFACE;
    bool _valid = false;
    std::string _error;
};

}  // namespace veltest
