// The scene pass: the main scene, lit by the moving light, into the scene
// target, whose colour and depth the later passes read.
#pragma once

// Builds this frame's matrices (kept in frameMatrices for the motion blur),
// then draws every mesh of the main scene but the last hiddenMeshCount with
// its material, maps and the light rig's position. Ends with frame buffer 0.
void drawScenePass();
