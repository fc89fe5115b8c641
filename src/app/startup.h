// Start-up: brings every subsystem into its ready state, once, in a fixed order.
#pragma once

// Fixed GL state, the scenes' objects, the music, the shader programs, the
// render targets, both scene files, then the camera and light rigs. Clears
// runState.running when a scene file cannot be loaded; only an unreadable
// shader file ends the process here (exit code 1).
void startUp();
