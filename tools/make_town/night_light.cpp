// The night's light baked into the town's corners.
//
// The demo's scene shader knows one moving light; the town's own lamps reach
// it through the models instead, as each corner's third texture coordinate
// (w): the warm light that falls there from the lamps around, or the shade at
// the foot of something standing close by. A corner's w is interpolated over
// its triangle, so big flat triangles near a lamp or a foot are first cut
// into smaller ones; the cut reaches as far as the light or shade does, so
// where small triangles meet big ones w has fallen to 0 and no seam shows.
// Every small triangle costs a software rasteriser its setup, so the cuts
// are as coarse as a smooth pool allows.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "scene_model.h"

namespace {

const float kLampEdge = 90.0f;    // longest edge left in a lamp's pool on the ground (twice that on walls)
const int kMostCuts = 16;
const float kShadeDepth = 0.75f;  // how much of the night's light the very foot of a thing loses
const float kBrightest = 24.0f;   // w close to a lamp

// Parts whose big flat triangles a pool of light or a small shade would
// smear: the ground, the pavements and the walls.
bool isCut(const std::string& name) {
    static const char* const kCut[] = {"ground_", "pavements", "walls_", "tower_walls", "lawns", "avenue"};
    for (const char* prefix : kCut) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

bool isWall(const std::string& name) { return name.rfind("walls_", 0) == 0 || name.rfind("tower_walls", 0) == 0; }

// A house's foot shades only what is cut to follow it: the pavement's bands
// and the plinth. Elsewhere (the fields round a farm) a corner near a wall
// would spread its shade over a triangle a hundred times the shade's size.
bool followsWallFeet(const std::string& name) {
    return name.rfind("pavements", 0) == 0 || name.rfind("stonework", 0) == 0;
}

// A ball of space in which triangles are cut down to an edge of `edge`.
struct Zone {
    Vec3 centre;
    float radius, edge;
    bool groundOnly;  // a small shade on the ground: walls near it need no cut
    float inner = 0.0f;  // nothing to cut wholly inside this (under a round footing)
};

float farthestInBox(Vec3 p, Vec3 lo, Vec3 hi) {
    float dx = std::fmax(std::fabs(p.x - lo.x), std::fabs(p.x - hi.x));
    float dy = std::fmax(std::fabs(p.y - lo.y), std::fabs(p.y - hi.y));
    float dz = std::fmax(std::fabs(p.z - lo.z), std::fabs(p.z - hi.z));
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float distanceToBox(Vec3 p, Vec3 lo, Vec3 hi) {
    float dx = std::fmax(std::fmax(lo.x - p.x, p.x - hi.x), 0.0f);
    float dy = std::fmax(std::fmax(lo.y - p.y, p.y - hi.y), 0.0f);
    float dz = std::fmax(std::fmax(lo.z - p.z, p.z - hi.z), 0.0f);
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Corner midway(const Corner& a, const Corner& b) {
    Corner m;
    m.position = (a.position + b.position) * 0.5f;
    Vec3 n = a.normal + b.normal;
    m.normal = length(n) > 0.0f ? normalize(n) : a.normal;
    m.u = 0.5f * (a.u + b.u);
    m.v = 0.5f * (a.v + b.v);
    m.w = 0.5f * (a.w + b.w);
    return m;
}

// Halves the triangle across its longest edge while it is longer than a zone
// it reaches wants: long thin strips (a pavement's bands) are cut only
// across, never into slivers.
void cutTriangle(const Corner& a, const Corner& b, const Corner& c, const std::vector<Zone>& zones, bool wall,
                 int depth, std::vector<Corner>& out) {
    Vec3 lo{std::fmin(a.position.x, std::fmin(b.position.x, c.position.x)),
            std::fmin(a.position.y, std::fmin(b.position.y, c.position.y)),
            std::fmin(a.position.z, std::fmin(b.position.z, c.position.z))};
    Vec3 hi{std::fmax(a.position.x, std::fmax(b.position.x, c.position.x)),
            std::fmax(a.position.y, std::fmax(b.position.y, c.position.y)),
            std::fmax(a.position.z, std::fmax(b.position.z, c.position.z))};
    float ab = length(b.position - a.position), bc = length(c.position - b.position), ca = length(a.position - c.position);
    float longest = std::fmax(ab, std::fmax(bc, ca));
    bool flat = std::fabs(a.normal.z) > 0.5f;
    bool cut = false;
    // The upright sides of a pavement or a lawn are a hand high: not worth a cut.
    if (depth < kMostCuts && (flat || wall)) {
        for (const Zone& z : zones) {
            // Light on a wall changes more slowly than a pool on the ground.
            float edge = flat ? z.edge : 2.0f * z.edge;
            if (longest > edge && (flat || !z.groundOnly) && distanceToBox(z.centre, lo, hi) < z.radius &&
                farthestInBox(z.centre, lo, hi) > z.inner) {
                cut = true;
                break;
            }
        }
    }
    if (!cut) {
        out.insert(out.end(), {a, b, c});
        return;
    }
    // Name the corners so that the longest edge runs from p to q.
    const Corner *p = &a, *q = &b, *r = &c;
    if (bc == longest) p = &b, q = &c, r = &a;
    else if (ca == longest) p = &c, q = &a, r = &b;
    Corner m = midway(*p, *q);
    cutTriangle(*p, m, *r, zones, wall, depth + 1, out);
    cutTriangle(m, *q, *r, zones, wall, depth + 1, out);
}

// The footings near a point, found through a grid over the ground plan.
struct FootingGrid {
    static constexpr float kCell = 100.0f;
    std::unordered_map<std::uint64_t, std::vector<int>> cells;

    static std::uint64_t key(int i, int j) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(i)) << 32) | static_cast<std::uint32_t>(j);
    }
    static int cellOf(float x) { return static_cast<int>(std::floor(x / kCell)); }

    explicit FootingGrid(const std::vector<Footing>& footings) {
        for (int f = 0; f < static_cast<int>(footings.size()); ++f) {
            const Footing& k = footings[f];
            float r = k.radius + k.shade;
            for (int i = cellOf(std::fmin(k.a.x, k.b.x) - r); i <= cellOf(std::fmax(k.a.x, k.b.x) + r); ++i) {
                for (int j = cellOf(std::fmin(k.a.y, k.b.y) - r); j <= cellOf(std::fmax(k.a.y, k.b.y) + r); ++j) {
                    cells[key(i, j)].push_back(f);
                }
            }
        }
    }
    const std::vector<int>* near(Vec3 p) const {
        auto found = cells.find(key(cellOf(p.x), cellOf(p.y)));
        return found == cells.end() ? nullptr : &found->second;
    }
};

// Distance in plan from p to the segment a-b.
float planDistance(Vec3 p, Vec3 a, Vec3 b) {
    float abx = b.x - a.x, aby = b.y - a.y;
    float lengthSquared = abx * abx + aby * aby;
    float t = lengthSquared > 0.0f ? ((p.x - a.x) * abx + (p.y - a.y) * aby) / lengthSquared : 0.0f;
    t = std::fmin(std::fmax(t, 0.0f), 1.0f);
    float dx = p.x - (a.x + t * abx), dy = p.y - (a.y + t * aby);
    return std::sqrt(dx * dx + dy * dy);
}

float lampLight(const NightLighting& night, const Corner& c) {
    float sum = 0.0f;
    for (const LampLight& lamp : night.lamps) {
        Vec3 d = lamp.position - c.position;
        float distanceSquared = dot(d, d);
        if (distanceSquared >= lamp.reach * lamp.reach || distanceSquared <= 0.0f) continue;
        float distance = std::sqrt(distanceSquared);
        float facing = dot(c.normal, d) / distance;
        if (facing <= 0.0f) continue;
        float down = std::pow(std::fmax(d.z / distance, 0.0f), lamp.downward);
        // Faded out over the last sixth of the reach, so that the light ends
        // smoothly where the cut triangles give way to big ones.
        float x = std::fmin(std::fmax((distance / lamp.reach - 0.85f) / 0.15f, 0.0f), 1.0f);
        float fade = 1.0f - x * x * (3.0f - 2.0f * x);
        float nearSquared = lamp.near * lamp.near;
        sum += lamp.strength * facing * down * nearSquared / (nearSquared + distanceSquared) * fade;
    }
    return sum;
}

// How much of the night's light is left after the shade of the footings near
// by (1: all), on a corner of a part that is ground (or not) and that follows
// the walls' feet (or not).
float openness(const NightLighting& night, const FootingGrid& grid, const Corner& c, bool ground, bool wallFeet) {
    const std::vector<int>* near = grid.near(c.position);
    if (!near) return 1.0f;
    float open = 1.0f;
    for (int f : *near) {
        const Footing& k = night.footings[f];
        if (k.shading == Shading::kWallFoot && !wallFeet) continue;
        if (k.shading == Shading::kItself && ground) continue;
        float across = std::fmax(planDistance(c.position, k.a, k.b) - k.radius, 0.0f);
        float up = std::fmax(c.position.z - k.a.z, 0.0f);
        if (across >= k.shade || up >= k.shade) continue;
        float x = 1.0f - across / k.shade, z = 1.0f - up / k.shade;
        open *= 1.0f - kShadeDepth * x * x * z * z;
    }
    return open;
}

}  // namespace

void bakeNightLight(SceneModel& model, std::size_t firstPart, std::size_t endPart, float ownLight) {
    const NightLighting& night = model.night;
    std::vector<Zone> zones;
    for (const LampLight& lamp : night.lamps) zones.push_back(Zone{lamp.position, lamp.reach, kLampEdge, false});
    for (const Footing& k : night.footings) {
        if (k.shading != Shading::kAround) continue;  // nothing to cut for those
        Vec3 middle = (k.a + k.b) * 0.5f;
        float radius = 0.5f * length(k.b - k.a) + k.radius + k.shade;
        bool round = length(k.b - k.a) <= 0.0f;
        zones.push_back(Zone{middle, radius, std::fmax(1.5f * k.shade, 30.0f), true, round ? k.radius : 0.0f});
    }
    FootingGrid grid(night.footings);

    for (std::size_t i = firstPart; i < endPart && i < model.parts.size(); ++i) {
        SceneModel::Part& part = model.parts[i];
        const ColladaMaterial& material = model.materials[part.material];
        // Emitters keep their own w: they take no light.
        if (material.diffuse.x + material.diffuse.y + material.diffuse.z + material.specular.x + material.specular.y +
                material.specular.z <= 0.0f) {
            continue;
        }
        std::vector<Corner>& corners = part.mesh.corners;
        const bool ground = isCut(part.name), wallFeet = followsWallFeet(part.name);
        if (ground) {
            std::vector<Corner> cut;
            cut.reserve(corners.size());
            for (std::size_t k = 0; k + 2 < corners.size(); k += 3) {
                cutTriangle(corners[k], corners[k + 1], corners[k + 2], zones, isWall(part.name), 0, cut);
            }
            corners.swap(cut);
        }
        for (Corner& c : corners) {
            // A wall an arm's length from a lamp would take ten times the
            // light of the ground below it: eased into kBrightest, the way
            // an eye (and a film) takes a glare.
            float light = kBrightest * (1.0f - std::exp(-lampLight(night, c) / kBrightest)) +
                          ownLight * (0.6f + 0.4f * c.normal.z);
            float open = openness(night, grid, c, ground, wallFeet);
            // Shade dims the night and the lamps alike; the encoding keeps 0 for
            // "neither", so a corner far from both writes the file as before.
            c.w = open * (1.0f + light) - 1.0f;
        }
    }
}
