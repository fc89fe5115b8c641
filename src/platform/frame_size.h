// The size every frame is drawn at, in pixels.
//
// The designed window is 1024 × 768, and with no options that is the size of
// everything: the window, every off-screen target, the camera's aspect ratio
// and the pixel steps of the full-screen passes. Full screen, `--size` and a
// resized window draw at other sizes; the capture tool renders at any size up
// to 3840 × 2160.
//
// frameSize is the one place the current size lives: the window sets it
// before start-up and on every change of its framebuffer's size (resizeFrame,
// app/frame_loop.h), and the targets, the viewport, the camera rig and the
// capture's read-back all ask it.
#pragma once

#include <string>

// The designed size.
constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 768;

// The picture is composed for 4:3 at 768 rows: kFrameWidth × kFrameHeight.
// At any other size that 4:3 picture is the centre of what is shown (wider
// frames show more at the sides, narrower ones more above and below), and
// whatever a shader measures in pixels (a glow's width, a streak's length,
// the zap's shake) is measured in pixels of that designed picture, scaled by
// designScale: how many of the frame's pixels one designed pixel spans.
struct FrameSize {
    int width = kFrameWidth;
    int height = kFrameHeight;
};

extern FrameSize frameSize;

// The frame's pixels per pixel of the designed 4:3 picture at its centre:
// the height over 768 for 4:3 and wider, the width over 1024 for narrower.
// Exactly 1 at the designed size. The shaders work it out the same way from
// their targets' size.
double designScale(int width, int height);

// Sides a frame may have: large enough for the bloom's coarsest texel, and
// within what every OpenGL 3.2 driver can make a texture of.
constexpr int kMinFrameSide = 16;
constexpr int kMaxFrameSide = 8192;

// "WxH", such as "1920x1080": each side a whole number from kMinFrameSide
// up to the given largest width and height. On failure returns false and
// leaves a one-line reason in error.
bool parseFrameSize(const std::string& text, int maxWidth, int maxHeight, FrameSize& size, std::string& error);
