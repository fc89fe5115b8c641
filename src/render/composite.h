// The final composite: the finished image to the window, with the zap's shake.
#pragma once

// The shake of the zap for a frame zapCounter frames after it, in texture
// coordinates: nine entries, then 0.
float zapOffset(int zapCounter);

// Which target holds the finished image under the two effect flags.
unsigned compositeSource(bool motionBlurEnabled, bool bloomEnabled);

// Draws the finished image into the back buffer and presents it (the swap
// also processes the window's events).
void composeAndPresent();
