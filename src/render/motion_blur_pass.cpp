#include "render/motion_blur_pass.h"

#include <GL/glew.h>

#include "platform/run_state.h"
#include "render/frame_matrices.h"
#include "render/render_targets.h"
#include "shading/programs.h"
#include "shading/shader_bindings.h"

void drawMotionBlurPass() {
    const UniformLocations& u = uniformLocations;
    const RenderTargets& t = renderTargets;
    glUseProgram(motionBlurProgram.name);
    glBindVertexArray(t.quadVertexArray);

    // The frame's image so far: bloomed when the bloom pass ran this frame.
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glBindTexture(GL_TEXTURE_2D, runState.bloomEnabled ? t.bloomResultTexture : t.sceneColorTexture);
    glUniform1i(u.motionBlurTexColor, kFirstTextureUnit);
    glActiveTexture(GL_TEXTURE0 + kSecondTextureUnit);
    glBindTexture(GL_TEXTURE_2D, t.sceneDepthTexture);
    glUniform1i(u.texDepth, kSecondTextureUnit);
    glUniformMatrix4fv(u.ivpMatrix, 1, GL_FALSE, frameMatrices.inverseModelViewProjection.m);
    glUniformMatrix4fv(u.prevVpMatrix, 1, GL_FALSE, frameMatrices.previousModelViewProjection.m);

    glBindFramebuffer(GL_FRAMEBUFFER, t.motionBlurFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullScreenQuad();

    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
