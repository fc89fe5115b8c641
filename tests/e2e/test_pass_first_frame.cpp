// The scene pass's bookkeeping of the combined matrix over the first frames of
// a run. It needs a process whose first scene pass is still to come, so it has
// a binary of its own.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "app/frame_loop.h"
#include "app/platform.h"
#include "app/startup.h"
#include "app/timeline.h"
#include "app/window.h"
#include "camera/camera_rig.h"
#include "import/scene.h"
#include "render/frame_matrices.h"
#include "render/motion_blur_pass.h"
#include "render/render_targets.h"
#include "render/scene_pass.h"
#include "test_support.h"

namespace {

constexpr int kPixels = 1024 * 768;

double virtualNow = 0.0;
double virtualClock() { return virtualNow; }
int noKey(int) { return 0; }
bool windowStaysOpen() { return true; }

// What a run's frames do besides drawing, in small steps of virtual time.
void advanceWithoutDrawing(double seconds) {
    while (virtualNow < seconds) {
        virtualNow = std::min(virtualNow + 0.005, seconds);
        advanceTimeline(runState, virtualNow);
        cameraRig.update();
        lightRig.update();
        handleKeys(runState, KeyStates{}, std::cout);
    }
}

bool sameMatrix(const Mat4& a, const Mat4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

std::vector<uint8_t> readTexture(unsigned texture) {
    std::vector<uint8_t> rgba(kPixels * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return rgba;
}

// Pixels whose colour the motion blur moved by more than `tolerance`.
int blurredPixels(int tolerance) {
    std::vector<uint8_t> input = readTexture(renderTargets.sceneColorTexture);
    std::vector<uint8_t> output = readTexture(renderTargets.motionBlurTexture);
    int count = 0;
    for (int p = 0; p < kPixels; ++p) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) {
            worst = std::max(worst, std::abs(int(input[p * 4 + c]) - int(output[p * 4 + c])));
        }
        count += worst > tolerance ? 1 : 0;
    }
    return count;
}

// The first pass has no previous frame and compares with projection × view,
// without the model's move of the centroid to the origin, so the very first
// blurred frame shows that move as motion. From the second pass on, the
// previous matrix is exactly the combined matrix of the pass before.
TEST(FirstFrames, ThePreviousCombinedMatrixFollowsThePasses) {
    ASSERT_EQ(chdir(runPath("").c_str()), 0) << "no run folder at " << runPath("");
    openDemoWindow();
    platform.readClock = virtualClock;
    platform.readKey = noKey;
    platform.windowOpen = windowStaysOpen;
    ASSERT_TRUE(startDemo()) << "the scenes did not load";
    ASSERT_GT(length(mainScene->centroid), 1.0f) << "a centroid at the origin would hide the first frame's case";

    // Somewhere along the path, so neither matrix is the identity.
    advanceWithoutDrawing(10.0);
    ASSERT_FALSE(frameMatrices.hasPreviousFrame);

    drawScenePass();
    EXPECT_TRUE(frameMatrices.hasPreviousFrame);
    EXPECT_TRUE(sameMatrix(frameMatrices.previousModelViewProjection,
                           multiply(cameraRig.projMatrix, cameraRig.viewMatrix)));
    EXPECT_FALSE(sameMatrix(frameMatrices.previousModelViewProjection, frameMatrices.modelViewProjection));
    const Mat4 first = frameMatrices.modelViewProjection;
    drawMotionBlurPass();
    int blurredFirst = blurredPixels(8);
    EXPECT_GT(blurredFirst, kPixels / 100) << "the first frame shows no motion";

    // The same camera again: now no apparent motion at all.
    drawScenePass();
    EXPECT_TRUE(sameMatrix(frameMatrices.previousModelViewProjection, first));
    EXPECT_TRUE(sameMatrix(frameMatrices.modelViewProjection, first));
    const Mat4 second = frameMatrices.modelViewProjection;
    drawMotionBlurPass();
    EXPECT_EQ(blurredPixels(8), 0);

    // The camera moves on: the pass keeps what it had.
    advanceWithoutDrawing(10.5);
    drawScenePass();
    EXPECT_TRUE(sameMatrix(frameMatrices.previousModelViewProjection, second));
    EXPECT_FALSE(sameMatrix(frameMatrices.modelViewProjection, second));
}

}  // namespace
