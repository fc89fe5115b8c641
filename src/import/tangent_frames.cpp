#include "import/tangent_frames.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace {

// ---------------------------------------------------------------------------
// Small vector helpers
// ---------------------------------------------------------------------------

bool isFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// v / |v|, exactly as normalize computes it, but only when that gives a finite
// direction: a zero, underflowing, overflowing or non-finite v is refused.
bool unitOf(Vec3 v, Vec3& out) {
    float len = length(v);
    if (!(len > 0.0f) || !std::isfinite(len)) return false;
    Vec3 unit = v / len;
    if (!isFinite(unit)) return false;
    out = unit;
    return true;
}

// A frame for a vertex whose texture mapping gives no direction: the axis least
// aligned with the normal, made perpendicular to it, and the bitangent that
// completes it with the handedness of an ordinary (unmirrored) mapping, so that
// n = (0, 0, 1) gets the same (1, 0, 0), (0, -1, 0) as a regular flat mapping.
void fallbackFrame(Vec3 normal, Vec3& tangent, Vec3& bitangent) {
    Vec3 n;
    if (!unitOf(normal, n)) {
        // No usable normal either: any finite frame beats NaN in the shader.
        tangent = {1.0f, 0.0f, 0.0f};
        bitangent = {0.0f, -1.0f, 0.0f};
        return;
    }
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    Vec3 axis{1.0f, 0.0f, 0.0f};
    if (ay < ax && ay <= az) axis = {0.0f, 1.0f, 0.0f};
    if (az < ax && az < ay) axis = {0.0f, 0.0f, 1.0f};
    // The least aligned axis keeps at least sqrt(2/3) of its length here.
    tangent = normalize(axis - n * dot(n, axis));
    bitangent = normalize(cross(tangent, n));
}

// The frame of one vertex with normal n of a face with face tangent t, face
// bitangent b and texture-space determinant (0 when the mapping is flat).
void vertexFrame(Vec3 t, Vec3 b, float determinant, Vec3 n, Vec3& tangent, Vec3& bitangent) {
    Vec3 tPrime = t - n * dot(n, t);
    Vec3 bPrime = b - n * dot(n, b);
    bool flat = (determinant == 0.0f);
    Vec3 tUnit, bUnit;
    bool haveT = !flat && unitOf(tPrime, tUnit);
    bool haveB = !flat && unitOf(bPrime, bUnit);
    if (haveT && haveB) {
        tangent = tUnit;
        bitangent = bUnit;
        return;
    }
    // One direction lost (it lies along the normal): rebuild it from the other
    // and the normal, keeping the handedness that the mapping's sign implies.
    float hand = determinant < 0.0f ? -1.0f : 1.0f;
    if (haveT && unitOf(cross(tUnit, n) * hand, bUnit)) {
        tangent = tUnit;
        bitangent = bUnit;
        return;
    }
    if (haveB && unitOf(cross(n, bUnit) * hand, tUnit)) {
        tangent = tUnit;
        bitangent = bUnit;
        return;
    }
    fallbackFrame(n, tangent, bitangent);
}

// ---------------------------------------------------------------------------
// Step 1: face tangents, last face wins
// ---------------------------------------------------------------------------

// Faces that cannot be read safely are skipped outright; their vertices keep
// whatever earlier faces gave them.
bool faceIsUsable(const TangentFace& face, std::size_t vertexCount) {
    if (face.indexCount < 3 || face.indices == nullptr) return false;
    for (unsigned k = 0; k < face.indexCount; ++k) {
        if (face.indices[k] >= vertexCount) return false;
    }
    return true;
}

void computeFaceFrames(const TangentInput& mesh, TangentFrames& frames) {
    if (mesh.faces == nullptr) return;
    const Vec3* P = mesh.positions;
    const Vec3* N = mesh.normals;
    const Vec3* UV = mesh.texCoords;
    for (std::size_t f = 0; f < mesh.faceCount; ++f) {
        const TangentFace& face = mesh.faces[f];
        if (!faceIsUsable(face, mesh.vertexCount)) continue;
        unsigned i0 = face.indices[0], i1 = face.indices[1], i2 = face.indices[2];

        Vec3 t, b;
        float determinant = 0.0f;  // no coordinates: every vertex takes the fallback
        if (UV != nullptr) {
            Vec3 e1 = P[i1] - P[i0];
            Vec3 e2 = P[i2] - P[i0];
            float du1 = UV[i1].x - UV[i0].x, dv1 = UV[i1].y - UV[i0].y;
            float du2 = UV[i2].x - UV[i0].x, dv2 = UV[i2].y - UV[i0].y;
            // Scaling by 1/det would only change the length, which the
            // normalisation drops; its sign is folded in by the formula itself.
            t = e1 * dv2 - e2 * dv1;
            b = e1 * du2 - e2 * du1;
            determinant = du1 * dv2 - du2 * dv1;
        }
        for (unsigned k = 0; k < face.indexCount; ++k) {
            unsigned v = face.indices[k];
            vertexFrame(t, b, determinant, N[v], frames.tangents[v], frames.bitangents[v]);
        }
    }
}

// ---------------------------------------------------------------------------
// Step 2: position groups
// ---------------------------------------------------------------------------

// Float equality as bits: fold -0 onto +0; NaN is kept out of the map entirely.
std::uint32_t keyBits(float f) {
    if (f == 0.0f) f = 0.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

struct PositionKey {
    std::uint32_t x, y, z;
    bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct PositionKeyHash {
    std::size_t operator()(const PositionKey& k) const {
        std::uint64_t h = (static_cast<std::uint64_t>(k.x) << 32) | k.y;
        h ^= static_cast<std::uint64_t>(k.z) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return static_cast<std::size_t>(h);
    }
};

bool hasNaN(Vec3 p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

bool samePosition(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Lays out groups given each vertex's group number (numbered in order of first
// appearance); members stay in vertex order because vertices are placed in order.
PositionGroups packGroups(const std::vector<std::size_t>& groupOf, std::size_t groupCount) {
    PositionGroups groups;
    groups.groupStart.assign(groupCount + 1, 0);
    for (std::size_t g : groupOf) ++groups.groupStart[g + 1];
    for (std::size_t g = 0; g < groupCount; ++g) groups.groupStart[g + 1] += groups.groupStart[g];
    groups.members.resize(groupOf.size());
    std::vector<std::size_t> next(groups.groupStart.begin(), groups.groupStart.end() - 1);
    for (std::size_t v = 0; v < groupOf.size(); ++v) groups.members[next[groupOf[v]]++] = v;
    return groups;
}

// ---------------------------------------------------------------------------
// Step 3: order-dependent smoothing within groups
// ---------------------------------------------------------------------------

// The angle in degrees, with the float conversions exactly where they fall:
// arccos in double on the float dot, rounded to float, then scaled in double.
// An unclamped dot outside [-1, 1] gives NaN, which is never close.
bool areClose(Vec3 x, Vec3 y) {
    float d = dot(x, y);
    // Far from the boundary (cos 45° = 0.7071) the answer is known without the
    // arc cosine, which dominates the cost; the exact formula decides in between
    // and for anything above 1 or NaN. Same decision as the formula for every float.
    if (d > 0.75f && d <= 1.0f) return true;
    if (d < 0.65f) return false;
    float arc = static_cast<float>(std::acos(static_cast<double>(d)));
    float angle = static_cast<float>(static_cast<double>(arc) / 3.141592 * 180.0);
    return angle < 45.0f;
}

void smoothGroups(const PositionGroups& groups, TangentFrames& frames) {
    std::vector<Vec3>& T = frames.tangents;
    std::vector<Vec3>& B = frames.bitangents;
    std::vector<char> close;
    for (std::size_t g = 0; g + 1 < groups.groupStart.size(); ++g) {
        const std::size_t* member = groups.members.data() + groups.groupStart[g];
        std::size_t size = groups.groupStart[g + 1] - groups.groupStart[g];
        if (size < 2) continue;
        close.assign(size, 0);
        for (std::size_t w = 0; w < size; ++w) {
            // Read afresh: earlier passes of this group may have replaced them.
            Vec3 ta = T[member[w]];
            Vec3 ba = B[member[w]];
            Vec3 sumT = ta, sumB = ba;
            bool any = false;
            for (std::size_t j = 0; j < size; ++j) {
                // Judged once per pass: neither ta nor tangents[m] change before the writes.
                close[j] = (j != w) && areClose(T[member[j]], ta);
                if (!close[j]) continue;
                sumT = sumT + T[member[j]];
                sumB = sumB + B[member[j]];
                any = true;
            }
            if (!any) continue;
            // Opposite bitangents at a mirrored seam can cancel; then each
            // member keeps its own rather than taking 0/0.
            Vec3 avgT, avgB;
            bool haveT = unitOf(sumT, avgT);
            bool haveB = unitOf(sumB, avgB);
            for (std::size_t j = 0; j < size; ++j) {
                if (!close[j]) continue;
                if (haveT) T[member[j]] = avgT;
                if (haveB) B[member[j]] = avgB;
            }
        }
    }
}

}  // namespace

PositionGroups groupPositions(const Vec3* positions, std::size_t count) {
    std::vector<std::size_t> groupOf(count);
    std::unordered_map<PositionKey, std::size_t, PositionKeyHash> groupAt;
    groupAt.reserve(count);
    std::size_t groupCount = 0;
    for (std::size_t v = 0; v < count; ++v) {
        Vec3 p = positions[v];
        if (hasNaN(p)) {
            groupOf[v] = groupCount++;
            continue;
        }
        PositionKey key{keyBits(p.x), keyBits(p.y), keyBits(p.z)};
        auto found = groupAt.try_emplace(key, groupCount);
        if (found.second) ++groupCount;
        groupOf[v] = found.first->second;
    }
    return packGroups(groupOf, groupCount);
}

PositionGroups groupPositionsReference(const Vec3* positions, std::size_t count) {
    std::vector<std::size_t> groupOf(count);
    std::vector<std::size_t> firstOfGroup;
    for (std::size_t v = 0; v < count; ++v) {
        std::size_t g = 0;
        while (g < firstOfGroup.size() && !samePosition(positions[v], positions[firstOfGroup[g]])) ++g;
        if (g == firstOfGroup.size()) firstOfGroup.push_back(v);
        groupOf[v] = g;
    }
    return packGroups(groupOf, firstOfGroup.size());
}

TangentFrames computeTangentFrames(const TangentInput& mesh) {
    TangentFrames frames;
    frames.tangents.assign(mesh.vertexCount, Vec3{});
    frames.bitangents.assign(mesh.vertexCount, Vec3{});
    if (mesh.positions == nullptr || mesh.normals == nullptr) return frames;

    computeFaceFrames(mesh, frames);
    PositionGroups groups = groupPositions(mesh.positions, mesh.vertexCount);
    smoothGroups(groups, frames);
    return frames;
}
