#include "render/render_targets.h"

#include <GL/glew.h>

#include <iostream>

#include "platform/frame_size.h"
#include "shading/shader_bindings.h"

RenderTargets renderTargets;

namespace {

// Counter-clockwise in NDC, so the quad is front-facing under GL_CCW.
const float kQuadCorners[8] = {
    -1.0f, -1.0f,
    1.0f, -1.0f,
    1.0f, 1.0f,
    -1.0f, 1.0f,
};

// Storage at the frame's size for the colour or depth target bound on the active unit.
void storeColorTexture() {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frameSize.width, frameSize.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
}

void storeDepthTexture() {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, frameSize.width, frameSize.height, 0,
                 GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
}

// Filters and storage for one colour target; it stays bound for the caller.
void allocateColorTexture(GLuint texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    storeColorTexture();
}

void attach(GLenum attachment, GLuint texture) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texture, 0);
}

}  // namespace

void createRenderTargets() {
    RenderTargets& t = renderTargets;

    glGenVertexArrays(1, &t.quadVertexArray);
    glBindVertexArray(t.quadVertexArray);
    glGenBuffers(1, &t.quadVertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, t.quadVertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuadCorners), kQuadCorners, GL_STATIC_DRAW);
    glVertexAttribPointer(kPositionAttribute, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(kPositionAttribute);
    glBindVertexArray(0);

    glGenFramebuffers(1, &t.sceneFramebuffer);
    glGenFramebuffers(1, &t.bloomFramebuffer);
    glGenFramebuffers(1, &t.motionBlurFramebuffer);

    glGenTextures(1, &t.sceneColorTexture);
    allocateColorTexture(t.sceneColorTexture);
    glBindTexture(GL_TEXTURE_2D, 0);

    glGenTextures(1, &t.motionBlurTexture);
    allocateColorTexture(t.motionBlurTexture);
    glBindTexture(GL_TEXTURE_2D, 0);

    GLuint bloomTextures[3] = {0, 0, 0};
    glGenTextures(3, bloomTextures);
    t.bloomThresholdTexture = bloomTextures[0];
    t.bloomHorizontalTexture = bloomTextures[1];
    t.bloomResultTexture = bloomTextures[2];
    for (GLuint texture : bloomTextures) allocateColorTexture(texture);
    glBindTexture(GL_TEXTURE_2D, 0);

    // The depth target sets its filters magnification first.
    glGenTextures(1, &t.sceneDepthTexture);
    glBindTexture(GL_TEXTURE_2D, t.sceneDepthTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    storeDepthTexture();
    glBindTexture(GL_TEXTURE_2D, 0);

    glBindFramebuffer(GL_FRAMEBUFFER, t.sceneFramebuffer);
    attach(GL_COLOR_ATTACHMENT0, t.sceneColorTexture);
    attach(GL_DEPTH_ATTACHMENT, t.sceneDepthTexture);
    GLenum sceneStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    glBindFramebuffer(GL_FRAMEBUFFER, t.bloomFramebuffer);
    attach(GL_COLOR_ATTACHMENT0, t.bloomThresholdTexture);
    attach(GL_COLOR_ATTACHMENT1, t.bloomHorizontalTexture);
    attach(GL_COLOR_ATTACHMENT2, t.bloomResultTexture);
    GLenum bloomStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    glBindFramebuffer(GL_FRAMEBUFFER, t.motionBlurFramebuffer);
    attach(GL_COLOR_ATTACHMENT0, t.motionBlurTexture);
    GLenum motionBlurStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    // One message however many are incomplete; rendering goes on regardless.
    if (sceneStatus != GL_FRAMEBUFFER_COMPLETE || bloomStatus != GL_FRAMEBUFFER_COMPLETE ||
        motionBlurStatus != GL_FRAMEBUFFER_COMPLETE) {
        std::cout << "Couldn't create frame buffer" << std::endl;
    }

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void resizeRenderTargets() {
    const RenderTargets& t = renderTargets;
    // New storage for the same names: the framebuffers keep their
    // attachments, and the bloom's extra levels are made anew each frame.
    for (GLuint texture : {t.sceneColorTexture, t.motionBlurTexture, t.bloomThresholdTexture,
                           t.bloomHorizontalTexture, t.bloomResultTexture}) {
        glBindTexture(GL_TEXTURE_2D, texture);
        storeColorTexture();
    }
    glBindTexture(GL_TEXTURE_2D, t.sceneDepthTexture);
    storeDepthTexture();
    glBindTexture(GL_TEXTURE_2D, 0);
}

void drawFullScreenQuad() { glDrawArrays(GL_TRIANGLE_FAN, 0, 4); }
