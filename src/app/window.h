// The demo's window and OpenGL context, opened with GLFW 3.
#pragma once

#include "app/demo_options.h"

struct GLFWwindow;

// The one window; null when it could not be opened.
extern GLFWwindow* demoWindow;

// Opens the window titled "Tarnwick!" with a 3.2 core context, initialises
// GLEW and prints the GLEW and OpenGL versions, and points the platform seam
// at GLFW. With no options: the designed 1024 × 768 window that cannot be
// resized. Full screen takes the primary monitor at the desktop's current
// mode (no mode switch) and hides the cursor; --size opens a window of that
// size that can be resized. frameSize (platform/frame_size.h) is set to the
// framebuffer's size in pixels, which a high-density display makes larger
// than the window's, and follows it from then on: after each swap a changed
// framebuffer size is handed to resizeFrame. F11 toggles full screen.
// When there is no context GLEW cannot start: prints "glewInit failed,
// aborting." and ends the process with exit code 1.
void openDemoWindow(const DemoOptions& options = DemoOptions{});

// Full screen on the primary monitor, or back to the window it came from.
void toggleFullScreen();
