// The camera and the light, each following its own control-point path.
//
// The main loop calls cameraRig.update() and then lightRig.update() once per
// frame, after the frame was presented; the scene pass of the next frame reads
// viewMatrix, projMatrix and position. Both rigs are created with the process,
// initialised during start-up and filled by buildCameraPath / buildLightPath.
// A rig whose path has too few points keeps its outputs as they were.
#pragma once

#include <cstdint>

#include "camera/control_point_path.h"
#include "math/vecmath.h"
#include "platform/frame_size.h"

// Payload: eye (0..2), then the look-at target (3..5).
struct CameraRig {
    ControlPointPath<6> path;
    int32_t viewportWidth = kFrameWidth;
    int32_t viewportHeight = kFrameHeight;
    Mat4 viewMatrix;  // identity until the first update
    Mat4 projMatrix;  // identity until the first update

    // The fixed frame size as viewport (not read from the window), identity
    // matrices, path clock started.
    void init();
    // Advances the path; rebuilds the view (up +Z) and the 60° projection.
    void update();
};

// Payload: the light's position.
struct LightRig {
    ControlPointPath<3> path;
    Vec3 position;  // (0, 0, 0) until the first update

    void init();
    void update();
};

// Half the vertical field of view: π/6 as a float.
constexpr float kCameraHalfFieldOfView = 0.5235987901687622f;
constexpr float kCameraNearPlane = 1.0f;
constexpr float kCameraFarPlane = 10000.0f;

extern CameraRig cameraRig;
extern LightRig lightRig;
