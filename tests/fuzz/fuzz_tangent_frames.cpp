// libFuzzer target: the tangent-frame computation on arbitrary meshes.
//
// The bytes become a mesh of up to 64 vertices with or without normals and
// texture coordinates, and up to 64 faces of any index count (0 to 6) whose
// indices mostly lie inside the mesh and sometimes anywhere. Values are raw
// float bit patterns (NaN, infinities, denormals) or small integers, so that
// shared positions, flat mappings and zero normals come up often.
//
// What must hold for every input: both arrays have one entry per vertex,
// every component is finite, and the fast position grouping equals the plain
// reference.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "import/tangent_frames.h"

namespace {

[[noreturn]] void fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "tangent frames: %s (vertex %zu)\n", what, at);
    std::abort();
}

float value(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
        const std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    return static_cast<float>(in.ConsumeIntegralInRange<int>(-2, 2));
}

std::vector<Vec3> vectors(FuzzedDataProvider& in, std::size_t count) {
    std::vector<Vec3> out(count);
    for (Vec3& v : out) v = Vec3{value(in), value(in), value(in)};
    return out;
}

// Finite, as promised. Not necessarily of unit length: a face a few
// denormals across is normalised in float on purpose, and the division by a
// length computed from an underflowing dot product is off by a long way
// (found by this target; its input is among the seeds).
void checkFrame(Vec3 v, std::size_t at) {
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) fail("non-finite frame", at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::size_t vertexCount = in.ConsumeIntegralInRange<std::size_t>(0, 64);
    const bool hasNormals = in.ConsumeIntegralInRange<int>(0, 7) != 0;
    const bool hasTexCoords = in.ConsumeIntegralInRange<int>(0, 3) != 0;
    const std::size_t faceCount = in.ConsumeIntegralInRange<std::size_t>(0, 64);

    std::vector<Vec3> positions = vectors(in, vertexCount);
    std::vector<Vec3> normals = hasNormals ? vectors(in, vertexCount) : std::vector<Vec3>{};
    std::vector<Vec3> texCoords = hasTexCoords ? vectors(in, vertexCount) : std::vector<Vec3>{};

    // Each face's indices in an allocation of their own, exactly as long as
    // the face says, so a read past them is caught.
    std::vector<std::vector<unsigned>> indexLists(faceCount);
    std::vector<TangentFace> faces(faceCount);
    for (std::size_t f = 0; f < faceCount; ++f) {
        const unsigned count = in.ConsumeIntegralInRange<unsigned>(0, 6);
        indexLists[f].resize(count);
        for (unsigned& index : indexLists[f]) {
            index = in.ConsumeIntegralInRange<int>(0, 15) == 0
                        ? in.ConsumeIntegral<unsigned>()
                        : in.ConsumeIntegralInRange<unsigned>(0, vertexCount > 0 ? unsigned(vertexCount - 1) : 0u);
        }
        faces[f] = TangentFace{count, count > 0 ? indexLists[f].data() : nullptr};
    }

    TangentInput mesh;
    mesh.vertexCount = vertexCount;
    mesh.positions = positions.data();
    mesh.normals = hasNormals ? normals.data() : nullptr;
    mesh.texCoords = hasTexCoords ? texCoords.data() : nullptr;
    mesh.faceCount = faceCount;
    mesh.faces = faces.data();
    const TangentFrames frames = computeTangentFrames(mesh);

    if (frames.tangents.size() != vertexCount || frames.bitangents.size() != vertexCount) {
        fail("arrays not one entry per vertex", vertexCount);
    }
    for (std::size_t v = 0; v < vertexCount; ++v) {
        checkFrame(frames.tangents[v], v);
        checkFrame(frames.bitangents[v], v);
    }

    const PositionGroups fast = groupPositions(positions.data(), vertexCount);
    const PositionGroups reference = groupPositionsReference(positions.data(), vertexCount);
    if (fast.groupStart != reference.groupStart || fast.members != reference.members) {
        fail("fast grouping differs from the reference", vertexCount);
    }
    return 0;
}
