// The camera and light rigs with the demo's own path data, on a virtual clock:
// the stored entries, the first frame, the arrival times, the light's swing in
// its first segment, and rigs whose paths have too few points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "camera/camera_rig.h"
#include "camera/path_data.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

double virtualSeconds = 0.0;
double readVirtualClock() { return virtualSeconds; }

// 1/64 s is exact in binary: 0.78125 ticks per frame.
constexpr double kFrameSeconds = 1.0 / 64.0;
constexpr double kFrameTicks = kFrameSeconds * 50.0;
constexpr double kPi = 3.14159265358979323846;


uint32_t bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

bool isIdentity(const Mat4& m) {
    Mat4 identity;
    return std::memcmp(m.m, identity.m, sizeof m.m) == 0;
}

float distance(Vec3 a, Vec3 b) { return length(a - b); }

// A view matrix is [R | −R·eye] with the rows of R being s, u and −f.
Vec3 eyeFromView(const Mat4& m) {
    return {-(m[0] * m[12] + m[1] * m[13] + m[2] * m[14]),
            -(m[4] * m[12] + m[5] * m[13] + m[6] * m[14]),
            -(m[8] * m[12] + m[9] * m[13] + m[10] * m[14])};
}
Vec3 forwardFromView(const Mat4& m) { return {-m[2], -m[6], -m[10]}; }

// Near the first point's eye, looking nearly at its target (the origin).
void expectNearTheFirstView(const Mat4& view) {
    const Vec3 eye{-2000, -2000, 2000};
    EXPECT_LT(distance(eyeFromView(view), eye), 20.0f);
    Vec3 forward = normalize(Vec3{} - eye);
    EXPECT_LT(distance(forwardFromView(view), forward), 3e-3f);
    // With up +Z the side axis is horizontal, and the view's up is world +Z
    // with the viewing direction taken out.
    EXPECT_EQ(view[8], 0.0f);
    Vec3 up = normalize(Vec3{0, 0, 1} - forward * dot(Vec3{0, 0, 1}, forward));
    EXPECT_LT(distance(Vec3{view[1], view[5], view[9]}, up), 3e-3f);
}

// The motion as the demo's design fixes it, typed from the design's tables
// and kept apart from src/camera/path_data.cpp: a test that compared the
// rigs with the code's own table would pass whatever that table said.
struct ReferenceCameraPoint {
    Vec3 eye;
    Vec3 target;
    int ticks;
    int nextReachedAt;
};
struct ReferenceLightPoint {
    Vec3 position;
    int ticks;
    int nextReachedAt;
};

// The camera path, row by row: eye, target, ticks to the next point, and the
// nominal tick at which the next point is reached (-1: never, the last row).
const ReferenceCameraPoint kReferenceCamera[28] = {
    {{-2000, -2000, 2000}, {0, 0, 0}, 90, 90},
    {{-100, -1000, 300}, {250, -275, 80}, 70, 160},
    {{250, -380, 75}, {250, 250, 75}, 70, 230},
    {{250, 220, 75}, {-280, 290, 75}, 70, 300},
    {{-280, 220, 75}, {-475, -655, 75}, 70, 370},
    {{-620, 400, 95}, {95, 165, 75}, 100, 470},
    {{-775, -160, 95}, {95, 165, 75}, 70, 540},
    {{-980, 150, 120}, {-360, 220, 75}, 70, 610},
    {{-175, 260, 75}, {250, 270, 75}, 70, 680},
    {{240, 270, 75}, {250, -250, 75}, 120, 800},
    {{230, -250, 75}, {280, -280, 75}, 120, 920},
    {{-315, -565, 95}, {250, 0, 75}, 150, 1070},
    {{-335, -335, 120}, {250, 250, 75}, 300, 1370},
    {{50, -250, 100}, {200, -167.5, 75}, 500, 1870},
    {{50, -125, 100}, {200, -167.5, 75}, 500, 2370},
    {{50, -20, 120}, {225, 0, 75}, 500, 2870},
    {{150, 75, 120}, {225, 0, 75}, 500, 3370},
    {{162, 100, 120}, {208, 190, 80}, 500, 3870},
    {{95, 165, 120}, {208, 190, 80}, 500, 4370},
    {{50, 125, 120}, {0, 220, 80}, 500, 4870},
    {{-25, 125, 120}, {0, 200, 80}, 500, 5370},
    {{-90, 135, 150}, {-185, 235, 90}, 500, 5870},
    {{-215, 125, 150}, {-185, 235, 90}, 500, 6370},
    {{-475, -655, 75}, {0, 0, 50}, 100, 6470},
    {{650, -800, 75}, {0, 0, 50}, 90, 6560},
    {{800, 600, 75}, {0, 0, 50}, 80, 6640},
    {{-750, 650, 75}, {0, 0, 50}, 70, 6710},
    {{-480, -555, 75}, {0, 0, 50}, 60, -1},
};

// The light path: position, ticks to the next point, next point reached at.
const ReferenceLightPoint kReferenceLight[25] = {
    {{0, 0, 125}, 1030, 1030},
    {{0, 0, 125}, 125, 1155},
    {{210, -85, 125}, 105, 1260},
    {{305, -180, 125}, 310, 1570},
    {{220, -280, 125}, 295, 1865},
    {{130, -180, 125}, 325, 2190},
    {{130, 0, 125}, 200, 2390},
    {{220, 90, 125}, 70, 2460},
    {{300, 0, 125}, 70, 2530},
    {{210, -85, 125}, 100, 2630},
    {{110, -40, 125}, 700, 3330},
    {{85, 100, 125}, 250, 3580},
    {{210, 300, 125}, 50, 3630},
    {{300, 225, 125}, 200, 3830},
    {{210, 115, 125}, 400, 4230},
    {{-10, 131, 125}, 225, 4455},
    {{-80, 215, 125}, 55, 4510},
    {{0, 300, 125}, 155, 4665},
    {{75, 215, 125}, 255, 4920},
    {{-10, 131, 125}, 275, 5195},
    {{-195, 155, 125}, 225, 5420},
    {{-275, 225, 125}, 225, 5645},
    {{-180, 305, 125}, 225, 5870},
    {{-80, 215, 125}, 225, 6095},
    {{0, 0, 125}, 225, -1},
};

Vec3 eyeOf(const ControlPoint<6>& p) { return {p.payload[0], p.payload[1], p.payload[2]}; }
Vec3 targetOf(const ControlPoint<6>& p) { return {p.payload[3], p.payload[4], p.payload[5]}; }
Vec3 positionOf(const ControlPoint<3>& p) { return {p.payload[0], p.payload[1], p.payload[2]}; }

// The start-up order: both rigs initialised at 0 s, then both paths built.
struct RigTest : ::testing::Test {
    std::string buildOutput;
    void SetUp() override {
        platform.readClock = readVirtualClock;
        virtualSeconds = 0.0;
        // Value-initialised as start-up does it: GCC 12 at -O3 takes the moved-from
        // braced temporary's vector for uninitialised (-Wmaybe-uninitialized).
        cameraRig = CameraRig();
        lightRig = LightRig();
        cameraRig.init();
        lightRig.init();
        ConsoleCapture out;
        buildCameraPath();
        buildLightPath();
        buildOutput = out.text();
    }
    void step() {
        virtualSeconds += kFrameSeconds;
        cameraRig.update();
        lightRig.update();
    }
};

}  // namespace

TEST(PathData, DurationsAddUpToTheTimelineEvents) {
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += kCameraPoints[i].ticks;
    EXPECT_EQ(sum, 1070) << "point 13 is reached when the hidden meshes appear";
    for (int i = 12; i < 23; ++i) sum += kCameraPoints[i].ticks;
    EXPECT_EQ(sum, 6370);
    for (int i = 23; i < 27; ++i) sum += kCameraPoints[i].ticks;
    EXPECT_EQ(sum, 6710);

    int lightSum = 0;
    for (int i = 0; i < 24; ++i) lightSum += kLightPoints[i].ticks;
    EXPECT_EQ(lightSum, 6095);

    // From the third point on the eye stays between heights 75 and 150.
    for (int i = 2; i < kCameraPointCount; ++i) {
        EXPECT_GE(kCameraPoints[i].eye.z, 75.0f) << i;
        EXPECT_LE(kCameraPoints[i].eye.z, 150.0f) << i;
    }
    for (const LightPathPoint& p : kLightPoints) EXPECT_EQ(p.position.z, 125.0f);

    // Points 24 to 28 circle the scene counter-clockwise seen from above, at
    // height 75, all looking at (0, 0, 50).
    double previousAngle = std::atan2(kCameraPoints[23].eye.y, kCameraPoints[23].eye.x);
    for (int i = 23; i < 28; ++i) {
        const CameraPathPoint& p = kCameraPoints[i];
        if (i > 23) {
            double angle = std::atan2(p.eye.y, p.eye.x);
            if (angle < previousAngle) angle += 2.0 * kPi;
            EXPECT_GT(angle - previousAngle, 0.0) << "point " << i + 1;
            EXPECT_LT(angle - previousAngle, kPi) << "point " << i + 1;
            previousAngle = angle;
        }
        EXPECT_EQ(p.eye.z, 75.0f);
        EXPECT_EQ(p.target.x, 0.0f);
        EXPECT_EQ(p.target.y, 0.0f);
        EXPECT_EQ(p.target.z, 50.0f);
    }
    EXPECT_EQ(kCameraPoints[12].eye.x, -335.0f);
    EXPECT_EQ(kCameraPoints[12].target.y, 250.0f);
    EXPECT_EQ(kCameraPoints[13].target.y, -167.5f);
}

TEST_F(RigTest, BuiltPathsHoldEveryPointBetweenTheEndCopies) {
    EXPECT_EQ(buildOutput, "") << "neither finishPath may warn";

    const std::vector<ControlPoint<6>>& cam = cameraRig.path.points;
    ASSERT_EQ(cam.size(), 30u);
    EXPECT_EQ(cam[0].ticks, 1);
    EXPECT_EQ(cam[29].ticks, 1);
    EXPECT_EQ(cam[0].payload, cam[1].payload);
    EXPECT_EQ(cam[29].payload, cam[28].payload);
    for (int i = 0; i < 28; ++i) {
        const ReferenceCameraPoint& row = kReferenceCamera[i];
        const ControlPoint<6>& e = cam[i + 1];
        const ControlPointPath<6>::Payload expected{row.eye.x,    row.eye.y,    row.eye.z,
                                                row.target.x, row.target.y, row.target.z};
        EXPECT_EQ(e.payload, expected) << "point " << i + 1;
        EXPECT_EQ(e.ticks, row.ticks) << "point " << i + 1;
    }
    EXPECT_EQ(eyeOf(cam[1]).x, -2000.0f);
    EXPECT_EQ(eyeOf(cam[1]).z, 2000.0f);
    EXPECT_EQ(eyeOf(cam[28]).y, -555.0f);

    const std::vector<ControlPoint<3>>& light = lightRig.path.points;
    ASSERT_EQ(light.size(), 27u);
    for (int i : {0, 26}) {
        EXPECT_EQ(light[i].ticks, 1);
        EXPECT_EQ(light[i].payload, (ControlPointPath<3>::Payload{0, 0, 125}));
    }
    for (int i = 0; i < 25; ++i) {
        const ReferenceLightPoint& row = kReferenceLight[i];
        EXPECT_EQ(light[i + 1].ticks, row.ticks) << "point " << i + 1;
        EXPECT_EQ(positionOf(light[i + 1]).x, row.position.x) << "point " << i + 1;
        EXPECT_EQ(positionOf(light[i + 1]).y, row.position.y) << "point " << i + 1;
        EXPECT_EQ(positionOf(light[i + 1]).z, row.position.z) << "point " << i + 1;
    }
}

// The copy above is checked against itself as the design states it: every
// "reached at" entry is the running sum of the durations before it, so a
// slip in typing a duration shows here rather than as a false failure.
TEST(ReferencePaths, ReachedAtColumnsAreTheRunningSumsOfTheDurations) {
    int camera = 0;
    for (int i = 0; i < 27; ++i) {
        camera += kReferenceCamera[i].ticks;
        EXPECT_EQ(kReferenceCamera[i].nextReachedAt, camera) << "camera point " << i + 1;
    }
    EXPECT_EQ(kReferenceCamera[27].nextReachedAt, -1);
    int light = 0;
    for (int i = 0; i < 24; ++i) {
        light += kReferenceLight[i].ticks;
        EXPECT_EQ(kReferenceLight[i].nextReachedAt, light) << "light point " << i + 1;
    }
    EXPECT_EQ(kReferenceLight[24].nextReachedAt, -1);
}

TEST_F(RigTest, BeforeAndAtTheFirstUpdate) {
    EXPECT_TRUE(isIdentity(cameraRig.viewMatrix));
    EXPECT_TRUE(isIdentity(cameraRig.projMatrix));
    EXPECT_EQ(lightRig.position.x, 0.0f);
    EXPECT_EQ(lightRig.position.y, 0.0f);
    EXPECT_EQ(lightRig.position.z, 0.0f);
    EXPECT_EQ(cameraRig.viewportWidth, 1024);
    EXPECT_EQ(cameraRig.viewportHeight, 768);

    ConsoleCapture out;
    step();
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(cameraRig.path.segment, 0);
    EXPECT_EQ(cameraRig.path.u, static_cast<float>(kFrameTicks / 90.0));

    const Mat4& p = cameraRig.projMatrix;
    EXPECT_EQ(bits(p[0]), bits(1.299038052558899f));
    EXPECT_EQ(bits(p[5]), bits(1.732050895690918f));
    EXPECT_EQ(bits(p[10]), bits(-1.0002000331878662f));
    EXPECT_EQ(bits(p[11]), bits(-1.0f));
    EXPECT_EQ(bits(p[14]), bits(-2.000200033187866f));
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(p[i], 0.0f) << i;

    EXPECT_FALSE(isIdentity(cameraRig.viewMatrix));
    expectNearTheFirstView(cameraRig.viewMatrix);

    EXPECT_NEAR(lightRig.position.x, 0.0f, 1e-3f);
    EXPECT_NEAR(lightRig.position.y, 0.0f, 1e-3f);
    EXPECT_NEAR(lightRig.position.z, 125.0f, 1e-3f);
}

// Any frame shows the designed 4:3 picture whole at its centre: a point at
// the edge of the designed view lands on the frame's top or bottom edge when
// the frame is wider (the sides show more) and on its left or right edge when
// it is narrower (more above and below). The designed size keeps the
// designed matrix to the bit.
TEST(CameraProjection, EveryShapeOfFrameHoldsTheDesignedPictureWhole) {
    const Mat4 designed = cameraProjection(1024, 768);
    EXPECT_EQ(bits(designed[0]), bits(1.299038052558899f));
    EXPECT_EQ(bits(designed[5]), bits(1.732050895690918f));
    EXPECT_EQ(std::memcmp(cameraProjection(2048, 1536).m, designed.m, sizeof designed.m), 0);

    // The designed view's corner, seen from the eye at depth 1 (x right, y up).
    const double slope = std::tan(0.5235987901687622);
    const double cornerX = slope * 4.0 / 3.0, cornerY = slope;
    struct Frame {
        int width, height;
        bool wider;
    };
    for (Frame f : {Frame{1920, 1080, true}, Frame{2560, 1080, true}, Frame{1920, 1200, true},
                    Frame{1280, 1024, false}, Frame{1080, 1920, false}}) {
        SCOPED_TRACE(std::to_string(f.width) + " x " + std::to_string(f.height));
        const Mat4 p = cameraProjection(f.width, f.height);
        // Clip x and y of a point at depth 1 are p[0] x and p[5] y (w = 1).
        const double x = p[0] * cornerX, y = p[5] * cornerY;
        EXPECT_NEAR(f.wider ? y : x, 1.0, 1e-6) << "the designed picture's edge is the frame's edge";
        EXPECT_LE(f.wider ? x : y, 1.0 + 1e-6) << "a part of the designed picture would be cut";
        EXPECT_NEAR(p[5] / p[0], static_cast<double>(f.width) / f.height, 1e-5) << "pixels would not be square";
        EXPECT_EQ(p[11], -1.0f);
    }
}

TEST_F(RigTest, CameraReachesPoints13And24OnTimeAndWrapsAtTheEnd) {
    // Segment k runs from stored entry k + 1 to k + 2, so the camera has
    // reached point n (entry n) when it steps into segment n − 1. Each step
    // may lag its nominal tick by up to one frame per segment before it.
    double reached13 = -1.0, reached24 = -1.0, wrapped = -1.0;
    int previousSegment = 0;
    for (int frame = 1; frame <= 9000 && wrapped < 0.0; ++frame) {
        step();
        int segment = cameraRig.path.segment;
        double ticks = virtualSeconds * 50.0;
        if (segment == 12 && reached13 < 0.0) {
            reached13 = ticks;
            // One frame into the segment from point 13 towards point 14.
            Vec3 eye = eyeOf(cameraRig.path.p1);
            EXPECT_EQ(eye.x, -335.0f);
            EXPECT_EQ(targetOf(cameraRig.path.p1).x, 250.0f);
        }
        if (segment == 23 && reached24 < 0.0) reached24 = ticks;
        if (segment == 0 && previousSegment == 26) wrapped = ticks;
        previousSegment = segment;
    }
    EXPECT_GE(reached13, 1070.0);
    EXPECT_LE(reached13, 1070.0 + 13 * kFrameTicks);
    EXPECT_GE(reached24, 6370.0);
    EXPECT_LE(reached24, 6370.0 + 24 * kFrameTicks);
    EXPECT_GE(wrapped, 6710.0);
    EXPECT_LE(wrapped, 6710.0 + 28 * kFrameTicks);

    // After the wrap it is back high above, near the first view again.
    expectNearTheFirstView(cameraRig.viewMatrix);
}

TEST_F(RigTest, LightSwingsOutOfItsFirstSegmentAndBack) {
    const Vec3 a{0, 0, 125}, b{210, -85, 125};
    // At u = 2/3 the spline sits at A + (c3/2)(B − A) with c3 = −4/27.
    const Vec3 farthest = a - (b - a) * (2.0f / 27.0f);

    float farthestDistance = 0.0f, uAtFarthest = 0.0f;
    Vec3 at{};
    while (lightRig.path.segment <= 0) {
        step();
        if (lightRig.path.segment != 0) break;
        float d = distance(lightRig.position, a);
        if (d > farthestDistance) {
            farthestDistance = d;
            uAtFarthest = lightRig.path.u;
            at = lightRig.position;
        }
    }
    EXPECT_NEAR(uAtFarthest, 2.0f / 3.0f, 2.0f * kFrameTicks / 1030.0f);
    EXPECT_NEAR(at.x, farthest.x, 0.01f);
    EXPECT_NEAR(at.y, farthest.y, 0.01f);
    EXPECT_NEAR(at.z, 125.0f, 1e-3f);
    EXPECT_NEAR(at.x, -15.56f, 0.01f);
    EXPECT_NEAR(at.y, 6.30f, 0.01f);
    // It swings away from B, not towards it, and is home again by the step.
    EXPECT_LT(at.x, 0.0f);
    EXPECT_EQ(lightRig.path.segment, 1);
    EXPECT_LT(distance(lightRig.position, a), 1.5f);
}

TEST(RigsWithTooFewPoints, KeepTheirInitialOutputsAndSayWhyEveryFrame) {
    platform.readClock = readVirtualClock;
    virtualSeconds = 0.0;
    CameraRig camera;
    LightRig light;
    ConsoleCapture out;
    camera.init();
    light.init();
    camera.path.addControlPoint({1, 2, 3, 4, 5, 6}, 50);
    camera.path.finishPath();
    light.path.finishPath();  // no points at all
    std::string expected =
        "Warning: too little control points! Add more points!\n"
        "Warning: too little control points! Add more points!\n";
    EXPECT_EQ(out.text(), expected);

    for (int frame = 1; frame <= 4; ++frame) {
        virtualSeconds = frame * 0.25;
        camera.update();
        light.update();
    }
    for (int i = 0; i < 8; ++i) expected += "Not enough control points for camera!\n";
    EXPECT_EQ(out.text(), expected);
    // Console messages are flushed line by line.
    EXPECT_EQ(out.buffer.unflushedLines(), std::vector<std::string>{});
    EXPECT_EQ(out.buffer.syncs(), 10);
    EXPECT_TRUE(isIdentity(camera.viewMatrix));
    EXPECT_TRUE(isIdentity(camera.projMatrix));
    EXPECT_EQ(light.position.x, 0.0f);
    EXPECT_EQ(light.position.z, 0.0f);
    EXPECT_EQ(camera.path.lastTime, 1.0);
}
