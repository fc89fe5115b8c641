// The size of every frame, in pixels.
//
// The window cannot be resized, so one size serves the window, every
// off-screen target, the camera's aspect ratio and the pixel steps of the
// full-screen passes; the capture tool's pbuffer and frames have it too.
#pragma once

constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 768;
