// The OpenGL context a capture renders in, and reading its finished frame back.
//
// egl: Mesa's surfaceless EGL platform, which needs neither an X server nor a
// GPU, with a pbuffer of the frame's size as the default framebuffer. The demo's
// composite draws to GL_BACK of framebuffer 0, so a surface is needed (a
// context without one has no framebuffer 0 to draw to); an EGL pbuffer always
// renders to its back buffer, so GL_BACK is valid and readable.
//
// glfw: the demo's own window, opened by openDemoWindow exactly as the demo
// opens it; it needs a display. It is the reference the EGL frames are
// compared with, and the way out on a machine whose EGL cannot start.
//
// Either way GLEW is initialised and the "Status: Using GLEW" and "OpenGL
// version" lines are printed as the demo prints them.
#pragma once

#include "capture_plan.h"
#include "frame_image.h"

// Makes a context of the given kind current. On failure prints why and
// returns false; nothing is left current.
bool openCaptureContext(ContextKind kind);

// The present of the context: nothing for a pbuffer (nobody looks at it),
// the demo's own swap and event poll for the window. Valid once opened.
void presentCaptureContext();

// Reads the back buffer of framebuffer 0 (which the composite has just
// drawn) as top-down RGB.
FrameImage readBackFrame();
