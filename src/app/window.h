// The demo's window and OpenGL context, opened with GLFW 3.
#pragma once

struct GLFWwindow;

// The one window; null when it could not be opened.
extern GLFWwindow* demoWindow;

// Opens the window titled "Tarnwick!" at the frame size (platform/frame_size.h)
// with a 3.2 core context, initialises GLEW and prints the GLEW and OpenGL
// versions, and points the platform seam at GLFW. When there is no context GLEW cannot start: prints
// "glewInit failed, aborting." and ends the process with exit code 1.
void openDemoWindow();
