#include "app/frame_loop.h"

#include <iostream>

#include "app/platform.h"
#include "app/startup.h"
#include "app/timeline.h"
#include "audio/music_player.h"
#include "camera/camera_rig.h"
#include "camera/path_data.h"
#include "render/bloom_pass.h"
#include "render/composite.h"
#include "render/motion_blur_pass.h"
#include "render/scene_pass.h"

bool startDemo() {
    startUp();
    buildCameraPath();
    buildLightPath();
    startTimeline(runState, platform.readClock());
    playMusic();
    return runState.running;
}

bool runFrame() {
    if (!advanceTimeline(runState, platform.readClock())) return false;

    drawScenePass();
    if (runState.bloomEnabled) drawBloomPass();
    if (runState.motionBlurEnabled) drawMotionBlurPass();
    composeAndPresent();

    // The rigs move after the present: their results are drawn next frame.
    cameraRig.update();
    lightRig.update();

    KeyStates keys;
    keys.escape = platform.readKey(kKeyEscape);
    keys.windowOpen = platform.windowOpen();
    keys.m = platform.readKey(kKeyM);
    keys.b = platform.readKey(kKeyB);
    keys.z = platform.readKey(kKeyZ);
    handleKeys(runState, keys, std::cout);
    return runState.running;
}
