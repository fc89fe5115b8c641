// Per-vertex tangent frames for normal and height mapping.
//
// Each face gets a tangent and bitangent from its texture mapping; each of its
// vertices takes that pair made orthogonal to its own normal; then vertices
// that share a position (the un-joined corners of neighbouring triangles) are
// smoothed together so the seams between triangles do not show.
#pragma once

#include <cstddef>
#include <vector>

#include "math/vecmath.h"

// One face: its vertex indices, as the importer delivers them.
struct TangentFace {
    unsigned indexCount = 0;
    const unsigned* indices = nullptr;
};

// One mesh's data, borrowed from the importer for the duration of the call.
struct TangentInput {
    std::size_t vertexCount = 0;
    const Vec3* positions = nullptr;
    const Vec3* normals = nullptr;
    const Vec3* texCoords = nullptr;  // set 0 (u, v, w); null when the mesh has none
    std::size_t faceCount = 0;
    const TangentFace* faces = nullptr;
};

struct TangentFrames {
    std::vector<Vec3> tangents;    // vertexCount entries
    std::vector<Vec3> bitangents;  // vertexCount entries
};

// Both arrays come back with vertexCount entries; a vertex that no usable face
// references keeps (0, 0, 0). Faces with fewer than three indices, or with an
// index outside the mesh, are skipped. Where the texture mapping gives no
// direction (no coordinates, a flat mapping, a tangent along the normal) the
// vertex gets a fallback frame perpendicular to its normal, so the shader never
// sees a non-finite frame. Null positions or normals give all-zero arrays.
TangentFrames computeTangentFrames(const TangentInput& mesh);

// Vertices with exactly equal positions (-0 equals +0, a NaN component matches
// nothing). Groups come in the order of their first vertex, members in vertex
// order: group g holds members[groupStart[g]] up to members[groupStart[g + 1]].
struct PositionGroups {
    std::vector<std::size_t> groupStart;  // group count + 1 entries
    std::vector<std::size_t> members;     // every vertex exactly once
};

// Hashes the positions: expected linear time, what computeTangentFrames uses.
PositionGroups groupPositions(const Vec3* positions, std::size_t count);

// Compares each vertex with the first vertex of every group so far: quadratic,
// kept as the plain statement of the grouping that the fast one must match.
PositionGroups groupPositionsReference(const Vec3* positions, std::size_t count);
