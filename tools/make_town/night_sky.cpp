// The night around the town: low hills with villages on them out to the
// horizon, and the sky dome with its stars and the moon.
//
// Everything here lies inside the dome, whose radius keeps it within the
// camera's far plane from every eye position of the flight (the content tests
// check both), and the dome reaches below the horizon, so that wherever the
// flat fields end the eye meets the sky's haze instead of the void.
#include <cmath>
#include <vector>

#include "town_scenes.h"

const float kSkyRadius = 6000.0f;
// Towards the moon, as the scene shader's moonlight comes from: north-east,
// 22 degrees above the horizon.
const Vec3 kMoonDirection{0.4755f, 0.7946f, 0.3774f};

namespace {

const float kPi = 3.1415927f;
const float kHillsInner = 3300.0f, kHillsOuter = 5700.0f;

// Height of the hills at a point of the ground: nothing inside the ring,
// rolling crests in the middle of it, lower again towards the sky.
float hillHeight(float x, float y) {
    float r = std::sqrt(x * x + y * y);
    float across = (r - kHillsInner) / (kHillsOuter - kHillsInner);
    if (across <= 0.0f || across >= 1.0f) return 0.0f;
    float azimuth = std::atan2(y, x) / (2.0f * kPi) + 0.5f;  // 0..1 around
    float swell = tiledFbm(azimuth, across * 0.25f, 12, 4, 611);
    float envelope = std::sin(kPi * std::pow(across, 0.8f));
    return envelope * (120.0f + 420.0f * swell * swell);
}

Vec3 hillPoint(float r, float azimuth) {
    float x = r * std::cos(azimuth), y = r * std::sin(azimuth);
    return Vec3{x, y, hillHeight(x, y)};
}

void addHills(MeshBuilder& mesh) {
    const int around = 96, rings = 10;
    const float du = 2.0f * kPi / around;
    auto ringRadius = [&](int j) { return kHillsInner + (kHillsOuter - kHillsInner) * j / rings; };
    auto normalAt = [&](float r, float a) {
        // Central differences on the height field.
        const float e = 20.0f;
        Vec3 p = hillPoint(r, a);
        float hx = hillHeight(p.x + e, p.y) - hillHeight(p.x - e, p.y);
        float hy = hillHeight(p.x, p.y + e) - hillHeight(p.x, p.y - e);
        return normalize(Vec3{-hx, -hy, 2.0f * e});
    };
    auto make = [&](int i, int j) {
        float r = ringRadius(j), a = i * du;
        Corner c;
        c.position = hillPoint(r, a);
        c.normal = normalAt(r, a);
        c.u = c.position.x / 400.0f;
        c.v = -c.position.y / 400.0f;
        return c;
    };
    // Counter-clockwise seen from above: outwards first, then round.
    addGrid(mesh, around, rings, make, true);
}

// Villages on the hills, seen only from afar: plain houses with pitched
// roofs round a church, and some windows lit, facing the town.
void addVillages(MeshBuilder& houses, MeshBuilder& windows) {
    const float villageAzimuths[] = {0.3f, 1.2f, 1.9f, 2.6f, 3.3f, 4.1f, 4.9f, 5.6f};
    unsigned seed = 1;
    for (float villageAzimuth : villageAzimuths) {
        float villageRadius = 3700.0f + 500.0f * hashUnit(seed, 1);
        int count = 7 + static_cast<int>(hashUnit(seed, 2) * 8.0f);
        for (int k = 0; k <= count; ++k) {
            bool church = k == count;
            float a = villageAzimuth + (church ? 0.0f : (hashUnit(seed, 10 + k) - 0.5f) * 0.16f);
            float r = villageRadius + (church ? 0.0f : (hashUnit(seed, 40 + k) - 0.5f) * 500.0f);
            Vec3 at = hillPoint(r, a);
            at.z -= 10.0f;  // sunk a little, so no gap shows on a slope
            // Turned so that local -y faces the town's middle, give or take.
            float yaw = a - 0.5f * kPi + (hashUnit(seed, 70 + k) - 0.5f) * 0.5f;
            float w = church ? 70.0f : 90.0f + 70.0f * hashUnit(seed, 100 + k);
            float d = church ? 70.0f : 70.0f + 40.0f * hashUnit(seed, 130 + k);
            float h = church ? 260.0f : 90.0f + 60.0f * hashUnit(seed, 160 + k);
            MeshBuilder body;
            addBox(body, 0.5f * w, 0.5f * d, h + 10.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
            if (church) {
                addSpire(body, 4, 0.5f * w * 1.414f, h + 10.0f, 160.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
            } else {
                addHipRoof(body, 0.5f * w, 0.5f * d, h + 10.0f, 0.5f * std::fmin(w, d), 6.0f,
                           UvScale{100.0f, 100.0f, 0.0f, 0.0f});
            }
            appendPlaced(houses, body, Placement{at, yaw});
            // Lit windows on the wall that faces the town.
            MeshBuilder lit;
            int storeys = static_cast<int>(h / 60.0f);
            for (int row = 0; row < storeys; ++row) {
                for (float x = -0.5f * w + 25.0f; x < 0.5f * w - 15.0f; x += 35.0f) {
                    if (hashUnit(seed, static_cast<std::uint32_t>(row * 37 + x), 200 + k) > 0.45f) continue;
                    float z = 40.0f + 60.0f * row;
                    addWall(lit, Vec3{x - 8.0f, -0.5f * d - 0.6f, 0.0f}, Vec3{x + 8.0f, -0.5f * d - 0.6f, 0.0f}, z, z + 22.0f,
                            UvScale{16.0f, 22.0f, 0.0f, 0.0f}, z + 22.0f);
                }
            }
            appendPlaced(windows, lit, Placement{at, yaw});
        }
        ++seed;
    }
}

// The dome: a sphere round the middle of the town from the zenith down to
// 25 degrees below the horizon, seen from inside. Its picture repeats six
// times around; v runs from the zenith (0) to the lowest ring (1).
void addDome(MeshBuilder& mesh) {
    const int slices = 48, stacks = 24;
    const float lowest = -25.0f * kPi / 180.0f;
    auto make = [&](int i, int j) {
        float azimuth = 2.0f * kPi * i / slices;
        float elevation = 0.5f * kPi - (0.5f * kPi - lowest) * j / stacks;
        Vec3 out{std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
        if (j == 0) out = Vec3{0.0f, 0.0f, 1.0f};
        Corner c;
        c.position = out * kSkyRadius;
        c.normal = out * -1.0f;  // seen from inside
        c.u = 6.0f * i / slices;
        c.v = static_cast<float>(j) / stacks;
        return c;
    };
    // Counter-clockwise seen from inside.
    addGrid(mesh, slices, stacks, make, false);
}

// The moon: a disc just inside the dome, facing the middle of the town,
// 2.5 degrees across (five times the real one, as painters draw it).
void addMoon(MeshBuilder& mesh) {
    const int sides = 40;
    Vec3 toward = normalize(kMoonDirection);
    Vec3 centre = toward * (kSkyRadius - 150.0f);
    float radius = length(centre) * std::tan(1.25f * kPi / 180.0f);
    Vec3 right = normalize(cross(toward, Vec3{0.0f, 0.0f, 1.0f}));  // seen from the town
    Vec3 up = cross(right, toward);
    addDisc(mesh, centre, right, up, radius, sides);
}

}  // namespace

void addCountryside(SceneModel& model, int grassMaterial) {
    int houses = model.addPlainMaterial("far_houses", Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.16f, 0.14f, 0.13f},
                                        Vec3{0.0f, 0.0f, 0.0f}, 4.0f);
    // Shines and takes no light: warm lamplight behind curtains.
    int windows = model.addPlainMaterial("far_windows", Vec3{14.0f, 9.0f, 4.5f}, Vec3{0.0f, 0.0f, 0.0f},
                                         Vec3{0.0f, 0.0f, 0.0f}, 1.0f);
    addHills(model.part("hills", grassMaterial));
    addVillages(model.part("far_houses", houses), model.part("far_windows", windows));
}

void addNightSky(SceneModel& model) {
    TextureRecipe moon;
    moon.name = "moon";
    moon.pattern = Pattern::Moon;
    moon.size = 512;
    moon.seed = 61;
    moon.base = {0.95f, 0.93f, 0.86f};
    moon.second = {0.55f, 0.56f, 0.58f};
    TextureRecipe sky;
    sky.name = "night_sky";
    sky.pattern = Pattern::NightSky;
    sky.size = 1024;
    sky.seed = 62;
    sky.base = {0.0035f, 0.006f, 0.02f};  // the zenith
    sky.second = {0.008f, 0.012f, 0.032f};
    sky.third = {0.04f, 0.04f, 0.052f};  // the glow along the horizon
    // Both shine only: ten times "light_ambient" gives the pictures' own radiance.
    int moonMaterial = model.addTexturedMaterial(moon, Vec3{25.0f, 25.0f, 25.0f}, Vec3{0.0f, 0.0f, 0.0f},
                                                 Vec3{0.0f, 0.0f, 0.0f}, 1.0f);
    int skyMaterial = model.addTexturedMaterial(sky, Vec3{10.0f, 10.0f, 10.0f}, Vec3{0.0f, 0.0f, 0.0f},
                                                Vec3{0.0f, 0.0f, 0.0f}, 1.0f);
    addMoon(model.part("moon", moonMaterial));
    addDome(model.part("sky_dome", skyMaterial));
}
