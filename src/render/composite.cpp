#include "render/composite.h"

#include <GL/glew.h>

#include "app/platform.h"
#include "app/timeline.h"
#include "render/render_targets.h"
#include "shading/programs.h"

namespace {

// The zap's shake, one entry per frame after the zap, in pixels of the
// 1024-pixel-wide targets.
constexpr float kZapOffsets[] = {10, 20, 80, 85, 90, 15, 10, -15, -10};
constexpr int kZapFrames = sizeof kZapOffsets / sizeof kZapOffsets[0];
constexpr float kPixel = 0.0009765625f;  // 1/1024: one pixel in texture coordinates

}  // namespace

float zapOffset(int zapCounter) {
    if (zapCounter >= 0 && zapCounter < kZapFrames) return kZapOffsets[zapCounter] * kPixel;
    return 0.0f;
}

unsigned compositeSource(bool motionBlurEnabled, bool bloomEnabled) {
    if (motionBlurEnabled) return renderTargets.motionBlurTexture;
    if (bloomEnabled) return renderTargets.bloomResultTexture;
    return renderTargets.sceneColorTexture;
}

void composeAndPresent() {
    glDrawBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindVertexArray(renderTargets.quadVertexArray);
    glUseProgram(pureQuadProgram.name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, compositeSource(runState.motionBlurEnabled, runState.bloomEnabled));
    glUniform1f(uniformLocations.offset, zapOffset(runState.zapCounter));
    drawFullScreenQuad();
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    platform.present();
}
