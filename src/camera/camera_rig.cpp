#include "camera/camera_rig.h"

CameraRig cameraRig;
LightRig lightRig;

void CameraRig::init() {
    viewportWidth = kFrameWidth;
    viewportHeight = kFrameHeight;
    viewMatrix = Mat4();
    projMatrix = Mat4();
    path.startClock();
}

void CameraRig::update() {
    std::optional<ControlPointPath<6>::Payload> value = path.advance();
    if (!value) return;
    const ControlPointPath<6>::Payload& p = *value;
    Vec3 eye{p[0], p[1], p[2]};
    Vec3 target{p[3], p[4], p[5]};

    float aspect = static_cast<float>(viewportWidth) / static_cast<float>(viewportHeight);
    // Doubling is exact, so perspective's own halving gives back the very same float.
    projMatrix =
        perspective(2.0f * kCameraHalfFieldOfView, aspect, kCameraNearPlane, kCameraFarPlane);
    viewMatrix = lookAt(eye, target, Vec3{0.0f, 0.0f, 1.0f});
}

void LightRig::init() {
    position = Vec3{};
    path.startClock();
}

void LightRig::update() {
    std::optional<ControlPointPath<3>::Payload> value = path.advance();
    if (!value) return;
    position = Vec3{(*value)[0], (*value)[1], (*value)[2]};
}
