// Start-up: brings every subsystem into its ready state, once, in a fixed order.
#pragma once

// What start-up can begin before the window exists, first thing in the
// process: the import guard's trial reads of both scene files, which then
// run beside the window, the sound and the shaders.
void startTrialImports();

// Fixed GL state, the scenes' objects, the music, the shader programs, the
// render targets, both scene files, then the camera and light rigs. Clears
// runState.running when a scene file cannot be loaded; only an unreadable
// shader file ends the process here (exit code 1).
void startUp();
