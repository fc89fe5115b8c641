// The state of the one run: the loop's flag, the effect flags, the counters of
// the keys and the zap, and the demo's time.
//
// Written by the frame loop (app/timeline.h applies the events and the keys),
// read by the passes: the scene pass hides the last hiddenMeshCount meshes,
// the motion blur and the composite follow the two effect flags, and the
// composite turns a small zapCounter into the shake.
#pragma once

struct RunState {
    bool running = true;
    bool motionBlurEnabled = true;
    bool bloomEnabled = false;
    int zapCounter = 31;           // frames since the last zap; starts ready
    int motionBlurKeyCounter = 0;  // frames since M last toggled
    int bloomKeyCounter = 0;       // frames since B last toggled
    int hiddenMeshCount = 5;       // meshes at the end of the main scene left undrawn
    double timelineTicks = 0.0;
    double lastFrameTime = 0.0;    // clock reading of the previous frame, seconds
};

extern RunState runState;
