// The four passes of a frame, driven with virtual time in the real window and
// judged by the pixels they leave in the render targets and the back buffer.
//
// One process can open the demo's window once, so the whole suite shares it:
// SetUpTestSuite opens it in the run folder, swaps the platform's clock and
// keys for virtual ones, runs start-up and records where the camera stands at
// two moments of the run. Each test then puts the camera where it needs it,
// calls the passes itself and reads the targets back.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "app/frame_loop.h"
#include "app/timeline.h"
#include "app/window.h"
#include "camera/camera_rig.h"
#include "import/scene.h"
#include "platform/frame_size.h"
#include "platform/platform.h"
#include "platform/run_state.h"
#include "render/bloom_pass.h"
#include "render/composite.h"
#include "render/frame_matrices.h"
#include "render/motion_blur_pass.h"
#include "render/render_targets.h"
#include "render/scene_pass.h"
#include "shading/programs.h"
#include "test_support.h"

namespace {

constexpr int kWidth = kFrameWidth;
constexpr int kHeight = kFrameHeight;

// An RGBA8 picture, bottom row first, as both glGetTexImage and glReadPixels
// give it; the window's size unless told.
struct Image {
    int width = kWidth;
    int height = kHeight;
    std::vector<uint8_t> rgba = std::vector<uint8_t>(static_cast<size_t>(width) * height * 4, 0);
    Image() = default;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    uint8_t* at(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

Image readTexture(unsigned texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    Image image(width, height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return image;
}

void uploadTexture(unsigned texture, const Image& image) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    image.rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

// Largest difference of any colour channel (alpha left out: the window has none).
int maxDifference(const Image& a, const Image& b) {
    int worst = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) {
        if (i % 4 == 3) continue;
        worst = std::max(worst, std::abs(int(a.rgba[i]) - int(b.rgba[i])));
    }
    return worst;
}

int pixelDifference(const Image& a, const Image& b, int x, int y) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(a.at(x, y)[c]) - int(b.at(x, y)[c])));
    return worst;
}

// The window's own present, with a read of the back buffer just before it.
void (*windowPresent)() = nullptr;
Image backBuffer;
void readBackBuffer() {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, backBuffer.rgba.data());
}
void readThenPresent() {
    readBackBuffer();
    windowPresent();
}

struct CameraPose {
    Mat4 view;
    Mat4 projection;
    Vec3 light;
};

void placeCamera(const CameraPose& pose) {
    cameraRig.viewMatrix = pose.view;
    cameraRig.projMatrix = pose.projection;
    lightRig.position = pose.light;
}

// The mesh's vertex positions, read back from its position buffer (attribute 0).
std::vector<Vec3> meshPositions(const SceneMesh& mesh) {
    std::vector<Vec3> positions(mesh.vertexCount);
    glBindVertexArray(mesh.vertexArray);
    GLint buffer = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(buffer));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(positions.size() * sizeof(Vec3)),
                       positions.data());
    glBindVertexArray(0);
    return positions;
}

struct PixelBox {
    int x0 = kWidth, y0 = kHeight, x1 = -1, y1 = -1;  // inclusive; empty while x1 < x0
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    int area() const { return x1 < x0 || y1 < y0 ? 0 : (x1 - x0 + 1) * (y1 - y0 + 1); }
};

// The window pixels that the given points can cover under the combined matrix,
// grown by a pixel against rasterisation rounding and cut to the window. A
// point at or behind the camera could project anywhere: then the whole window.
PixelBox projectedBox(const std::vector<Vec3>& points, const Mat4& mvp) {
    PixelBox box;
    for (const Vec3& p : points) {
        const float* m = mvp.m;
        float cx = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
        float cy = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
        float cw = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
        if (cw < kCameraNearPlane * 0.5f) return PixelBox{0, 0, kWidth - 1, kHeight - 1};
        int px = static_cast<int>(std::floor((cx / cw * 0.5f + 0.5f) * kWidth));
        int py = static_cast<int>(std::floor((cy / cw * 0.5f + 0.5f) * kHeight));
        box.x0 = std::min(box.x0, px - 1);
        box.y0 = std::min(box.y0, py - 1);
        box.x1 = std::max(box.x1, px + 1);
        box.y1 = std::max(box.y1, py + 1);
    }
    box.x0 = std::max(box.x0, 0);
    box.y0 = std::max(box.y0, 0);
    box.x1 = std::min(box.x1, kWidth - 1);
    box.y1 = std::min(box.y1, kHeight - 1);
    return box;
}

// Rotations in the camera's own frame: applied after the view, they turn the
// camera in place, so the whole picture moves one way on screen.
Mat4 turnAboutScreenVertical(float radians) {
    float c = std::cos(radians), s = std::sin(radians);
    return Mat4(Vec4{c, 0, -s, 0}, Vec4{0, 1, 0, 0}, Vec4{s, 0, c, 0}, Vec4{0, 0, 0, 1});
}
Mat4 turnAboutScreenHorizontal(float radians) {
    float c = std::cos(radians), s = std::sin(radians);
    return Mat4(Vec4{1, 0, 0, 0}, Vec4{0, c, s, 0}, Vec4{0, -s, c, 0}, Vec4{0, 0, 0, 1});
}

// Sum of absolute neighbour differences along x and along y, inside a margin:
// a blur along one axis lowers that axis's sum far more than the other's.
struct Gradients {
    double alongX = 0.0;
    double alongY = 0.0;
};

Gradients gradients(const Image& image) {
    Gradients g;
    const int margin = 60;
    for (int y = margin; y < kHeight - margin; ++y) {
        for (int x = margin; x < kWidth - margin; ++x) {
            for (int c = 0; c < 3; ++c) {
                g.alongX += std::abs(int(image.at(x + 1, y)[c]) - int(image.at(x, y)[c]));
                g.alongY += std::abs(int(image.at(x, y + 1)[c]) - int(image.at(x, y)[c]));
            }
        }
    }
    return g;
}

// A picture in which every column and every row can be told from its
// neighbours: red steps by 7 per column, green marks 32-column bands, blue the row.
Image stripedPattern(int seed, int width = kWidth, int height = kHeight) {
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = static_cast<uint8_t>((x * 7 + seed * 50) & 255);
            p[1] = static_cast<uint8_t>(((x >> 5) * 8 + seed * 90) & 255);
            p[2] = static_cast<uint8_t>((y + seed * 30) & 255);
            p[3] = 255;
        }
    }
    return image;
}

class Passes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(chdir(runPath("").c_str()), 0) << "no run folder at " << runPath("");
        ConsoleCapture console;
        openDemoWindow();
        windowPresent = platform.present;
        useVirtualTime();
        platform.present = readThenPresent;
        const bool started = startDemo();
        startUpReport = console.text();
        startUpUnflushed = console.buffer.unflushedLines();
        ASSERT_TRUE(started) << "the scenes did not load";

        // Two moments of the run: motion blur's phase, and just after the reveal.
        advanceWithoutDrawing(10.0);
        early = CameraPose{cameraRig.viewMatrix, cameraRig.projMatrix, lightRig.position};
        advanceWithoutDrawing(kRevealTick / 50.0 + 0.1);
        afterReveal = CameraPose{cameraRig.viewMatrix, cameraRig.projMatrix, lightRig.position};
    }

    void SetUp() override {
        ASSERT_NE(mainScene, nullptr);
        ASSERT_FALSE(mainScene->meshes.empty());
        runState.hiddenMeshCount = 0;
        runState.motionBlurEnabled = false;
        runState.bloomEnabled = false;
        runState.zapCounter = 31;
    }

    static CameraPose early;
    static CameraPose afterReveal;
    static std::string startUpReport;
    static std::vector<std::string> startUpUnflushed;
};

CameraPose Passes::early;
CameraPose Passes::afterReveal;
std::string Passes::startUpReport;
std::vector<std::string> Passes::startUpUnflushed;

// Every line of the start-up report (versions, music, shader files, bindings,
// textures) is flushed as it is written.
TEST_F(Passes, EveryStartUpLineIsFlushed) {
    EXPECT_EQ(countOccurrences(startUpReport, "Uniform \""), 31) << startUpReport;
    EXPECT_EQ(countOccurrences(startUpReport, "Status: Using GLEW "), 1) << startUpReport;
    EXPECT_GT(countOccurrences(startUpReport, " loaded...\n"), 20) << startUpReport;
    EXPECT_EQ(startUpUnflushed, std::vector<std::string>{});
}

// Keys M, B and Z all pressed on one real frame: the three outputs reach the
// console unflushed, in that order.
int mbzHeld(int key) { return key == kKeyM || key == kKeyB || key == kKeyZ ? kKeyPressed : 0; }
TEST_F(Passes, KeyOutputsOfARealFrameStayUnflushed) {
    runState.motionBlurKeyCounter = runState.bloomKeyCounter = 31;
    int (*noKey)(int) = platform.readKey;
    platform.readKey = mbzHeld;
    ConsoleCapture console;
    virtualSeconds += 0.005;
    const bool goOn = runFrame();
    platform.readKey = noKey;
    EXPECT_TRUE(goOn);
    EXPECT_EQ(console.text(), "1 MB\n1 BL\nZAP\n");
    EXPECT_EQ(console.buffer.syncs(), 0);
}

// The five last meshes show only once the count of hidden meshes drops to 0,
// and they change the picture nowhere but where they stand.
TEST_F(Passes, TheFiveRevealedMeshesAppearOnlyWhereTheyStand) {
    placeCamera(afterReveal);
    runState.hiddenMeshCount = 5;
    drawScenePass();
    Image hidden = readTexture(renderTargets.sceneColorTexture);
    runState.hiddenMeshCount = 0;
    drawScenePass();
    Image shown = readTexture(renderTargets.sceneColorTexture);

    const std::vector<SceneMesh>& meshes = mainScene->meshes;
    ASSERT_GE(meshes.size(), 5u);
    std::vector<Vec3> revealed;
    for (size_t i = meshes.size() - 5; i < meshes.size(); ++i) {
        std::vector<Vec3> points = meshPositions(meshes[i]);
        revealed.insert(revealed.end(), points.begin(), points.end());
    }
    PixelBox box = projectedBox(revealed, frameMatrices.modelViewProjection);
    ASSERT_GT(box.area(), 0) << "the revealed meshes are out of view at the reveal";
    ASSERT_LT(box.area(), kWidth * kHeight) << "the revealed meshes reach behind the camera";

    int changedInside = 0, changedOutside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            int d = pixelDifference(hidden, shown, x, y);
            if (box.contains(x, y)) {
                changedInside += d > 24 ? 1 : 0;
            } else {
                changedOutside += d > 0 ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(changedOutside, 0) << "the reveal changed pixels outside the revealed meshes";
    EXPECT_GT(changedInside, box.area() / 50)
        << "the revealed meshes are hardly visible in their box " << box.x0 << "," << box.y0 << " - "
        << box.x1 << "," << box.y1;
}

// The walking lamp's orb is drawn where the light is: placed 3 m in front
// of the eye in the middle of the run, the pixel "light_pos" projects to
// shows the orb's pale light, and moving the light a metre aside takes the
// orb with it.
TEST_F(Passes, TheWalkingLampsOrbShowsWhereTheLightIs) {
    placeCamera(afterReveal);
    const float* v = afterReveal.view.m;
    const Vec3 t{v[12], v[13], v[14]};
    const Vec3 eye{-(v[0] * t.x + v[1] * t.y + v[2] * t.z), -(v[4] * t.x + v[5] * t.y + v[6] * t.z),
                   -(v[8] * t.x + v[9] * t.y + v[10] * t.z)};
    const Vec3 forward{-v[2], -v[6], -v[10]}, right{v[0], v[4], v[8]};
    const Vec3 light = eye + forward * 150.0f;
    const Mat4 viewProjection = multiply(afterReveal.projection, afterReveal.view);
    PixelBox box = projectedBox({light}, viewProjection);
    const int x = (box.x0 + box.x1) / 2, y = (box.y0 + box.y1) / 2;
    auto darkestChannelAt = [&](Vec3 lightAt) {
        lightRig.position = lightAt;
        drawScenePass();
        Image scene = readTexture(renderTargets.sceneColorTexture);
        const uint8_t* p = scene.at(x, y);
        return std::min({p[0], p[1], p[2]});
    };
    EXPECT_GE(darkestChannelAt(light), 160) << "no orb at " << x << ", " << y;
    EXPECT_LT(darkestChannelAt(light + right * 50.0f), 100) << "the orb stays put when the light moves";
}

// A pass that draws no mesh still clears the target.
TEST_F(Passes, HidingEveryMeshLeavesAClearedTarget) {
    placeCamera(afterReveal);
    drawScenePass();
    Image black;
    ASSERT_GT(maxDifference(readTexture(renderTargets.sceneColorTexture), black), 64);
    runState.hiddenMeshCount = static_cast<int>(mainScene->meshes.size());
    drawScenePass();
    EXPECT_EQ(maxDifference(readTexture(renderTargets.sceneColorTexture), black), 0);
}

TEST_F(Passes, MotionBlurOfAStillCameraKeepsTheImage) {
    placeCamera(early);
    drawScenePass();
    drawScenePass();
    drawMotionBlurPass();
    Image input = readTexture(renderTargets.sceneColorTexture);
    Image output = readTexture(renderTargets.motionBlurTexture);
    Image black;
    ASSERT_GT(maxDifference(input, black), 64) << "the camera sees nothing at this moment";
    ASSERT_EQ(0, std::memcmp(frameMatrices.previousModelViewProjection.m, frameMatrices.modelViewProjection.m,
                             sizeof(Mat4)));
    int offPixels = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) offPixels += pixelDifference(input, output, x, y) > 2 ? 1 : 0;
    }
    EXPECT_LE(maxDifference(input, output), 2) << offPixels << " pixels differ by more than 2/255";
}

// A camera that turns sideways smears the picture sideways: the horizontal
// detail drops far more than the vertical one. Tilting does the opposite.
TEST_F(Passes, MotionBlurSmearsAlongTheCamerasMotion) {
    const float turn = 1.5f * 3.14159265f / 180.0f;  // about 17 pixels on screen
    struct Case {
        const char* name;
        Mat4 rotation;
        bool horizontal;
    };
    const Case cases[] = {{"pan", turnAboutScreenVertical(turn), true},
                          {"tilt", turnAboutScreenHorizontal(turn), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        placeCamera(early);
        drawScenePass();
        cameraRig.viewMatrix = multiply(c.rotation, early.view);
        drawScenePass();
        drawMotionBlurPass();
        Image input = readTexture(renderTargets.sceneColorTexture);
        Image output = readTexture(renderTargets.motionBlurTexture);

        EXPECT_GT(maxDifference(input, output), 32);
        Gradients in = gradients(input), out = gradients(output);
        ASSERT_GT(in.alongX, 0.0);
        ASSERT_GT(in.alongY, 0.0);
        double keptX = out.alongX / in.alongX, keptY = out.alongY / in.alongY;
        // Averaging along the motion also evens out the fine grain across it
        // (textures are noisy in both directions), so the two ratios differ
        // by less than the streak alone would suggest: about 0.85 for the
        // pan and 0.7 for the tilt, where the rows a sample lands on shift
        // with the last bit of the motion's rounding. A blur across the
        // motion, or none, comes out near 1 or above.
        if (c.horizontal) {
            EXPECT_LT(keptX, 0.88 * keptY) << "detail kept along x " << keptX << ", along y " << keptY;
        } else {
            EXPECT_LT(keptY, 0.88 * keptX) << "detail kept along x " << keptX << ", along y " << keptY;
        }
    }
}

// The glow grows around bright pixels, never out of dark ones.
TEST_F(Passes, BloomGlowsAroundBrightPixelsOnly) {
    Image square;
    const int x0 = 480, y0 = 352, side = 64;
    for (int y = y0; y < y0 + side; ++y) {
        for (int x = x0; x < x0 + side; ++x) {
            uint8_t* p = square.at(x, y);
            p[0] = p[1] = p[2] = p[3] = 255;
        }
    }
    uploadTexture(renderTargets.sceneColorTexture, square);
    drawBloomPass();
    Image result = readTexture(renderTargets.bloomResultTexture);

    // The square stays white.
    for (int y = y0; y < y0 + side; ++y) {
        for (int x = x0; x < x0 + side; ++x) {
            ASSERT_GE(result.at(x, y)[0], 254) << x << "," << y;
            ASSERT_GE(result.at(x, y)[1], 254) << x << "," << y;
            ASSERT_GE(result.at(x, y)[2], 254) << x << "," << y;
        }
    }
    // A few pixels off each side it glows.
    const int near = 6;
    const int nearPoints[][2] = {{x0 - near, y0 + side / 2},
                                 {x0 + side - 1 + near, y0 + side / 2},
                                 {x0 + side / 2, y0 - near},
                                 {x0 + side / 2, y0 + side - 1 + near}};
    for (const auto& p : nearPoints) {
        EXPECT_GT(result.at(p[0], p[1])[1], 24) << "no glow at " << p[0] << "," << p[1];
    }
    // Centred on the square: as much above as below, left as right (the
    // blurs' bands and columns line up with the bright image).
    for (int d = 1; d <= 40; d += 3) {
        const int mid = side / 2;
        EXPECT_NEAR(result.at(x0 + mid, y0 - d)[1], result.at(x0 + mid, y0 + side - 1 + d)[1], 3) << "above/below " << d;
        EXPECT_NEAR(result.at(x0 - d, y0 + mid)[1], result.at(x0 + side - 1 + d, y0 + mid)[1], 3) << "left/right " << d;
    }
    // Far away it is as black as before.
    int farBright = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            bool far = x < x0 - 150 || x >= x0 + side + 150 || y < y0 - 150 || y >= y0 + side + 150;
            if (far && pixelDifference(result, square, x, y) > 1) ++farBright;
        }
    }
    EXPECT_EQ(farBright, 0);
}

TEST_F(Passes, BloomLeavesDarkFramesDark) {
    Image black;
    uploadTexture(renderTargets.sceneColorTexture, black);
    drawBloomPass();
    EXPECT_LE(maxDifference(readTexture(renderTargets.bloomResultTexture), black), 1);

    // A dim picture whose light stays within what it shows (alpha 0, as the
    // scene shader writes it) comes through unchanged.
    Image dim;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = dim.at(x, y);
            p[0] = static_cast<uint8_t>(x * 100 / kWidth);
            p[1] = static_cast<uint8_t>(y * 100 / kHeight);
            p[2] = static_cast<uint8_t>(((x / 16 + y / 16) % 2) * 100);
            p[3] = 0;
        }
    }
    uploadTexture(renderTargets.sceneColorTexture, dim);
    drawBloomPass();
    EXPECT_LE(maxDifference(readTexture(renderTargets.bloomResultTexture), dim), 2);
}

// The zap shakes the picture sideways by the table's pixel counts, wrapping
// round at the edges: offset o shows source column x + o at window column x.
TEST_F(Passes, ZapFramesShiftThePictureByTheTable) {
    const int shifts[] = {10, 20, 80, 85, 90, 15, 10, -15, -10, 0, 0};
    const int counters[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 31};
    Image source = stripedPattern(0);
    uploadTexture(renderTargets.sceneColorTexture, source);
    for (int i = 0; i < 11; ++i) {
        runState.zapCounter = counters[i];
        composeAndPresent();
        int worst = 0, badPixels = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* shown = backBuffer.at(x, y);
                const uint8_t* expected = source.at(((x + shifts[i]) % kWidth + kWidth) % kWidth, y);
                int d = 0;
                for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(int(shown[c]) - int(expected[c])));
                worst = std::max(worst, d);
                if (d > 2) ++badPixels;
            }
        }
        EXPECT_EQ(badPixels, 0) << "zapCounter " << counters[i] << ": expected a shift of " << shifts[i]
                                << " pixels, worst difference " << worst;
    }
}

// How far the glow of a white square (side 64 designed pixels, at the
// frame's centre) reaches to its right before it falls below `level`, in
// the frame's pixels.
int glowReach(int level) {
    const int w = frameSize.width, h = frameSize.height;
    const int side = static_cast<int>(std::lround(64 * designScale(w, h)));
    Image square(w, h);
    for (int y = (h - side) / 2; y < (h + side) / 2; ++y) {
        for (int x = (w - side) / 2; x < (w + side) / 2; ++x) std::fill_n(square.at(x, y), 4, uint8_t{255});
    }
    uploadTexture(renderTargets.sceneColorTexture, square);
    drawBloomPass();
    const Image result = readTexture(renderTargets.bloomResultTexture);
    int x = (w + side) / 2;
    while (x < w && result.at(x, h / 2)[1] >= level) ++x;
    return x - (w + side) / 2;
}

// The ramp a vertical edge at the frame's centre becomes when the camera
// turns sideways fast (the streak is held at its longest): its width in the
// frame's pixels, measured on the middle row.
int streakOfAFastPan() {
    const int w = frameSize.width, h = frameSize.height;
    Image edge(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = w / 2; x < w; ++x) std::fill_n(edge.at(x, y), 4, uint8_t{255});
    }
    uploadTexture(renderTargets.sceneColorTexture, edge);
    // Everything at one depth; a turn moves every point alike whatever its depth.
    glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.sceneFramebuffer);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const Mat4 projection = cameraProjection(w, h);
    frameMatrices.inverseModelViewProjection = inverse(projection);
    frameMatrices.previousModelViewProjection = multiply(projection, turnAboutScreenVertical(0.2f));
    runState.bloomEnabled = false;
    drawMotionBlurPass();
    const Image result = readTexture(renderTargets.motionBlurTexture);
    int ramp = 0;
    for (int x = 0; x < w; ++x) {
        const int v = result.at(x, h / 2)[0];
        if (v > 8 && v < 247) ++ramp;
    }
    return ramp;
}

// What the passes measure in pixels follows the frame's size, so the
// picture looks the same at every size: at 1.5 times the designed size, and
// at 1920 × 1080 (1.40625 times its height), the glow reaches as far, a
// streak is as long and the shake moves as far, as shares of the picture.
TEST_F(Passes, GlowStreakAndShakeKeepTheirShareOfThePictureAtAnySize) {
    const int designedGlow = glowReach(24), designedStreak = streakOfAFastPan();
    ASSERT_GT(designedGlow, 4);
    ASSERT_GT(designedStreak, 30);
    struct Size {
        int width, height;
    };
    for (Size size : {Size{1536, 1152}, Size{1920, 1080}}) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        resizeFrame(size.width, size.height);
        const double scale = designScale(size.width, size.height);
        EXPECT_NEAR(glowReach(24) / scale, designedGlow, 0.15 * designedGlow) << "designed " << designedGlow;
        EXPECT_NEAR(streakOfAFastPan() / scale, designedStreak, 2.0) << "designed " << designedStreak;
    }

    // The shake of a 16:9 frame 1.5 times the designed height (a share of
    // the designed picture's width, not of the frame's): the table's entries
    // that come out as whole pixels there, shown in the window's corner of
    // the larger frame (not swapped: the window's present would take the
    // frame back to the window's size).
    const int wide = 2048;
    resizeFrame(wide, 1152);
    platform.present = readBackBuffer;
    const Image source = stripedPattern(0, wide, 1152);
    uploadTexture(renderTargets.sceneColorTexture, source);
    const int counters[] = {0, 1, 2, 4, 6, 8};
    const int shifts[] = {15, 30, 120, 135, 15, -15};
    for (int i = 0; i < 6; ++i) {
        runState.zapCounter = counters[i];
        composeAndPresent();
        int badPixels = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* shown = backBuffer.at(x, y);
                const uint8_t* expected = source.at((x + shifts[i] + wide) % wide, y);
                int d = 0;
                for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(int(shown[c]) - int(expected[c])));
                if (d > 2) ++badPixels;
            }
        }
        EXPECT_EQ(badPixels, 0) << "zapCounter " << counters[i] << ": expected a shift of " << shifts[i];
    }
    platform.present = readThenPresent;
    resizeFrame(kWidth, kHeight);
}

// The window shows the image of the last pass that ran: the motion blur's,
// else the bloom's, else the scene's.
TEST_F(Passes, TheWindowShowsTheLastPassesImage) {
    Image scene = stripedPattern(1), bloom = stripedPattern(2), blur = stripedPattern(3);
    uploadTexture(renderTargets.sceneColorTexture, scene);
    uploadTexture(renderTargets.bloomResultTexture, bloom);
    uploadTexture(renderTargets.motionBlurTexture, blur);
    struct Case {
        bool motionBlur, bloom;
        const Image* shown;
    };
    const Case cases[] = {
        {false, false, &scene}, {false, true, &bloom}, {true, false, &blur}, {true, true, &blur}};
    for (const Case& c : cases) {
        runState.motionBlurEnabled = c.motionBlur;
        runState.bloomEnabled = c.bloom;
        composeAndPresent();
        EXPECT_LE(maxDifference(backBuffer, *c.shown), 2)
            << "motion blur " << c.motionBlur << ", bloom " << c.bloom;
    }
}

TEST_F(Passes, WithBothEffectsOffTheWindowShowsTheScene) {
    placeCamera(afterReveal);
    drawScenePass();
    composeAndPresent();
    Image scene = readTexture(renderTargets.sceneColorTexture);
    Image black;
    ASSERT_GT(maxDifference(scene, black), 64) << "the camera sees nothing at this moment";
    EXPECT_LE(maxDifference(backBuffer, scene), 2);
}

GLint boundOnUnit(GLenum unit) {
    glActiveTexture(unit);
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

// Units 1 and 2 change only for meshes that bring a normal or a height map;
// a mesh without one leaves the unit with whatever was bound there before.
// Checked for every length of the drawn list, so the last drawn mesh is in
// turn one with and one without each map.
TEST_F(Passes, MeshesWithoutMapsLeaveTheirUnitsAlone) {
    placeCamera(early);
    GLuint sentinels[2] = {0, 0};
    glGenTextures(2, sentinels);
    const uint8_t white[4] = {255, 255, 255, 255};
    for (GLuint s : sentinels) {
        glBindTexture(GL_TEXTURE_2D, s);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    const std::vector<SceneMesh>& meshes = mainScene->meshes;
    int withoutNormalMap = 0, withoutHeightMap = 0;
    for (const SceneMesh& mesh : meshes) {
        withoutNormalMap += mesh.hasNormalTexture ? 0 : 1;
        withoutHeightMap += mesh.hasHeightTexture ? 0 : 1;
    }
    ASSERT_GT(withoutNormalMap, 0) << "every mesh has a normal map: nothing to check";
    ASSERT_GT(withoutHeightMap, 0) << "every mesh has a height map: nothing to check";

    const int count = static_cast<int>(meshes.size());
    const GLint sentinelSampler = 7;
    for (int drawn = 0; drawn <= count; ++drawn) {
        SCOPED_TRACE("meshes drawn: " + std::to_string(drawn));
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, sentinels[0]);
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D, sentinels[1]);
        glUseProgram(pvlTexProgram.name);
        glUniform1i(uniformLocations.texNormal, sentinelSampler);
        glUniform1i(uniformLocations.texHeight, sentinelSampler);

        runState.hiddenMeshCount = count - drawn;
        drawScenePass();

        GLint expectNormal = static_cast<GLint>(sentinels[0]), expectHeight = static_cast<GLint>(sentinels[1]);
        GLint expectNormalSampler = sentinelSampler, expectHeightSampler = sentinelSampler;
        for (int i = 0; i < drawn; ++i) {
            if (meshes[i].hasNormalTexture) {
                expectNormal = static_cast<GLint>(meshes[i].normalTexture);
                expectNormalSampler = 1;
            }
            if (meshes[i].hasHeightTexture) {
                expectHeight = static_cast<GLint>(meshes[i].heightTexture);
                expectHeightSampler = 2;
            }
        }
        EXPECT_EQ(boundOnUnit(GL_TEXTURE1), expectNormal);
        EXPECT_EQ(boundOnUnit(GL_TEXTURE2), expectHeight);
        if (drawn > 0) {
            EXPECT_EQ(boundOnUnit(GL_TEXTURE0), static_cast<GLint>(meshes[drawn - 1].colorTexture));
        }
        GLint sampler = -1;
        glGetUniformiv(pvlTexProgram.name, uniformLocations.texNormal, &sampler);
        EXPECT_EQ(sampler, expectNormalSampler);
        glGetUniformiv(pvlTexProgram.name, uniformLocations.texHeight, &sampler);
        EXPECT_EQ(sampler, expectHeightSampler);
    }
    glDeleteTextures(2, sentinels);
}

Vec3 uniformVec3(GLuint program, GLint location) {
    float v[3] = {-99.0f, -99.0f, -99.0f};
    glGetUniformfv(program, location, v);
    return Vec3{v[0], v[1], v[2]};
}
float uniformFloat(GLuint program, GLint location) {
    float v = -99.0f;
    glGetUniformfv(program, location, &v);
    return v;
}
GLint uniformInt(GLuint program, GLint location) {
    GLint v = -99;
    glGetUniformiv(program, location, &v);
    return v;
}
bool sameVec3(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// What the scene pass hands the program, read back after real passes. With
// the first k meshes drawn, the per-mesh uniforms hold mesh k - 1's values,
// so every mesh is checked in turn.
TEST_F(Passes, TheScenePassUploadsTheLightTheConstantsAndEachMeshsMaterialAndFlags) {
    placeCamera(early);
    const Vec3 lightAt{12.5f, -7.25f, 131.0f};
    lightRig.position = lightAt;
    const UniformLocations& u = uniformLocations;
    const GLuint program = pvlTexProgram.name;
    for (GLint location : {u.lightAmbient, u.lightDiffuse, u.lightSpecular, u.lightPos, u.scale, u.bias,
                           u.texturedColor, u.texturedNormal, u.texturedHeight, u.matAmbient, u.matDiffuse,
                           u.matSpecular, u.matShininess, u.modelMatrix}) {
        ASSERT_NE(location, -1) << "a uniform the check needs is not live in the shaders";
    }
    const std::vector<SceneMesh>& meshes = mainScene->meshes;
    const int count = static_cast<int>(meshes.size());
    for (int drawn = 1; drawn <= count; ++drawn) {
        SCOPED_TRACE("meshes drawn: " + std::to_string(drawn));
        runState.hiddenMeshCount = count - drawn;
        drawScenePass();
        const SceneMesh& mesh = meshes[static_cast<size_t>(drawn - 1)];
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.lightAmbient), Vec3{0.1f, 0.1f, 0.1f}));
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.lightDiffuse), Vec3{0.5f, 0.5f, 0.5f}));
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.lightSpecular), Vec3{1.0f, 1.0f, 1.0f}));
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.lightPos), lightAt)) << "straight from the light rig";
        EXPECT_EQ(uniformFloat(program, u.scale), -0.01f);
        EXPECT_EQ(uniformFloat(program, u.bias), -0.003f);
        EXPECT_EQ(uniformInt(program, u.texturedColor), mesh.hasColorTexture ? 1 : 0);
        EXPECT_EQ(uniformInt(program, u.texturedNormal), mesh.hasNormalTexture ? 1 : 0);
        EXPECT_EQ(uniformInt(program, u.texturedHeight), mesh.hasHeightTexture ? 1 : 0);
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.matAmbient), mesh.ambient));
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.matDiffuse), mesh.diffuse));
        EXPECT_TRUE(sameVec3(uniformVec3(program, u.matSpecular), mesh.specular));
        EXPECT_EQ(uniformFloat(program, u.matShininess), mesh.shininess);
        EXPECT_EQ(uniformInt(program, u.pvlTexColor), 0);
    }
    // The town's meshes carry their maps in a few combinations only, so the
    // first mesh's record is given each of the eight in turn: every flag is
    // uploaded from its own field.
    SceneMesh& first = mainScene->meshes.front();
    const SceneMesh kept = first;
    runState.hiddenMeshCount = count - 1;
    for (int combination = 0; combination < 8; ++combination) {
        SCOPED_TRACE("maps: " + std::to_string(combination));
        first.hasColorTexture = (combination & 1) != 0;
        first.hasNormalTexture = (combination & 2) != 0;
        first.hasHeightTexture = (combination & 4) != 0;
        drawScenePass();
        EXPECT_EQ(uniformInt(program, u.texturedColor), first.hasColorTexture ? 1 : 0);
        EXPECT_EQ(uniformInt(program, u.texturedNormal), first.hasNormalTexture ? 1 : 0);
        EXPECT_EQ(uniformInt(program, u.texturedHeight), first.hasHeightTexture ? 1 : 0);
    }
    first = kept;

    // The model matrix moves the centroid to the origin.
    float model[16] = {};
    glGetUniformfv(program, u.modelMatrix, model);
    EXPECT_EQ(model[12], -mainScene->centroid.x);
    EXPECT_EQ(model[13], -mainScene->centroid.y);
    EXPECT_EQ(model[14], -mainScene->centroid.z);
    // The town has meshes with and without each map, so every flag was seen both ways.
    int withNormal = 0, withHeight = 0;
    for (const SceneMesh& mesh : meshes) {
        withNormal += mesh.hasNormalTexture ? 1 : 0;
        withHeight += mesh.hasHeightTexture ? 1 : 0;
    }
    EXPECT_GT(withNormal, 0);
    EXPECT_LT(withNormal, count);
    EXPECT_GT(withHeight, 0);
    EXPECT_LT(withHeight, count);
}

// With both effects on, the motion blur blurs the bloomed image, not the
// scene's; with bloom off, the scene's. A still camera blurs nothing, so the
// output is the input.
TEST_F(Passes, MotionBlurReadsTheBloomedImageWhenBloomIsOn) {
    placeCamera(early);
    drawScenePass();
    drawScenePass();
    const Image scene = readTexture(renderTargets.sceneColorTexture);
    const Image bloomed = stripedPattern(5);
    uploadTexture(renderTargets.bloomResultTexture, bloomed);
    ASSERT_GT(maxDifference(scene, bloomed), 64);

    runState.motionBlurEnabled = true;
    runState.bloomEnabled = true;
    drawMotionBlurPass();
    EXPECT_LE(maxDifference(readTexture(renderTargets.motionBlurTexture), bloomed), 2);

    runState.bloomEnabled = false;
    drawMotionBlurPass();
    EXPECT_LE(maxDifference(readTexture(renderTargets.motionBlurTexture), scene), 2);
}

}  // namespace
