// The four shader programs: building them from the real files, what the
// console shows, how failures behave, and what the shaders draw.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "math/vecmath.h"
#include "platform/frame_size.h"
#include "render/bloom_pass.h"
#include "render/render_targets.h"
#include "shading/programs.h"
#include "test_support.h"

namespace {

constexpr int kWidth = kFrameWidth;
constexpr int kHeight = kFrameHeight;
using Pixels = std::vector<unsigned char>;

// buildShaderPrograms reads relative paths, so it runs inside dir.
std::string buildIn(const std::string& dir) {
    char previous[4096];
    if (getcwd(previous, sizeof previous) == nullptr || chdir(dir.c_str()) != 0) return "chdir failed";
    std::string out = captureConsole(buildShaderPrograms);
    if (chdir(previous) != 0) ADD_FAILURE() << "could not return to " << previous;
    return out;
}

GLint attachedShaderCount(GLuint program) {
    GLint count = -1;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
    return count;
}

// The uniform names in lookup order, beside the fields that keep them.
struct UniformRow {
    const char* name;
    int UniformLocations::*field;
};
const std::vector<UniformRow> kUniformRows = {
    {"modelMatrix", &UniformLocations::modelMatrix}, {"viewMatrix", &UniformLocations::viewMatrix},
    {"projMatrix", &UniformLocations::projMatrix}, {"normalMatrix", &UniformLocations::normalMatrix},
    {"mat_diffuse", &UniformLocations::matDiffuse}, {"mat_ambient", &UniformLocations::matAmbient},
    {"mat_specular", &UniformLocations::matSpecular}, {"mat_shininess", &UniformLocations::matShininess},
    {"light_diffuse", &UniformLocations::lightDiffuse}, {"light_ambient", &UniformLocations::lightAmbient},
    {"light_specular", &UniformLocations::lightSpecular}, {"light_pos", &UniformLocations::lightPos},
    {"texturedColor", &UniformLocations::texturedColor}, {"texturedNormal", &UniformLocations::texturedNormal},
    {"texturedHeight", &UniformLocations::texturedHeight}, {"texColor", &UniformLocations::pvlTexColor},
    {"texNormal", &UniformLocations::texNormal}, {"texHeight", &UniformLocations::texHeight},
    {"scale", &UniformLocations::scale}, {"bias", &UniformLocations::bias},
    {"texColor", &UniformLocations::motionBlurTexColor}, {"texDepth", &UniformLocations::texDepth},
    {"ivpMatrix", &UniformLocations::ivpMatrix}, {"prevVpMatrix", &UniformLocations::prevVpMatrix},
    {"texColor", &UniformLocations::bloomTexColor}, {"texThresh", &UniformLocations::texThresh},
    {"horizontal", &UniformLocations::horizontal}, {"threshold", &UniformLocations::threshold},
    {"width", &UniformLocations::width}, {"height", &UniformLocations::height},
    {"offset", &UniformLocations::offset},
};

// The real build, made once; the drawing tests use these programs.
std::string realBuildOutput;
ShaderProgram pvl, motionBlur, pureQuad, bloom;
UniformLocations at;

class ShaderProgramsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(openHiddenContext(kWidth, kHeight)) << "no GL 3.2 window: run under xvfb-run";
        std::string dir = makeScratchDir("shaders");
        copyShaders(dir);
        realBuildOutput = buildIn(dir);
        pvl = pvlTexProgram, motionBlur = motionBlurProgram, pureQuad = pureQuadProgram, bloom = bloomProgram;
        at = uniformLocations;
        captureConsole(createRenderTargets);
        // The demo's fixed state, under which every pass draws.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 0);
        glViewport(0, 0, kWidth, kHeight);
    }
};

TEST_F(ShaderProgramsTest, TheRealFilesCompileLinkAndKeepEveryUniform) {
    const std::string& out = realBuildOutput;
    EXPECT_EQ(out.substr(0, out.find("Shader shaders/PVL_Tex.frag")),
              "File shaders/PVL_Tex.vert loaded.\nShader shaders/PVL_Tex.vert compiled successfully.\n\n"
              "File shaders/PVL_Tex.frag loaded.\n");
    EXPECT_EQ(countOccurrences(out, " compiled successfully.\n\n"), 8);
    EXPECT_EQ(countOccurrences(out, "not compiled"), 0) << out;

    std::vector<std::string> attributes = linesStartingWith(out, "Attribute ");
    EXPECT_EQ(attributes, (std::vector<std::string>{
        "Attribute \"position\" bound to ID 0.", "Attribute \"normal\" bound to ID 1.",
        "Attribute \"texCoords\" bound to ID 2.", "Attribute \"tangent\" bound to ID 3.",
        "Attribute \"bitangent\" bound to ID 4.", "Attribute \"position\" bound to ID 0.",
        "Attribute \"position\" bound to ID 0.", "Attribute \"position\" bound to ID 0."}));

    std::vector<std::string> uniforms = linesStartingWith(out, "Uniform ");
    ASSERT_EQ(uniforms.size(), kUniformRows.size());
    for (size_t i = 0; i < uniforms.size(); ++i) {
        int location = at.*kUniformRows[i].field;
        EXPECT_GE(location, 0) << kUniformRows[i].name << ": the linker dropped it";
        EXPECT_EQ(uniforms[i], std::string("Uniform \"") + kUniformRows[i].name + "\" bound to ID " +
                                   std::to_string(static_cast<unsigned int>(location)) + ".");
    }
    for (GLuint program : {pvl.name, motionBlur.name, pureQuad.name, bloom.name}) {
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
        EXPECT_EQ(attachedShaderCount(program), 2);
    }
}

TEST_F(ShaderProgramsTest, AStageThatFailsToCompileIsLeftOutAndItsUniformsAreLost) {
    std::string dir = makeScratchDir("broken");
    copyShaders(dir);
    writeFile(dir + "/shaders/bloom.frag", "#version 150 core\nvoid main() { undeclared = 1.0; }\n");
    std::string out = buildIn(dir);

    EXPECT_NE(out.find("File shaders/bloom.frag loaded.\nShader shaders/bloom.frag not compiled.\nInfoLog:\n"),
              std::string::npos) << out;
    EXPECT_EQ(countOccurrences(out, " compiled successfully."), 7);
    EXPECT_EQ(linesStartingWith(out, "Attribute ").size(), 8u);
    std::vector<std::string> uniforms = linesStartingWith(out, "Uniform ");
    ASSERT_EQ(uniforms.size(), 31u);
    // Rows 25 to 30 belong to the bloom program, whose fragment stage is gone:
    // what only that stage declared (texColor, row 25) is lost; what its
    // vertex stage reads as well may stay, as the linker finds it used.
    for (size_t i = 0; i < uniforms.size(); ++i) {
        bool lost = uniforms[i].find("4294967295") != std::string::npos;
        if (i == 24) {
            EXPECT_TRUE(lost) << uniforms[i];
        } else if (i < 24 || i >= 30) {
            EXPECT_FALSE(lost) << uniforms[i];
        }
    }
    EXPECT_EQ(attachedShaderCount(bloomProgram.name), 1);
}

TEST_F(ShaderProgramsTest, ACrLfFileReachesTheCompilerByteForByte) {
    std::string dir = makeScratchDir("crlf");
    std::string source = "#version 150 core\r\nin vec2 position;\r\nvoid main() {\r\n"
                         "    gl_Position = vec4(position, 0.0, 1.0);\r\n}\r\n";
    writeFile(dir + "/crlf.vert", source);
    std::string path = dir + "/crlf.vert";

    ShaderProgram program;
    bool compiled = false;
    std::string out = captureConsole([&] { compiled = program.addShader(path.c_str(), GL_VERTEX_SHADER); });
    EXPECT_TRUE(compiled);
    EXPECT_NE(program.name, 0u);
    EXPECT_EQ(out, "File " + path + " loaded.\nShader " + path + " compiled successfully.\n\n");

    GLuint shader = 0;
    GLsizei count = 0;
    glGetAttachedShaders(program.name, 1, &count, &shader);
    ASSERT_EQ(count, 1);
    std::vector<char> seen(source.size() + 16, '\0');
    GLsizei length = 0;
    glGetShaderSource(shader, static_cast<GLsizei>(seen.size()), &length, seen.data());
    EXPECT_EQ(std::string(seen.data(), static_cast<size_t>(length)), source);
}

TEST_F(ShaderProgramsTest, ACompileFailurePrintsTheLogAndAttachesNothing) {
    std::string dir = makeScratchDir("fail");
    std::string path = dir + "/bad.frag";
    writeFile(path, "#version 150 core\nout vec4 c;\nvoid main() { c = vec4(1.0) }\n");
    ShaderProgram program;
    bool compiled = true;
    std::string out = captureConsole([&] { compiled = program.addShader(path.c_str(), GL_FRAGMENT_SHADER); });
    EXPECT_FALSE(compiled);
    std::string head = "File " + path + " loaded.\nShader " + path + " not compiled.\nInfoLog:\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_GT(out.size(), head.size() + 1) << "the log text itself is missing";
    EXPECT_EQ(attachedShaderCount(program.name), 0);
}

// The child half of the next test: builds in its working directory and is
// expected to end the process there.
TEST(ShaderFileChild, Build) {
    if (std::getenv("TARNWICK_SHADER_CHILD") == nullptr) GTEST_SKIP() << "runs only as a child";
    ASSERT_TRUE(openHiddenContext(kWidth, kHeight));
    buildShaderPrograms();
    std::cout << "build returned" << std::endl;
}

TEST_F(ShaderProgramsTest, AMissingOrDirectoryShaderFileEndsTheProcessBeforeBinding) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    for (std::string victim : {"shaders/pureQuad.frag", "shaders/motionBlur.vert"}) {
        for (bool asDirectory : {false, true}) {
            std::string dir = makeScratchDir("unreadable");
            copyShaders(dir);
            std::remove((dir + "/" + victim).c_str());
            if (asDirectory) makeDirs(dir + "/" + victim);
            ProcessResult child = runProgram(self, dir, 60, {"TARNWICK_SHADER_CHILD=1"},
                                             {"--gtest_filter=ShaderFileChild.Build"});
            ASSERT_TRUE(child.exited) << child.output;
            EXPECT_EQ(child.exitCode, 1) << child.output;
            std::string last = "Unable to open file " + victim + "\n";
            ASSERT_GE(child.output.size(), last.size());
            EXPECT_EQ(child.output.substr(child.output.size() - last.size()), last) << child.output;
            EXPECT_EQ(countOccurrences(child.output, "Attribute "), 0);
        }
    }
}

// --- What the shaders draw ---------------------------------------------------

GLuint makeTexture(int width, int height, const Pixels& rgba, GLint filter) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return texture;
}

// Fills one of the colour targets from a function of the pixel.
void fillTarget(GLuint texture, const std::function<void(int, int, unsigned char*)>& color) {
    Pixels rgba(kWidth * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) color(x, y, &rgba[(y * kWidth + x) * 4]);
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

Pixels readAttachment(GLuint framebuffer, GLenum attachment) {
    Pixels rgba(kWidth * kHeight * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glReadBuffer(attachment);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return rgba;
}

int channel(const Pixels& p, int x, int y, int c) { return p[(y * kWidth + x) * 4 + c]; }

TEST_F(ShaderProgramsTest, PureQuadCopiesUnitZeroShiftedByTheOffsetAndWrapped) {
    auto pattern = [](int x, int y, unsigned char* px) {
        px[0] = static_cast<unsigned char>(x & 255), px[1] = static_cast<unsigned char>(y & 255);
        px[2] = static_cast<unsigned char>((x * 7 + y * 13) & 255), px[3] = 255;
    };
    fillTarget(renderTargets.sceneColorTexture, pattern);
    for (int shift : {0, 80, -15}) {
        // As the composite draws: into the window's back buffer, over a cleared depth.
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindVertexArray(renderTargets.quadVertexArray);
        glUseProgram(pureQuad.name);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, renderTargets.sceneColorTexture);
        glUniform1f(at.offset, static_cast<float>(shift) * 0.0009765625f);
        drawFullScreenQuad();
        glBindVertexArray(0);
        Pixels shown = readAttachment(0, GL_BACK);

        int wrong = 0;
        for (int y = 0; y < kHeight; y += 7) {
            for (int x = 0; x < kWidth; ++x) {
                unsigned char expected[4];
                pattern(((x + shift) % kWidth + kWidth) % kWidth, y, expected);
                for (int c = 0; c < 3; ++c) wrong += std::abs(channel(shown, x, y, c) - expected[c]) > 1;
            }
        }
        EXPECT_EQ(wrong, 0) << "shift " << shift;
    }
}

// The bloom pass itself, with the programs of the real build (the failure
// tests have built others since).
Pixels drawBloom() {
    bloomProgram = bloom;
    uniformLocations = at;
    drawBloomPass();
    glActiveTexture(GL_TEXTURE0);
    return readAttachment(renderTargets.bloomFramebuffer, GL_COLOR_ATTACHMENT2);
}

TEST_F(ShaderProgramsTest, BloomGlowsAroundBrightPartsAndKeepsTheRestOfTheScene) {
    // A dim blue-grey scene with one white square, x 480..543, y 352..415,
    // whose light goes far beyond white: the scene shader says so in alpha.
    fillTarget(renderTargets.sceneColorTexture, [](int x, int y, unsigned char* px) {
        bool bright = x >= 480 && x < 544 && y >= 352 && y < 416;
        px[0] = bright ? 255 : 51, px[1] = bright ? 255 : 76, px[2] = bright ? 255 : 102, px[3] = bright ? 255 : 0;
    });
    Pixels result = drawBloom();
    auto red = [&](int x, int y) { return channel(result, x, y, 0); };

    const int dim[3] = {51, 76, 102};
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(channel(result, 20, 20, c), dim[c], 1) << "far from the light";
        EXPECT_EQ(channel(result, 511, 383, c), 255);
    }
    // The glow spreads both across and along, fading with distance.
    EXPECT_GT(red(548, 383), 51 + 30);
    EXPECT_GT(red(511, 420), 51 + 30);
    EXPECT_GT(red(548, 383), red(556, 383));
    EXPECT_GT(red(556, 383), red(560, 383));
    EXPECT_GT(red(560, 383), 51);
    EXPECT_NEAR(red(640, 383), 51, 1);
    EXPECT_NEAR(red(475, 383), red(548, 383), 8) << "glow lopsided";
}

// A small light moving slowly: its halo must follow it smoothly, not hold
// still on a coarse grid and then jump.
TEST_F(ShaderProgramsTest, BloomHaloFollowsASmallLightPixelByPixel) {
    auto haloCentre = [&](int left) {
        fillTarget(renderTargets.sceneColorTexture, [left](int x, int y, unsigned char* px) {
            bool light = x >= left && x < left + 3 && y >= 380 && y < 383;
            px[0] = px[1] = px[2] = light ? 255 : 0, px[3] = light ? 255 : 0;
        });
        Pixels result = drawBloom();
        // Along a row ten pixels below the light: the halo alone.
        double sum = 0.0, weighted = 0.0;
        for (int x = left - 60; x < left + 63; ++x) {
            int glow = channel(result, x, 391, 0);
            sum += glow;
            weighted += glow * (x - left);
        }
        return sum > 0.0 ? weighted / sum + left : -1.0;
    };
    // The glow is gathered on an 8-pixel grid: three of its cells' worth of
    // one-pixel moves, each followed by less than three pixels of the halo.
    double first = haloCentre(500), previous = first;
    for (int left = 501; left <= 524; ++left) {
        double centre = haloCentre(left);
        EXPECT_GT(centre - previous, -0.1) << "light at " << left;
        EXPECT_LT(centre - previous, 3.0) << "light at " << left;
        previous = centre;
    }
    EXPECT_NEAR(previous - first, 24.0, 2.0);
}

void drawMotionBlur(const Mat4& inverseCurrent, const Mat4& previous) {
    glUseProgram(motionBlur.name);
    glBindVertexArray(renderTargets.quadVertexArray);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, renderTargets.sceneColorTexture);
    glUniform1i(at.motionBlurTexColor, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, renderTargets.sceneDepthTexture);
    glUniform1i(at.texDepth, 1);
    glUniformMatrix4fv(at.ivpMatrix, 1, GL_FALSE, inverseCurrent.m);
    glUniformMatrix4fv(at.prevVpMatrix, 1, GL_FALSE, previous.m);
    glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.motionBlurFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFullScreenQuad();
    glBindVertexArray(0);
    glActiveTexture(GL_TEXTURE0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

TEST_F(ShaderProgramsTest, MotionBlurSmearsAlongTheReprojectedMotionOnly) {
    // Black left half, white right half, everything at mid depth.
    fillTarget(renderTargets.sceneColorTexture, [](int x, int, unsigned char* px) {
        px[0] = px[1] = px[2] = x < 512 ? 0 : 255, px[3] = 255;
    });
    std::vector<float> depth(kWidth * kHeight, 0.5f);
    glBindTexture(GL_TEXTURE_2D, renderTargets.sceneDepthTexture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());

    Mat4 camera = multiply(perspective(1.0f, 4.0f / 3.0f, 1.0f, 500.0f),
                           lookAt(Vec3{0, -50, 20}, Vec3{0, 0, 0}, Vec3{0, 0, 1}));
    drawMotionBlur(inverse(camera), camera);
    Pixels still = readAttachment(renderTargets.motionBlurFramebuffer, GL_COLOR_ATTACHMENT0);
    EXPECT_LE(channel(still, 510, 300, 0), 1);
    EXPECT_GE(channel(still, 513, 300, 0), 254);

    Mat4 nan(std::nanf(""));
    drawMotionBlur(nan, camera);
    Pixels broken = readAttachment(renderTargets.motionBlurFramebuffer, GL_COLOR_ATTACHMENT0);
    EXPECT_LE(channel(broken, 510, 300, 0), 1) << "a singular matrix must not smear";
    EXPECT_GE(channel(broken, 513, 300, 0), 254);

    // The previous camera saw everything shifted sideways: a horizontal streak
    // across the edge, bounded in length, and no vertical one.
    Mat4 shifted = multiply(translate(Mat4(), Vec3{0.1f, 0, 0}), camera);
    drawMotionBlur(inverse(camera), shifted);
    Pixels moved = readAttachment(renderTargets.motionBlurFramebuffer, GL_COLOR_ATTACHMENT0);
    for (int x : {505, 518}) {
        EXPECT_GT(channel(moved, x, 300, 0), 20) << x;
        EXPECT_LT(channel(moved, x, 300, 0), 235) << x;
    }
    EXPECT_LE(channel(moved, 440, 300, 0), 1);
    EXPECT_GE(channel(moved, 585, 300, 0), 254);
    EXPECT_LE(std::abs(channel(moved, 505, 100, 0) - channel(moved, 505, 600, 0)), 1);
}

// A near black half and a far white half: with the camera moving, neither
// smears over the other, while at one depth the same edge blurs.
TEST_F(ShaderProgramsTest, MotionBlurKeepsNearAndFarApart) {
    fillTarget(renderTargets.sceneColorTexture, [](int x, int, unsigned char* px) {
        px[0] = px[1] = px[2] = x < 512 ? 0 : 255, px[3] = 255;
    });
    Mat4 camera = multiply(perspective(1.0f, 4.0f / 3.0f, 1.0f, 500.0f),
                           lookAt(Vec3{0, -50, 20}, Vec3{0, 0, 0}, Vec3{0, 0, 1}));
    Mat4 shifted = multiply(translate(Mat4(), Vec3{0.1f, 0, 0}), camera);
    auto blurred = [&](float leftDepth, float rightDepth) {
        std::vector<float> depth(kWidth * kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) depth[i] = i % kWidth < 512 ? leftDepth : rightDepth;
        glBindTexture(GL_TEXTURE_2D, renderTargets.sceneDepthTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        drawMotionBlur(inverse(camera), shifted);
        return readAttachment(renderTargets.motionBlurFramebuffer, GL_COLOR_ATTACHMENT0);
    };
    Pixels oneDepth = blurred(0.9f, 0.9f), apart = blurred(0.3f, 0.9f);
    for (int x : {505, 508}) {
        EXPECT_GT(channel(oneDepth, x, 300, 0), 40) << x;
        EXPECT_LE(channel(apart, x, 300, 0), 2) << "far white smeared over the near black at " << x;
    }
    for (int x : {516, 518}) {
        EXPECT_LT(channel(oneDepth, x, 300, 0), 215) << x;
        EXPECT_GE(channel(apart, x, 300, 0), 253) << "near black smeared over the far white at " << x;
    }
}

// One square of the scene, in the xy plane facing +z, drawn by the scene program.
struct SceneSquare {
    Vec3 eye{0, 0, 3};
    Vec3 light{0, 0, 3};
    Vec3 diffuse{1, 1, 1}, ambient{0, 0, 0}, specular{0, 0, 0};
    Vec3 lightAmbient{0, 0, 0}, lightDiffuse{1, 1, 1};
    GLuint color = 0, normal = 0, height = 0;  // 0: no such map
    // u grows towards -x. The frame is the one the tangent-frame builder gives
    // such a mapping: both vectors flipped, tangent (1, 0, 0), bitangent (0, 1, 0).
    bool mirrored = false;
    float size = 1.0f;      // half the square's side
    float baked = 0.0f;     // the third texture coordinate: the town's baked light (< 0: shade)
    Vec3 up{0, 1, 0};       // the view's up
    float farPlane = 100.0f;
};

Pixels drawSquare(const SceneSquare& s) {
    // position, normal, texCoords, tangent (+u), bitangent (towards -v)
    static GLuint vertexArray = 0, buffer = 0;
    if (vertexArray == 0) {
        glGenVertexArrays(1, &vertexArray);
        glBindVertexArray(vertexArray);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        for (GLuint a = 0; a < 5; ++a) {
            glVertexAttribPointer(a, 3, GL_FLOAT, GL_FALSE, 15 * sizeof(float),
                                  reinterpret_cast<void*>(static_cast<uintptr_t>(a * 3 * sizeof(float))));
            glEnableVertexAttribArray(a);
        }
    }
    float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    int order[6] = {0, 1, 2, 0, 2, 3};
    float ux = s.mirrored ? -1.f : 1.f;  // u's direction along x; -1 flips the bitangent too
    std::vector<float> data;
    for (int i : order) {
        float x = corners[i][0], y = corners[i][1];
        for (float f : {x, y, 0.f, 0.f, 0.f, 1.f, (ux * x + 1) / 2, (y + 1) / 2, s.baked, 1.f, 0.f, 0.f, 0.f, -ux, 0.f})
            data.push_back(f);
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(float)), data.data(), GL_STATIC_DRAW);
    Mat4 model;
    model.m[0] = model.m[5] = model.m[10] = s.size;
    Mat4 view = lookAt(s.eye, Vec3{0, 0, 0}, s.up);
    Mat4 projection = perspective(0.5236f, 4.0f / 3.0f, 0.001f * s.farPlane, s.farPlane);
    Mat3 normalMatrix = mat3FromMat4(transpose(inverse(multiply(view, model))));

    glUseProgram(pvl.name);
    glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.sceneFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUniformMatrix4fv(at.modelMatrix, 1, GL_FALSE, model.m);
    glUniformMatrix4fv(at.viewMatrix, 1, GL_FALSE, view.m);
    glUniformMatrix4fv(at.projMatrix, 1, GL_FALSE, projection.m);
    glUniformMatrix3fv(at.normalMatrix, 1, GL_FALSE, normalMatrix.n);
    GLuint maps[3] = {s.color, s.normal, s.height};
    int flags[3] = {at.texturedColor, at.texturedNormal, at.texturedHeight};
    int samplers[3] = {at.pvlTexColor, at.texNormal, at.texHeight};
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, maps[unit]);
        glUniform1i(samplers[unit], unit);
        glUniform1i(flags[unit], maps[unit] != 0 ? 1 : 0);
    }
    glActiveTexture(GL_TEXTURE0);
    glUniform3fv(at.matAmbient, 1, &s.ambient.x);
    glUniform3fv(at.matDiffuse, 1, &s.diffuse.x);
    glUniform3fv(at.matSpecular, 1, &s.specular.x);
    glUniform1f(at.matShininess, 20.0f);
    glUniform3fv(at.lightAmbient, 1, &s.lightAmbient.x);
    glUniform3fv(at.lightDiffuse, 1, &s.lightDiffuse.x);
    Vec3 white{1, 1, 1};
    glUniform3fv(at.lightSpecular, 1, &white.x);
    glUniform3fv(at.lightPos, 1, &s.light.x);
    glUniform1f(at.scale, -0.01f);
    glUniform1f(at.bias, -0.003f);
    glBindVertexArray(vertexArray);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);
    return readAttachment(renderTargets.sceneFramebuffer, GL_COLOR_ATTACHMENT0);
}

GLuint solid(unsigned char r, unsigned char g, unsigned char b) { return makeTexture(1, 1, {r, g, b, 255}, GL_NEAREST); }

TEST_F(ShaderProgramsTest, SceneColourIsTheColourMapOnlyWhenTexturedColorIsSet) {
    SceneSquare s;
    // The colour map tints the material's diffuse colour; without the flag
    // the material's own colour shows. A dim lamp: a bright one this close
    // burns every channel towards white.
    s.diffuse = Vec3{0.1f, 0.8f, 0.1f};
    s.lightDiffuse = Vec3{0.3f, 0.3f, 0.3f};
    Pixels plain = drawSquare(s);
    EXPECT_GT(channel(plain, 512, 384, 1), channel(plain, 512, 384, 0) + 40);
    s.color = solid(230, 20, 20);
    Pixels mapped = drawSquare(s);
    EXPECT_GT(channel(mapped, 512, 384, 0), channel(mapped, 512, 384, 1) + 100);
    EXPECT_EQ(channel(mapped, 5, 5, 0), 0) << "the square must not cover the whole target";
}

// Far off, the haze veils what it hides in the night's colour: a black
// surface far out in the fields, seen from low above them, takes the deep
// blue of the sky below the horizon (through the exposure and the filmic curve).
TEST_F(ShaderProgramsTest, FarSurfacesFadeIntoTheHazesBlue) {
    SceneSquare s;
    s.lightDiffuse = Vec3{0, 0, 0};  // nothing lights it: all its colour is haze
    s.size = 50000.0f;
    s.eye = Vec3{0, -80000, 5000};
    s.light = s.eye;
    s.up = Vec3{0, 0, 1};
    s.farPlane = 200000.0f;
    Pixels far = drawSquare(s);
    int r = channel(far, 512, 384, 0), g = channel(far, 512, 384, 1), b = channel(far, 512, 384, 2);
    EXPECT_GE(r, 35);
    EXPECT_LE(r, 55);
    EXPECT_GE(g, 42);
    EXPECT_LE(g, 62);
    EXPECT_GE(b, 60);
    EXPECT_LE(b, 80);
    EXPECT_GT(b, g + 8);
    s.eye = Vec3{0, -8, 5};  // close by, no haze: black
    s.light = s.eye;
    s.size = 10.0f;
    EXPECT_LE(channel(drawSquare(s), 512, 384, 2), 2);
}

// The walking lamp lights a pool round it, not the whole square: a surface
// facing it from 8 m off (400 units) takes less of its light than of the
// night's, while 1 m off its light is more than four times the night's.
// Compared through the exposure and the filmic curve, which keep the order of
// what goes in: night and lamp against a night twice (five times) as strong.
TEST_F(ShaderProgramsTest, TheWalkingLampLightsAPoolNotTheWholeSquare) {
    auto green = [](float lampDistance, float lamp, float night) {
        SceneSquare s;
        s.size = 400.0f;
        s.eye = Vec3{0, 0, 200};
        s.light = Vec3{0, 0, lampDistance};
        s.farPlane = 2000.0f;
        s.lightDiffuse = Vec3{lamp, lamp, lamp};
        s.lightAmbient = Vec3{night, night, night};
        return channel(drawSquare(s), 512, 384, 1);
    };
    EXPECT_LT(green(400, 0.5f, 0.1f), green(400, 0.0f, 0.2f)) << "8 m off, the lamp outshines the night";
    EXPECT_GT(green(50, 0.5f, 0.1f), green(50, 0.0f, 0.5f)) << "1 m off, the lamp hardly lights";
}

// The baked light: below 0 the shade at something's foot dims the night,
// above 0 the town's lamps add theirs.
TEST_F(ShaderProgramsTest, BakedLightBelowZeroShadesAndAboveZeroLights) {
    auto green = [](float baked) {
        SceneSquare s;
        s.lightDiffuse = Vec3{0, 0, 0};
        s.lightAmbient = Vec3{0.1f, 0.1f, 0.1f};
        s.baked = baked;
        return channel(drawSquare(s), 512, 384, 1);
    };
    const int open = green(0.0f);
    EXPECT_LT(green(-0.6f), open - 10);
    EXPECT_GT(green(1.0f), open + 10);
}

// Red leans the normal towards +u, green towards decreasing v: a light on that
// side makes the leaning map brighter than its mirror image. A mirrored
// mapping (u growing the other way across the square) reads the same map the
// same way: towards its own +u.
TEST_F(ShaderProgramsTest, NormalMapRedLeansTowardsIncreasingUAndGreenTowardsDecreasingV) {
    for (bool mirrored : {false, true}) {
        auto litBy = [mirrored](Vec3 light, GLuint normalMap) {
            SceneSquare s;
            s.light = light;
            s.normal = normalMap;
            s.mirrored = mirrored;
            return channel(drawSquare(s), 512, 384, 0);
        };
        Vec3 towardsPlusU{mirrored ? -6.f : 6.f, 0, 1}, towardsMinusV{0, -6, 1};
        EXPECT_GT(litBy(towardsPlusU, solid(230, 128, 180)), litBy(towardsPlusU, solid(26, 128, 180)) + 40)
            << mirrored;
        EXPECT_GT(litBy(towardsMinusV, solid(128, 230, 180)), litBy(towardsMinusV, solid(128, 26, 180)) + 40)
            << mirrored;
        EXPECT_NEAR(litBy(towardsPlusU, solid(128, 128, 255)), litBy(towardsPlusU, 0), 3)
            << "a flat map changes nothing " << mirrored;
    }
}

// Seen obliquely from the +u side, a raised texel (the normal map's blue)
// pulls the texture towards the viewer, so a colour edge appears further
// from the eye; a low one the other way. The shift is centred on the height
// map's mean, so a texel at the mean leaves the picture where a flat surface
// has it, and the same texel over a lower mean reads as raised.
TEST_F(ShaderProgramsTest, HeightMapShiftsRaisedTexelsLikeRelief) {
    Pixels stripes(64 * 4);
    for (int x = 0; x < 64; ++x) {
        unsigned char v = x < 32 ? 0 : 255;
        stripes[x * 4] = stripes[x * 4 + 1] = stripes[x * 4 + 2] = v, stripes[x * 4 + 3] = 255;
    }
    auto edgeColumn = [&](GLuint shape, GLuint heights) {
        SceneSquare s;
        s.eye = Vec3{2, 0, 2};
        s.lightAmbient = Vec3{1, 1, 1};
        s.lightDiffuse = Vec3{0, 0, 0};
        s.color = makeTexture(64, 1, stripes, GL_NEAREST);
        s.normal = shape;
        s.height = heights;
        Pixels p = drawSquare(s);
        // From the middle of the square: at its outer edges the shifted
        // lookup may wrap round to the stripe on the other side.
        for (int x = 300; x < kWidth; ++x) {
            if (channel(p, x, 384, 0) > 127) return x;
        }
        return -1;
    };
    GLuint midMean = solid(128, 128, 128);
    int flat = edgeColumn(0, 0), mid = edgeColumn(solid(128, 128, 128), midMean);
    int low = edgeColumn(solid(128, 128, 0), midMean), high = edgeColumn(solid(128, 128, 255), midMean);
    ASSERT_GT(flat, 300);
    EXPECT_LT(high, flat - 1);
    EXPECT_GT(low, flat + 1);
    EXPECT_NEAR(mid, flat, 1);
    EXPECT_LT(edgeColumn(solid(128, 128, 128), solid(0, 0, 0)), flat - 1) << "the mean is the height map's";
    // Dark at both ends, light in the middle: the corners' own texels are 0,
    // its last level the mean, 128. A texel at that mean stays put.
    GLuint hump = makeTexture(4, 1, {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 255}, GL_NEAREST);
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    EXPECT_NEAR(edgeColumn(solid(128, 128, 128), hump), flat, 1) << "the mean is the height map's last level";
}

}  // namespace
