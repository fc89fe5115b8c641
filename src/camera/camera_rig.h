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

    // The frame's size as viewport (platform/frame_size.h: the designed
    // 1024 × 768 unless an option or the window says otherwise), identity
    // matrices, path clock started.
    void init();
    // Advances the path; rebuilds the view (up +Z) and the projection.
    void update();
    // A new frame size: the viewport, and the projection made again at once,
    // so that the frame drawn next is not stretched.
    void resize(int32_t width, int32_t height);
};

// The camera's projection for a viewport of this size: 60° vertically at 4:3
// and wider (wider frames show more at the sides), and 4:3's horizontal field
// when narrower (more shows above and below), so the designed 4:3 picture is
// always whole at the centre. Near plane 1, far plane 10000.
Mat4 cameraProjection(int32_t width, int32_t height);

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
