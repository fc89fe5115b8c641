#include "app/frame_loop.h"

#include <GL/glew.h>

#include <algorithm>
#include <iostream>

#include "app/startup.h"
#include "app/timeline.h"
#include "audio/music_player.h"
#include "camera/camera_rig.h"
#include "camera/path_data.h"
#include "platform/frame_size.h"
#include "platform/platform.h"
#include "platform/run_state.h"
#include "render/bloom_pass.h"
#include "render/composite.h"
#include "render/frame_matrices.h"
#include "render/motion_blur_pass.h"
#include "render/render_targets.h"
#include "render/scene_pass.h"

double virtualSeconds = 0.0;

namespace {

// The step of advanceWithoutDrawing: short enough that no path segment is
// skipped, as a path moves on by at most one segment per frame.
constexpr double kSkipStep = 0.005;

double virtualClock() { return virtualSeconds; }
int noKey(int) { return 0; }
bool windowStaysOpen() { return true; }

}  // namespace

bool startDemo() {
    startUp();
    buildCameraPath();
    buildLightPath();
    placeRigsAtStart();
    startTimeline(runState, platform.readClock());
    playMusic();
    return runState.running;
}

bool runFrame() {
    if (!advanceTimeline(runState, platform.readClock())) return false;

    drawFrame();

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

void placeRigsAtStart() {
    // The frame loop moves the rigs only after a frame is presented, so
    // without this the first frame would be drawn through identity matrices.
    cameraRig.update();
    lightRig.update();
}

void drawFrame() {
    drawScenePass();
    if (runState.bloomEnabled) drawBloomPass();
    if (runState.motionBlurEnabled) drawMotionBlurPass();
    composeAndPresent();
}

void resizeFrame(int width, int height) {
    if (width <= 0 || height <= 0) return;
    if (width == frameSize.width && height == frameSize.height) return;
    frameSize = FrameSize{width, height};
    resizeRenderTargets();
    glViewport(0, 0, width, height);
    cameraRig.resize(width, height);
    reprojectLastFrame(frameMatrices, cameraRig.projMatrix);
}

void useVirtualTime() {
    platform.readClock = virtualClock;
    platform.readKey = noKey;
    platform.windowOpen = windowStaysOpen;
}

void advanceWithoutDrawing(double seconds) {
    while (virtualSeconds < seconds) {
        virtualSeconds = std::min(virtualSeconds + kSkipStep, seconds);
        advanceTimeline(runState, virtualSeconds);
        cameraRig.update();
        lightRig.update();
        handleKeys(runState, KeyStates{}, std::cout);
    }
}
