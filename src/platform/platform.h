// The one seam between the demo and the outside world's clock, keyboard and window.
//
// This folder sits below everything that draws or moves: the paths read the
// clock here, the composite presents here, and the passes read the run's flags
// (run_state.h) and the frame's size (frame_size.h) here, so none of them
// needs the application above them.
//
// The demo fills the seam with GLFW (openDemoWindow, app/window.h); tests, the
// benchmark and the capture tool put a virtual clock and scripted keys in its
// place (useVirtualTime, app/frame_loop.h) and drive the very same frame loop.
// Everything that reads time or keys goes through `platform`.
#pragma once

struct Platform {
    double (*readClock)() = nullptr;   // seconds, like glfwGetTime
    int (*readKey)(int key) = nullptr; // GLFW key code in, GLFW_PRESS (1) or 0 out
    bool (*windowOpen)() = nullptr;    // false once the window was closed
    void (*present)() = nullptr;       // swap buffers, then process window events
};

extern Platform platform;

// GLFW 3 key codes and the pressed state, so GL-free code needs no GLFW header.
constexpr int kKeyEscape = 256;
constexpr int kKeyB = 66;
constexpr int kKeyM = 77;
constexpr int kKeyZ = 90;
constexpr int kKeyPressed = 1;
