#include "capture_context.h"

#include <GL/glew.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "app/window.h"
#include "platform/frame_size.h"
#include "platform/platform.h"

namespace {

// The present that came with the demo's window (swap, then poll events).
void (*windowPresent)() = nullptr;

// The extension entry points this file needs; null where EGL lacks them.
struct EglEntryPoints {
    PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay = nullptr;
    PFNEGLQUERYDEVICESEXTPROC queryDevices = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC queryDeviceString = nullptr;
};

EglEntryPoints eglEntryPoints() {
    EglEntryPoints e;
    e.getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    e.queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    e.queryDeviceString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    return e;
}

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) return false;
    std::istringstream words(list);
    std::string word;
    while (words >> word) {
        if (word == name) return true;
    }
    return false;
}

std::vector<EGLDeviceEXT> eglDeviceHandles(const EglEntryPoints& e) {
    std::vector<EGLDeviceEXT> devices;
    EGLint count = 0;
    if (e.queryDevices == nullptr || !e.queryDevices(0, nullptr, &count) || count <= 0) return devices;
    devices.resize(static_cast<size_t>(count));
    if (!e.queryDevices(count, devices.data(), &count)) count = 0;
    devices.resize(static_cast<size_t>(count));
    return devices;
}

EglDeviceInfo deviceInfo(const EglEntryPoints& e, EGLDeviceEXT device) {
    EglDeviceInfo info;
    const char* extensions = e.queryDeviceString(device, EGL_EXTENSIONS);
    info.software = hasExtension(extensions, "EGL_MESA_device_software");
    const char* node = nullptr;
    if (hasExtension(extensions, "EGL_EXT_device_drm_render_node")) {
        node = e.queryDeviceString(device, EGL_DRM_RENDER_NODE_FILE_EXT);
    }
    if (node == nullptr && hasExtension(extensions, "EGL_EXT_device_drm")) {
        node = e.queryDeviceString(device, EGL_DRM_DEVICE_FILE_EXT);
    }
    if (node != nullptr) info.node = node;
    return info;
}

// A display with a current 3.2 core context on a pbuffer of the frame's
// size; false (with a line saying why, unless quiet) when any step fails.
struct EglContext {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
};

bool makeContextCurrent(EGLDisplay display, EglContext& made, bool quiet) {
    auto fail = [&](const std::string& why) {
        if (!quiet) std::cout << "EGL: " << why << std::endl;
        eglTerminate(display);
        return false;
    };
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &made.major, &made.minor)) {
        if (!quiet) std::cout << "EGL: the display could not be initialised" << std::endl;
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
        return fail("no pbuffer config with 8/8/8 colour and 24 depth bits");
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, frameSize.width, EGL_HEIGHT, frameSize.height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) {
        return fail("the " + std::to_string(frameSize.width) + " x " + std::to_string(frameSize.height) +
                    " pbuffer could not be created");
    }
    if (!eglBindAPI(EGL_OPENGL_API)) return fail("desktop OpenGL is not available");
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 2,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context)) {
        return fail("no OpenGL 3.2 core context");
    }
    made.display = display;
    return true;
}

EGLDisplay deviceDisplay(const EglEntryPoints& e, EGLDeviceEXT device) {
    return e.getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
}

// The device asked for, or the first hardware device, then the software one,
// then the surfaceless platform. Prints which it took.
bool openEglContext(int wanted) {
    const EglEntryPoints e = eglEntryPoints();
    if (e.getPlatformDisplay == nullptr) {
        std::cout << "EGL: no eglGetPlatformDisplayEXT" << std::endl;
        return false;
    }
    const std::vector<EGLDeviceEXT> devices = eglDeviceHandles(e);
    EglContext made;
    std::string source;
    if (wanted >= 0) {
        if (wanted >= static_cast<int>(devices.size()) ||
            !makeContextCurrent(deviceDisplay(e, devices[wanted]), made, false)) {
            std::cout << "EGL: device " << wanted << " gave no context" << std::endl;
            return false;
        }
        source = "device " + std::to_string(wanted);
    } else {
        // Hardware first: the software device is the CPU rasteriser, which
        // Mesa also lists on a machine with a GPU.
        for (bool software : {false, true}) {
            for (size_t i = 0; i < devices.size() && source.empty(); ++i) {
                if (deviceInfo(e, devices[i]).software != software) continue;
                if (makeContextCurrent(deviceDisplay(e, devices[i]), made, true)) {
                    source = "device " + std::to_string(i) + (software ? " (software)" : " (hardware)");
                }
            }
        }
        if (source.empty()) {
            if (!makeContextCurrent(e.getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                                         nullptr),
                                    made, false)) {
                std::cout << "EGL: neither a device nor the surfaceless platform gave a context" << std::endl;
                return false;
            }
            source = "surfaceless";
        }
    }

    glewExperimental = GL_TRUE;
    // Debian's GLEW is built for GLX: glewInit loads every GL entry point
    // (through glvnd, which serves EGL contexts too) and only then fails its
    // GLX part for want of an X display. That failure is expected here.
    GLenum glew = glewInit();
    if (glew != GLEW_OK && glew != GLEW_ERROR_NO_GLX_DISPLAY) {
        std::cout << "glewInit failed, aborting." << std::endl;
        eglMakeCurrent(made.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return false;
    }
    std::cout << "Status: Using GLEW " << glewGetString(GLEW_VERSION) << std::endl;
    std::cout << "OpenGL version " << glGetString(GL_VERSION) << " supported" << std::endl;
    std::cout << "Capture context: EGL " << made.major << "." << made.minor << " " << source << ", "
              << frameSize.width << " x " << frameSize.height << " pbuffer, " << glGetString(GL_RENDERER)
              << std::endl;
    return true;
}

// The two pixel-pack buffers of the reads that do not wait.
struct PendingReads {
    GLuint buffers[2] = {0, 0};
    GLsync fences[2] = {nullptr, nullptr};
    int width[2] = {0, 0};
    int height[2] = {0, 0};
    int next = 0;     // the buffer the next read goes into
    int pending = 0;  // reads started and not yet handed over (0, 1 or 2)
};

PendingReads reads;

void readInto(int width, int height, void* pixels) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}

}  // namespace

std::vector<EglDeviceInfo> listEglDevices() {
    std::vector<EglDeviceInfo> list;
    const EglEntryPoints e = eglEntryPoints();
    if (e.queryDeviceString == nullptr) return list;
    for (EGLDeviceEXT device : eglDeviceHandles(e)) list.push_back(deviceInfo(e, device));
    return list;
}

std::string describeEglDevices() {
    const EglEntryPoints e = eglEntryPoints();
    std::ostringstream text;
    const std::vector<EGLDeviceEXT> devices = e.queryDeviceString != nullptr ? eglDeviceHandles(e)
                                                                             : std::vector<EGLDeviceEXT>{};
    if (devices.empty()) text << "No EGL devices (the capture falls back to the surfaceless platform)\n";
    for (size_t i = 0; i < devices.size(); ++i) {
        const EglDeviceInfo info = deviceInfo(e, devices[i]);
        text << i << ": " << (info.software ? "software" : "hardware");
        if (!info.node.empty()) text << ", " << info.node;
        // The renderer's name, from a context of its own on the device.
        EglContext made;
        if (e.getPlatformDisplay != nullptr && makeContextCurrent(deviceDisplay(e, devices[i]), made, true)) {
            const GLubyte* renderer = glGetString(GL_RENDERER);
            text << ", " << (renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown renderer");
            eglMakeCurrent(made.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglTerminate(made.display);
        } else {
            text << ", no OpenGL 3.2 context";
        }
        text << "\n";
    }
    return text.str();
}

bool openCaptureContext(ContextKind kind, int device) {
    if (kind == ContextKind::egl) return openEglContext(device);

    // openDemoWindow ends the process when there is no context, so ask first.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::cout << "The glfw context needs a display (run under xvfb-run)" << std::endl;
        return false;
    }
    DemoOptions window;
    window.windowSize = frameSize;
    window.sizeGiven = frameSize.width != kFrameWidth || frameSize.height != kFrameHeight;
    openDemoWindow(window);
    windowPresent = platform.present;
    std::cout << "Capture context: the demo's GLFW window, " << glGetString(GL_RENDERER) << std::endl;
    return true;
}

void presentCaptureContext() {
    if (windowPresent != nullptr) windowPresent();
}

FrameImage readBackFrame() {
    FrameImage image;
    image.width = frameSize.width;
    image.height = frameSize.height;
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    readInto(image.width, image.height, image.rgb.data());
    flipRows(image);
    return image;
}

void startFrameRead() {
    const int b = reads.next;
    if (reads.buffers[b] == 0) glGenBuffers(1, &reads.buffers[b]);
    const size_t bytes = static_cast<size_t>(frameSize.width) * frameSize.height * 3;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, reads.buffers[b]);
    glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_READ);
    readInto(frameSize.width, frameSize.height, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    reads.fences[b] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    reads.width[b] = frameSize.width;
    reads.height[b] = frameSize.height;
    reads.next = 1 - b;
    ++reads.pending;
}

bool finishFrameRead(FrameImage& image) {
    if (reads.pending == 0) return false;
    // The oldest pending read: the one after the last started, when two are.
    const int b = reads.pending == 2 ? reads.next : 1 - reads.next;
    glClientWaitSync(reads.fences[b], GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
    glDeleteSync(reads.fences[b]);
    reads.fences[b] = nullptr;
    image.width = reads.width[b];
    image.height = reads.height[b];
    const size_t bytes = static_cast<size_t>(image.width) * image.height * 3;
    image.rgb.resize(bytes);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, reads.buffers[b]);
    const void* mapped = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes), GL_MAP_READ_BIT);
    if (mapped != nullptr) std::memcpy(image.rgb.data(), mapped, bytes);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    --reads.pending;
    flipRows(image);
    return mapped != nullptr;
}
