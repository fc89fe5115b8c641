// Triangle soups for the generated models, and the shapes the town is made of.
//
// Every triangle brings its own three vertices (the demo draws vertex 3k..3k+2
// as triangle k), so a mesh here is just a list of corners. Front faces wind
// counter-clockwise seen from outside, as the demo culls back faces.
//
// Texture mapping follows one rule everywhere, so that the normal maps read the
// same on every surface: u grows to the right and v grows downwards in the
// picture, seen from outside the surface. On walls u runs along the wall and v
// runs down; on the ground u runs east (+x) and v runs south (-y); on roofs u
// runs along the eaves and v runs down the slope. The demo's bitangent points
// towards decreasing v, which is therefore "up in the picture" on every surface.
#pragma once

#include <functional>
#include <vector>

#include "math/vecmath.h"

struct Corner {
    Vec3 position;
    Vec3 normal;
    float u = 0.0f, v = 0.0f;
    // The third texture coordinate: the night's light baked into the corner
    // (bakeNightLight), or kRidesWithLight for the walking lamp's own body.
    float w = 0.0f;
};

struct MeshBuilder {
    std::vector<Corner> corners;  // 3 per triangle

    void triangle(const Corner& a, const Corner& b, const Corner& c);
    // Flat quad a-b-c-d (counter-clockwise from the front), split along a-c.
    void quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 normal, float ua, float va, float ub,
              float vb, float uc, float vc, float ud, float vd);
    void append(const MeshBuilder& other);
    std::size_t triangleCount() const { return corners.size() / 3; }
};

// Where a shape built around its own origin goes: turned by yaw (radians,
// counter-clockwise seen from above) and then moved to origin.
struct Placement {
    Vec3 origin;
    float yaw = 0.0f;
};

Vec3 placePoint(const Placement& at, Vec3 local);
Vec3 placeDirection(const Placement& at, Vec3 local);
void appendPlaced(MeshBuilder& into, const MeshBuilder& shape, const Placement& at);

// Texture scale of a shape: world units per repeat of the picture along u and v,
// and a shift of the picture in repeats.
struct UvScale {
    float unitsU = 100.0f, unitsV = 100.0f;
    float shiftU = 0.0f, shiftV = 0.0f;
};

// A vertical wall from a to b (seen from outside, a is on the left) between
// heights z0 and z1. v = (vTop - z) / unitsV: vTop is the height at which a
// repeat of the picture starts (its top row).
void addWall(MeshBuilder& mesh, Vec3 a, Vec3 b, float z0, float z1, const UvScale& uv, float vTop);

// A horizontal rectangle facing up (or down) at height z, mapped in world x/y.
void addFloor(MeshBuilder& mesh, float x0, float y0, float x1, float y1, float z, const UvScale& uv,
              bool facingUp = true);

// Axis-aligned box around its own origin, from (-hx, -hy, 0) to (hx, hy, h),
// each face mapped at world scale; the bottom is left out (it rests on something).
void addBox(MeshBuilder& mesh, float hx, float hy, float h, const UvScale& uv, bool withBottom = false);

// Upright prism or truncated cone with `sides` faces, from radius r0 at z0 to r1 at z1,
// with a cap on top when capTop; u wraps once around per `uv.unitsU` of girth.
void addPrism(MeshBuilder& mesh, int sides, float r0, float r1, float z0, float z1, const UvScale& uv,
              bool capTop, bool smooth);

// Sphere (latitude-longitude) of radius r around c; squashZ scales it vertically.
void addSphere(MeshBuilder& mesh, Vec3 c, float r, int slices, int stacks, float squashZ,
               const UvScale& uv);

// Ring in the x-z plane around c (a hoop standing upright, facing ±y).
void addTorus(MeshBuilder& mesh, Vec3 c, float ringRadius, float tubeRadius, int ringSides, int tubeSides);

// Hipped roof over the rectangle (-hx..hx, -hy..hy) at eave height z, reaching
// ridge height z + rise; overhang widens the eaves on every side. Also the flat
// soffit under the overhang, which the street-level camera looks up at.
void addHipRoof(MeshBuilder& mesh, float hx, float hy, float z, float rise, float overhang,
                const UvScale& uv);

// Square pyramid or cone roof with `sides` faces over radius r at height z.
void addSpire(MeshBuilder& mesh, int sides, float r, float z, float rise, const UvScale& uv);

// One point of a turned profile: radius and height. At a crease the normals
// break (the sharp edge between two mouldings); elsewhere they run smoothly.
struct ProfilePoint {
    float r = 0.0f, z = 0.0f;
    bool crease = false;
};

// A surface of revolution: the profile, listed from the top down (a top cap
// runs from the axis outwards, a bottom from the rim inwards), turned once
// round the z axis in `sides` steps. u runs around in whole repeats of
// uv.unitsU at the widest radius; v runs down the profile by its length.
void addLathe(MeshBuilder& mesh, const std::vector<ProfilePoint>& profile, int sides, const UvScale& uv);

// A column shaft from radius r0 at z0 to r1 at z1 with `flutes` concave
// grooves of the given depth (a fraction of the radius) cut along it.
void addFlutedShaft(MeshBuilder& mesh, float r0, float r1, float z0, float z1, int flutes, float depth,
                    const UvScale& uv);

// The quads of a grid of corners, make(i, j) for i in 0..columns and j in
// 0..rows, two triangles each: (i, j), (i + 1, j), (i + 1, j + 1) and
// (i, j), (i + 1, j + 1), (i, j + 1), or wound the other way with `flip`.
void addGrid(MeshBuilder& mesh, int columns, int rows, const std::function<Corner(int, int)>& make, bool flip);

// A flat round disc of `sides` triangles round `centre`, facing along
// right x up, mapped once over the tile (right is +u, up is -v).
void addDisc(MeshBuilder& mesh, Vec3 centre, Vec3 right, Vec3 up, float radius, int sides);

// A tube of round section swept along a path, with a radius per path point;
// `closed` joins the last point back to the first (a ring). The section turns
// as little as it can along the path. u runs along the path, v around.
void addTube(MeshBuilder& mesh, const std::vector<Vec3>& path, const std::vector<float>& radius, bool closed,
             int sides, const UvScale& uv);

// A ring: a closed tube of radius tube along the circle of radius ring around
// c in the plane spanned by the unit directions a and b, mapped once along
// and once around.
void addRing(MeshBuilder& mesh, Vec3 c, Vec3 a, Vec3 b, float ring, float tube, int ringSides, int tubeSides);
