// Building the four programs again while a run goes on (the viewer's live
// shaders): a good set replaces the old one with fresh uniform locations, and
// a stage that does not compile or a program that does not link leaves every
// program and location as it was, still drawing the old picture.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "render/render_targets.h"
#include "shading/program_rebuild.h"
#include "shading/programs.h"
#include "test_support.h"

namespace {

// The programs read their files by relative path: every build runs in dir.
class ProgramRebuildTest : public ::testing::Test {
protected:
    std::string dir = makeScratchDir("rebuild");
    char previous[4096] = {};

    static void SetUpTestSuite() {
        ASSERT_TRUE(openHiddenContext(1024, 768)) << "no GL 3.2 window: run under xvfb-run";
        captureConsole(createRenderTargets);
    }
    void SetUp() override {
        copyShaders(dir);
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        captureConsole(buildShaderPrograms);
    }
    void TearDown() override { EXPECT_EQ(chdir(previous), 0); }

    std::string rebuild(bool& replaced) {
        return captureConsole([&] { replaced = rebuildShaderPrograms(); });
    }
    // A composite of its own: the full-screen quad through pureQuadProgram,
    // one pixel read back.
    static std::string quadColour() {
        glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.sceneFramebuffer);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, 1024, 768);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(pureQuadProgram.name);
        glBindVertexArray(renderTargets.quadVertexArray);
        drawFullScreenQuad();
        glBindVertexArray(0);
        unsigned char rgba[4] = {};
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glReadPixels(512, 384, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return std::to_string(rgba[0]) + "," + std::to_string(rgba[1]) + "," + std::to_string(rgba[2]);
    }
    // A quad pair that paints one colour and keeps "offset" (never set, so 0)
    // or leaves it out.
    void writeFlatQuad(const char* colour, bool withOffset) {
        writeFile("shaders/pureQuad.vert",
                  "#version 150 core\nin vec2 position;\nout vec2 uv;\n"
                  "void main() { uv = position * 0.5 + 0.5; gl_Position = vec4(position, 0.0, 1.0); }\n");
        writeFile("shaders/pureQuad.frag",
                  std::string("#version 150 core\nin vec2 uv;\nuniform float offset;\nout vec4 fragColor;\n"
                              "void main() { fragColor = vec4(") +
                      colour + ", 1.0)" + (withOffset ? " + vec4(offset)" : "") + "; }\n");
    }
};

TEST_F(ProgramRebuildTest, AGoodSetReplacesEveryProgramAndLooksTheUniformsUpAgain) {
    const ShaderProgram old[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    const UniformLocations oldLocations = uniformLocations;
    writeFlatQuad("0.25, 0.5, 0.75", false);

    bool replaced = false;
    const std::string out = rebuild(replaced);
    EXPECT_TRUE(replaced) << out;
    EXPECT_NE(out.find("Shaders rebuilt"), std::string::npos) << out;
    // Only what is news: the quad's fragment stage no longer has "offset".
    EXPECT_EQ(linesStartingWith(out, "Uniform "),
              (std::vector<std::string>{"Uniform \"offset\" bound to ID 4294967295."}));
    EXPECT_EQ(countOccurrences(out, "compiled successfully"), 0) << out;
    EXPECT_EQ(uniformLocations.offset, -1);
    EXPECT_EQ(uniformLocations.modelMatrix, oldLocations.modelMatrix) << "the same files, the same location";

    const ShaderProgram now[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(now[i].name, old[i].name) << "program " << i << " was not built again";
        EXPECT_EQ(glIsProgram(old[i].name), GL_FALSE) << "program " << i << ": the old one was left behind";
    }
    EXPECT_EQ(quadColour(), "64,128,191");

    // And back: the offset is found again.
    writeFlatQuad("1.0, 0.0, 0.0", true);
    EXPECT_NE(rebuild(replaced).find("Shaders rebuilt"), std::string::npos);
    EXPECT_TRUE(replaced);
    EXPECT_GE(uniformLocations.offset, 0);
    EXPECT_EQ(quadColour(), "255,0,0");
}

TEST_F(ProgramRebuildTest, AStageThatDoesNotCompileKeepsEveryProgramAndPrintsItsLog) {
    writeFlatQuad("0.25, 0.5, 0.75", true);
    bool replaced = false;
    rebuild(replaced);
    ASSERT_TRUE(replaced);
    const ShaderProgram kept[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    const UniformLocations keptLocations = uniformLocations;

    writeFile("shaders/pureQuad.frag", readFile("shaders/pureQuad.frag") + "this is not GLSL\n");
    writeFile("shaders/bloom.vert", readFile("shaders/bloom.vert") + "neither is this\n");
    const std::string out = rebuild(replaced);
    EXPECT_FALSE(replaced);
    EXPECT_NE(out.find("Shader shaders/pureQuad.frag not compiled.\nInfoLog:\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Shader shaders/bloom.vert not compiled.\nInfoLog:\n"), std::string::npos) << out;
    EXPECT_EQ(countOccurrences(out, "InfoLog:"), 2) << out;
    EXPECT_NE(out.find("Shaders not rebuilt"), std::string::npos) << out;
    EXPECT_EQ(linesStartingWith(out, "Uniform ").size(), 0u) << "the lookups of a set not used are no news";

    const ShaderProgram now[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(now[i].name, kept[i].name) << "program " << i;
    EXPECT_EQ(std::memcmp(&uniformLocations, &keptLocations, sizeof keptLocations), 0);
    EXPECT_EQ(quadColour(), "64,128,191") << "the old quad program no longer draws";
}

TEST_F(ProgramRebuildTest, AProgramThatDoesNotLinkKeepsEveryProgramAndPrintsTheLinkLog) {
    const ShaderProgram kept[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    // Both stages compile, but the fragment stage has no main.
    writeFile("shaders/pureQuad.frag",
              "#version 150 core\nout vec4 fragColor;\nvoid paint() { fragColor = vec4(1.0); }\n");
    bool replaced = true;
    const std::string out = rebuild(replaced);
    EXPECT_FALSE(replaced);
    EXPECT_NE(out.find("pureQuadProgram (pureQuad) did not link."), std::string::npos) << out;
    EXPECT_EQ(countOccurrences(out, "not compiled"), 0) << out;
    EXPECT_EQ(countOccurrences(out, "did not link"), 1) << out;
    const ShaderProgram now[4] = {pvlTexProgram, motionBlurProgram, pureQuadProgram, bloomProgram};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(now[i].name, kept[i].name) << "program " << i;
}

}  // namespace
