// Tangent frames: face tangents, position grouping and the order-dependent smoothing.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "import/tangent_frames.h"

namespace {

const Vec3 kUp{0.0f, 0.0f, 1.0f};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A mesh under construction: every triangle brings three new (un-joined) vertices.
struct Mesh {
    std::vector<Vec3> positions, normals, texCoords;
    std::vector<std::vector<unsigned>> faces;
    std::vector<unsigned> shortCounts;  // per face; 0: the face uses all its indices
    bool withTexCoords = true;

    // A face that declares fewer indices than its storage holds, so that reading
    // past its count would find valid indices and visibly change the results.
    void addShortFace(std::vector<unsigned> storage, unsigned count) {
        shortCounts.resize(faces.size(), 0);
        faces.push_back(storage);
        shortCounts.push_back(count);
    }

    unsigned addVertex(Vec3 p, Vec3 uv, Vec3 n = kUp) {
        positions.push_back(p);
        texCoords.push_back(uv);
        normals.push_back(n);
        return static_cast<unsigned>(positions.size() - 1);
    }
    unsigned addTriangle(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 uv0 = {0, 0, 0}, Vec3 uv1 = {1, 0, 0},
                         Vec3 uv2 = {0, 1, 0}, Vec3 n = kUp) {
        unsigned first = addVertex(p0, uv0, n);
        addVertex(p1, uv1, n);
        addVertex(p2, uv2, n);
        faces.push_back({first, first + 1, first + 2});
        return first;
    }
    TangentFrames run() const {
        std::vector<TangentFace> faceList;
        for (std::size_t k = 0; k < faces.size(); ++k) {
            const std::vector<unsigned>& f = faces[k];
            unsigned count = k < shortCounts.size() && shortCounts[k] ? shortCounts[k] : f.size();
            faceList.push_back({count, f.empty() ? nullptr : f.data()});
        }
        TangentInput input;
        input.vertexCount = positions.size();
        input.positions = positions.data();
        input.normals = normals.data();
        input.texCoords = withTexCoords ? texCoords.data() : nullptr;
        input.faceCount = faceList.size();
        input.faces = faceList.data();
        return computeTangentFrames(input);
    }
};

// The unit right triangle, lying in the plane z = height, with the standard or u-mirrored mapping.
void addUnitTriangle(Mesh& mesh, bool mirrored, float height = 0.0f) {
    mesh.addTriangle({0, 0, height}, {1, 0, height}, {0, 1, height}, {0, 0, 0},
                     {mirrored ? -1.0f : 1.0f, 0, 0}, {0, 1, 0});
}

::testing::AssertionResult same(Vec3 a, Vec3 b) {
    if (a.x == b.x && a.y == b.y && a.z == b.z) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ")";
}

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A usable frame: finite unit vectors perpendicular to the normal and to each other,
// with the handedness sign that cross(T, B) · n should show (-1 for an ordinary mapping).
void expectFrame(Vec3 t, Vec3 b, Vec3 n, float handedness) {
    ASSERT_TRUE(finite(t) && finite(b));
    EXPECT_NEAR(length(t), 1.0f, 1e-6f);
    EXPECT_NEAR(length(b), 1.0f, 1e-6f);
    EXPECT_NEAR(dot(t, n), 0.0f, 1e-6f);
    EXPECT_NEAR(dot(b, n), 0.0f, 1e-6f);
    EXPECT_NEAR(dot(t, b), 0.0f, 1e-6f);
    EXPECT_NEAR(dot(cross(t, b), n), handedness, 1e-6f);
}

// The smoothing's angle in degrees, float conversions where they fall.
float smoothingAngle(Vec3 x, Vec3 y) {
    float arc = static_cast<float>(std::acos(static_cast<double>(dot(x, y))));
    return static_cast<float>(static_cast<double>(arc) / 3.141592 * 180.0);
}

// One face per candidate tangent direction (1, y, 0), each at its own height so
// that none are grouped; returns the tangents that Step 1 gives them.
std::vector<Vec3> candidateTangents(const std::vector<float>& ys) {
    Mesh mesh;
    for (std::size_t k = 0; k < ys.size(); ++k) {
        float z = static_cast<float>(k);
        mesh.addTriangle({0, 0, z}, {1, ys[k], z}, {0, 1, z});
    }
    TangentFrames frames = mesh.run();
    std::vector<Vec3> tangents;
    for (std::size_t k = 0; k < ys.size(); ++k) tangents.push_back(frames.tangents[3 * k]);
    return tangents;
}

TEST(TangentFrames, UnitTrianglesAndLoneVerticesKeepTheirFaceValues) {
    for (bool mirrored : {false, true}) {
        Mesh mesh;
        addUnitTriangle(mesh, mirrored);
        TangentFrames frames = mesh.run();
        for (int v = 0; v < 3; ++v) {
            EXPECT_TRUE(same(frames.tangents[v], {1, 0, 0})) << mirrored;
            EXPECT_TRUE(same(frames.bitangents[v], {0, mirrored ? 1.0f : -1.0f, 0})) << mirrored;
        }
    }
}

TEST(TangentFrames, ThirtyDegreePairSmoothsInMemberOrder) {
    const float c = std::cos(30.0f * 3.14159265f / 180.0f), s = 0.5f;
    Mesh a, m;
    addUnitTriangle(a, false);
    m.addTriangle({0, 0, 0}, {c, s, 0}, {-s, c, 0});  // the same mapping, turned 30 degrees
    TangentFrames alone = a.run(), turned = m.run();
    Vec3 ta = alone.tangents[0], ba = alone.bitangents[0];
    Vec3 tm = turned.tangents[0], bm = turned.bitangents[0];
    ASSERT_NEAR(std::acos(dot(ta, tm)) * 180.0 / 3.14159265358979, 30.0, 1e-4);

    Mesh both = a;
    both.addTriangle({0, 0, 0}, {c, s, 0}, {-s, c, 0});  // vertex 3 shares vertex 0's position
    TangentFrames frames = both.run();
    EXPECT_TRUE(same(frames.tangents[3], normalize(ta + tm)));
    EXPECT_TRUE(same(frames.bitangents[3], normalize(ba + bm)));
    EXPECT_TRUE(same(frames.tangents[0], normalize(normalize(ta + tm) + ta)));
    EXPECT_TRUE(same(frames.bitangents[0], normalize(normalize(ba + bm) + ba)));
    EXPECT_FALSE(same(frames.tangents[0], frames.tangents[3]));
    EXPECT_TRUE(same(frames.tangents[1], ta));  // lone corners keep their face values
    EXPECT_TRUE(same(frames.tangents[4], tm));
}

TEST(TangentFrames, FortyFiveDegreesOrMoreIsNotClose) {
    // Walk the floats around tan(45°) = 1 and find where the float angle crosses 45.
    std::vector<float> ys;
    for (float y = 0.9995f; y < 1.0005f; y = std::nextafter(y, 2.0f)) ys.push_back(y);
    std::vector<Vec3> tangents = candidateTangents(ys);
    const Vec3 ta{1, 0, 0};
    int justUnder = -1, atOrAbove = -1, exactly = -1;
    for (std::size_t k = 0; k < ys.size(); ++k) {
        float angle = smoothingAngle(tangents[k], ta);
        if (angle < 45.0f && (justUnder < 0 || angle > smoothingAngle(tangents[justUnder], ta))) justUnder = k;
        if (angle >= 45.0f && (atOrAbove < 0 || angle < smoothingAngle(tangents[atOrAbove], ta))) atOrAbove = k;
        if (angle == 45.0f) exactly = k;
    }
    ASSERT_GE(justUnder, 0);
    ASSERT_GE(atOrAbove, 0);
    ASSERT_GE(exactly, 0) << "no direction gives exactly 45.0f";

    for (int k : {justUnder, atOrAbove, exactly}) {
        Mesh mesh;
        addUnitTriangle(mesh, false);
        mesh.addTriangle({0, 0, 0}, {1, ys[k], 0}, {0, 1, 0});
        TangentFrames frames = mesh.run();
        bool smoothed = (k == justUnder);
        EXPECT_TRUE(same(frames.tangents[3], smoothed ? normalize(ta + tangents[k]) : tangents[k]))
            << smoothingAngle(tangents[k], ta);
        if (!smoothed) {
            EXPECT_TRUE(same(frames.tangents[0], ta));
        }
    }
}

TEST(TangentFrames, IdenticalTangentsWithDotAboveOneAreNotClose) {
    std::vector<float> ys;
    for (int k = 1; k <= 2000; ++k) ys.push_back(k / 1000.0f);
    std::vector<Vec3> tangents = candidateTangents(ys);
    int found = -1;
    for (std::size_t k = 0; k < ys.size() && found < 0; ++k)
        if (dot(tangents[k], tangents[k]) > 1.0f) found = static_cast<int>(k);
    ASSERT_GE(found, 0);

    // Two faces on the same corners whose v is the same but u sheared: the
    // tangents come out bit-identical, the bitangents differ, so smoothing shows
    // in the bitangents. y = 0 (dot exactly 1) is the control that does smooth.
    for (float y : {0.0f, ys[found]}) {
        Mesh one, two;
        one.addTriangle({0, 0, 0}, {1, y, 0}, {0, 1, 0});
        two.addTriangle({0, 0, 0}, {1, y, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0});
        TangentFrames first = one.run(), second = two.run();
        ASSERT_TRUE(same(first.tangents[0], second.tangents[0]));
        ASSERT_FALSE(same(first.bitangents[0], second.bitangents[0]));

        Mesh both = one;
        both.addTriangle({0, 0, 0}, {1, y, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0});
        TangentFrames frames = both.run();
        Vec3 expected = y == 0.0f ? normalize(first.bitangents[0] + second.bitangents[0])
                                  : second.bitangents[0];
        EXPECT_TRUE(same(frames.bitangents[3], expected)) << y;
        EXPECT_TRUE(same(frames.tangents[3], second.tangents[0])) << y;
    }
}

TEST(TangentFrames, FacesBeyondThreeIndicesAndRepeatedVertices) {
    Mesh mesh;
    addUnitTriangle(mesh, false);
    mesh.addVertex({5, 5, 5}, {-7, 3, 0});   // fourth corner: its data must not matter
    mesh.faces[0].push_back(3);
    addUnitTriangle(mesh, true, 9.0f);     // vertices 4, 5, 6, mirrored
    mesh.faces.push_back({0, 5, 6});         // vertex 0 again, mirrored: the last face wins
    TangentFrames frames = mesh.run();
    EXPECT_TRUE(same(frames.tangents[3], {1, 0, 0}));
    EXPECT_TRUE(same(frames.bitangents[3], {0, -1, 0}));
    EXPECT_TRUE(same(frames.bitangents[1], {0, -1, 0}));
    EXPECT_TRUE(same(frames.tangents[0], {1, 0, 0}));
    EXPECT_TRUE(same(frames.bitangents[0], {0, 1, 0}));
}

TEST(TangentFrames, UnreferencedVertexStaysZeroAndSmoothsNothing) {
    Mesh mesh;
    addUnitTriangle(mesh, false);
    mesh.addVertex({0, 0, 0}, {0.3f, 0.7f, 0});  // at vertex 0's position, in no face
    TangentFrames frames = mesh.run();
    EXPECT_TRUE(same(frames.tangents[3], {0, 0, 0}));
    EXPECT_TRUE(same(frames.bitangents[3], {0, 0, 0}));
    EXPECT_TRUE(same(frames.tangents[0], {1, 0, 0}));
    EXPECT_TRUE(same(frames.bitangents[0], {0, -1, 0}));
}

TEST(TangentFrames, SeparateMeshesAreNeverGrouped) {
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    Mesh a, b, both;
    addUnitTriangle(a, false);
    b.addTriangle({0, 0, 0}, {c, s, 0}, {-s, c, 0});
    both = a;
    both.addTriangle({0, 0, 0}, {c, s, 0}, {-s, c, 0});
    TangentFrames first = a.run(), second = b.run(), joined = both.run();
    EXPECT_TRUE(same(first.tangents[0], {1, 0, 0}));
    EXPECT_TRUE(same(second.tangents[0], normalize({c, s, 0})));
    EXPECT_FALSE(same(joined.tangents[3], second.tangents[0]));  // one mesh: they would smooth
}

// --- Inputs the importer may deliver that the plain formula cannot handle ---

TEST(TangentFrames, ShortFacesAndOutOfRangeIndicesAreSkipped) {
    Mesh good;
    addUnitTriangle(good, false);
    addUnitTriangle(good, true, 1.0f);
    good.addVertex({7, 0, 0}, {0, 0, 0});
    good.addVertex({8, 0, 0}, {1, 0, 0});
    Mesh bad = good;
    bad.faces.push_back({});
    bad.addShortFace({0, 7, 6}, 1);
    bad.addShortFace({1, 2, 0}, 2);
    bad.addShortFace({6, 7, 0}, 2);          // the only faces of 6 and 7
    bad.faces.push_back({0, 1, 8});          // 8 is past the end
    bad.faces.push_back({3, 4, 5, UINT_MAX});
    bad.faces.push_back({UINT_MAX, 6, 7});
    TangentFrames expected = good.run(), frames = bad.run();
    for (std::size_t v = 0; v < good.positions.size(); ++v) {
        EXPECT_TRUE(same(frames.tangents[v], expected.tangents[v])) << v;
        EXPECT_TRUE(same(frames.bitangents[v], expected.bitangents[v])) << v;
    }
    EXPECT_TRUE(same(frames.tangents[6], {0, 0, 0}));
    EXPECT_TRUE(same(frames.tangents[7], {0, 0, 0}));
}

TEST(TangentFrames, FlatMappingsGetAFrameAroundTheNormal) {
    struct Face { Vec3 p1, p2, uv0, uv1, uv2; };
    const Face faces[] = {
        {{1, 0, 0}, {0, 1, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}},  // one point
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 1, 0}, {2, 2, 0}},                    // on a line
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},                    // zero area
    };
    const Vec3 normals[] = {kUp, {1, 0, 0}, {0, -1, 0}, normalize({1, 2, 3}), normalize({-1, -1, -1}),
                            normalize({0.2f, -0.9f, 0.1f})};
    for (const Face& f : faces) {
        for (Vec3 n : normals) {
            Mesh mesh;
            mesh.addTriangle({0, 0, 0}, f.p1, f.p2, f.uv0, f.uv1, f.uv2, n);
            TangentFrames frames = mesh.run();
            SCOPED_TRACE(f.uv2.x);
            expectFrame(frames.tangents[2], frames.bitangents[2], n, -1.0f);
            if (n.z == 1.0f) {  // the same frame as the regular mapping gives this normal
                EXPECT_TRUE(same(frames.tangents[2], {1, 0, 0}));
                EXPECT_TRUE(same(frames.bitangents[2], {0, -1, 0}));
            }
        }
    }
}

TEST(TangentFrames, DirectionAlongTheNormalIsRebuiltFromTheOther) {
    for (bool mirrored : {false, true}) {
        Mesh mesh;
        addUnitTriangle(mesh, mirrored);
        mesh.normals[0] = {1, 0, 0};  // along the face tangent: t' = 0
        mesh.normals[1] = {0, 1, 0};  // along the face bitangent: b' = 0
        TangentFrames frames = mesh.run();
        float hand = mirrored ? 1.0f : -1.0f;
        SCOPED_TRACE(mirrored);
        expectFrame(frames.tangents[0], frames.bitangents[0], mesh.normals[0], hand);
        expectFrame(frames.tangents[1], frames.bitangents[1], mesh.normals[1], hand);
        EXPECT_TRUE(same(frames.bitangents[0], {0, hand, 0}));  // the surviving one is kept
        EXPECT_TRUE(same(frames.tangents[1], {1, 0, 0}));
        EXPECT_TRUE(same(frames.tangents[2], {1, 0, 0}));        // regular corner untouched
    }
}

TEST(TangentFrames, NoTextureCoordinatesGivesFallbacksThenSmoothing) {
    const Vec3 tilted = normalize({0.1f, 0.3f, 1});
    auto build = [&](bool first, bool second) {
        Mesh mesh;
        mesh.withTexCoords = false;
        if (first) mesh.addTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
        if (second) mesh.addTriangle({0, 0, 0}, {0, -1, 0}, {-1, 0, 0}, {}, {}, {}, tilted);
        mesh.addVertex({3, 3, 3}, {});
        return mesh;
    };
    TangentFrames a = build(true, false).run(), m = build(false, true).run();
    Mesh bothMesh = build(true, true);
    TangentFrames both = bothMesh.run();
    for (int v : {1, 2, 4, 5}) expectFrame(both.tangents[v], both.bitangents[v], bothMesh.normals[v], -1.0f);
    EXPECT_TRUE(finite(both.tangents[0]) && finite(both.bitangents[0]));
    EXPECT_TRUE(same(both.tangents[6], {0, 0, 0}));
    EXPECT_TRUE(same(both.tangents[3], normalize(a.tangents[0] + m.tangents[0])));
    EXPECT_TRUE(same(both.bitangents[3], normalize(a.bitangents[0] + m.bitangents[0])));
}

TEST(TangentFrames, NonFiniteInputStaysWithItsOwnVertices) {
    Mesh clean, dirty;
    addUnitTriangle(clean, false);
    addUnitTriangle(clean, true, 1.0f);
    dirty = clean;
    dirty.addTriangle({0, 0, 5}, {1, 0, 5}, {0, 1, 5}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {kNaN, 0, 1});
    dirty.addTriangle({kInf, 0, 6}, {1, 0, 6}, {0, 1, 6});
    dirty.addTriangle({kInf, 0, 6}, {1, 0, 7}, {0, 1, 7});       // shares the infinite corner
    dirty.addTriangle({kNaN, 0, 0}, {1, kNaN, 0}, {0, 1, kNaN});
    dirty.addTriangle({0, 0, 8}, {1, 0, 8}, {0, 1, 8}, {kNaN, 0, 0}, {1, kInf, 0}, {0, 1, 0});
    dirty.addTriangle({0, 0, 9}, {1, 0, 9}, {0, 1, 9}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {kInf, kInf, 0});
    TangentFrames expected = clean.run(), frames = dirty.run();
    for (std::size_t v = 0; v < clean.positions.size(); ++v) {
        EXPECT_TRUE(same(frames.tangents[v], expected.tangents[v])) << v;
        EXPECT_TRUE(same(frames.bitangents[v], expected.bitangents[v])) << v;
    }
    for (std::size_t v = 0; v < dirty.positions.size(); ++v) {
        if (!finite(dirty.normals[v])) continue;
        EXPECT_TRUE(finite(frames.tangents[v]) && finite(frames.bitangents[v])) << v;
    }
}

TEST(TangentFrames, MirroredSeamKeepsEachSidesBitangent) {
    // Equal tangents, opposite bitangents at every shared corner: the average
    // of the bitangents is 0/0, so each side keeps its own.
    Mesh mesh;
    addUnitTriangle(mesh, false);
    addUnitTriangle(mesh, true);
    TangentFrames frames = mesh.run();
    for (int v = 0; v < 6; ++v) {
        EXPECT_TRUE(same(frames.tangents[v], {1, 0, 0})) << v;
        EXPECT_TRUE(same(frames.bitangents[v], {0, v < 3 ? -1.0f : 1.0f, 0})) << v;
    }
}

// --- Position grouping ---

bool sameGroups(const PositionGroups& a, const PositionGroups& b) {
    return a.groupStart == b.groupStart && a.members == b.members;
}

TEST(PositionGroups, SignedZerosJoinAndNaNJoinsNothing) {
    const std::vector<Vec3> points = {{0, 0, 0}, {-0.0f, 0, -0.0f}, {kNaN, 0, 0}, {kNaN, 0, 0},
                                      {1, 2, 3}, {0, 0, 0},        {1, 2, 3},   {kInf, 0, 0},
                                      {kInf, 0, 0}};
    const std::vector<std::size_t> start = {0, 3, 4, 5, 7, 9};
    const std::vector<std::size_t> members = {0, 1, 5, 2, 3, 4, 6, 7, 8};
    for (const PositionGroups& g : {groupPositions(points.data(), points.size()),
                                    groupPositionsReference(points.data(), points.size())}) {
        EXPECT_EQ(g.groupStart, start);
        EXPECT_EQ(g.members, members);
    }
    EXPECT_EQ(groupPositions(nullptr, 0).groupStart, std::vector<std::size_t>{0});
}

TEST(PositionGroups, FastGroupingMatchesTheQuadraticOne) {
    const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-45f, -1e-45f, kNaN, kInf, -kInf, 3.25f};
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        std::size_t poolSize = 2 + round % 10;  // few values: many repeats
        std::uniform_int_distribution<std::size_t> pick(0, poolSize - 1);
        std::vector<Vec3> points(500 + 150 * round);
        for (Vec3& p : points) p = {pool[pick(random)], pool[pick(random)], pool[pick(random)]};
        PositionGroups fast = groupPositions(points.data(), points.size());
        PositionGroups reference = groupPositionsReference(points.data(), points.size());
        EXPECT_TRUE(sameGroups(fast, reference)) << round;
        EXPECT_GT(points.size() + 1, fast.groupStart.size());  // the pool really repeats
    }
}

}  // namespace
