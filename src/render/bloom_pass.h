// The bloom pass: a glow around the bright parts of the frame.
#pragma once

// Three full-screen draws into the bloom targets: a bright pass, a horizontal
// blur, and a vertical blur added to the scene image. bloomResultTexture then
// holds the complete frame, standing in for sceneColorTexture.
void drawBloomPass();
