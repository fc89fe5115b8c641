// The OpenGL context a capture renders in, and reading its finished frames back.
//
// egl: EGL with a pbuffer of the frame's size as the default framebuffer, no
// X server needed. The demo's composite draws to GL_BACK of framebuffer 0, so
// a surface is needed (a context without one has no framebuffer 0 to draw
// to); an EGL pbuffer always renders to its back buffer, so GL_BACK is valid
// and readable. The context comes from an EGL device: the first hardware
// device (a GPU) when there is one, else Mesa's software device, else Mesa's
// surfaceless platform; --device picks one by its number in --list-devices.
//
// glfw: the demo's own window, opened by openDemoWindow exactly as the demo
// opens it; it needs a display. It is the reference the EGL frames are
// compared with, and the way out on a machine whose EGL cannot start.
//
// Either way GLEW is initialised and the "Status: Using GLEW" and "OpenGL
// version" lines are printed as the demo prints them, and then a "Capture
// context:" line that names the renderer.
#pragma once

#include <string>
#include <vector>

#include "capture_plan.h"
#include "frame_image.h"

// The EGL devices this machine offers, in EGL's order: empty when EGL cannot
// enumerate them.
struct EglDeviceInfo {
    bool software = false;  // Mesa's CPU rasteriser rather than a GPU
    std::string node;       // the DRM render node or card, when it has one
};
std::vector<EglDeviceInfo> listEglDevices();

// One line per device for --list-devices: its number, kind, node and the
// renderer a context on it reports.
std::string describeEglDevices();

// Makes a context of the given kind current; for egl, on device `device`
// (-1: the first hardware device, then the software one, then the
// surfaceless platform). On failure prints why and returns false; nothing is
// left current.
bool openCaptureContext(ContextKind kind, int device = -1);

// The present of the context: nothing for a pbuffer (nobody looks at it),
// the demo's own swap and event poll for the window. Valid once opened.
void presentCaptureContext();

// Reads the back buffer of framebuffer 0 (which the composite has just
// drawn) as top-down RGB, waiting for it.
FrameImage readBackFrame();

// Reading frames back without waiting: startFrameRead copies the back buffer
// into one of two pixel-pack buffers and returns at once; finishFrameRead
// hands over the oldest copy still pending, waiting for it only if the GPU
// has not finished it yet. With two buffers in turn a frame's copy is taken
// while the next frame renders. At most two reads are pending: finish one
// before starting a third. finishFrameRead is false when nothing is pending.
void startFrameRead();
bool finishFrameRead(FrameImage& image);
