#include "mesh_builder.h"

#include <cmath>
#include <utility>
#include <vector>

namespace {

const float kTwoPi = 6.2831853f;

Vec3 faceNormal(Vec3 a, Vec3 b, Vec3 c) { return normalize(cross(b - a, c - a)); }

bool degenerate(Vec3 a, Vec3 b, Vec3 c) { return length(cross(b - a, c - a)) < 1e-6f; }

Corner corner(Vec3 p, Vec3 n, float u, float v) {
    Corner c;
    c.position = p;
    c.normal = n;
    c.u = u;
    c.v = v;
    return c;
}

// Whole repeats around a girth, so that a wrapped picture meets itself at the seam.
float repeatsAround(float radius, float unitsU) {
    float r = std::round(kTwoPi * radius / unitsU);
    return r < 1.0f ? 1.0f : r;
}

}  // namespace

void MeshBuilder::triangle(const Corner& a, const Corner& b, const Corner& c) {
    if (degenerate(a.position, b.position, c.position)) return;
    corners.push_back(a);
    corners.push_back(b);
    corners.push_back(c);
}

void MeshBuilder::quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 n, float ua, float va, float ub, float vb,
                       float uc, float vc, float ud, float vd) {
    triangle(corner(a, n, ua, va), corner(b, n, ub, vb), corner(c, n, uc, vc));
    triangle(corner(a, n, ua, va), corner(c, n, uc, vc), corner(d, n, ud, vd));
}

void MeshBuilder::append(const MeshBuilder& other) {
    corners.insert(corners.end(), other.corners.begin(), other.corners.end());
}

Vec3 placeDirection(const Placement& at, Vec3 d) {
    float c = std::cos(at.yaw), s = std::sin(at.yaw);
    return Vec3{c * d.x - s * d.y, s * d.x + c * d.y, d.z};
}

Vec3 placePoint(const Placement& at, Vec3 p) { return placeDirection(at, p) + at.origin; }

void appendPlaced(MeshBuilder& into, const MeshBuilder& shape, const Placement& at) {
    for (const Corner& c : shape.corners) {
        Corner moved = c;
        moved.position = placePoint(at, c.position);
        moved.normal = placeDirection(at, c.normal);
        into.corners.push_back(moved);
    }
}

void addWall(MeshBuilder& mesh, Vec3 a, Vec3 b, float z0, float z1, const UvScale& uv, float vTop) {
    Vec3 along = b - a;
    along.z = 0.0f;
    float len = length(along);
    if (len <= 0.0f || z1 <= z0) return;
    Vec3 n = normalize(Vec3{along.y, -along.x, 0.0f});
    float u0 = uv.shiftU, u1 = uv.shiftU + len / uv.unitsU;
    float vBottom = (vTop - z0) / uv.unitsV + uv.shiftV, vUp = (vTop - z1) / uv.unitsV + uv.shiftV;
    mesh.quad(Vec3{a.x, a.y, z0}, Vec3{b.x, b.y, z0}, Vec3{b.x, b.y, z1}, Vec3{a.x, a.y, z1}, n, u0, vBottom,
              u1, vBottom, u1, vUp, u0, vUp);
}

void addFloor(MeshBuilder& mesh, float x0, float y0, float x1, float y1, float z, const UvScale& uv,
              bool facingUp) {
    auto u = [&](float x) { return (facingUp ? x : -x) / uv.unitsU + uv.shiftU; };
    auto v = [&](float y) { return -y / uv.unitsV + uv.shiftV; };
    Vec3 p00{x0, y0, z}, p10{x1, y0, z}, p11{x1, y1, z}, p01{x0, y1, z};
    if (facingUp) {
        mesh.quad(p00, p10, p11, p01, Vec3{0, 0, 1}, u(x0), v(y0), u(x1), v(y0), u(x1), v(y1), u(x0), v(y1));
    } else {
        mesh.quad(p10, p00, p01, p11, Vec3{0, 0, -1}, u(x1), v(y0), u(x0), v(y0), u(x0), v(y1), u(x1), v(y1));
    }
}

void addBox(MeshBuilder& mesh, float hx, float hy, float h, const UvScale& uv, bool withBottom) {
    Vec3 ring[4] = {{-hx, -hy, 0}, {hx, -hy, 0}, {hx, hy, 0}, {-hx, hy, 0}};
    UvScale side = uv;
    for (int i = 0; i < 4; ++i) {
        addWall(mesh, ring[i], ring[(i + 1) % 4], 0.0f, h, side, h);
        side.shiftU += length(ring[(i + 1) % 4] - ring[i]) / uv.unitsU;
    }
    addFloor(mesh, -hx, -hy, hx, hy, h, uv, true);
    if (withBottom) addFloor(mesh, -hx, -hy, hx, hy, 0.0f, uv, false);
}

void addPrism(MeshBuilder& mesh, int sides, float r0, float r1, float z0, float z1, const UvScale& uv,
              bool capTop, bool smooth) {
    float repeats = repeatsAround(r0 > r1 ? r0 : r1, uv.unitsU);
    float slopeZ = (r0 - r1) / (z1 - z0);
    for (int i = 0; i < sides; ++i) {
        float t0 = kTwoPi * i / sides, t1 = kTwoPi * (i + 1) / sides;
        Vec3 b0{r0 * std::cos(t0), r0 * std::sin(t0), z0}, b1{r0 * std::cos(t1), r0 * std::sin(t1), z0};
        Vec3 a0{r1 * std::cos(t0), r1 * std::sin(t0), z1}, a1{r1 * std::cos(t1), r1 * std::sin(t1), z1};
        float u0 = repeats * i / sides + uv.shiftU, u1 = repeats * (i + 1) / sides + uv.shiftU;
        float vb = (z1 - z0) / uv.unitsV + uv.shiftV, vt = uv.shiftV;
        Vec3 n0, n1;
        if (smooth) {
            n0 = normalize(Vec3{std::cos(t0), std::sin(t0), slopeZ});
            n1 = normalize(Vec3{std::cos(t1), std::sin(t1), slopeZ});
        } else {
            float tm = 0.5f * (t0 + t1);
            n0 = n1 = normalize(Vec3{std::cos(tm), std::sin(tm), slopeZ});
        }
        mesh.triangle(corner(b0, n0, u0, vb), corner(b1, n1, u1, vb), corner(a1, n1, u1, vt));
        mesh.triangle(corner(b0, n0, u0, vb), corner(a1, n1, u1, vt), corner(a0, n0, u0, vt));
        if (capTop && r1 > 0.0f) {
            Vec3 c{0, 0, z1};
            Vec3 up{0, 0, 1};
            mesh.triangle(corner(c, up, 0.0f, 0.0f), corner(a0, up, a0.x / uv.unitsU, -a0.y / uv.unitsV),
                          corner(a1, up, a1.x / uv.unitsU, -a1.y / uv.unitsV));
        }
    }
}

void addSphere(MeshBuilder& mesh, Vec3 c, float r, int slices, int stacks, float squashZ, const UvScale& uv) {
    float repeatsU = repeatsAround(r, uv.unitsU);
    float repeatsV = std::round(3.1415927f * r / uv.unitsV);
    if (repeatsV < 1.0f) repeatsV = 1.0f;
    auto point = [&](int i, int j, Corner& out) {
        float theta = kTwoPi * i / slices;
        float phi = 1.5707964f - 3.1415927f * j / stacks;  // from the north pole down
        Vec3 dir{std::cos(phi) * std::cos(theta), std::cos(phi) * std::sin(theta), std::sin(phi)};
        // The poles exactly, so the triangles that meet there collapse and are dropped
        // rather than left as slivers of random facing.
        if (j == 0 || j == stacks) dir = Vec3{0.0f, 0.0f, j == 0 ? 1.0f : -1.0f};
        out.position = c + Vec3{dir.x * r, dir.y * r, dir.z * r * squashZ};
        out.normal = normalize(Vec3{dir.x, dir.y, dir.z / squashZ});
        out.u = repeatsU * i / slices + uv.shiftU;
        out.v = repeatsV * j / stacks + uv.shiftV;
    };
    for (int j = 0; j < stacks; ++j) {
        for (int i = 0; i < slices; ++i) {
            Corner tl, tr, bl, br;
            point(i, j, tl);
            point(i + 1, j, tr);
            point(i, j + 1, bl);
            point(i + 1, j + 1, br);
            mesh.triangle(bl, br, tr);
            mesh.triangle(bl, tr, tl);
        }
    }
}

void addTorus(MeshBuilder& mesh, Vec3 c, float ringRadius, float tubeRadius, int ringSides, int tubeSides) {
    auto point = [&](int i, int j, Corner& out) {
        float a = kTwoPi * i / ringSides, b = kTwoPi * j / tubeSides;
        Vec3 radial{std::cos(a), 0.0f, std::sin(a)};
        Vec3 n = radial * std::cos(b) + Vec3{0.0f, std::sin(b), 0.0f};
        out.position = c + radial * ringRadius + n * tubeRadius;
        out.normal = normalize(n);
        out.u = 8.0f * i / ringSides;
        out.v = 1.0f * j / tubeSides;
    };
    for (int i = 0; i < ringSides; ++i) {
        for (int j = 0; j < tubeSides; ++j) {
            Corner p00, p10, p01, p11;
            point(i, j, p00);
            point(i + 1, j, p10);
            point(i, j + 1, p01);
            point(i + 1, j + 1, p11);
            mesh.triangle(p00, p01, p11);
            mesh.triangle(p00, p11, p10);
        }
    }
}

namespace {

// One roof face: the polygon's corners in front-face order, u along the given
// eave direction, v down the slope measured from the ridge height.
void roofFace(MeshBuilder& mesh, const Vec3* p, int count, Vec3 eaveDir, float ridgeZ, float slopePerZ,
              const UvScale& uv) {
    Vec3 n = faceNormal(p[0], p[1], p[2]);
    auto make = [&](Vec3 q) {
        return corner(q, n, dot(q, eaveDir) / uv.unitsU + uv.shiftU, (ridgeZ - q.z) * slopePerZ / uv.unitsV + uv.shiftV);
    };
    for (int i = 1; i + 1 < count; ++i) mesh.triangle(make(p[0]), make(p[i]), make(p[i + 1]));
}

}  // namespace

void addHipRoof(MeshBuilder& mesh, float hx, float hy, float z, float rise, float overhang, const UvScale& uv) {
    if (hx < hy) {
        // Build it with the ridge along x, then turn it a quarter round.
        MeshBuilder turned;
        addHipRoof(turned, hy, hx, z, rise, overhang, uv);
        Placement quarter;
        quarter.yaw = 1.5707964f;
        appendPlaced(mesh, turned, quarter);
        return;
    }
    float ex = hx + overhang, ey = hy + overhang;
    float rx = ex - ey;  // equal slopes on all four sides
    float zr = z + rise;
    float slopePerZ = std::sqrt(ey * ey + rise * rise) / rise;
    Vec3 south[4] = {{-ex, -ey, z}, {ex, -ey, z}, {rx, 0, zr}, {-rx, 0, zr}};
    Vec3 north[4] = {{ex, ey, z}, {-ex, ey, z}, {-rx, 0, zr}, {rx, 0, zr}};
    Vec3 east[3] = {{ex, -ey, z}, {ex, ey, z}, {rx, 0, zr}};
    Vec3 west[3] = {{-ex, ey, z}, {-ex, -ey, z}, {-rx, 0, zr}};
    roofFace(mesh, south, rx > 0.0f ? 4 : 3, Vec3{1, 0, 0}, zr, slopePerZ, uv);
    roofFace(mesh, north, rx > 0.0f ? 4 : 3, Vec3{-1, 0, 0}, zr, slopePerZ, uv);
    roofFace(mesh, east, 3, Vec3{0, 1, 0}, zr, slopePerZ, uv);
    roofFace(mesh, west, 3, Vec3{0, -1, 0}, zr, slopePerZ, uv);
    addFloor(mesh, -ex, -ey, ex, ey, z, uv, false);
}

void addSpire(MeshBuilder& mesh, int sides, float r, float z, float rise, const UvScale& uv) {
    float repeats = repeatsAround(r, uv.unitsU);
    float slant = std::sqrt(r * r + rise * rise);
    Vec3 apex{0, 0, z + rise};
    for (int i = 0; i < sides; ++i) {
        float t0 = kTwoPi * i / sides, t1 = kTwoPi * (i + 1) / sides;
        Vec3 b0{r * std::cos(t0), r * std::sin(t0), z}, b1{r * std::cos(t1), r * std::sin(t1), z};
        Vec3 n = faceNormal(b0, b1, apex);
        float u0 = repeats * i / sides, u1 = repeats * (i + 1) / sides;
        float vb = slant / uv.unitsV;
        mesh.triangle(corner(b0, n, u0, vb), corner(b1, n, u1, vb), corner(apex, n, 0.5f * (u0 + u1), 0.0f));
    }
}

namespace {

// A triangle whose winding is made to agree with its corners' normals, for
// the swept shapes whose orientation is easier to state by normals.
void facingTriangle(MeshBuilder& mesh, const Corner& a, const Corner& b, const Corner& c) {
    Vec3 face = cross(b.position - a.position, c.position - a.position);
    if (dot(face, a.normal + b.normal + c.normal) >= 0.0f) {
        mesh.triangle(a, b, c);
    } else {
        mesh.triangle(a, c, b);
    }
}

}  // namespace

void addLathe(MeshBuilder& mesh, const std::vector<ProfilePoint>& profile, int sides, const UvScale& uv) {
    std::size_t n = profile.size();
    if (n < 2) return;
    // Outward normal of each segment in the (r, z) plane, and v at each point.
    std::vector<float> segR(n - 1), segZ(n - 1), v(n, uv.shiftV);
    float widest = 0.0f;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        float dr = profile[i + 1].r - profile[i].r, dz = profile[i + 1].z - profile[i].z;
        float len = std::sqrt(dr * dr + dz * dz);
        segR[i] = len > 0.0f ? -dz / len : 0.0f;
        segZ[i] = len > 0.0f ? dr / len : 0.0f;
        v[i + 1] = v[i] + len / uv.unitsV;
    }
    for (const ProfilePoint& p : profile) widest = std::fmax(widest, p.r);
    float repeats = repeatsAround(widest, uv.unitsU);
    // The normal at point i as seen from segment s (s is i - 1 or i).
    auto normalAt = [&](std::size_t i, std::size_t s) {
        bool smooth = !profile[i].crease && i > 0 && i + 1 < n;
        float nr = segR[s], nz = segZ[s];
        if (smooth) {
            nr = segR[i - 1] + segR[i];
            nz = segZ[i - 1] + segZ[i];
            float len = std::sqrt(nr * nr + nz * nz);
            if (len > 1e-6f) nr /= len, nz /= len;
            else nr = segR[s], nz = segZ[s];
        }
        return std::pair<float, float>(nr, nz);
    };
    for (std::size_t s = 0; s + 1 < n; ++s) {
        auto top = normalAt(s, s), bottom = normalAt(s + 1, s);
        for (int k = 0; k < sides; ++k) {
            float t0 = kTwoPi * k / sides, t1 = kTwoPi * (k + 1) / sides;
            float u0 = repeats * k / sides + uv.shiftU, u1 = repeats * (k + 1) / sides + uv.shiftU;
            auto make = [&](std::size_t i, float t, float u, std::pair<float, float> nrz) {
                float c = std::cos(t), sn = std::sin(t);
                return corner(Vec3{profile[i].r * c, profile[i].r * sn, profile[i].z},
                              normalize(Vec3{nrz.first * c, nrz.first * sn, nrz.second}), u, v[i]);
            };
            Corner a = make(s, t0, u0, top), b = make(s, t1, u1, top);
            Corner c = make(s + 1, t1, u1, bottom), d = make(s + 1, t0, u0, bottom);
            // Seen from outside, the angle grows to the right and the profile runs down.
            mesh.triangle(a, d, c);
            mesh.triangle(a, c, b);
        }
    }
}

void addFlutedShaft(MeshBuilder& mesh, float r0, float r1, float z0, float z1, int flutes, float depth,
                    const UvScale& uv) {
    // Each flute is a half-round groove; between two flutes a narrow flat fillet.
    const int perFlute = 6;
    int sides = flutes * perFlute;
    float repeats = repeatsAround(std::fmax(r0, r1), uv.unitsU);
    float slope = (r0 - r1) / (z1 - z0);
    // Radius factor and its derivative by angle at step k.
    auto groove = [&](int k, float& factor, float& dFactor) {
        float phase = static_cast<float>(k % perFlute) / perFlute;  // 0 at a fillet
        float w = 0.8f;                                            // share of the flute that is groove
        float x = (phase - 0.5f * (1.0f - w)) / w;                 // 0..1 across the groove
        if (x <= 0.0f || x >= 1.0f) {
            factor = 1.0f;
            dFactor = 0.0f;
            return;
        }
        float s = std::sin(3.1415927f * x);
        factor = 1.0f - depth * s;
        // d factor / d angle: x runs over the groove's share of one flute's angle.
        dFactor = -depth * std::cos(3.1415927f * x) * flutes / (2.0f * w);
    };
    float vb = (z1 - z0) / uv.unitsV + uv.shiftV, vt = uv.shiftV;
    for (int k = 0; k < sides; ++k) {
        Corner ring[2][2];
        for (int e = 0; e < 2; ++e) {
            int step = k + e;
            float t = kTwoPi * step / sides;
            float f = 1.0f, df = 0.0f;
            groove(step % sides, f, df);
            float c = std::cos(t), s = std::sin(t);
            // Radius R(z) f(t): the normal leans against the groove's slope
            // around the shaft and against the taper along it.
            Vec3 radial{c, s, 0.0f}, around{-s, c, 0.0f};
            Vec3 n = normalize(radial * f - around * df + Vec3{0.0f, 0.0f, slope * f * f});
            float u = repeats * step / sides + uv.shiftU;
            ring[e][0] = corner(Vec3{r0 * f * c, r0 * f * s, z0}, n, u, vb);
            ring[e][1] = corner(Vec3{r1 * f * c, r1 * f * s, z1}, n, u, vt);
        }
        mesh.triangle(ring[0][0], ring[1][0], ring[1][1]);
        mesh.triangle(ring[0][0], ring[1][1], ring[0][1]);
    }
}

void addGrid(MeshBuilder& mesh, int columns, int rows, const std::function<Corner(int, int)>& make, bool flip) {
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            Corner a = make(i, j), b = make(i + 1, j), c = make(i + 1, j + 1), d = make(i, j + 1);
            if (flip) {
                mesh.triangle(a, c, b);
                mesh.triangle(a, d, c);
            } else {
                mesh.triangle(a, b, c);
                mesh.triangle(a, c, d);
            }
        }
    }
}

void addDisc(MeshBuilder& mesh, Vec3 centre, Vec3 right, Vec3 up, float radius, int sides) {
    const float kPi = 3.1415927f;
    Vec3 n = cross(right, up);
    for (int i = 0; i < sides; ++i) {
        float a0 = 2.0f * kPi * i / sides, a1 = 2.0f * kPi * (i + 1) / sides;
        auto rim = [&](float a) {
            Corner c;
            c.position = centre + right * (radius * std::cos(a)) + up * (radius * std::sin(a));
            c.normal = n;
            c.u = 0.5f + 0.5f * std::cos(a);
            c.v = 0.5f - 0.5f * std::sin(a);
            return c;
        };
        Corner mid;
        mid.position = centre;
        mid.normal = n;
        mid.u = 0.5f;
        mid.v = 0.5f;
        mesh.triangle(mid, rim(a0), rim(a1));
    }
}

void addTube(MeshBuilder& mesh, const std::vector<Vec3>& path, const std::vector<float>& radius, bool closed,
             int sides, const UvScale& uv) {
    std::size_t n = path.size();
    if (n < 2 || radius.size() != n) return;
    auto tangentAt = [&](std::size_t i) {
        Vec3 ahead = i + 1 < n ? path[i + 1] : (closed ? path[0] : path[i]);
        Vec3 behind = i > 0 ? path[i - 1] : (closed ? path[n - 1] : path[i]);
        return normalize(ahead - behind);
    };
    // Rotation-minimising frames: carry the first normal along by the
    // smallest turn between successive tangents.
    std::vector<Vec3> normals(n), binormals(n);
    Vec3 t0 = tangentAt(0);
    Vec3 helper = std::fabs(t0.z) < 0.9f ? Vec3{0.0f, 0.0f, 1.0f} : Vec3{1.0f, 0.0f, 0.0f};
    normals[0] = normalize(cross(cross(t0, helper), t0));
    for (std::size_t i = 1; i < n; ++i) {
        Vec3 t = tangentAt(i);
        Vec3 carried = normals[i - 1] - t * dot(normals[i - 1], t);
        normals[i] = length(carried) > 1e-6f ? normalize(carried) : normals[i - 1];
    }
    for (std::size_t i = 0; i < n; ++i) binormals[i] = cross(tangentAt(i), normals[i]);
    std::vector<float> along(n + 1, uv.shiftU);
    for (std::size_t i = 1; i <= n; ++i) along[i] = along[i - 1] + length(path[i % n] - path[i - 1]) / uv.unitsU;
    float repeats = std::fmax(1.0f, std::round(kTwoPi * radius[0] / uv.unitsV));
    std::size_t segments = closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        std::size_t j = (i + 1) % n;
        for (int k = 0; k < sides; ++k) {
            auto make = [&](std::size_t p, int step, float u) {
                float phi = kTwoPi * step / sides;
                Vec3 out = normals[p] * std::cos(phi) + binormals[p] * std::sin(phi);
                return corner(path[p] + out * radius[p], out, u, repeats * step / sides + uv.shiftV);
            };
            Corner a = make(i, k, along[i]), b = make(j, k, along[i + 1]);
            Corner c = make(j, k + 1, along[i + 1]), d = make(i, k + 1, along[i]);
            facingTriangle(mesh, a, b, c);
            facingTriangle(mesh, a, c, d);
        }
    }
}

void addRing(MeshBuilder& mesh, Vec3 c, Vec3 a, Vec3 b, float ring, float tube, int ringSides, int tubeSides) {
    std::vector<Vec3> path;
    std::vector<float> radius;
    for (int i = 0; i < ringSides; ++i) {
        float t = kTwoPi * i / ringSides;
        path.push_back(c + a * (ring * std::cos(t)) + b * (ring * std::sin(t)));
        radius.push_back(tube);
    }
    // The path's polygon is a little shorter than the circle.
    float along = ringSides * 2.0f * ring * std::sin(kTwoPi / (2.0f * ringSides));
    addTube(mesh, path, radius, true, tubeSides, UvScale{along, kTwoPi * tube, 0.0f, 0.0f});
}
