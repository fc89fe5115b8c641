// The town of the main scene.
//
// Layout, from the middle out: the square, which the camera circles at eye
// height for most of the run, with the fountain in the middle and the pieces
// that are revealed when the bloom starts around it; blocks of houses on the
// ground between the camera's routes, their pavements and kerbs, and two
// parks; an old tower south-west of the square; the ring road the camera orbits on at the end, lined on
// its far side by an outer ring of blocks; and the outskirts with scattered
// houses, trees and the avenue the camera comes down at the start.
#include <algorithm>
#include <cmath>
#include <string>

#include "town_scenes.h"

namespace {

const float kPi = 3.1415927f;
const float kPavement = 55.0f;  // pavement width in front of every block, kerb included
const float kKerb = 12.0f;

// The modelling tool's origin lies south-west of the town: the file holds the
// town shifted by this, and the marker mesh sits on it.
const Vec3 kOriginOffset{3125.0f, 1875.0f, 0.0f};

struct Dice {
    std::uint32_t seed;
    std::uint32_t count = 0;
    float next() { return hashUnit(seed, count++); }
    int pick(int n) { return static_cast<int>(next() * n) % n; }
};

struct Materials {
    int cobbles, grass, paving, granite, brick, ochre, rose, stone, clay, slate, timber, door, bark, foliage;
    int iron, glass, water, marker, litWindows, walkingLamp;
};

Vec3 grey(float v) { return Vec3{v, v, v}; }

Materials addMaterials(SceneModel& model) {
    Materials m;
    auto textured = [&](const char* name, Pattern pattern, int size, std::uint32_t seed, Rgb a, Rgb b, Rgb c,
                        float relief, float specular, float shininess) {
        TextureRecipe r = recipeOf(pattern, seed, a, b, c);
        r.name = name;
        r.size = size;
        r.reliefTexels = relief;
        // The ambient colour is what a surface gives off by itself: nothing, for
        // stone, brick and wood.
        return model.addTexturedMaterial(r, grey(0.0f), grey(1.0f), grey(specular), shininess);
    };
    m.cobbles = textured("cobbles", Pattern::Cobbles, 1024, 11, {0.38f, 0.37f, 0.36f}, {0.44f, 0.37f, 0.33f},
                         {0.26f, 0.24f, 0.2f}, 5.0f, 0.1f, 24.0f);
    m.grass = textured("grass", Pattern::Grass, 1024, 12, {0.2f, 0.34f, 0.13f}, {0.42f, 0.44f, 0.2f},
                       {0.36f, 0.28f, 0.18f}, 2.0f, 0.03f, 6.0f);
    m.paving = textured("paving", Pattern::Paving, 512, 13, {0.64f, 0.62f, 0.58f}, {0.28f, 0.26f, 0.24f}, {},
                        3.0f, 0.12f, 16.0f);
    m.granite = textured("granite", Pattern::Granite, 512, 14, {0.58f, 0.58f, 0.57f}, {}, {}, 1.5f, 0.2f, 30.0f);
    m.brick = textured("brick", Pattern::BrickBay, 512, 15, {0.56f, 0.24f, 0.16f}, {0.7f, 0.66f, 0.6f},
                       {0.9f, 0.9f, 0.86f}, 3.0f, 0.08f, 12.0f);
    m.ochre = textured("plaster_ochre", Pattern::PlasterBay, 512, 16, {0.86f, 0.72f, 0.48f}, {0.2f, 0.36f, 0.28f},
                       {0.85f, 0.82f, 0.74f}, 2.5f, 0.06f, 10.0f);
    m.rose = textured("plaster_rose", Pattern::PlasterBay, 512, 17, {0.84f, 0.62f, 0.58f}, {0.22f, 0.3f, 0.42f},
                      {0.9f, 0.88f, 0.82f}, 2.5f, 0.06f, 10.0f);
    m.stone = textured("ashlar", Pattern::StoneBay, 512, 18, {0.76f, 0.68f, 0.54f}, {0.32f, 0.22f, 0.14f}, {},
                       3.0f, 0.1f, 14.0f);
    m.clay = textured("roof_clay", Pattern::RoofTiles, 512, 19, {0.66f, 0.3f, 0.18f}, {0.55f, 0.55f, 0.35f}, {},
                      4.0f, 0.15f, 20.0f);
    m.slate = textured("roof_slate", Pattern::Slate, 512, 20, {0.3f, 0.32f, 0.36f}, {}, {}, 3.5f, 0.3f, 40.0f);
    m.timber = textured("timber", Pattern::Planks, 512, 21, {0.46f, 0.31f, 0.19f}, {}, {}, 2.0f, 0.08f, 12.0f);
    m.door = textured("door", Pattern::Door, 512, 22, {0.1f, 0.27f, 0.22f}, {0.8f, 0.64f, 0.3f}, {}, 3.0f, 0.35f,
                      40.0f);
    m.bark = textured("bark", Pattern::Bark, 512, 23, {0.33f, 0.27f, 0.21f}, {}, {}, 4.0f, 0.03f, 6.0f);
    m.foliage = textured("foliage", Pattern::Leaves, 512, 24, {0.12f, 0.26f, 0.09f}, {0.3f, 0.46f, 0.16f}, {},
                         3.0f, 0.1f, 10.0f);
    m.iron = model.addPlainMaterial("iron", grey(0.0f), Vec3{0.02f, 0.022f, 0.021f}, grey(0.5f), 40.0f);
    // Lamps shine and take no light: a warm glow, bright enough for a halo.
    m.glass = model.addPlainMaterial("lamp_glass", Vec3{22.0f, 15.0f, 7.0f}, grey(0.0f), grey(0.0f), 1.0f);
    // Lit windows shine a softer, deeper warm than the lamps; the walking lamp
    // is a flame-coloured orb with a faint halo, well below the sculptures' glow.
    m.litWindows = model.addPlainMaterial("lit_windows", Vec3{6.5f, 3.7f, 1.4f}, grey(0.0f), grey(0.0f), 1.0f);
    m.walkingLamp = model.addPlainMaterial("walking_lamp", Vec3{14.0f, 8.5f, 3.5f}, grey(0.0f), grey(0.0f), 1.0f);
    m.water = model.addPlainMaterial("water", grey(0.0f), Vec3{0.01f, 0.02f, 0.03f}, grey(0.9f), 90.0f);
    m.marker = model.addPlainMaterial("marker", grey(0.5f), grey(0.5f), grey(0.0f), 1.0f);
    return m;
}

// ---------------------------------------------------------------------------
// Blocks of houses.

struct Block {
    const char* name;
    float cx, cy, width, height, yawDegrees;
    int minStoreys, maxStoreys;
    bool outer;  // beyond the ring road: seen from afar, its parts are kept apart
};

// The blocks stand on the ground between the camera's routes, at least about
// seventy units from any point the eye passes. Inside the ring road they keep
// well back from it, so that the closing orbit, which looks at the middle of
// the town, sees across the square rather than into a wall.
const Block kBlocks[] = {
    {"north-west", -285.0f, 500.0f, 300.0f, 200.0f, 0.0f, 2, 4, false},
    {"north", 155.0f, 505.0f, 300.0f, 190.0f, 0.0f, 2, 4, false},
    {"east", 520.0f, -62.5f, 200.0f, 335.0f, 0.0f, 3, 4, false},
    {"outer south", 420.0f, -1190.0f, 620.0f, 300.0f, 0.0f, 2, 4, true},
    {"outer east", 1210.0f, -30.0f, 300.0f, 1100.0f, 0.0f, 2, 4, true},
    {"outer north", 30.0f, 1080.0f, 1260.0f, 300.0f, 0.0f, 2, 4, true},
    {"outer west", -1300.0f, -60.0f, 300.0f, 1100.0f, 0.0f, 2, 4, true},
    {"outer north-east", 1000.0f, 850.0f, 300.0f, 360.0f, 45.0f, 2, 3, true},
    {"outer south-east", 960.0f, -900.0f, 300.0f, 380.0f, -45.0f, 2, 3, true},
    {"outer north-west", -1000.0f, 870.0f, 300.0f, 420.0f, -45.0f, 2, 3, true},
    {"outer south-west", -1040.0f, -920.0f, 300.0f, 500.0f, 45.0f, 2, 3, true},
};

// Widths of the houses along a row of the given length.
std::vector<float> splitRow(float length, Dice& dice) {
    static const float kWidths[] = {225.0f, 300.0f, 375.0f, 450.0f};
    std::vector<float> widths;
    float left = length;
    while (left > 0.0f) {
        float w = kWidths[dice.pick(4)];
        if (left - w < 150.0f) w = left <= 525.0f ? left : left * 0.5f;
        widths.push_back(w);
        left -= w;
    }
    return widths;
}

struct Town {
    SceneModel& model;
    Materials m;

    BuildingTargets targets(int facade, int roof, bool outer) {
        static const char* kFacades[] = {"brick", "ochre", "rose", "ashlar"};
        static const char* kRoofs[] = {"clay", "slate"};
        const char* region = outer ? "_outer" : "_inner";
        int facadeMaterial[] = {m.brick, m.ochre, m.rose, m.stone};
        int roofMaterial[] = {m.clay, m.slate};
        BuildingTargets t;
        t.walls = &model.part(std::string("walls_") + kFacades[facade] + region, facadeMaterial[facade]);
        t.roof = &model.part(std::string("roofs_") + kRoofs[roof] + region, roofMaterial[roof]);
        t.trim = &model.part(std::string("stonework") + region, m.granite);
        t.door = &model.part("doors", m.door);
        t.iron = &model.part("ironwork", m.iron);
        t.glass = &model.part("lamp_glass", m.glass);
        t.litWindows = &model.part("lit_windows", m.litWindows);
        t.night = &model.night;
        return t;
    }

    // The pieces that light the night or stand on the ground, placed and
    // recorded for the night's light in one step.
    void lampPost(MeshBuilder& iron, MeshBuilder& glass, Vec3 base) {
        model.night.lamps.push_back(addLampPost(iron, glass, Placement{base, 0.0f}));
        model.night.footings.push_back(lampPostFooting(base));
    }
    // Distant trees, seen only from high above, stand in the fields' huge
    // triangles; a shade round each would cut the fields into thousands, so
    // only their trunks darken towards the ground.
    void tree(Vec3 base, float size, unsigned seed, bool distant = false) {
        addTree(model.part("tree_trunks", m.bark), model.part("tree_crowns", m.foliage), base, size, seed, distant);
        model.night.footings.push_back(
            Footing{base, base, 14.0f * size, 35.0f, distant ? Shading::kItself : Shading::kAround});
    }
    void footing(Vec3 a, Vec3 b, float radius, float shade) {
        model.night.footings.push_back(Footing{a, b, radius, shade, Shading::kAround});
    }
};

void addHouse(Town& town, const Block& block, Dice& dice, const Placement& at, float width, float depth,
              bool doorBack, bool sharedLeft, bool sharedRight) {
    BuildingPlan plan;
    plan.at = at;
    plan.width = width;
    plan.depth = depth;
    plan.storeys = block.minStoreys + dice.pick(block.maxStoreys - block.minStoreys + 1);
    plan.roofPitch = 0.6f + 0.35f * dice.next();
    plan.doorFront = true;
    plan.doorBack = doorBack;
    plan.chimney = dice.next() < 0.45f;
    plan.lanterns = !block.outer && dice.next() < 0.6f;
    plan.shared[1] = sharedRight;
    plan.shared[3] = sharedLeft;
    int facade = dice.pick(4);
    int roof = dice.next() < 0.72f ? 0 : 1;
    static const Pattern kFacadePatterns[] = {Pattern::BrickBay, Pattern::PlasterBay, Pattern::PlasterBay,
                                              Pattern::StoneBay};
    plan.facade = kFacadePatterns[facade];
    plan.seed = dice.seed * 7919u + dice.count;
    addBuilding(town.targets(facade, roof, block.outer), plan);
}

void addBlock(Town& town, const Block& block, std::uint32_t seed) {
    Dice dice{seed};
    float yaw = block.yawDegrees * kPi / 180.0f;
    Placement blockAt{Vec3{block.cx, block.cy, 0.0f}, yaw};
    float hw = 0.5f * block.width, hh = 0.5f * block.height;

    // Pavement all round with a granite kerb at its edge; it runs a little under
    // the houses. It is laid in three bands, with edges at the walls' line and a
    // little way out, so the shade at the foot of the walls fades across it.
    MeshBuilder pavement, kerb;
    const UvScale pavingUv{150.0f, 150.0f, 0.0f, 0.0f};
    const float bands[] = {-10.0f, 0.0f, 20.0f, kPavement - kKerb};
    for (int b = 0; b < 3; ++b) {
        addFrame(pavement, hw + bands[b + 1], hh + bands[b + 1], hw + bands[b], hh + bands[b], 0.0f, 6.0f, pavingUv);
    }
    addFrame(kerb, hw + kPavement, hh + kPavement, hw + kPavement - kKerb, hh + kPavement - kKerb, 0.0f, 7.0f,
             UvScale{60.0f, 60.0f, 0.0f, 0.0f});
    appendPlaced(town.model.part("pavements", town.m.paving), pavement, blockAt);
    appendPlaced(town.model.part("kerbs", town.m.granite), kerb, blockAt);

    // One row of through-houses along the long side, with doors on both fronts.
    bool alongX = block.width >= block.height;
    float length = alongX ? block.width : block.height;
    float across = alongX ? block.height : block.width;
    std::vector<float> widths = splitRow(length, dice);
    float s = -0.5f * length;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        float c = s + 0.5f * widths[i];
        Vec3 local = alongX ? Vec3{c, 0.0f, 0.0f} : Vec3{0.0f, c, 0.0f};
        // Turned a quarter round, the house's right-hand side points back down the row.
        Placement at{placePoint(blockAt, local), yaw + (alongX ? 0.0f : -0.5f * kPi)};
        bool first = i == 0, last = i + 1 == widths.size();
        bool sharedLeft = alongX ? !first : !last, sharedRight = alongX ? !last : !first;
        addHouse(town, block, dice, at, widths[i], across, true, sharedLeft, sharedRight);
        s += widths[i];
    }
}

// ---------------------------------------------------------------------------
// Parks: lawns with tall trees. The crowns start well above eye height, so the
// camera looks between the trunks to the square.

struct Park {
    float x0, y0, x1, y1;
    bool trees;
};

const Park kParks[] = {
    {420.0f, 230.0f, 720.0f, 560.0f, true},    // north-east of the square
    {390.0f, -690.0f, 640.0f, -430.0f, true},  // south-east
};

void addPark(Town& town, const Park& park, std::uint32_t seed) {
    Dice dice{seed};
    addSlab(town.model.part("lawns", town.m.grass), park.x0, park.y0, park.x1, park.y1, 0.0f, 4.0f,
            UvScale{400.0f, 400.0f, 0.0f, 0.0f});
    float cx = 0.5f * (park.x0 + park.x1), cy = 0.5f * (park.y0 + park.y1);
    float hx = 0.5f * (park.x1 - park.x0), hy = 0.5f * (park.y1 - park.y0);
    MeshBuilder border;
    addFrame(border, hx + 10.0f, hy + 10.0f, hx, hy, 0.0f, 8.0f, UvScale{60.0f, 60.0f, 0.0f, 0.0f});
    appendPlaced(town.model.part("kerbs", town.m.granite), border, Placement{Vec3{cx, cy, 0.0f}, 0.0f});
    const float spacing = 140.0f;
    if (!park.trees) return;
    for (float y = park.y0 + 70.0f; y < park.y1 - 40.0f; y += spacing) {
        for (float x = park.x0 + 70.0f; x < park.x1 - 40.0f; x += spacing) {
            Vec3 p{x + (dice.next() - 0.5f) * 50.0f, y + (dice.next() - 0.5f) * 50.0f, 4.0f};
            town.tree(p, 0.95f + 0.2f * dice.next(), seed * 31u + dice.count);
        }
    }
}

// ---------------------------------------------------------------------------
// Ground.

void addGround(Town& town) {
    // The paved town inside the outer ring, in cells so that a light close above
    // it is not spread over a few huge triangles.
    const float x0 = -1460.0f, x1 = 1370.0f, y0 = -1350.0f, y1 = 1240.0f, cell = 125.0f;
    MeshBuilder& cobbles = town.model.part("ground_cobbles", town.m.cobbles);
    UvScale cobbleUv{300.0f, 300.0f, 0.0f, 0.0f};
    int nx = static_cast<int>(std::ceil((x1 - x0) / cell)), ny = static_cast<int>(std::ceil((y1 - y0) / cell));
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            float ax = x0 + i * cell, ay = y0 + j * cell;
            addFloor(cobbles, ax, ay, std::fmin(ax + cell, x1), std::fmin(ay + cell, y1), 0.0f, cobbleUv);
        }
    }
    // Fields all round, far enough for the high first view.
    MeshBuilder& grass = town.model.part("ground_grass", town.m.grass);
    UvScale grassUv{400.0f, 400.0f, 0.0f, 0.0f};
    const float far = 6000.0f, step = 1000.0f;
    auto field = [&](float ax, float ay, float bx, float by) {
        for (float y = ay; y < by; y += step) {
            for (float x = ax; x < bx; x += step) {
                addFloor(grass, x, y, std::fmin(x + step, bx), std::fmin(y + step, by), 0.0f, grassUv);
            }
        }
    };
    field(-far, -far, far, y0);
    field(-far, y1, far, far);
    field(-far, y0, x0, y1);
    field(x1, y0, far, y1);
}

// The avenue the camera comes down at the start, from the south-west, with trees.
void addAvenue(Town& town) {
    Vec3 start{-765.0f, -1350.0f, 0.0f};
    Vec3 dir = normalize(Vec3{-0.885f, -0.466f, 0.0f});
    float yaw = std::atan2(dir.y, dir.x);
    const float length = 2300.0f, halfWidth = 140.0f;
    MeshBuilder road;
    for (float s = 0.0f; s < length; s += 250.0f) {
        addSlab(road, s, -halfWidth, std::fmin(s + 250.0f, length), halfWidth, 0.0f, 3.0f,
                UvScale{300.0f, 300.0f, 0.0f, 0.0f});
    }
    Placement at{start + dir * -40.0f, yaw};
    appendPlaced(town.model.part("avenue", town.m.cobbles), road, at);
    int n = 0;
    for (float s = 120.0f; s < length; s += 230.0f) {
        for (float side : {-1.0f, 1.0f}) {
            Vec3 p = placePoint(at, Vec3{s, side * (halfWidth + 70.0f), 0.0f});
            town.tree(p, 0.9f, 500u + static_cast<unsigned>(n++), true);
        }
    }
}

// Scattered houses and trees in the fields beyond the outer ring.
void addOutskirts(Town& town) {
    Dice dice{777};
    const float cell = 330.0f;
    Vec3 avenueStart{-100.0f, -1000.0f, 0.0f};
    Vec3 avenueDir = normalize(Vec3{-0.885f, -0.466f, 0.0f});
    Block farm{"outskirts", 0, 0, 0, 0, 0, 1, 2, true};
    for (int j = -9; j <= 8; ++j) {
        for (int i = -9; i <= 8; ++i) {
            float x = (i + 0.5f) * cell + (dice.next() - 0.5f) * 120.0f;
            float y = (j + 0.5f) * cell + (dice.next() - 0.5f) * 120.0f;
            float r = std::sqrt(x * x + y * y);
            float roll = dice.next();
            if (r < 1650.0f || r > 2950.0f) continue;
            if (x > -1600.0f && x < 1550.0f && y > -1500.0f && y < 1400.0f) continue;
            Vec3 off = Vec3{x, y, 0.0f} - avenueStart;
            float along = dot(off, avenueDir);
            float across = std::fabs(off.x * avenueDir.y - off.y * avenueDir.x);
            if (along > 0.0f && across < 330.0f) continue;
            if (roll < 0.45f) {
                float facing = std::atan2(-y, -x) + 0.5f * kPi + (dice.next() - 0.5f) * 0.6f;
                addHouse(town, farm, dice, Placement{Vec3{x, y, 0.0f}, facing}, 225.0f + 75.0f * dice.pick(3),
                         180.0f + 40.0f * dice.next(), false, false, false);
            } else if (roll < 0.75f) {
                for (int k = 0; k < 2; ++k) {
                    Vec3 p{x + (dice.next() - 0.5f) * 200.0f, y + (dice.next() - 0.5f) * 200.0f, 0.0f};
                    town.tree(p, 0.8f + 0.4f * dice.next(), 900u + dice.count, true);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The square and the tower.

void addTower(Town& town) {
    // An octagonal stone tower with a slate spire: one window on each face per
    // storey. It stands south-west of the square, off the lines of sight of the
    // closing orbit.
    const Vec3 base{-840.0f, -500.0f, 0.0f};
    const int sides = 8, storeys = 5;
    const float radius = 92.0f, top = storeys * kStorey;
    MeshBuilder walls, trim, spire;
    for (int i = 0; i < sides; ++i) {
        float t0 = 2.0f * kPi * (i + 0.5f) / sides, t1 = 2.0f * kPi * (i + 1.5f) / sides;
        Vec3 a{radius * std::cos(t0), radius * std::sin(t0), 0.0f}, b{radius * std::cos(t1), radius * std::sin(t1), 0.0f};
        float len = length(b - a);
        // Cut at the stone ring's top, below which the shade at its foot stays.
        UvScale uv{kBay, kStorey, 0.5f - 0.5f * len / kBay, 0.0f};
        addWall(walls, a, b, 0.0f, 30.0f, uv, top);
        addWall(walls, a, b, 30.0f, top, uv, top);
    }
    UvScale stoneUv{100.0f, 100.0f, 0.0f, 0.0f};
    addRingWall(trim, sides, radius - 10.0f, radius + 6.0f, 0.0f, 30.0f, stoneUv);
    addRingWall(trim, sides, radius - 10.0f, radius + 10.0f, top - 20.0f, top, stoneUv);
    addRingWall(trim, sides, radius - 10.0f, radius + 4.0f, 2.0f * kStorey - 8.0f, 2.0f * kStorey, stoneUv);
    MeshBuilder cone;
    addSpire(cone, sides, radius + 14.0f, 0.0f, 340.0f, UvScale{kBay, kBay, 0.0f, 0.0f});
    appendPlaced(spire, cone, Placement{Vec3{0.0f, 0.0f, top}, kPi / sides});
    // The spire's eaves, seen from below.
    MeshBuilder soffit;
    addPrism(soffit, sides, radius + 14.0f, radius + 14.0f, top - 0.5f, top, stoneUv, false, false);
    appendPlaced(spire, soffit, Placement{Vec3{0.0f, 0.0f, 0.0f}, kPi / sides});
    Placement at{base, 0.0f};
    appendPlaced(town.model.part("tower_walls", town.m.stone), walls, at);
    appendPlaced(town.model.part("stonework_inner", town.m.granite), trim, at);
    appendPlaced(town.model.part("tower_spire", town.m.slate), spire, at);
    // A door facing the square, with a lantern over it.
    Placement doorAt{base + Vec3{radius * 0.924f, 0.0f, 0.0f}, 0.5f * kPi};
    BuildingTargets doorway;
    doorway.trim = &town.model.part("stonework_inner", town.m.granite);
    doorway.door = &town.model.part("doors", town.m.door);
    addDoorway(doorway, doorAt);
    town.model.night.lamps.push_back(addWallLantern(town.model.part("ironwork", town.m.iron),
                                                    town.model.part("lamp_glass", town.m.glass), doorAt, 170.0f));
    town.footing(base, base, radius + 6.0f, 35.0f);
}

void addSquare(Town& town) {
    MeshBuilder& stone = town.model.part("stonework_inner", town.m.granite);
    MeshBuilder& iron = town.model.part("ironwork", town.m.iron);
    MeshBuilder& glass = town.model.part("lamp_glass", town.m.glass);
    MeshBuilder& crowns = town.model.part("tree_crowns", town.m.foliage);

    // The fountain: a round stone basin of water round a column with a bowl.
    const Vec3 f{-150.0f, -60.0f, 0.0f};
    MeshBuilder basin, water;
    addRingWall(basin, 16, 70.0f, 84.0f, 0.0f, 36.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
    addPrism(basin, 16, 100.0f, 100.0f, 0.0f, 4.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f}, true, false);
    addPrism(water, 16, 70.5f, 70.5f, 0.0f, 27.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f}, true, false);
    addPrism(basin, 12, 16.0f, 13.0f, 0.0f, 70.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f}, false, true);
    addPrism(basin, 16, 14.0f, 38.0f, 70.0f, 82.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f}, true, false);
    appendPlaced(stone, basin, Placement{f, 0.0f});
    appendPlaced(town.model.part("fountain_water", town.m.water), water, Placement{f, 0.0f});
    town.footing(f, f, 100.0f, 35.0f);

    // Benches on the pavements, looking out over the square; none stands
    // between the camera and the revealed pieces at the moment of the reveal.
    MeshBuilder& wood = town.model.part("benches", town.m.timber);
    const Placement benches[] = {{Vec3{392.0f, -220.0f, 6.0f}, -0.5f * kPi},
                                 {Vec3{392.0f, -60.0f, 6.0f}, -0.5f * kPi},
                                 {Vec3{-220.0f, 372.0f, 6.0f}, 0.0f}};
    for (const Placement& at : benches) {
        addBench(wood, iron, at);
        // Each pair of legs stands on a line from the front to the back.
        for (float x : {-48.0f, 48.0f}) town.footing(placePoint(at, Vec3{x, -18.0f, 0.0f}), placePoint(at, Vec3{x, 27.0f, 0.0f}), 4.0f, 22.0f);
    }
    // Street lamps round the square and at the crossings.
    const Vec3 lamps[] = {{380.0f, 0.0f, 0.0f},    {360.0f, 300.0f, 0.0f}, {340.0f, -330.0f, 0.0f},
                          {-300.0f, -650.0f, 0.0f}, {-900.0f, 420.0f, 0.0f}, {-100.0f, 380.0f, 0.0f},
                          {-300.0f, 360.0f, 0.0f},  {-180.0f, -395.0f, 0.0f}};
    for (const Vec3& p : lamps) town.lampPost(iron, glass, p);
    // Trees and planters in the corners the camera does not fly through.
    const Vec3 trees[] = {{-250.0f, -425.0f, 0.0f}, {100.0f, -605.0f, 0.0f}, {-700.0f, -640.0f, 0.0f},
                          {-600.0f, 560.0f, 0.0f},  {-640.0f, 480.0f, 0.0f}};
    unsigned n = 40;
    for (const Vec3& p : trees) town.tree(p, 0.8f, n++);
    MeshBuilder& soil = town.model.part("planter_soil", town.m.grass);
    const Vec3 planters[] = {{80.0f, -660.0f, 0.0f}, {-210.0f, -460.0f, 0.0f}, {-700.0f, 410.0f, 0.0f}};
    for (const Vec3& p : planters) {
        addPlanter(stone, soil, crowns, p, 70.0f);
        town.footing(p, p, 0.5f * 70.0f * 1.2f, 30.0f);
    }
    // A flat lawn west of the square, where the closing orbit looks across.
    addPark(town, Park{-610.0f, -60.0f, -490.0f, 60.0f, false}, 77);
}

// The walking lamp: a small bright orb around the origin, where the scene's
// vertex shader finds it by its w and carries it to the light every frame.
void addWalkingLamp(MeshBuilder& orb) {
    addSphere(orb, Vec3{0.0f, 0.0f, 0.0f}, 4.5f, 10, 7, 1.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
    for (Corner& c : orb.corners) c.w = kRidesWithLight;
}

// The demo draws the meshes in file order with the depth test on: what is
// drawn first hides what lies behind it at no cost to the pixels hidden. So
// the big things that hide most (walls, then roofs and stonework, then the
// trees) go first and the ground, which they stand on and hide, after them.
int drawRank(const std::string& name) {
    static const char* const kRanks[] = {"walls", "tower_walls", "roofs", "tower_spire", "stonework", "tree_crowns",
                                         "tree_trunks", "doors", "ironwork", "benches"};
    int rank = 0;
    for (const char* prefix : kRanks) {
        if (name.rfind(prefix, 0) == 0) return rank;
        ++rank;
    }
    return rank;  // the ground, the lamps and everything small
}

void sortForDrawing(SceneModel& model) {
    std::stable_sort(model.parts.begin(), model.parts.end(), [](const SceneModel::Part& a, const SceneModel::Part& b) {
        return drawRank(a.name) < drawRank(b.name);
    });
}

}  // namespace

// The sculptures' own light (w): some six times the night's, the piece lit
// as if its square's lamps were turned on it, while the cobbles round it keep
// the night's blue.
const float kSculptureLight = 3.0f;

SceneModel buildTown() {
    SceneModel model;
    model.texturePrefix = "D:\\Projects\\Tarnwick\\maps\\";
    model.originOffset = kOriginOffset;
    Town town{model, addMaterials(model)};

    addGround(town);
    std::uint32_t seed = 100;
    for (const Block& block : kBlocks) addBlock(town, block, seed++);
    for (const Park& park : kParks) addPark(town, park, seed++);
    addTower(town);
    addSquare(town);
    addAvenue(town);
    addOutskirts(town);
    sortForDrawing(model);
    addWalkingLamp(model.part("walking_lamp", town.m.walkingLamp));
    bakeNightLight(model, 0, model.parts.size(), 0.0f);

    addCountryside(model, town.m.grass);
    addNightSky(model);
    // Last but one: the five sculptures, grounded by their own shade; last: the centroid marker.
    std::size_t firstSculpture = model.parts.size();
    addSculptures(model);
    for (const Vec3& spot : kSculptureSpots) model.night.footings.push_back(Footing{spot, spot, 18.0f, 22.0f, Shading::kItself});
    bakeNightLight(model, firstSculpture, model.parts.size(), kSculptureLight);
    model.mergeSharedMaterials(firstSculpture);
    addMarker(model.part("centroid_marker", town.m.marker), Vec3{0.0f, 0.0f, 0.0f});
    return model;
}
