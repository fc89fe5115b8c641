// The off-screen targets and the full-screen quad, on a real 3.2 core context.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <iostream>
#include <sstream>
#include <vector>

#include "platform/frame_size.h"
#include "render/render_targets.h"
#include "test_support.h"

namespace {

bool haveContext = false;
std::string creationOutput;

// GL state right after createRenderTargets, before any test binds anything.
struct Bindings {
    GLint framebuffer = -1, vertexArray = -1, texture = -1, arrayBuffer = -1, unit = -1;
};
Bindings afterCreation;

// One hidden window for the whole file; the targets are made once, as in the demo.
class RenderTargetsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        haveContext = openHiddenContext(kFrameWidth, kFrameHeight);
        ASSERT_TRUE(haveContext) << "no window: run under xvfb-run";

        ConsoleCapture out;
        createRenderTargets();
        creationOutput = out.text();

        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &afterCreation.framebuffer);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &afterCreation.vertexArray);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &afterCreation.texture);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &afterCreation.arrayBuffer);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &afterCreation.unit);
    }
    void SetUp() override { ASSERT_TRUE(haveContext); }
};

GLint textureParameter(GLuint texture, GLenum parameter) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

GLint attachedTexture(GLuint framebuffer, GLenum attachment) {
    GLint name = -1;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    return name;
}

TEST_F(RenderTargetsTest, CreationIsSilentAndLeavesTheDefaultBindings) {
    EXPECT_EQ(creationOutput, "");
    EXPECT_EQ(afterCreation.framebuffer, 0);
    EXPECT_EQ(afterCreation.vertexArray, 0);
    EXPECT_EQ(afterCreation.texture, 0);
    EXPECT_EQ(afterCreation.unit, GL_TEXTURE0);
    EXPECT_NE(afterCreation.arrayBuffer, 0);
    EXPECT_EQ(afterCreation.arrayBuffer, static_cast<GLint>(renderTargets.quadVertexBuffer));
}

TEST_F(RenderTargetsTest, TexturesHaveTheFixedSizesFormatsAndFilters) {
    const RenderTargets& t = renderTargets;
    std::vector<GLuint> colors = {t.sceneColorTexture, t.motionBlurTexture, t.bloomThresholdTexture,
                                  t.bloomHorizontalTexture, t.bloomResultTexture};
    std::vector<GLuint> all = colors;
    all.push_back(t.sceneDepthTexture);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_NE(all[i], 0u);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(all[i], all[j]) << "two targets share one texture";
        EXPECT_EQ(textureLevelParameter(all[i], 0, GL_TEXTURE_WIDTH), 1024);
        EXPECT_EQ(textureLevelParameter(all[i], 0, GL_TEXTURE_HEIGHT), 768);
        EXPECT_EQ(textureParameter(all[i], GL_TEXTURE_MIN_FILTER), GL_LINEAR);
        EXPECT_EQ(textureParameter(all[i], GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        // The zap shake counts on wrapping at the edges.
        EXPECT_EQ(textureParameter(all[i], GL_TEXTURE_WRAP_S), GL_REPEAT);
        EXPECT_EQ(textureParameter(all[i], GL_TEXTURE_WRAP_T), GL_REPEAT);
    }
    for (GLuint color : colors) {
        EXPECT_EQ(textureLevelParameter(color, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
        EXPECT_EQ(textureLevelParameter(color, 0, GL_TEXTURE_RED_SIZE), 8);
        EXPECT_EQ(textureLevelParameter(color, 0, GL_TEXTURE_ALPHA_SIZE), 8);
    }
    EXPECT_GT(textureLevelParameter(t.sceneDepthTexture, 0, GL_TEXTURE_DEPTH_SIZE), 0);
    EXPECT_EQ(textureLevelParameter(t.sceneDepthTexture, 0, GL_TEXTURE_RED_SIZE), 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(RenderTargetsTest, FramebuffersHoldTheirAttachmentsAndAreComplete) {
    const RenderTargets& t = renderTargets;
    EXPECT_EQ(attachedTexture(t.sceneFramebuffer, GL_COLOR_ATTACHMENT0), static_cast<GLint>(t.sceneColorTexture));
    EXPECT_EQ(attachedTexture(t.sceneFramebuffer, GL_DEPTH_ATTACHMENT), static_cast<GLint>(t.sceneDepthTexture));
    EXPECT_EQ(attachedTexture(t.bloomFramebuffer, GL_COLOR_ATTACHMENT0), static_cast<GLint>(t.bloomThresholdTexture));
    EXPECT_EQ(attachedTexture(t.bloomFramebuffer, GL_COLOR_ATTACHMENT1), static_cast<GLint>(t.bloomHorizontalTexture));
    EXPECT_EQ(attachedTexture(t.bloomFramebuffer, GL_COLOR_ATTACHMENT2), static_cast<GLint>(t.bloomResultTexture));
    EXPECT_EQ(attachedTexture(t.bloomFramebuffer, GL_DEPTH_ATTACHMENT), 0);
    EXPECT_EQ(attachedTexture(t.motionBlurFramebuffer, GL_COLOR_ATTACHMENT0), static_cast<GLint>(t.motionBlurTexture));
    EXPECT_EQ(attachedTexture(t.motionBlurFramebuffer, GL_DEPTH_ATTACHMENT), 0);
    for (GLuint framebuffer : {t.sceneFramebuffer, t.bloomFramebuffer, t.motionBlurFramebuffer}) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// glCheckFramebufferStatus as the driver answers it, except that the call
// numbered `incompleteCall` (0, 1, 2: scene, bloom, motion blur; 3: all of
// them) reports a missing attachment.
int statusCalls = 0;
int incompleteCall = -1;
PFNGLCHECKFRAMEBUFFERSTATUSPROC driverStatus = nullptr;
GLenum GLAPIENTRY statusWithOneIncomplete(GLenum target) {
    const GLenum status = driverStatus(target);
    const int call = statusCalls++;
    return call == incompleteCall || incompleteCall == 3 ? GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT : status;
}

// Whichever frame buffers are incomplete, one message, flushed; the targets
// are made all the same. (A fresh set each time; the file's own is restored.)
TEST_F(RenderTargetsTest, AnIncompleteFrameBufferIsReportedOnceWhicheverItIs) {
    const RenderTargets kept = renderTargets;
    driverStatus = glCheckFramebufferStatus;
    glCheckFramebufferStatus = statusWithOneIncomplete;
    for (int incomplete : {0, 1, 2, 3}) {
        SCOPED_TRACE("incomplete: " + std::to_string(incomplete));
        statusCalls = 0;
        incompleteCall = incomplete;
        ConsoleCapture out;
        createRenderTargets();
        EXPECT_EQ(statusCalls, 3);
        EXPECT_EQ(out.text(), "Couldn't create frame buffer\n");
        EXPECT_EQ(out.buffer.unflushedLines(), std::vector<std::string>{});
        EXPECT_NE(renderTargets.motionBlurTexture, kept.motionBlurTexture);
        GLint bound = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(bound, 0);
    }
    glCheckFramebufferStatus = driverStatus;
    renderTargets = kept;
}

// The quad under the demo's fixed state (depth test and back-face culling on,
// far depth cleared) must reach every pixel of a target.
TEST_F(RenderTargetsTest, TheQuadCoversTheWholeTargetWithCullingOn) {
    const char* vertexSource =
        "#version 150 core\nin vec2 position;\nvoid main() { gl_Position = vec4(position, 0.0, 1.0); }\n";
    const char* fragmentSource = "#version 150 core\nout vec4 color;\nvoid main() { color = vec4(1.0); }\n";
    GLuint program = glCreateProgram();
    for (auto [type, source] : {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, vertexSource},
                                {GL_FRAGMENT_SHADER, fragmentSource}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
    }
    glBindAttribLocation(program, 0, "position");
    glLinkProgram(program);

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glViewport(0, 0, kFrameWidth, kFrameHeight);
    glClearColor(0, 0, 0, 0);
    glUseProgram(program);
    glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.sceneFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindVertexArray(renderTargets.quadVertexArray);
    drawFullScreenQuad();
    glBindVertexArray(0);

    std::vector<unsigned char> pixels(kFrameWidth * kFrameHeight * 4);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    int uncovered = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) uncovered += pixels[i] != 255;
    EXPECT_EQ(uncovered, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glUseProgram(0);
}

}  // namespace
