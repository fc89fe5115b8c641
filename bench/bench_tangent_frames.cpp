// Tangent frames on surfaces shaped like the model files: an un-joined grid of
// triangles over gently bumpy ground, so each inner corner position is shared by
// six vertices. Prints the time per vertex; run the 10^6 case to see the whole
// computation stays well under a second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "import/tangent_frames.h"

namespace {

struct GridMesh {
    std::vector<Vec3> positions, normals, texCoords;
    std::vector<unsigned> indices;
    std::vector<TangentFace> faces;

    TangentInput input() const {
        TangentInput in;
        in.vertexCount = positions.size();
        in.positions = positions.data();
        in.normals = normals.data();
        in.texCoords = texCoords.data();
        in.faceCount = faces.size();
        in.faces = faces.data();
        return in;
    }
};

// About targetVertices vertices: cells × cells squares, two triangles each, six
// vertices per square. Corners are computed from integer grid coordinates, so
// the copies of one corner are bit-identical and group together.
GridMesh makeGrid(long targetVertices) {
    int cells = static_cast<int>(std::lround(std::sqrt(targetVertices / 6.0)));
    auto corner = [cells](int i, int j, Vec3& p, Vec3& n, Vec3& uv) {
        float x = static_cast<float>(i), y = static_cast<float>(j);
        float h = 0.05f * std::sin(0.7f * x) * std::cos(0.9f * y);
        float dx = 0.05f * 0.7f * std::cos(0.7f * x) * std::cos(0.9f * y);
        float dy = -0.05f * 0.9f * std::sin(0.7f * x) * std::sin(0.9f * y);
        p = {x, y, h};
        n = normalize({-dx, -dy, 1.0f});
        uv = {x / cells, y / cells, 0.0f};
    };
    GridMesh mesh;
    const int cornersOfSquare[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            for (const auto& c : cornersOfSquare) {
                Vec3 p, n, uv;
                corner(i + c[0], j + c[1], p, n, uv);
                mesh.indices.push_back(static_cast<unsigned>(mesh.positions.size()));
                mesh.positions.push_back(p);
                mesh.normals.push_back(n);
                mesh.texCoords.push_back(uv);
            }
        }
    }
    for (std::size_t f = 0; f * 3 < mesh.indices.size(); ++f)
        mesh.faces.push_back({3, mesh.indices.data() + f * 3});
    return mesh;
}

void reportPerVertex(benchmark::State& state, std::size_t vertices, std::size_t groups) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * vertices));
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["per_group"] = static_cast<double>(vertices) / static_cast<double>(groups);
    state.counters["time_per_vertex"] = benchmark::Counter(
        static_cast<double>(vertices), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

std::size_t groupCount(const GridMesh& mesh) {
    return groupPositions(mesh.positions.data(), mesh.positions.size()).groupStart.size() - 1;
}

void BM_ComputeTangentFrames(benchmark::State& state) {
    GridMesh mesh = makeGrid(state.range(0));
    TangentInput input = mesh.input();
    for (auto _ : state) {
        TangentFrames frames = computeTangentFrames(input);
        benchmark::DoNotOptimize(frames.tangents.data());
        benchmark::DoNotOptimize(frames.bitangents.data());
    }
    reportPerVertex(state, mesh.positions.size(), groupCount(mesh));
}

// The grouping alone, hashed and quadratic, to show what the hashing saves.
void BM_GroupPositions(benchmark::State& state) {
    GridMesh mesh = makeGrid(state.range(0));
    for (auto _ : state) {
        PositionGroups groups = groupPositions(mesh.positions.data(), mesh.positions.size());
        benchmark::DoNotOptimize(groups.members.data());
    }
    reportPerVertex(state, mesh.positions.size(), groupCount(mesh));
}

void BM_GroupPositionsReference(benchmark::State& state) {
    GridMesh mesh = makeGrid(state.range(0));
    for (auto _ : state) {
        PositionGroups groups = groupPositionsReference(mesh.positions.data(), mesh.positions.size());
        benchmark::DoNotOptimize(groups.members.data());
    }
    reportPerVertex(state, mesh.positions.size(), groupCount(mesh));
}

}  // namespace

BENCHMARK(BM_ComputeTangentFrames)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupPositions)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupPositionsReference)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
