#include "camera/camera_rig.h"

#include <cmath>

CameraRig cameraRig;
LightRig lightRig;

void CameraRig::init() {
    viewportWidth = frameSize.width;
    viewportHeight = frameSize.height;
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

    projMatrix = cameraProjection(viewportWidth, viewportHeight);
    viewMatrix = lookAt(eye, target, Vec3{0.0f, 0.0f, 1.0f});
}

void CameraRig::resize(int32_t width, int32_t height) {
    viewportWidth = width;
    viewportHeight = height;
    projMatrix = cameraProjection(width, height);
}

Mat4 cameraProjection(int32_t width, int32_t height) {
    float aspect = static_cast<float>(width) / static_cast<float>(height);
    // Doubling is exact, so perspective's own halving gives back the very same float.
    float fieldOfView = 2.0f * kCameraHalfFieldOfView;
    // Narrower than 4:3 (compared in whole numbers, so 4:3 itself takes the
    // designed path bit for bit): the vertical field opens up until the
    // horizontal one is 4:3's.
    if (static_cast<int64_t>(width) * 3 < static_cast<int64_t>(height) * 4) {
        double halfWidthSlope = std::tan(static_cast<double>(kCameraHalfFieldOfView)) * 4.0 / 3.0;
        fieldOfView = static_cast<float>(2.0 * std::atan(halfWidthSlope * height / width));
    }
    return perspective(fieldOfView, aspect, kCameraNearPlane, kCameraFarPlane);
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
