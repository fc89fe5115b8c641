// The five sculptures revealed at the bloom, one at each spot the camera
// studies through the middle of the run, in the order it visits them.
//
// The demo hides exactly five meshes until the reveal, so each sculpture is
// one mesh with one material; its stone, metal and glowing parts come from
// the four quarters of one atlas picture (town_textures.h). Every part is
// built in the unit tile of its quarter (u and v in [0, 1], or whole repeats
// that line up with its edges) and moved into the quarter at the end.
//
// Sizes are for the eye: from every camera position of its two segments a
// sculpture fills about a quarter to three quarters of the picture's height
// (the content tests hold them to it). 1 unit is about 2 cm.
#include <cmath>
#include <utility>
#include <vector>

#include "town_scenes.h"

// Each stands on the camera's line of sight to its spot, a little beyond it
// where the camera looks down too steeply for a sculpture on the spot itself
// to stand whole in the picture, and at least 40 units from every point of
// the flight (the early flight crosses the north of the square).
const Vec3 kSculptureSpots[5] = {
    {225.0f, -152.5f, 0.0f},  // the armillary sphere
    {245.0f, -20.0f, 0.0f},   // the lantern
    {308.0f, 230.0f, 0.0f},   // the crystal
    {-30.0f, 325.0f, 0.0f},   // the clock
    {-185.0f, 305.0f, 0.0f},  // the fire urn
};

namespace {

const float kPi = 3.1415927f;

// The atlas quarters every sculpture's picture is laid out in.
enum Quarter { kStone = 0, kMetal = 1, kGlow = 2, kFine = 3 };

struct Piece {
    MeshBuilder quarter[4];
};

// One triangle's texture coordinates, shifted by whole tiles to start in the
// first, then squeezed into its quarter.
void mapIntoQuarter(Corner* c, int q) {
    float u0 = std::floor(std::fmin(c[0].u, std::fmin(c[1].u, c[2].u)) + 1e-4f);
    float v0 = std::floor(std::fmin(c[0].v, std::fmin(c[1].v, c[2].v)) + 1e-4f);
    for (int k = 0; k < 3; ++k) {
        c[k].u = atlasU(q, c[k].u - u0);
        c[k].v = atlasV(q, c[k].v - v0);
    }
}

void finishPiece(Piece& piece, MeshBuilder& into, const Placement& at) {
    for (int q = 0; q < 4; ++q) {
        MeshBuilder& part = piece.quarter[q];
        for (std::size_t i = 0; i + 2 < part.corners.size(); i += 3) mapIntoQuarter(&part.corners[i], q);
        appendPlaced(into, part, at);
    }
}

// An upright block from z0 to z0 + h over (-hx..hx, -hy..hy), each face
// mapped once over the tile (the sides from their top edge down, so a short
// block shows the top of the picture); the bottom only when asked for.
void addBlock(MeshBuilder& mesh, float hx, float hy, float z0, float h, bool bottom = false) {
    Vec3 ring[4] = {{-hx, -hy, 0.0f}, {hx, -hy, 0.0f}, {hx, hy, 0.0f}, {-hx, hy, 0.0f}};
    float span = 2.0f * std::fmax(hx, hy);
    for (int i = 0; i < 4; ++i) {
        Vec3 a = ring[i], b = ring[(i + 1) % 4];
        addWall(mesh, a, b, z0, z0 + h, UvScale{length(b - a), span, 0.0f, 0.0f}, z0 + h);
    }
    addFloor(mesh, -hx, -hy, hx, hy, z0 + h, UvScale{2.0f * hx, 2.0f * hy, 0.5f, 0.5f}, true);
    if (bottom) addFloor(mesh, -hx, -hy, hx, hy, z0, UvScale{2.0f * hx, 2.0f * hy, 0.5f, 0.5f}, false);
}

// A square plinth: a plain step, the die with one carved panel on each
// face, and a moulded cap. Returns the height of its top.
float addPlinth(MeshBuilder& stone, float half, float dieHeight) {
    addBlock(stone, half + 3.0f, half + 3.0f, 0.0f, 5.0f);
    MeshBuilder die;
    for (int i = 0; i < 4; ++i) {
        Vec3 ring[4] = {{-half, -half, 0.0f}, {half, -half, 0.0f}, {half, half, 0.0f}, {-half, half, 0.0f}};
        addWall(die, ring[i], ring[(i + 1) % 4], 5.0f, 5.0f + dieHeight, UvScale{2.0f * half, dieHeight, 0.0f, 0.0f},
                5.0f + dieHeight);
    }
    stone.append(die);
    addBlock(stone, half + 2.5f, half + 2.5f, 5.0f + dieHeight, 4.0f);
    return 9.0f + dieHeight;
}

// A profile lifted by z0, with its own mapping along its length.
std::vector<ProfilePoint> lifted(std::vector<ProfilePoint> profile, float z0) {
    for (ProfilePoint& p : profile) p.z += z0;
    return profile;
}

// Length of a profile, for a mapping that spans it once.
float profileLength(const std::vector<ProfilePoint>& profile) {
    float sum = 0.0f;
    for (std::size_t i = 1; i < profile.size(); ++i) {
        float dr = profile[i].r - profile[i - 1].r, dz = profile[i].z - profile[i - 1].z;
        sum += std::sqrt(dr * dr + dz * dz);
    }
    return sum;
}

// Turned once round, mapped once over its length and `repeats` times around.
void addTurned(MeshBuilder& mesh, const std::vector<ProfilePoint>& profile, int sides, float repeats) {
    float widest = 0.0f;
    for (const ProfilePoint& p : profile) widest = std::fmax(widest, p.r);
    addLathe(mesh, profile, sides, UvScale{2.0f * kPi * widest / repeats, profileLength(profile), 0.0f, 0.0f});
}

// ---------------------------------------------------------------------------
// 1. The armillary sphere: bronze rings round a small glowing sun, on a
// turned marble stem and a carved plinth.

void addArmillary(MeshBuilder& into, Vec3 at) {
    Piece p;
    float top = addPlinth(p.quarter[kStone], 15.0f, 24.0f);
    addTurned(p.quarter[kFine],
              lifted({{0.0f, 16.0f, true}, {7.0f, 16.0f, true}, {7.0f, 14.0f}, {5.0f, 12.0f}, {4.2f, 8.0f},
                      {4.6f, 4.0f}, {7.5f, 2.5f, true}, {9.5f, 0.0f, true}, {0.0f, 0.0f}},
                     top),
              32, 2.0f);
    float stemTop = top + 16.0f;
    // The meridian ring stands on a bronze saddle; the sphere's centre above it.
    const float radius = 20.0f, tube = 1.3f;
    Vec3 c{0.0f, 0.0f, stemTop + radius + 1.0f};
    MeshBuilder& bronze = p.quarter[kMetal];
    addTurned(bronze, lifted({{0.0f, 3.0f, true}, {4.5f, 3.0f, true}, {3.0f, 0.0f, true}, {0.0f, 0.0f}}, stemTop - 1.0f),
              16, 1.0f);
    // The axis leans 40 degrees towards the north, as the pole stands at mid latitudes.
    float lean = 40.0f * kPi / 180.0f;
    Vec3 axis{0.0f, std::sin(lean), std::cos(lean)};
    Vec3 east{1.0f, 0.0f, 0.0f};
    Vec3 north = cross(axis, east);  // in the meridian plane, perpendicular to the axis
    addRing(bronze, c, Vec3{0.0f, 1.0f, 0.0f}, Vec3{0.0f, 0.0f, 1.0f}, radius + 2.4f, 1.8f, 48, 8);  // meridian
    addRing(bronze, c, Vec3{1.0f, 0.0f, 0.0f}, Vec3{0.0f, 1.0f, 0.0f}, radius + 2.4f, 1.5f, 48, 6);  // horizon
    addRing(bronze, c, east, north, radius, tube, 48, 6);                                          // equator
    float tropic = 23.4f * kPi / 180.0f;
    for (float side : {-1.0f, 1.0f}) {
        Vec3 centre = c + axis * (side * radius * std::sin(tropic));
        addRing(bronze, centre, east, north, radius * std::cos(tropic), 0.9f, 40, 5);
    }
    // The ecliptic: the equator tilted about the east-west line.
    Vec3 tiltedNorth = north * std::cos(tropic) + axis * std::sin(tropic);
    addRing(bronze, c, east, tiltedNorth, radius, 2.0f, 48, 6);
    // The polar rod through the middle, with a small cone at each end.
    std::vector<Vec3> rod = {c - axis * (radius + 5.0f), c, c + axis * (radius + 5.0f)};
    addTube(bronze, rod, {0.7f, 0.7f, 0.7f}, false, 8, UvScale{2.0f * radius + 10.0f, 5.0f, 0.0f, 0.0f});
    for (float side : {-1.0f, 1.0f}) {
        Vec3 tip = c + axis * (side * (radius + 8.0f));
        addTube(bronze, {c + axis * (side * (radius + 4.0f)), tip}, {1.6f, 0.05f}, false, 8,
                UvScale{10.0f, 10.0f, 0.0f, 0.0f});
    }
    // The sun: a glowing ball of hammered gold in the middle.
    addSphere(p.quarter[kGlow], c, 6.0f, 20, 12, 1.0f, UvScale{2.0f * kPi * 6.0f, kPi * 6.0f, 0.0f, 0.0f});
    finishPiece(p, into, Placement{at, 0.3f});
}

// ---------------------------------------------------------------------------
// 2. The lantern: a fluted stone shaft carrying a bronze cage of leaded
// amber glass lit from inside, under a bronze dome.

void addLantern(MeshBuilder& into, Vec3 at) {
    Piece p;
    float top = addPlinth(p.quarter[kStone], 12.0f, 18.0f);
    MeshBuilder& stone = p.quarter[kFine];
    addTurned(stone, lifted({{0.0f, 5.0f, true}, {8.5f, 5.0f, true}, {8.5f, 3.5f}, {9.5f, 1.5f}, {10.0f, 0.0f, true},
                             {0.0f, 0.0f}},
                            top),
              24, 2.0f);
    float shaftBottom = top + 5.0f, shaftTop = shaftBottom + 28.0f;
    addFlutedShaft(stone, 6.5f, 5.6f, shaftBottom, shaftTop, 12, 0.12f, UvScale{2.0f * kPi * 6.5f / 3.0f, 28.0f, 0.0f, 0.0f});
    // The capital flares out to carry the lantern.
    addTurned(stone, lifted({{0.0f, 8.0f, true}, {12.0f, 8.0f, true}, {12.0f, 6.0f, true}, {9.0f, 5.0f}, {6.5f, 1.0f},
                             {5.6f, 0.0f, true}},
                            shaftTop),
              24, 2.0f);
    float cageBottom = shaftTop + 8.0f, cageTop = cageBottom + 20.0f;
    // Eight panes of glass, and a bronze post at each corner.
    MeshBuilder glass;
    addPrism(glass, 8, 9.5f, 9.5f, cageBottom, cageTop, UvScale{2.0f * kPi * 9.5f / 4.0f, 20.0f, 0.0f, 0.0f}, false,
             false);
    p.quarter[kGlow].append(glass);
    MeshBuilder& bronze = p.quarter[kMetal];
    for (int i = 0; i < 8; ++i) {
        float a = 2.0f * kPi * i / 8.0f;
        Vec3 foot{10.0f * std::cos(a), 10.0f * std::sin(a), cageBottom};
        addTube(bronze, {foot, foot + Vec3{0.0f, 0.0f, 20.0f}}, {1.1f, 1.1f}, false, 6, UvScale{20.0f, 8.0f, 0.0f, 0.0f});
    }
    addRing(bronze, Vec3{0.0f, 0.0f, cageBottom + 0.5f}, Vec3{1.0f, 0.0f, 0.0f}, Vec3{0.0f, 1.0f, 0.0f}, 10.5f, 1.4f, 32,
            6);
    // The dome: an ogee rising from a broad drip edge to a ball and a spike.
    addTurned(bronze,
              lifted({{0.0f, 22.0f, true}, {0.5f, 21.6f}, {0.5f, 18.0f}, {2.2f, 17.2f}, {2.4f, 15.6f}, {1.0f, 14.4f},
                      {1.7f, 12.3f}, {4.2f, 9.0f}, {7.6f, 5.3f}, {11.5f, 2.0f}, {13.0f, 0.8f, true}, {13.0f, 0.0f, true},
                      {0.0f, 0.0f}},
                     cageTop),
              48, 2.0f);
    finishPiece(p, into, Placement{at, 0.2f});
}

// ---------------------------------------------------------------------------
// 3. The crystal: a cluster of glowing crystals held by bronze claws on a
// turned marble pedestal.

// One six-sided crystal: a prism with a pointed tip, from its seat along dir.
void addCrystalShard(MeshBuilder& mesh, Vec3 seat, Vec3 dir, float radius, float tall, float spin) {
    MeshBuilder shard;
    addPrism(shard, 6, radius, radius * 0.92f, 0.0f, tall, UvScale{2.0f * kPi * radius, tall * 1.4f, 0.0f, 0.0f}, false,
             false);
    addSpire(shard, 6, radius * 0.92f, tall, 0.5f * tall, UvScale{2.0f * kPi * radius, tall * 1.4f, 0.0f, 0.0f});
    // Turn the upright shard about its axis by spin, then tip it onto dir.
    Vec3 across = cross(Vec3{0.0f, 0.0f, 1.0f}, dir);
    Vec3 side = length(across) > 1e-4f ? normalize(across) : Vec3{1.0f, 0.0f, 0.0f};
    Vec3 ahead = cross(dir, side);
    for (Corner& c : shard.corners) {
        float cs = std::cos(spin), sn = std::sin(spin);
        Vec3 q{cs * c.position.x - sn * c.position.y, sn * c.position.x + cs * c.position.y, c.position.z};
        Vec3 m{cs * c.normal.x - sn * c.normal.y, sn * c.normal.x + cs * c.normal.y, c.normal.z};
        c.position = seat + side * q.x + ahead * q.y + dir * q.z;
        c.normal = normalize(side * m.x + ahead * m.y + dir * m.z);
    }
    mesh.append(shard);
}

void addCrystal(MeshBuilder& into, Vec3 at) {
    Piece p;
    float top = addPlinth(p.quarter[kFine], 14.0f, 10.0f);
    // A classical pedestal: torus and scotia at the foot, a tapering neck, a dish.
    addTurned(p.quarter[kStone],
              lifted({{0.0f, 34.0f, true}, {12.0f, 34.0f, true}, {12.5f, 32.5f}, {11.0f, 30.0f, true}, {7.0f, 28.0f},
                      {5.5f, 22.0f}, {6.0f, 12.0f}, {7.5f, 7.5f, true}, {6.5f, 6.0f}, {8.0f, 4.5f}, {10.5f, 3.0f},
                      {11.5f, 1.5f}, {11.5f, 0.0f, true}, {0.0f, 0.0f}},
                     top),
              36, 2.0f);
    float seat = top + 33.0f;
    // Four bronze claws curling up round the cluster's foot.
    MeshBuilder& bronze = p.quarter[kMetal];
    for (int i = 0; i < 4; ++i) {
        float a = 2.0f * kPi * (i + 0.5f) / 4.0f;
        Vec3 out{std::cos(a), std::sin(a), 0.0f};
        std::vector<Vec3> path;
        std::vector<float> radius;
        for (int k = 0; k <= 8; ++k) {
            float f = k / 8.0f;
            float reach = 10.5f - 4.0f * f * f, rise = 9.0f * std::sin(f * 0.5f * kPi);
            path.push_back(Vec3{0.0f, 0.0f, seat} + out * reach + Vec3{0.0f, 0.0f, rise});
            radius.push_back(1.5f - 1.1f * f);
        }
        addTube(bronze, path, radius, false, 8, UvScale{12.0f, 8.0f, 0.0f, 0.0f});
    }
    // The cluster: one tall crystal and a ring of smaller ones leaning out.
    MeshBuilder& glow = p.quarter[kGlow];
    Vec3 base{0.0f, 0.0f, seat + 1.0f};
    addCrystalShard(glow, base, Vec3{0.0f, 0.0f, 1.0f}, 5.5f, 34.0f, 0.2f);
    const float lengths[5] = {20.0f, 15.0f, 24.0f, 13.0f, 18.0f};
    for (int i = 0; i < 5; ++i) {
        float a = 2.0f * kPi * (i + 0.15f) / 5.0f;
        Vec3 dir = normalize(Vec3{0.55f * std::cos(a), 0.55f * std::sin(a), 1.0f});
        Vec3 seatAt = base + Vec3{3.5f * std::cos(a), 3.5f * std::sin(a), 0.0f};
        addCrystalShard(glow, seatAt, dir, 2.6f + 0.15f * lengths[i] / 4.0f, lengths[i], 0.7f * i);
    }
    finishPiece(p, into, Placement{at, 0.0f});
}

// ---------------------------------------------------------------------------
// 4. The clock: a fluted marble column carrying a bronze drum with a lit
// dial on each face.

// A flat round dial facing +y (out of the drum's front), mapped once over the tile.
void addDial(MeshBuilder& mesh, Vec3 centre, float radius, bool facingPlusY) {
    const int sides = 64;
    float f = facingPlusY ? 1.0f : -1.0f;
    // Seen from the front: right is -x for a dial facing +y, +x for one facing -y.
    Vec3 right{-f, 0.0f, 0.0f}, up{0.0f, 0.0f, 1.0f};
    addDisc(mesh, centre, right, up, radius, sides);
}

// A hand: a thin tapering blade from the centre, drawn as a flat box on the dial.
void addHand(MeshBuilder& mesh, Vec3 centre, float facing, float angle, float length, float width) {
    MeshBuilder blade;
    addBlock(blade, 0.5f * width, 0.4f, 0.0f, length);
    // Stand the blade up, turn it to its hour, and lay it on the dial's face.
    for (Corner& c : blade.corners) {
        auto turn = [&](Vec3 v) {
            float x = std::cos(angle) * v.x + std::sin(angle) * v.z, z = -std::sin(angle) * v.x + std::cos(angle) * v.z;
            return Vec3{-facing * x, -facing * v.y, z};
        };
        c.position = centre + turn(c.position);
        c.normal = turn(c.normal);
    }
    mesh.append(blade);
}

void addClock(MeshBuilder& into, Vec3 at) {
    Piece p;
    float top = addPlinth(p.quarter[kFine], 11.0f, 8.0f);
    MeshBuilder& marble = p.quarter[kStone];
    // Attic base: torus, scotia, torus.
    addTurned(marble,
              lifted({{0.0f, 6.0f, true}, {6.6f, 6.0f, true}, {7.6f, 5.0f}, {7.2f, 4.0f}, {6.8f, 3.3f}, {8.3f, 2.2f},
                      {9.0f, 1.0f}, {9.0f, 0.0f, true}, {0.0f, 0.0f}},
                     top),
              48, 2.0f);
    float shaftBottom = top + 6.0f, shaftTop = shaftBottom + 34.0f;
    addFlutedShaft(marble, 6.6f, 5.6f, shaftBottom, shaftTop, 16, 0.1f, UvScale{2.0f * kPi * 6.6f / 2.0f, 34.0f, 0.0f, 0.0f});
    // The capital: an echinus under a square abacus.
    addTurned(marble, lifted({{5.6f, 4.0f, true}, {8.0f, 3.0f}, {9.0f, 1.0f, true}, {5.6f, 0.0f, true}}, shaftTop), 48,
              2.0f);
    addBlock(marble, 9.5f, 9.5f, shaftTop + 4.0f, 2.5f, true);
    // The drum, its axis north-south, so that its dials face the camera and away.
    MeshBuilder& bronze = p.quarter[kMetal];
    const float radius = 12.5f, depth = 8.0f;
    float cz = shaftTop + 6.5f + radius + 1.0f;
    std::vector<Vec3> axis = {Vec3{0.0f, -0.5f * depth, cz}, Vec3{0.0f, 0.5f * depth, cz}};
    MeshBuilder drum;
    addLathe(drum, {{radius - 1.2f, 0.5f * depth, true}, {radius + 1.2f, 0.5f * depth - 0.6f, true},
                    {radius + 1.2f, -0.5f * depth + 0.6f, true}, {radius - 1.2f, -0.5f * depth, true}},
             64, UvScale{2.0f * kPi * radius / 4.0f, depth + 2.0f, 0.0f, 0.0f});
    // The lathe turns about z: lay it on its side so that its axis runs along y.
    for (Corner& c : drum.corners) {
        c.position = Vec3{c.position.x, c.position.z, c.position.y + cz};
        c.normal = Vec3{c.normal.x, c.normal.z, c.normal.y};
    }
    // Swapping y and z mirrors the drum: turn its triangles back to face out.
    for (std::size_t i = 0; i + 2 < drum.corners.size(); i += 3) std::swap(drum.corners[i + 1], drum.corners[i + 2]);
    bronze.append(drum);
    // A bronze finial and a saddle joining the drum to the capital.
    addTurned(bronze, lifted({{0.0f, 7.0f, true}, {1.8f, 5.5f}, {2.2f, 4.0f}, {1.0f, 2.5f}, {1.6f, 0.0f, true}, {0.0f, 0.0f}},
                             cz + radius + 0.8f),
              12, 1.0f);
    addBlock(bronze, 5.0f, 3.5f, shaftTop + 6.5f, cz - radius - shaftTop - 5.5f);
    // The dials, and the hands at ten past ten on the front, twenty to two behind.
    for (float facing : {-1.0f, 1.0f}) {
        Vec3 face{0.0f, facing * (0.5f * depth + 0.05f), cz};
        addDial(p.quarter[kGlow], face, radius - 1.0f, facing > 0.0f);
        Vec3 onFace = face + Vec3{0.0f, facing * 0.35f, 0.0f};
        float hourAngle = (facing < 0.0f ? 10.2f : 1.7f) / 12.0f * 2.0f * kPi;
        float minuteAngle = (facing < 0.0f ? 10.0f : 40.0f) / 60.0f * 2.0f * kPi;
        addHand(bronze, onFace, facing, hourAngle, 6.5f, 1.4f);
        addHand(bronze, onFace + Vec3{0.0f, facing * 0.4f, 0.0f}, facing, minuteAngle, 9.5f, 0.9f);
    }
    finishPiece(p, into, Placement{at, 0.0f});
}

// ---------------------------------------------------------------------------
// 5. The fire urn: a bronze urn with handles on a carved plinth, flames
// rising from its bowl.

void addFireUrn(MeshBuilder& into, Vec3 at) {
    Piece p;
    float top = addPlinth(p.quarter[kStone], 13.0f, 26.0f);
    addTurned(p.quarter[kFine], lifted({{0.0f, 3.0f, true}, {14.0f, 3.0f, true}, {15.5f, 1.5f}, {15.5f, 0.0f, true},
                                        {0.0f, 0.0f}},
                                       top),
              32, 2.0f);
    float foot = top + 3.0f;
    MeshBuilder& bronze = p.quarter[kMetal];
    // Foot, stem, knop and a wide bowl with a rolled lip; the inside of the bowl too.
    addTurned(bronze,
              lifted({{10.0f, 22.0f, true}, {17.0f, 22.5f}, {18.5f, 21.5f}, {18.0f, 20.5f, true}, {16.5f, 18.5f},
                      {13.5f, 14.0f}, {9.0f, 10.5f}, {4.0f, 9.0f, true}, {3.2f, 8.0f}, {4.5f, 6.5f}, {3.2f, 5.0f},
                      {3.5f, 3.0f}, {8.0f, 1.5f}, {9.0f, 0.0f, true}, {0.0f, 0.0f}},
                     foot),
              40, 2.0f);
    addTurned(bronze, lifted({{0.0f, 16.0f, true}, {10.0f, 22.0f, true}}, foot), 40, 2.0f);
    // Two handles, each a scroll from the bowl's shoulder down to its belly.
    for (float side : {-1.0f, 1.0f}) {
        std::vector<Vec3> path;
        std::vector<float> radius;
        for (int k = 0; k <= 12; ++k) {
            float f = k / 12.0f;
            float a = kPi * (0.1f + 1.1f * f);
            path.push_back(Vec3{side * (17.0f + 4.0f * std::sin(a)), 0.0f, foot + 15.0f + 5.0f * std::cos(a)});
            radius.push_back(1.3f - 0.4f * f);
        }
        addTube(bronze, path, radius, false, 8, UvScale{20.0f, 8.0f, 0.0f, 0.0f});
    }
    // Flames: twisting tongues of different heights, rooted in the bowl.
    MeshBuilder& fire = p.quarter[kGlow];
    const float heights[7] = {30.0f, 22.0f, 26.0f, 18.0f, 24.0f, 20.0f, 16.0f};
    for (int i = 0; i < 7; ++i) {
        float a = 2.0f * kPi * i / 6.0f, reach = i == 0 ? 0.0f : 6.5f;
        Vec3 root{reach * std::cos(a), reach * std::sin(a), foot + 17.0f};
        std::vector<Vec3> path;
        std::vector<float> radius;
        for (int k = 0; k <= 10; ++k) {
            float f = k / 10.0f;
            float sway = 2.5f * f * f;
            float twist = a + 2.5f * f;
            path.push_back(root + Vec3{sway * std::cos(twist) - 0.25f * reach * f * std::cos(a),
                                       sway * std::sin(twist) - 0.25f * reach * f * std::sin(a), heights[i] * f});
            radius.push_back((i == 0 ? 6.0f : 4.0f) * std::sin(kPi * (0.12f + 0.88f * f)) * (1.0f - 0.85f * f));
        }
        // The flame picture runs from its tips (v = 0) to its root (v = 1):
        // map along the tongue from the root, and turn the mapping round.
        float along = 0.0f;
        for (std::size_t k = 1; k < path.size(); ++k) along += length(path[k] - path[k - 1]);
        MeshBuilder tongue;
        addTube(tongue, path, radius, false, 10, UvScale{along, 2.0f * kPi * 6.0f, 0.0f, 0.0f});
        for (Corner& c : tongue.corners) std::swap(c.u, c.v), c.v = 1.0f - c.v;
        fire.append(tongue);
    }
    finishPiece(p, into, Placement{at, 0.5f});
}

}  // namespace

void addSculptures(SceneModel& model) {
    auto atlas = [&](const char* name, std::uint32_t seed, const TextureRecipe& stone, const TextureRecipe& metal,
                     const TextureRecipe& glow, const TextureRecipe& fine, Vec3 emission, Vec3 specular,
                     float shininess) {
        TextureRecipe r;
        r.name = name;
        r.pattern = Pattern::Atlas;
        r.size = 1024;
        r.seed = seed;
        r.reliefTexels = 3.0f;
        r.quarters = {stone, metal, glow, fine};
        for (TextureRecipe& q : r.quarters) q.glows = false;
        r.quarters[kGlow].glows = true;
        return model.addTexturedMaterial(r, emission, Vec3{1.0f, 1.0f, 1.0f}, specular, shininess);
    };
    auto recipe = [](Pattern pattern, std::uint32_t seed, float gloss, Rgb a, Rgb b, Rgb c) {
        TextureRecipe r = recipeOf(pattern, seed, a, b, c);
        r.gloss = gloss;
        return r;
    };
    // Stone is matt, marble polished, bronze and crystal glossy.
    const TextureRecipe carved = recipe(Pattern::CarvedPanel, 31, 0.1f, {0.76f, 0.71f, 0.62f}, {0.3f, 0.28f, 0.24f}, {});
    const TextureRecipe bronzeCast = recipe(Pattern::Bronze, 32, 1.0f, {0.56f, 0.38f, 0.2f}, {0.28f, 0.46f, 0.38f}, {});
    const TextureRecipe marbleWhite = recipe(Pattern::Marble, 33, 0.45f, {0.9f, 0.88f, 0.84f}, {0.42f, 0.42f, 0.46f}, {});
    const TextureRecipe sun = recipe(Pattern::Sun, 34, 0.6f, {1.0f, 0.72f, 0.3f}, {1.0f, 0.9f, 0.6f}, {0.75f, 0.38f, 0.12f});
    const TextureRecipe amber = recipe(Pattern::LeadedGlass, 35, 0.7f, {1.0f, 0.66f, 0.3f}, {0.12f, 0.11f, 0.1f}, {});
    const TextureRecipe ice = recipe(Pattern::Crystal, 36, 1.0f, {0.55f, 0.82f, 0.95f}, {0.85f, 0.97f, 1.0f}, {0.3f, 0.5f, 0.7f});
    const TextureRecipe dial = recipe(Pattern::ClockDial, 37, 0.5f, {0.95f, 0.9f, 0.76f}, {0.09f, 0.08f, 0.07f}, {0.5f, 0.36f, 0.2f});
    const TextureRecipe fire = recipe(Pattern::Flame, 38, 0.0f, {1.0f, 0.95f, 0.72f}, {1.0f, 0.55f, 0.12f}, {0.75f, 0.15f, 0.03f});

    // The ambient colour, times the atlas's glow quarter, is the light each
    // sculpture's glowing part gives off.
    int armillary = atlas("armillary", 41, carved, bronzeCast, sun, marbleWhite, Vec3{30.0f, 24.0f, 16.0f},
                          Vec3{0.85f, 0.65f, 0.42f}, 45.0f);
    int lantern = atlas("lantern", 42, carved, bronzeCast, amber, carved, Vec3{34.0f, 26.0f, 16.0f},
                        Vec3{0.8f, 0.62f, 0.4f}, 40.0f);
    int crystal = atlas("crystal", 43, marbleWhite, bronzeCast, ice, carved, Vec3{2.6f, 3.9f, 5.0f},
                        Vec3{0.7f, 0.7f, 0.7f}, 70.0f);
    int clock = atlas("clock", 44, marbleWhite, bronzeCast, dial, carved, Vec3{3.4f, 2.9f, 2.0f},
                      Vec3{0.75f, 0.6f, 0.42f}, 50.0f);
    int urn = atlas("fire_urn", 45, carved, bronzeCast, fire, marbleWhite, Vec3{36.0f, 30.0f, 26.0f},
                    Vec3{0.85f, 0.64f, 0.4f}, 45.0f);

    addArmillary(model.part("sculpture_armillary", armillary), kSculptureSpots[0]);
    addLantern(model.part("sculpture_lantern", lantern), kSculptureSpots[1]);
    addCrystal(model.part("sculpture_crystal", crystal), kSculptureSpots[2]);
    addClock(model.part("sculpture_clock", clock), kSculptureSpots[3]);
    addFireUrn(model.part("sculpture_fire_urn", urn), kSculptureSpots[4]);
}
