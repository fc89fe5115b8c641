// What only the first frames of a run show: the scene pass's bookkeeping of
// the combined matrix, and the uniforms of the very first bloom pass. It needs
// a process whose first scene and bloom passes are still to come, so it has a
// binary of its own.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/window.h"
#include "camera/camera_rig.h"
#include "import/scene.h"
#include "platform/frame_size.h"
#include "shading/programs.h"
#include "render/frame_matrices.h"
#include "render/bloom_pass.h"
#include "render/motion_blur_pass.h"
#include "render/render_targets.h"
#include "render/scene_pass.h"
#include "test_support.h"

namespace {

constexpr int kPixels = kFrameWidth * kFrameHeight;

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

// Every draw of this process passes through here first (the executable's own
// glDrawArrays wins over the GL library's), so a test can see the state that
// each draw of a pass really gets, not only what is left after the pass.
void (*onDraw)() = nullptr;

}  // namespace

extern "C" void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    using DrawArrays = void (*)(GLenum, GLint, GLsizei);
    static const DrawArrays library = reinterpret_cast<DrawArrays>(dlsym(RTLD_NEXT, "glDrawArrays"));
    if (onDraw) onDraw();
    library(mode, first, count);
}

namespace {

// The window, start-up and the paths, once for the whole file; no frame drawn.
void startOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    ASSERT_EQ(chdir(runPath("").c_str()), 0) << "no run folder at " << runPath("");
    openDemoWindow();
    useVirtualTime();
    ASSERT_TRUE(startDemo()) << "the scenes did not load";
}

// Start-up leaves the camera at the start of its path, not at the identity,
// and the first pass, having no previous frame, compares with itself: the
// first frames show the town sharp, not a smear from a camera that never was.
// From the second pass on, the previous matrix is exactly the combined matrix
// of the pass before.
TEST(FirstFrames, ThePreviousCombinedMatrixFollowsThePasses) {
    startOnce();
    ASSERT_GT(length(mainScene->centroid), 1.0f) << "a centroid at the origin would hide the first frame's case";
    EXPECT_FALSE(sameMatrix(cameraRig.viewMatrix, Mat4())) << "the first frame would be drawn through the identity";
    EXPECT_FALSE(sameMatrix(cameraRig.projMatrix, Mat4()));

    // Somewhere along the path, where the camera moves fast.
    advanceWithoutDrawing(10.0);
    ASSERT_FALSE(frameMatrices.hasPreviousFrame);

    drawScenePass();
    EXPECT_TRUE(frameMatrices.hasPreviousFrame);
    EXPECT_TRUE(sameMatrix(frameMatrices.previousModelViewProjection, frameMatrices.modelViewProjection));
    const Mat4 first = frameMatrices.modelViewProjection;
    drawMotionBlurPass();
    EXPECT_EQ(blurredPixels(8), 0) << "the first frame shows motion that never happened";

    // The same camera again: still no apparent motion at all.
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

// What one draw of the bloom pass saw.
struct BloomDraw {
    GLint program = 0, framebuffer = 0, drawBuffer = 0, unit0 = 0, unit1 = 0;
    GLint texColor = -1, texThresh = -1, threshold = -1, horizontal = -1;
    float width = -1.0f, height = -1.0f;
};
std::vector<BloomDraw> bloomDraws;

GLint boundOn(GLenum unit) {
    glActiveTexture(unit);
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

void recordBloomDraw() {
    BloomDraw d;
    glGetIntegerv(GL_CURRENT_PROGRAM, &d.program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &d.framebuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &d.drawBuffer);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    d.unit0 = boundOn(GL_TEXTURE0);
    d.unit1 = boundOn(GL_TEXTURE1);
    glActiveTexture(static_cast<GLenum>(active));
    const GLuint p = bloomProgram.name;
    const UniformLocations& u = uniformLocations;
    glGetUniformiv(p, u.bloomTexColor, &d.texColor);
    glGetUniformiv(p, u.texThresh, &d.texThresh);
    glGetUniformiv(p, u.threshold, &d.threshold);
    glGetUniformiv(p, u.horizontal, &d.horizontal);
    glGetUniformfv(p, u.width, &d.width);
    glGetUniformfv(p, u.height, &d.height);
    bloomDraws.push_back(d);
}

std::vector<BloomDraw> drawBloomRecorded() {
    bloomDraws.clear();
    onDraw = recordBloomDraw;
    drawBloomPass();
    onDraw = nullptr;
    return bloomDraws;
}

// The three draws of the bloom pass and the uniforms each one sees. The very
// first bright pass of a run draws before "width" and "height" were ever set,
// so with their link-time 0.0; from the second bloom frame on it sees the
// values the blurs left.
TEST(FirstFrames, TheFirstBloomFramesBrightPassStillHasWidthAndHeightZero) {
    startOnce();
    const RenderTargets& t = renderTargets;
    for (GLint location : {uniformLocations.width, uniformLocations.height, uniformLocations.threshold,
                           uniformLocations.horizontal, uniformLocations.texThresh, uniformLocations.bloomTexColor}) {
        ASSERT_NE(location, -1) << "a uniform the check needs is not live in the bloom shaders";
    }
    const std::vector<BloomDraw> first = drawBloomRecorded();
    ASSERT_EQ(first.size(), 3u);
    for (const BloomDraw& d : first) {
        EXPECT_EQ(d.program, static_cast<GLint>(bloomProgram.name));
        EXPECT_EQ(d.framebuffer, static_cast<GLint>(t.bloomFramebuffer));
        EXPECT_EQ(d.texThresh, 0);
    }
    struct Expected {
        GLint drawBuffer;
        GLuint unit0;
        GLint threshold, horizontal;
        float width, height;
    };
    const Expected expected[3] = {
        // Draw 1, the bright pass: the scene image through "texColor".
        {GL_COLOR_ATTACHMENT0, t.sceneColorTexture, 1, 0, 0.0f, 0.0f},
        // Draw 2, the horizontal blur of the bright image.
        {GL_COLOR_ATTACHMENT1, t.bloomThresholdTexture, 0, 1, 1024.0f, 768.0f},
        // Draw 3, the vertical blur added to the scene image on unit 1.
        {GL_COLOR_ATTACHMENT2, t.bloomHorizontalTexture, 0, 0, 1024.0f, 768.0f},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("draw " + std::to_string(i + 1));
        EXPECT_EQ(first[i].drawBuffer, expected[i].drawBuffer);
        EXPECT_EQ(first[i].unit0, static_cast<GLint>(expected[i].unit0));
        EXPECT_EQ(first[i].threshold, expected[i].threshold);
        EXPECT_EQ(first[i].horizontal, expected[i].horizontal);
        EXPECT_EQ(first[i].width, expected[i].width);
        EXPECT_EQ(first[i].height, expected[i].height);
    }
    EXPECT_EQ(first[0].texColor, 0);
    EXPECT_EQ(first[2].unit1, static_cast<GLint>(t.sceneColorTexture));
    EXPECT_EQ(first[2].texColor, 1);

    const std::vector<BloomDraw> second = drawBloomRecorded();
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].threshold, 1);
    EXPECT_EQ(second[0].texColor, 0);
    EXPECT_EQ(second[0].width, 1024.0f);
    EXPECT_EQ(second[0].height, 768.0f);
}

}  // namespace
