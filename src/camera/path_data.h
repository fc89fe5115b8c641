// The demo's fixed motion: the camera's 28 points and the light's 25.
//
// The tables are plain constant data so that the content generator and the
// tests read exactly what the rigs are given. buildCameraPath / buildLightPath
// add them, in row order, to the global rigs and finish both paths; each runs
// once, right after start-up, after the rigs' init.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct CameraPathPoint {
    Vec3 eye;
    Vec3 target;
    int32_t ticks;  // travel time to the next point; the last point's is never used
};

struct LightPathPoint {
    Vec3 position;
    int32_t ticks;
};

constexpr int kCameraPointCount = 28;
constexpr int kLightPointCount = 25;

extern const CameraPathPoint kCameraPoints[kCameraPointCount];
extern const LightPathPoint kLightPoints[kLightPointCount];

void buildCameraPath();  // fills cameraRig.path
void buildLightPath();   // fills lightRig.path
