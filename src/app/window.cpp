#include "app/window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdlib>
#include <iostream>

#include "platform/frame_size.h"
#include "platform/platform.h"

GLFWwindow* demoWindow = nullptr;

namespace {

double glfwClock() { return glfwGetTime(); }
int glfwKey(int key) { return glfwGetKey(demoWindow, key); }
bool glfwWindowOpen() { return !glfwWindowShouldClose(demoWindow); }

// GLFW 3 only processes events when asked, so every swap is followed by a poll.
void glfwPresent() {
    glfwSwapBuffers(demoWindow);
    glfwPollEvents();
}

}  // namespace

void openDemoWindow() {
    // A failed init shows up as a failed window below.
    glfwInit();

    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);

    demoWindow = glfwCreateWindow(kFrameWidth, kFrameHeight, "Tarnwick!", nullptr, nullptr);
    if (demoWindow == nullptr) {
        glfwTerminate();
    } else {
        glfwMakeContextCurrent(demoWindow);
        glfwSetWindowTitle(demoWindow, "Tarnwick!");
        // Keys are polled once per frame, and a frame may take a fifth of a
        // second: a key pressed and released since the last poll must still
        // read as pressed once, or a quick tap is lost.
        glfwSetInputMode(demoWindow, GLFW_STICKY_KEYS, GLFW_TRUE);
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
}
