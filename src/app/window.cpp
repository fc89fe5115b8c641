#include "app/window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdlib>
#include <iostream>

#include "app/frame_loop.h"
#include "platform/frame_size.h"
#include "platform/platform.h"
#include "platform/startup_clock.h"

GLFWwindow* demoWindow = nullptr;

namespace {

// What the window was opened with, and where it goes back to from full screen.
struct WindowState {
    DemoOptions options;
    bool fullScreen = false;
    bool intervalSet = false;  // a swap interval was set: going back to none means 0
    bool windowPlaced = false; // windowX and windowY say where the window was
    int windowX = 0, windowY = 0;
    int windowWidth = kFrameWidth, windowHeight = kFrameHeight;
};

WindowState windowState;

double glfwClock() { return glfwGetTime(); }
int glfwKey(int key) { return glfwGetKey(demoWindow, key); }
bool glfwWindowOpen() { return !glfwWindowShouldClose(demoWindow); }

// The framebuffer's size as the last event said it (a resize, full screen on
// or off); asking the window every frame would cost a round trip to the
// display server.
FrameSize framebufferSize;

void onFramebufferSize(GLFWwindow*, int width, int height) { framebufferSize = FrameSize{width, height}; }

// GLFW 3 only processes events when asked, so every swap is followed by a
// poll; a framebuffer that changed size meanwhile gets its frames at the new
// size from the next one on.
void glfwPresent() {
    glfwSwapBuffers(demoWindow);
    glfwPollEvents();
    resizeFrame(framebufferSize.width, framebufferSize.height);
}

void applySwapInterval() {
    int interval = swapIntervalFor(windowState.options.swap, windowState.fullScreen);
    // Back from full screen, "none" can only mean not waiting any more.
    if (interval < 0 && windowState.intervalSet) interval = 0;
    if (interval < 0) return;
    glfwSwapInterval(interval);
    windowState.intervalSet = true;
}

void onKey(GLFWwindow*, int key, int, int action, int) {
    if (key == GLFW_KEY_F11 && action == GLFW_PRESS) toggleFullScreen();
}

}  // namespace

void openDemoWindow(const DemoOptions& options) {
    windowState.options = options;
    windowState.windowWidth = options.windowSize.width;
    windowState.windowHeight = options.windowSize.height;

    // A failed init shows up as a failed window below.
    glfwInit();

    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    // The designed window cannot be resized; a window asked for by size, or
    // one that full screen leaves, can.
    const bool designed = !options.fullScreen && !options.sizeGiven;
    glfwWindowHint(GLFW_RESIZABLE, designed ? GLFW_FALSE : GLFW_TRUE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);

    GLFWmonitor* monitor = options.fullScreen ? glfwGetPrimaryMonitor() : nullptr;
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode != nullptr) {
        // The desktop's own mode, so that the display does not switch; and
        // the picture stays up when another monitor takes the focus.
        glfwWindowHint(GLFW_REFRESH_RATE, mode->refreshRate);
        glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_FALSE);
        demoWindow = glfwCreateWindow(mode->width, mode->height, "Tarnwick!", monitor, nullptr);
        windowState.fullScreen = demoWindow != nullptr;
    } else {
        if (!designed) glfwWindowHint(GLFW_SCALE_TO_MONITOR, GLFW_TRUE);
        demoWindow = glfwCreateWindow(options.windowSize.width, options.windowSize.height, "Tarnwick!", nullptr,
                                      nullptr);
    }
    if (demoWindow == nullptr) {
        glfwTerminate();
    } else {
        glfwMakeContextCurrent(demoWindow);
        glfwSetWindowTitle(demoWindow, "Tarnwick!");
        // Keys are polled once per frame, and a frame may take a fifth of a
        // second: a key pressed and released since the last poll must still
        // read as pressed once, or a quick tap is lost.
        glfwSetInputMode(demoWindow, GLFW_STICKY_KEYS, GLFW_TRUE);
        if (windowState.fullScreen) glfwSetInputMode(demoWindow, GLFW_CURSOR, GLFW_CURSOR_HIDDEN);
        glfwSetKeyCallback(demoWindow, onKey);
        applySwapInterval();
        int width = 0, height = 0;
        glfwGetFramebufferSize(demoWindow, &width, &height);
        if (width > 0 && height > 0) frameSize = FrameSize{width, height};
        framebufferSize = frameSize;
        glfwSetFramebufferSizeCallback(demoWindow, onFramebufferSize);
    }

    glewExperimental = GL_TRUE;
    // Without a window no context is current, and glewInit reports that.
    if (glewInit() != GLEW_OK) {
        std::cout << "glewInit failed, aborting." << std::endl;
        std::exit(1);
    }

    std::cout << "Status: Using GLEW " << glewGetString(GLEW_VERSION) << std::endl;
    std::cout << "OpenGL version " << glGetString(GL_VERSION) << " supported" << std::endl;

    platform.readClock = glfwClock;
    platform.readKey = glfwKey;
    platform.windowOpen = glfwWindowOpen;
    platform.present = glfwPresent;
    startupFigures.windowOpen = processSeconds();
}

void toggleFullScreen() {
    if (demoWindow == nullptr) return;
    if (!windowState.fullScreen) {
        GLFWmonitor* monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
        if (mode == nullptr) return;
        glfwGetWindowPos(demoWindow, &windowState.windowX, &windowState.windowY);
        glfwGetWindowSize(demoWindow, &windowState.windowWidth, &windowState.windowHeight);
        windowState.windowPlaced = true;
        glfwSetWindowMonitor(demoWindow, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
        glfwSetInputMode(demoWindow, GLFW_CURSOR, GLFW_CURSOR_HIDDEN);
        windowState.fullScreen = true;
    } else {
        // A run started in full screen has no window yet: one of the asked-for
        // size, in the middle of the monitor.
        if (!windowState.windowPlaced) {
            GLFWmonitor* monitor = glfwGetPrimaryMonitor();
            const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
            if (mode != nullptr) {
                windowState.windowX = (mode->width - windowState.windowWidth) / 2;
                windowState.windowY = (mode->height - windowState.windowHeight) / 2;
            }
        }
        glfwSetWindowMonitor(demoWindow, nullptr, windowState.windowX, windowState.windowY,
                             windowState.windowWidth, windowState.windowHeight, GLFW_DONT_CARE);
        glfwSetInputMode(demoWindow, GLFW_CURSOR, GLFW_CURSOR_NORMAL);
        windowState.fullScreen = false;
    }
    applySwapInterval();
}
