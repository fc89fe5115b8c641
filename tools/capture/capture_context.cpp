#include "capture_context.h"

#include <GL/glew.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdlib>
#include <iostream>

#include "app/window.h"
#include "platform/frame_size.h"
#include "platform/platform.h"

namespace {

// The present that came with the demo's window (swap, then poll events).
void (*windowPresent)() = nullptr;

bool openEglContext() {
    // The surfaceless platform is an extension entry point, not core EGL 1.4.
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        std::cout << "EGL: no eglGetPlatformDisplayEXT" << std::endl;
        return false;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        std::cout << "EGL: the surfaceless platform could not be initialised" << std::endl;
        return false;
    }

    // The demo asks its window for 8/8/8 colour and a deep depth buffer; the
    // composite only needs the depth test to pass, so 24 bits are plenty.
    const EGLint configAttributes[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24,
        EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) || configCount < 1) {
        std::cout << "EGL: no pbuffer config with 8/8/8 colour and 24 depth bits" << std::endl;
        return false;
    }

    const EGLint surfaceAttributes[] = {EGL_WIDTH, kFrameWidth, EGL_HEIGHT, kFrameHeight, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        std::cout << "EGL: the " << kFrameWidth << " x " << kFrameHeight << " pbuffer could not be created"
                  << std::endl;
        return false;
    }

    if (!eglBindAPI(EGL_OPENGL_API)) {
        std::cout << "EGL: desktop OpenGL is not available" << std::endl;
        return false;
    }
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 2,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context)) {
        std::cout << "EGL: no OpenGL 3.2 core context" << std::endl;
        return false;
    }

    glewExperimental = GL_TRUE;
    // Debian's GLEW is built for GLX: glewInit loads every GL entry point
    // (through glvnd, which serves EGL contexts too) and only then fails its
    // GLX part for want of an X display. That failure is expected here.
    GLenum glew = glewInit();
    if (glew != GLEW_OK && glew != GLEW_ERROR_NO_GLX_DISPLAY) {
        std::cout << "glewInit failed, aborting." << std::endl;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return false;
    }
    std::cout << "Status: Using GLEW " << glewGetString(GLEW_VERSION) << std::endl;
    std::cout << "OpenGL version " << glGetString(GL_VERSION) << " supported" << std::endl;
    std::cout << "Capture context: EGL " << major << "." << minor << " surfaceless, " << kFrameWidth << " x "
              << kFrameHeight << " pbuffer, " << glGetString(GL_RENDERER) << std::endl;
    return true;
}

}  // namespace

bool openCaptureContext(ContextKind kind) {
    if (kind == ContextKind::egl) return openEglContext();

    // openDemoWindow ends the process when there is no context, so ask first.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::cout << "The glfw context needs a display (run under xvfb-run)" << std::endl;
        return false;
    }
    openDemoWindow();
    windowPresent = platform.present;
    std::cout << "Capture context: the demo's GLFW window, " << glGetString(GL_RENDERER) << std::endl;
    return true;
}

void presentCaptureContext() {
    if (windowPresent != nullptr) windowPresent();
}

FrameImage readBackFrame() {
    FrameImage image;
    image.width = kFrameWidth;
    image.height = kFrameHeight;
    image.rgb.resize(static_cast<size_t>(kFrameWidth) * kFrameHeight * 3);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
    flipRows(image);
    return image;
}
