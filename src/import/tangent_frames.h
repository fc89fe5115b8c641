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

TangentFrames computeTangentFrames(const TangentInput& mesh);
