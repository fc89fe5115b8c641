// The motion blur pass: each pixel blurred along its apparent motion since the
// previous frame, rebuilt from the depth and the two frames' matrices.
#pragma once

// Blurs the frame's image so far (bloomed when bloom is on) into motionBlurTexture.
void drawMotionBlurPass();
