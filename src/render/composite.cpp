#include "render/composite.h"

#include <GL/glew.h>

#include "platform/frame_size.h"
#include "platform/platform.h"
#include "platform/run_state.h"
#include "render/render_targets.h"
#include "shading/programs.h"
#include "shading/shader_bindings.h"

namespace {

// The zap's shake, one entry per frame after the zap, in pixels of the
// designed 1024-pixel width; the composite's shader scales it to the frame.
constexpr float kZapOffsets[] = {10, 20, 80, 85, 90, 15, 10, -15, -10};
constexpr int kZapFrames = sizeof kZapOffsets / sizeof kZapOffsets[0];
// One designed pixel in texture coordinates; a power of two, so exact.
constexpr float kPixel = 1.0f / static_cast<float>(kFrameWidth);

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
    // The program's sampler keeps its link-time unit, the first.
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glBindTexture(GL_TEXTURE_2D, compositeSource(runState.motionBlurEnabled, runState.bloomEnabled));
    glUniform1f(uniformLocations.offset, zapOffset(runState.zapCounter));
    drawFullScreenQuad();
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    platform.present();
}
