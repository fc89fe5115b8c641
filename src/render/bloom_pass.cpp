#include "render/bloom_pass.h"

#include <GL/glew.h>

#include "platform/frame_size.h"
#include "render/render_targets.h"
#include "shading/programs.h"
#include "shading/shader_bindings.h"

void drawBloomPass() {
    const UniformLocations& u = uniformLocations;
    const RenderTargets& t = renderTargets;
    const float targetWidth = static_cast<float>(frameSize.width);
    const float targetHeight = static_cast<float>(frameSize.height);
    glUseProgram(bloomProgram.name);
    glBindVertexArray(t.quadVertexArray);

    // Draw 1, bright pass: the scene image through "texColor".
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glBindTexture(GL_TEXTURE_2D, t.sceneColorTexture);
    glUniform1i(u.bloomTexColor, kFirstTextureUnit);
    glUniform1i(u.threshold, 1);
    glBindFramebuffer(GL_FRAMEBUFFER, t.bloomFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullScreenQuad();

    // Draw 2, horizontal blur of the bright image; its mips make the glow wide.
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glBindTexture(GL_TEXTURE_2D, t.bloomThresholdTexture);
    glGenerateMipmap(GL_TEXTURE_2D);
    glUniform1i(u.texThresh, kFirstTextureUnit);
    glUniform1i(u.threshold, 0);
    glUniform1i(u.horizontal, 1);
    glUniform1f(u.width, targetWidth);
    glUniform1f(u.height, targetHeight);
    glDrawBuffer(GL_COLOR_ATTACHMENT1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullScreenQuad();

    // Draw 3, vertical blur, added to the scene image: a complete frame.
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glBindTexture(GL_TEXTURE_2D, t.bloomHorizontalTexture);
    glGenerateMipmap(GL_TEXTURE_2D);
    glUniform1i(u.texThresh, kFirstTextureUnit);
    glActiveTexture(GL_TEXTURE0 + kSecondTextureUnit);
    glBindTexture(GL_TEXTURE_2D, t.sceneColorTexture);
    glUniform1i(u.bloomTexColor, kSecondTextureUnit);
    glUniform1i(u.threshold, 0);
    glUniform1i(u.horizontal, 0);
    glUniform1f(u.width, targetWidth);
    glUniform1f(u.height, targetHeight);
    glDrawBuffer(GL_COLOR_ATTACHMENT2);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullScreenQuad();

    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
