#include "camera/path_data.h"

#include "camera/camera_rig.h"

// Points 1–12 take 1070 ticks, so the camera arrives at point 13 just as the
// hidden meshes appear; 14–23 are the slow street segments; 24–28 circle the
// scene at eye height 75, looking at (0, 0, 50).
const CameraPathPoint kCameraPoints[kCameraPointCount] = {
    {{-2000.0f, -2000.0f, 2000.0f}, {0.0f, 0.0f, 0.0f}, 90},
    {{-100.0f, -1000.0f, 300.0f}, {250.0f, -275.0f, 80.0f}, 70},
    {{250.0f, -380.0f, 75.0f}, {250.0f, 250.0f, 75.0f}, 70},
    {{250.0f, 220.0f, 75.0f}, {-280.0f, 290.0f, 75.0f}, 70},
    {{-280.0f, 220.0f, 75.0f}, {-475.0f, -655.0f, 75.0f}, 70},
    {{-620.0f, 400.0f, 95.0f}, {95.0f, 165.0f, 75.0f}, 100},
    {{-775.0f, -160.0f, 95.0f}, {95.0f, 165.0f, 75.0f}, 70},
    {{-980.0f, 150.0f, 120.0f}, {-360.0f, 220.0f, 75.0f}, 70},
    {{-175.0f, 260.0f, 75.0f}, {250.0f, 270.0f, 75.0f}, 70},
    {{240.0f, 270.0f, 75.0f}, {250.0f, -250.0f, 75.0f}, 120},
    {{230.0f, -250.0f, 75.0f}, {280.0f, -280.0f, 75.0f}, 120},
    {{-315.0f, -565.0f, 95.0f}, {250.0f, 0.0f, 75.0f}, 150},
    {{-335.0f, -335.0f, 120.0f}, {250.0f, 250.0f, 75.0f}, 300},
    {{50.0f, -250.0f, 100.0f}, {200.0f, -167.5f, 75.0f}, 500},
    {{50.0f, -125.0f, 100.0f}, {200.0f, -167.5f, 75.0f}, 500},
    {{50.0f, -20.0f, 120.0f}, {225.0f, 0.0f, 75.0f}, 500},
    {{150.0f, 75.0f, 120.0f}, {225.0f, 0.0f, 75.0f}, 500},
    {{162.0f, 100.0f, 120.0f}, {208.0f, 190.0f, 80.0f}, 500},
    {{95.0f, 165.0f, 120.0f}, {208.0f, 190.0f, 80.0f}, 500},
    {{50.0f, 125.0f, 120.0f}, {0.0f, 220.0f, 80.0f}, 500},
    {{-25.0f, 125.0f, 120.0f}, {0.0f, 200.0f, 80.0f}, 500},
    {{-90.0f, 135.0f, 150.0f}, {-185.0f, 235.0f, 90.0f}, 500},
    {{-215.0f, 125.0f, 150.0f}, {-185.0f, 235.0f, 90.0f}, 500},
    {{-475.0f, -655.0f, 75.0f}, {0.0f, 0.0f, 50.0f}, 100},
    {{650.0f, -800.0f, 75.0f}, {0.0f, 0.0f, 50.0f}, 90},
    {{800.0f, 600.0f, 75.0f}, {0.0f, 0.0f, 50.0f}, 80},
    {{-750.0f, 650.0f, 75.0f}, {0.0f, 0.0f, 50.0f}, 70},
    {{-480.0f, -555.0f, 75.0f}, {0.0f, 0.0f, 50.0f}, 60},
};

// The first segment joins two equal points over the origin, so the light
// hovers there (with a small swing towards point 3) until tick 1030.
const LightPathPoint kLightPoints[kLightPointCount] = {
    {{0.0f, 0.0f, 125.0f}, 1030},
    {{0.0f, 0.0f, 125.0f}, 125},
    {{210.0f, -85.0f, 125.0f}, 105},
    {{305.0f, -180.0f, 125.0f}, 310},
    {{220.0f, -280.0f, 125.0f}, 295},
    {{130.0f, -180.0f, 125.0f}, 325},
    {{130.0f, 0.0f, 125.0f}, 200},
    {{220.0f, 90.0f, 125.0f}, 70},
    {{300.0f, 0.0f, 125.0f}, 70},
    {{210.0f, -85.0f, 125.0f}, 100},
    {{110.0f, -40.0f, 125.0f}, 700},
    {{85.0f, 100.0f, 125.0f}, 250},
    {{210.0f, 300.0f, 125.0f}, 50},
    {{300.0f, 225.0f, 125.0f}, 200},
    {{210.0f, 115.0f, 125.0f}, 400},
    {{-10.0f, 131.0f, 125.0f}, 225},
    {{-80.0f, 215.0f, 125.0f}, 55},
    {{0.0f, 300.0f, 125.0f}, 155},
    {{75.0f, 215.0f, 125.0f}, 255},
    {{-10.0f, 131.0f, 125.0f}, 275},
    {{-195.0f, 155.0f, 125.0f}, 225},
    {{-275.0f, 225.0f, 125.0f}, 225},
    {{-180.0f, 305.0f, 125.0f}, 225},
    {{-80.0f, 215.0f, 125.0f}, 225},
    {{0.0f, 0.0f, 125.0f}, 225},
};

void buildCameraPath() {
    for (const CameraPathPoint& p : kCameraPoints) {
        cameraRig.path.addControlPoint(
            {p.eye.x, p.eye.y, p.eye.z, p.target.x, p.target.y, p.target.z}, p.ticks);
    }
    cameraRig.path.finishPath();
}

void buildLightPath() {
    for (const LightPathPoint& p : kLightPoints) {
        lightRig.path.addControlPoint({p.position.x, p.position.y, p.position.z}, p.ticks);
    }
    lightRig.path.finishPath();
}
