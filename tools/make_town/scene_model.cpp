#include "scene_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

int SceneModel::addTexturedMaterial(const TextureRecipe& recipe, Vec3 ambient, Vec3 diffuse, Vec3 specular,
                                    float shininess) {
    // A plain material with the recipe's three maps.
    int index = addPlainMaterial(recipe.name, ambient, diffuse, specular, shininess);
    ColladaMaterial& m = materials.back();
    m.colorPath = texturePrefix + recipe.name + "_color.png";
    m.normalPath = texturePrefix + recipe.name + "_normal.png";
    m.heightPath = texturePrefix + recipe.name + "_height.png";
    textures.push_back(recipe);
    return index;
}

int SceneModel::addPlainMaterial(const std::string& name, Vec3 ambient, Vec3 diffuse, Vec3 specular,
                                 float shininess) {
    ColladaMaterial m;
    m.name = name;
    m.ambient = ambient;
    m.diffuse = diffuse;
    m.specular = specular;
    m.shininess = shininess;
    materials.push_back(m);
    return static_cast<int>(materials.size()) - 1;
}

MeshBuilder& SceneModel::part(const std::string& name, int material) {
    for (Part& p : parts) {
        if (p.name == name) return p.mesh;
    }
    parts.push_back(Part{name, material, MeshBuilder{}});
    return parts.back().mesh;
}

void SceneModel::mergeSharedMaterials(std::size_t endPart) {
    std::deque<Part> merged;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Part& p = parts[i];
        auto first = std::find_if(merged.begin(), merged.end(), [&](const Part& m) { return m.material == p.material; });
        if (i < endPart && first != merged.end()) {
            first->mesh.append(p.mesh);
        } else {
            merged.push_back(std::move(p));
        }
    }
    parts = std::move(merged);
}

ColladaDocument SceneModel::document() const {
    ColladaDocument doc;
    doc.authoringTool = "Tarnwick make_town";
    doc.metersPerUnit = 0.02f;
    doc.materials = materials;
    for (const Part& p : parts) {
        ColladaMesh mesh;
        mesh.name = p.name;
        mesh.material = p.material;
        // The third coordinate only where a corner carries one: the file stays
        // as small as before for the parts the night's light does not reach.
        bool anyW = std::any_of(p.mesh.corners.begin(), p.mesh.corners.end(),
                                [](const Corner& c) { return c.w != 0.0f; });
        mesh.uvWidth = anyW ? 3 : 2;
        for (const Corner& c : p.mesh.corners) {
            mesh.positions.push_back(c.position + originOffset);
            mesh.normals.push_back(c.normal);
            mesh.uvs.insert(mesh.uvs.end(), {c.u, c.v});
            if (anyW) mesh.uvs.push_back(c.w);
        }
        doc.meshes.push_back(std::move(mesh));
    }
    return doc;
}

std::size_t SceneModel::vertexCount() const {
    std::size_t n = 0;
    for (const Part& p : parts) n += p.mesh.corners.size();
    return n;
}

namespace {

const UvScale kWorldUv{100.0f, 100.0f, 0.0f, 0.0f};
const float kPlinthHeight = 26.0f;

// Panes of light laid a hair in front of some of a wall's windows, inside
// the painted frame and glazing bars, so the bars still cross the light.
// The w of a pane dims it (the scene shader reads an emitter's w so): a
// drawn curtain is a dim pane, a figure in the room a dark band across it.
// Ground-floor windows are left dark, shops shut; the middle one is the door.
void addLitWindows(MeshBuilder& panes, Vec3 a, Vec3 b, const UvScale& uv, const BuildingPlan& plan, int side) {
    Vec3 along = b - a;
    float len = length(along);
    Vec3 dir = along * (1.0f / len);
    Vec3 out = Vec3{dir.y, -dir.x, 0.0f};
    WindowOpening o = windowOpening(plan.facade);
    float top = plan.storeys * kStorey;
    int firstBay = static_cast<int>(std::ceil(uv.shiftU - 1e-3f));
    int lastBay = static_cast<int>(std::floor(uv.shiftU + len / uv.unitsU + 1e-3f)) - 1;
    float inset = kWindowFrame, bar = kGlazingBar;
    // Below an arch's spring only: a rectangle would light the wall above the arch's shoulders.
    float glassTop = o.arched ? o.top + 0.5f * (o.right - o.left) : o.top;
    // Four panes between the frame, the upright bar and the transom.
    const float cols[3] = {o.left + inset, 0.5f * (o.left + o.right), o.right - inset};
    const float rows[3] = {glassTop + (o.arched ? 0.0f : inset), o.transom, o.bottom - inset};
    for (int storey = 0; storey + 1 < plan.storeys; ++storey) {  // from the top down
        for (int bay = firstBay; bay <= lastBay; ++bay) {
            float roll = hashUnit(plan.seed, static_cast<std::uint32_t>(side * 97 + storey * 13 + bay), 5);
            if (roll > 0.42f) continue;  // dark
            float dim = roll < 0.08f ? -0.55f : 0.0f;  // a drawn curtain
            bool figure = roll > 0.08f && roll < 0.12f;
            for (int r = 0; r < 2; ++r) {
                for (int c = 0; c < 2; ++c) {
                    float s0 = cols[c] + (c == 1 ? bar : 0.0f), s1 = cols[c + 1] - (c == 0 ? bar : 0.0f);
                    float t0 = rows[r] + (r == 1 ? bar : 0.0f), t1 = rows[r + 1] - (r == 0 ? bar : 0.0f);
                    if (t1 <= t0 || s1 <= s0) continue;
                    auto corner = [&](float s, float t) {
                        float alongWall = (bay + s - uv.shiftU) * uv.unitsU;
                        float z = top - (storey + t) * kStorey;
                        Corner k;
                        k.position = a + dir * alongWall + out * 0.6f + Vec3{0.0f, 0.0f, z};
                        k.normal = out;
                        k.u = s;
                        k.v = t;
                        // Light from a lamp low in the room: brighter below, and a figure's
                        // shoulders darken the lower panes of one side.
                        k.w = dim - 0.25f * (1.0f - (t - o.top) / (o.bottom - o.top));
                        if (figure && c == 0 && r == 1) k.w -= 0.6f;
                        return k;
                    };
                    Corner p00 = corner(s0, t1), p10 = corner(s1, t1), p11 = corner(s1, t0), p01 = corner(s0, t0);
                    panes.triangle(p00, p10, p11);
                    panes.triangle(p00, p11, p01);
                }
            }
        }
    }
}

// A box whose front (-y) face shows the whole picture once, for doors.
void addPanel(MeshBuilder& mesh, float halfWidth, float height, float depth) {
    MeshBuilder box;
    addBox(box, halfWidth, depth * 0.5f, height, UvScale{20.0f, 20.0f, 0.0f, 0.0f});
    // Replace the mapping of the front face (normal -y) with the full picture.
    for (Corner& c : box.corners) {
        if (c.normal.y < -0.5f) {
            c.u = (c.position.x + halfWidth) / (2.0f * halfWidth);
            c.v = 1.0f - c.position.z / height;
        }
    }
    mesh.append(box);
}

}  // namespace

void addDoorway(const BuildingTargets& into, const Placement& at) {
    // Door frame in stone, the door itself proud of it.
    MeshBuilder frame, door;
    addBox(frame, 46.0f, 4.0f, 142.0f, UvScale{60.0f, 60.0f, 0.0f, 0.0f});
    appendPlaced(*into.trim, frame, at);
    Placement doorAt{placePoint(at, Vec3{0.0f, -3.0f, 0.0f}), at.yaw};
    addPanel(door, 35.0f, 128.0f, 6.0f);
    appendPlaced(*into.door, door, doorAt);
    // A step in front.
    MeshBuilder step;
    addBox(step, 52.0f, 12.0f, 8.0f, UvScale{60.0f, 60.0f, 0.0f, 0.0f});
    appendPlaced(*into.trim, step, Placement{placePoint(at, Vec3{0.0f, -10.0f, 0.0f}), at.yaw});
}

void addBuilding(const BuildingTargets& into, const BuildingPlan& plan) {
    float hw = plan.width * 0.5f, hd = plan.depth * 0.5f;
    float top = plan.storeys * kStorey;
    const Placement& at = plan.at;

    // Walls: each wall's bays are centred on it, so windows sit symmetrically.
    MeshBuilder walls, lit;
    Vec3 ring[4] = {{-hw, -hd, 0}, {hw, -hd, 0}, {hw, hd, 0}, {-hw, hd, 0}};
    for (int i = 0; i < 4; ++i) {
        Vec3 a = ring[i], b = ring[(i + 1) % 4];
        float len = length(b - a);
        UvScale uv{kBay, kStorey, 0.5f - 0.5f * len / kBay, 0.0f};
        // Cut at the plinth's top: the shade at the wall's foot stays below it
        // instead of spreading up the whole wall.
        addWall(walls, a, b, 0.0f, kPlinthHeight, uv, top);
        addWall(walls, a, b, kPlinthHeight, top, uv, top);
        if (into.litWindows) addLitWindows(lit, a, b, uv, plan, i);
        if (into.night) {
            into.night->footings.push_back(
                Footing{placePoint(at, a), placePoint(at, b), 3.0f, kPlinthHeight, Shading::kWallFoot});
        }
    }
    appendPlaced(*into.walls, walls, at);
    if (into.litWindows) appendPlaced(*into.litWindows, lit, at);

    // Plinth and cornice stick out on the sides without a neighbour.
    auto proud = [&](int side, float amount) { return plan.shared[side] ? 0.0f : amount; };
    MeshBuilder trim;
    addSlab(trim, -hw - proud(3, 3.0f), -hd - proud(0, 3.0f), hw + proud(1, 3.0f), hd + proud(2, 3.0f), 0.0f,
            kPlinthHeight, kWorldUv);
    addSlab(trim, -hw - proud(3, 7.0f), -hd - proud(0, 7.0f), hw + proud(1, 7.0f), hd + proud(2, 7.0f), top - 16.0f,
            top, kWorldUv);
    // A string course between the ground floor and the first floor.
    if (plan.storeys > 1) {
        addSlab(trim, -hw - proud(3, 2.0f), -hd - proud(0, 2.0f), hw + proud(1, 2.0f), hd + proud(2, 2.0f),
                kStorey - 6.0f, kStorey + 2.0f, kWorldUv);
    }
    float shortHalf = std::fmin(hw, hd);
    float overhang = 16.0f;
    float rise = plan.roofPitch * (shortHalf + overhang);
    if (plan.chimney) {
        MeshBuilder chimney;
        addBox(chimney, 12.0f, 18.0f, rise + 40.0f, kWorldUv);
        float cx = hw >= hd ? hw * 0.45f : 0.0f, cy = hw >= hd ? 0.0f : hd * 0.45f;
        appendPlaced(trim, chimney, Placement{Vec3{cx, cy, top}, 0.0f});
    }
    appendPlaced(*into.trim, trim, at);

    MeshBuilder roof;
    addHipRoof(roof, hw, hd, top, rise, overhang, UvScale{kBay, kBay, 0.0f, 0.0f});
    appendPlaced(*into.roof, roof, at);

    // Windows are centred on every wall, so the middle of a wall is always a
    // window's place: the door goes there and hides the ground-floor window,
    // and a lantern goes half a bay beside it, between two windows.
    if (plan.doorFront) {
        addDoorway(into, Placement{placePoint(at, Vec3{0.0f, -hd, 0.0f}), at.yaw});
        if (plan.lanterns) {
            LampLight light =
                addWallLantern(*into.iron, *into.glass, Placement{placePoint(at, Vec3{75.0f, -hd, 0.0f}), at.yaw}, 215.0f);
            if (into.night) into.night->lamps.push_back(light);
        }
    }
    if (plan.doorBack) {
        float back = at.yaw + 3.1415927f;
        addDoorway(into, Placement{placePoint(at, Vec3{0.0f, hd, 0.0f}), back});
        if (plan.lanterns) {
            LampLight light =
                addWallLantern(*into.iron, *into.glass, Placement{placePoint(at, Vec3{-75.0f, hd, 0.0f}), back}, 215.0f);
            if (into.night) into.night->lamps.push_back(light);
        }
    }
}

void addSlab(MeshBuilder& mesh, float x0, float y0, float x1, float y1, float z0, float z1, const UvScale& uv) {
    MeshBuilder box;
    addBox(box, 0.5f * (x1 - x0), 0.5f * (y1 - y0), z1 - z0, uv);
    // Map the top in world x/y so neighbouring slabs continue the same picture.
    for (Corner& c : box.corners) {
        c.position = c.position + Vec3{0.5f * (x0 + x1), 0.5f * (y0 + y1), z0};
        if (c.normal.z > 0.5f) {
            c.u = c.position.x / uv.unitsU;
            c.v = -c.position.y / uv.unitsV;
        }
    }
    mesh.append(box);
}

void addFrame(MeshBuilder& mesh, float ox, float oy, float ix, float iy, float z0, float z1, const UvScale& uv) {
    addSlab(mesh, -ox, -oy, ox, -iy, z0, z1, uv);   // south strip, full length
    addSlab(mesh, -ox, iy, ox, oy, z0, z1, uv);     // north strip
    addSlab(mesh, -ox, -iy, -ix, iy, z0, z1, uv);   // west strip between them
    addSlab(mesh, ix, -iy, ox, iy, z0, z1, uv);     // east strip
}

LampLight addWallLantern(MeshBuilder& iron, MeshBuilder& glass, const Placement& at, float height) {
    MeshBuilder arm, lamp, cap;
    // Bracket reaching out from the wall (which faces -y).
    addSlab(arm, -2.0f, -34.0f, 2.0f, 0.0f, height + 26.0f, height + 30.0f, kWorldUv);
    addSlab(arm, -3.0f, -4.0f, 3.0f, 0.0f, height - 6.0f, height + 34.0f, kWorldUv);
    MeshBuilder body;
    addPrism(body, 6, 8.0f, 11.0f, 0.0f, 24.0f, kWorldUv, false, false);
    appendPlaced(lamp, body, Placement{Vec3{0.0f, -30.0f, height}, 0.0f});
    MeshBuilder roofCap;
    addSpire(roofCap, 6, 13.0f, 0.0f, 9.0f, kWorldUv);
    addPrism(roofCap, 6, 6.0f, 8.0f, -4.0f, 0.0f, kWorldUv, false, false);
    appendPlaced(cap, roofCap, Placement{Vec3{0.0f, -30.0f, height + 24.0f}, 0.0f});
    appendPlaced(iron, arm, at);
    appendPlaced(iron, cap, at);
    appendPlaced(glass, lamp, at);
    // Close to its wall and low, under a cap: a fan of light down the wall, a pool on the pavement.
    return LampLight{placePoint(at, Vec3{0.0f, -30.0f, height + 12.0f}), 28.0f, 80.0f, 300.0f, 2.0f};
}

LampLight addLampPost(MeshBuilder& iron, MeshBuilder& glass, const Placement& at) {
    MeshBuilder post, lamp;
    addPrism(post, 8, 13.0f, 9.0f, 0.0f, 30.0f, kWorldUv, true, true);
    addPrism(post, 8, 5.0f, 4.0f, 30.0f, 245.0f, kWorldUv, false, true);
    addPrism(post, 8, 9.0f, 12.0f, 245.0f, 255.0f, kWorldUv, true, false);
    addPrism(lamp, 6, 10.0f, 15.0f, 255.0f, 292.0f, kWorldUv, false, false);
    addSpire(post, 6, 19.0f, 292.0f, 16.0f, kWorldUv);
    addSphere(post, Vec3{0.0f, 0.0f, 311.0f}, 4.0f, 6, 4, 1.0f, kWorldUv);
    appendPlaced(iron, post, at);
    appendPlaced(glass, lamp, at);
    // High up, under a reflector: a pool round the post, dark between two posts.
    return LampLight{placePoint(at, Vec3{0.0f, 0.0f, 273.0f}), 300.0f, 100.0f, 380.0f, 40.0f};
}

Footing lampPostFooting(Vec3 base) { return Footing{base, base, 13.0f, 30.0f, Shading::kAround}; }

void addBench(MeshBuilder& wood, MeshBuilder& iron, const Placement& at) {
    MeshBuilder slats, legs;
    for (int i = 0; i < 3; ++i) {
        float y = -14.0f + 11.0f * i;
        addSlab(slats, -58.0f, y - 4.5f, 58.0f, y + 4.5f, 40.0f, 44.0f, UvScale{40.0f, 40.0f, 0.0f, 0.0f});
    }
    for (int i = 0; i < 2; ++i) {
        float z = 54.0f + 14.0f * i;
        addSlab(slats, -58.0f, 19.0f, 58.0f, 23.0f, z, z + 9.0f, UvScale{40.0f, 40.0f, 0.0f, 0.0f});
    }
    for (float x : {-48.0f, 48.0f}) {
        addSlab(legs, x - 2.0f, -18.0f, x + 2.0f, -14.0f, 0.0f, 40.0f, kWorldUv);
        addSlab(legs, x - 2.0f, 16.0f, x + 2.0f, 20.0f, 0.0f, 40.0f, kWorldUv);
        addSlab(legs, x - 2.0f, 23.0f, x + 2.0f, 27.0f, 40.0f, 80.0f, kWorldUv);
        addSlab(legs, x - 2.0f, -18.0f, x + 2.0f, 23.0f, 36.0f, 40.0f, kWorldUv);
    }
    appendPlaced(wood, slats, at);
    appendPlaced(iron, legs, at);
}

void addTree(MeshBuilder& bark, MeshBuilder& leaves, Vec3 base, float size, unsigned seed, bool distant) {
    MeshBuilder trunk, crown;
    // In two lengths: the shade at its foot stays at the foot instead of
    // running up the whole trunk.
    const float top = 200.0f * size, cut = 40.0f * size, rCut = (14.0f - 6.0f * cut / top) * size;
    addPrism(trunk, distant ? 5 : 7, 14.0f * size, rCut, 0.0f, cut, UvScale{60.0f, 100.0f, 0.0f, (top - cut) / 100.0f},
             false, true);
    addPrism(trunk, distant ? 5 : 7, rCut, 8.0f * size, cut, top, UvScale{60.0f, 100.0f, 0.0f, 0.0f}, false, true);
    for (int i = 0; i < (distant ? 2 : 3); ++i) {
        float a = 6.2831853f * (hashUnit(seed, static_cast<unsigned>(i), 1) + i / 3.0f);
        float r = (i == 0 ? 0.0f : 32.0f) * size;
        float radius = (i == 0 ? 72.0f : 52.0f + 10.0f * hashUnit(seed, static_cast<unsigned>(i), 2)) * size;
        Vec3 c{r * std::cos(a), r * std::sin(a), (i == 0 ? 270.0f : 225.0f + 30.0f * hashUnit(seed, i, 3)) * size};
        addSphere(crown, c, radius, distant ? 7 : 9, distant ? 5 : 6, 0.85f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
    }
    Placement at{base, 6.2831853f * hashUnit(seed, 9)};
    appendPlaced(bark, trunk, at);
    appendPlaced(leaves, crown, at);
}

void addPlanter(MeshBuilder& stone, MeshBuilder& soil, MeshBuilder& leaves, Vec3 base, float size) {
    float h = 0.5f * size;
    // A four-sided ring wall has its corners on the diagonals: a square trough.
    MeshBuilder trough;
    addRingWall(trough, 4, 0.42f * size * 1.4142f, 0.5f * size * 1.4142f, 0.0f, 45.0f, kWorldUv);
    appendPlaced(stone, trough, Placement{base, 0.0f});
    addSlab(soil, base.x - 0.42f * size, base.y - 0.42f * size, base.x + 0.42f * size, base.y + 0.42f * size, base.z,
            base.z + 38.0f, UvScale{100.0f, 100.0f, 0.0f, 0.0f});
    addSphere(leaves, Vec3{base.x, base.y, base.z + 38.0f + 0.55f * h}, 0.75f * h, 8, 5, 0.8f,
              UvScale{100.0f, 100.0f, 0.0f, 0.0f});
}

void addRingWall(MeshBuilder& mesh, int sides, float rInner, float rOuter, float z0, float z1, const UvScale& uv) {
    const float kTwoPi = 6.2831853f;
    for (int i = 0; i < sides; ++i) {
        float t0 = kTwoPi * (i + 0.5f) / sides, t1 = kTwoPi * (i + 1.5f) / sides;
        Vec3 o0{rOuter * std::cos(t0), rOuter * std::sin(t0), 0}, o1{rOuter * std::cos(t1), rOuter * std::sin(t1), 0};
        Vec3 i0{rInner * std::cos(t0), rInner * std::sin(t0), 0}, i1{rInner * std::cos(t1), rInner * std::sin(t1), 0};
        UvScale side = uv;
        side.shiftU = 0.0f;
        addWall(mesh, o0, o1, z0, z1, side, z1);  // outside, facing out
        addWall(mesh, i1, i0, z0, z1, side, z1);  // inside, facing the middle
        Vec3 up{0, 0, 1};
        auto c = [&](Vec3 p) {
            Corner k;
            k.position = Vec3{p.x, p.y, z1};
            k.normal = up;
            k.u = p.x / uv.unitsU;
            k.v = -p.y / uv.unitsV;
            return k;
        };
        mesh.triangle(c(i0), c(o0), c(o1));
        mesh.triangle(c(i0), c(o1), c(i1));
    }
}

void addMarker(MeshBuilder& mesh, Vec3 centre) {
    MeshBuilder box;
    // Both halves are whole numbers away from the centre, so the mean is exact.
    addBox(box, 5.0f, 5.0f, 10.0f, kWorldUv, true);
    for (Corner& c : box.corners) c.position = c.position + Vec3{centre.x, centre.y, centre.z - 5.0f};
    mesh.append(box);
}
