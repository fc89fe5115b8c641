// The generated town: what the demo's import gets out of the two model files
// and their pictures, and whether the camera's flight fits the town.
//
// The files are read from the run folder with exactly the demo's import flags;
// the camera is flown through the real path code on a virtual clock.
#include <gtest/gtest.h>

#include <IL/il.h>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "camera/camera_rig.h"
#include "camera/path_data.h"
#include "import/scene.h"
#include "import/tangent_frames.h"
#include "math/vecmath.h"
#include "test_support.h"

namespace {

const unsigned kDemoImportFlags = 0x400001;  // aiProcess_CalcTangentSpace | aiProcess_OptimizeGraph
const char* kMainFile = "scene/main2.DAE";
const char* kStreetFile = "scene/StreetScene.DAE";

// One importer per file, kept for the whole test program.
const aiScene* imported(const char* file) {
    static std::map<std::string, std::unique_ptr<Assimp::Importer>> importers;
    std::unique_ptr<Assimp::Importer>& importer = importers[file];
    if (!importer) {
        importer = std::make_unique<Assimp::Importer>();
        importer->ReadFile(runPath(file), kDemoImportFlags);
    }
    return importer->GetScene();
}

Vec3 vec(const aiVector3D& v) { return Vec3{v.x, v.y, v.z}; }

// The demo's centroid: float sums over the last mesh in vertex order, over the count.
Vec3 centroidOf(const aiScene* scene) {
    const aiMesh* last = scene->mMeshes[scene->mNumMeshes - 1];
    Vec3 sum;
    for (unsigned v = 0; v < last->mNumVertices; ++v) sum = sum + vec(last->mVertices[v]);
    return sum / static_cast<float>(last->mNumVertices);
}

// The demo's file name for a material texture path: after the last backslash, under tex/.
std::string textureFile(const std::string& materialPath) {
    std::size_t slash = materialPath.rfind('\\');
    return "tex/" + (slash == std::string::npos ? materialPath : materialPath.substr(slash + 1));
}

bool texturePath(const aiMaterial* material, aiTextureType type, std::string& path) {
    aiString text;
    if (aiGetMaterialTexture(material, type, 0, &text) != AI_SUCCESS) return false;
    path = text.C_Str();
    return true;
}

const aiMaterial* materialOf(const aiScene* scene, unsigned mesh) {
    return scene->mMaterials[scene->mMeshes[mesh]->mMaterialIndex];
}

std::string nameOf(const aiScene* scene, unsigned mesh) { return scene->mMeshes[mesh]->mName.C_Str(); }

// A picture decoded the way the demo decodes it: RGBA bytes, rows as delivered.
struct Decoded {
    bool loaded = false;
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    int at(int x, int y, int channel) const {
        x = (x % width + width) % width;
        y = (y % height + height) % height;
        return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + channel];
    }
};

Decoded decode(const std::string& file) {
    static bool initialised = false;
    if (!initialised) ilInit();
    initialised = true;
    Decoded out;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    out.loaded = ilLoadImage(file.c_str()) == IL_TRUE;
    ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE);
    out.width = ilGetInteger(IL_IMAGE_WIDTH);
    out.height = ilGetInteger(IL_IMAGE_HEIGHT);
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    ilCopyPixels(0, 0, 0, out.width, out.height, 1, IL_RGBA, IL_UNSIGNED_BYTE, out.rgba.data());
    ilDeleteImages(1, &image);
    return out;
}

// Every texture file (after the backslash rule) named by the drawable meshes of a scene.
std::set<std::string> namedTextures(const aiScene* scene) {
    std::set<std::string> files;
    for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
        std::string path;
        for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_SPECULAR, aiTextureType_OPACITY}) {
            if (texturePath(materialOf(scene, i), type, path)) files.insert(textureFile(path));
        }
    }
    return files;
}

// The normal maps of the drawable meshes that take light; those that only
// shine (the sky, the moon) have no relief to show.
std::set<std::string> litNormalMaps(const aiScene* scene) {
    std::set<std::string> files;
    for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
        aiColor4D diffuse;
        std::string path;
        const aiMaterial* material = materialOf(scene, i);
        if (aiGetMaterialColor(material, "$clr.diffuse", 0, 0, &diffuse) != AI_SUCCESS) continue;
        if (diffuse.r + diffuse.g + diffuse.b <= 0.0f) continue;
        if (texturePath(material, aiTextureType_SPECULAR, path)) files.insert(textureFile(path));
    }
    return files;
}

class TownFiles : public ::testing::Test {
protected:
    void SetUp() override {
        main = imported(kMainFile);
        street = imported(kStreetFile);
        ASSERT_NE(main, nullptr) << runPath(kMainFile) << " does not import";
        ASSERT_NE(street, nullptr) << runPath(kStreetFile) << " does not import";
    }
    const aiScene* main = nullptr;
    const aiScene* street = nullptr;
};

// ---------------------------------------------------------------------------
// What the demo's import relies on.

TEST_F(TownFiles, DrawableMeshesAreTriangleListsInTriangleOrderWithNormalsAndTexCoords) {
    EXPECT_GE(main->mNumMeshes, 20u);
    EXPECT_LE(main->mNumMeshes, 60u);
    EXPECT_GE(street->mNumMeshes, 4u);
    std::size_t mainVertices = 0;
    for (const aiScene* scene : {main, street}) {
        for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
            const aiMesh* mesh = scene->mMeshes[i];
            SCOPED_TRACE(nameOf(scene, i));
            ASSERT_GT(mesh->mNumFaces, 0u);
            ASSERT_EQ(mesh->mNumVertices, 3 * mesh->mNumFaces);
            ASSERT_TRUE(mesh->HasNormals());
            ASSERT_TRUE(mesh->HasTextureCoords(0));
            if (scene == main) mainVertices += mesh->mNumVertices;
            unsigned wrongOrder = 0, badNormals = 0, inverted = 0;
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                if (face.mNumIndices != 3 || face.mIndices[0] != 3 * f || face.mIndices[1] != 3 * f + 1 ||
                    face.mIndices[2] != 3 * f + 2) {
                    ++wrongOrder;
                    continue;
                }
                Vec3 p0 = vec(mesh->mVertices[3 * f]), p1 = vec(mesh->mVertices[3 * f + 1]),
                     p2 = vec(mesh->mVertices[3 * f + 2]);
                Vec3 n;
                for (unsigned k = 0; k < 3; ++k) {
                    Vec3 nk = vec(mesh->mNormals[3 * f + k]);
                    if (std::fabs(length(nk) - 1.0f) > 1e-3f) ++badNormals;
                    n = n + nk;
                }
                // Front faces wind counter-clockwise around their outward normals:
                // the demo culls back faces, so a reversed triangle disappears.
                if (dot(cross(p1 - p0, p2 - p0), n) <= 0.0f) ++inverted;
            }
            EXPECT_EQ(wrongOrder, 0u);
            EXPECT_EQ(badNormals, 0u);
            EXPECT_EQ(inverted, 0u);
        }
    }
    // Moderate for a software renderer, whose cost grows with every small
    // triangle: the cuts that carry the lamps' pools and the shades at the
    // feet of things are held to a few ten thousand corners.
    EXPECT_GE(mainVertices, 50000u);
    EXPECT_LE(mainVertices, 170000u);
}

TEST_F(TownFiles, LastMeshMarksAnOffCentreCentroidThatPutsTheGroundAtZeroUnderThePaths) {
    for (const aiScene* scene : {main, street}) {
        Vec3 c = centroidOf(scene);
        // Saved off-centre, as a modelling tool would: the marker is not at the file's origin.
        EXPECT_GT(std::fabs(c.x) + std::fabs(c.y), 100.0f);
        float lowest = 1e30f;
        for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
            // The sky dome reaches below the ground on purpose (see its own test);
            // the walking lamp is modelled round the origin and carried to the light.
            if (nameOf(scene, i) == "sky_dome" || nameOf(scene, i) == "walking_lamp") continue;
            const aiMesh* mesh = scene->mMeshes[i];
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) lowest = std::min(lowest, mesh->mVertices[v].z - c.z);
        }
        EXPECT_NEAR(lowest, 0.0f, 0.01f);
    }
    // After the demo's translation the paved ground reaches every camera point
    // at street level and every point of the light.
    Vec3 c = centroidOf(main);
    float minX = 1e30f, maxX = -1e30f, minY = 1e30f, maxY = -1e30f;
    // Drawn after the walls that hide most of it, so found by name.
    const aiMesh* ground = nullptr;
    for (unsigned i = 0; i < main->mNumMeshes; ++i) {
        if (nameOf(main, i) == "ground_cobbles") ground = main->mMeshes[i];
    }
    ASSERT_NE(ground, nullptr);
    for (unsigned v = 0; v < ground->mNumVertices; ++v) {
        minX = std::min(minX, ground->mVertices[v].x - c.x);
        maxX = std::max(maxX, ground->mVertices[v].x - c.x);
        minY = std::min(minY, ground->mVertices[v].y - c.y);
        maxY = std::max(maxY, ground->mVertices[v].y - c.y);
    }
    auto inside = [&](Vec3 p) { return p.x > minX && p.x < maxX && p.y > minY && p.y < maxY; };
    for (int i = 1; i < kCameraPointCount; ++i) EXPECT_TRUE(inside(kCameraPoints[i].eye)) << "camera point " << i + 1;
    for (const LightPathPoint& p : kLightPoints) EXPECT_TRUE(inside(p.position));
}

TEST_F(TownFiles, MostMeshesCarryColourNormalAndHeightMapsAndSomeOnlyColours) {
    for (const aiScene* scene : {main, street}) {
        unsigned textured = 0, plain = 0;
        for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
            SCOPED_TRACE(nameOf(scene, i));
            const aiMaterial* material = materialOf(scene, i);
            aiColor4D ambient, diffuse, specular;
            float shininess = 0.0f;
            ASSERT_EQ(aiGetMaterialColor(material, "$clr.ambient", 0, 0, &ambient), AI_SUCCESS);
            ASSERT_EQ(aiGetMaterialColor(material, "$clr.diffuse", 0, 0, &diffuse), AI_SUCCESS);
            ASSERT_EQ(aiGetMaterialColor(material, "$clr.specular", 0, 0, &specular), AI_SUCCESS);
            ASSERT_EQ(aiGetMaterialFloatArray(material, "$mat.shininess", 0, 0, &shininess, nullptr), AI_SUCCESS);
            EXPECT_GT(shininess, 0.0f);
            std::string colorMap, normalMap, heightMap;
            if (!texturePath(material, aiTextureType_DIFFUSE, colorMap)) {
                ++plain;
                continue;
            }
            ++textured;
            ASSERT_TRUE(texturePath(material, aiTextureType_SPECULAR, normalMap));
            ASSERT_TRUE(texturePath(material, aiTextureType_OPACITY, heightMap));
            // The slot that holds the normal map must not leave the surface's own
            // specular colour at the white a texture entry implies.
            EXPECT_LT(std::max({specular.r, specular.g, specular.b}), 0.9f);
            // The three maps of a material are one set: the same stem in the three roles.
            std::string stem = textureFile(colorMap);
            ASSERT_GT(stem.size(), 10u);
            ASSERT_EQ(stem.substr(stem.size() - 10), "_color.png");
            stem = stem.substr(0, stem.size() - 10);
            EXPECT_EQ(textureFile(normalMap), stem + "_normal.png");
            EXPECT_EQ(textureFile(heightMap), stem + "_height.png");
            // Written by a tool on another system: a drive, backslash folders, no forward slashes.
            for (const std::string* path : {&colorMap, &normalMap, &heightMap}) {
                EXPECT_EQ(path->find('/'), std::string::npos) << *path;
                EXPECT_EQ(path->substr(1, 2), ":\\") << *path;
                EXPECT_GE(std::count(path->begin(), path->end(), '\\'), 3) << *path;
            }
        }
        EXPECT_GE(textured, 2 * (scene->mNumMeshes - 1) / 3);
        if (scene == main) EXPECT_GE(plain, 5u);
        else EXPECT_GE(plain, 1u);
    }
    // Each scene has pictures of its own.
    std::set<std::string> ours = namedTextures(main), theirs = namedTextures(street);
    for (const std::string& file : theirs) EXPECT_EQ(ours.count(file), 0u) << file;
}

// ---------------------------------------------------------------------------
// The pictures.

TEST_F(TownFiles, EveryNamedPictureDecodesAtAPowerOfTwoSize) {
    std::set<std::string> files = namedTextures(main), streetFiles = namedTextures(street);
    files.insert(streetFiles.begin(), streetFiles.end());
    EXPECT_GE(files.size(), 36u);
    for (const std::string& file : files) {
        Decoded picture = decode(runPath(file));
        ASSERT_TRUE(picture.loaded) << file;
        EXPECT_EQ(picture.width, picture.height) << file;
        // Height maps are read only for their mean, so they are stored small;
        // the street scene is never drawn, so its pictures are small too.
        if (file.find("_height.png") != std::string::npos) {
            EXPECT_EQ(picture.width, 16) << file;
        } else if (streetFiles.count(file) != 0) {
            EXPECT_EQ(picture.width, 128) << file;
        } else {
            EXPECT_TRUE(picture.width == 512 || picture.width == 1024) << file << ": " << picture.width;
        }
        // Stored, not deflated: start-up decodes every picture, some several
        // times, and inflating them was most of that. So the file holds at
        // least every byte of every pixel (IHDR's colour type gives the count).
        const std::string bytes = readFile(runPath(file));
        ASSERT_GT(bytes.size(), 26u) << file;
        const int colorType = static_cast<unsigned char>(bytes[25]);
        const int channels = colorType == 0 ? 1 : colorType == 2 ? 3 : colorType == 6 ? 4 : 0;
        EXPECT_NE(channels, 0) << file << ": colour type " << colorType;
        EXPECT_GE(bytes.size(), static_cast<size_t>(picture.width) * picture.height * channels) << file;
    }
}

// Decoded as the demo decodes them, normal and height maps agree: red leans
// away from where the height rises to the right, green away from where it rises
// towards the top row (decreasing v), blue points out of the surface.
TEST_F(TownFiles, NormalMapsFollowTheSlopesOfTheirHeightMaps) {
    for (const aiScene* scene : {main, street}) {
        for (const std::string& file : litNormalMaps(scene)) {
            if (file.size() < 11 || file.substr(file.size() - 11) != "_normal.png") continue;
            std::string stem = file.substr(0, file.size() - 11);
            SCOPED_TRACE(stem);
            Decoded normal = decode(runPath(file)), height = decode(runPath(stem + "_height.png"));
            ASSERT_TRUE(normal.loaded && height.loaded);
            // The normal map's blue is the relief; the small height map holds its
            // mean, the level the relief shift is centred on.
            double reliefSum = 0.0, heightSum = 0.0;
            for (int i = 0; i < normal.width * normal.height; ++i) reliefSum += normal.rgba[4 * i + 2];
            for (int i = 0; i < height.width * height.height; ++i) heightSum += height.rgba[4 * i];
            EXPECT_NEAR(heightSum / (height.width * height.height), reliefSum / (normal.width * normal.height), 1.0);
            int agreeX = 0, slopedX = 0, agreeY = 0, slopedY = 0, beyondUnit = 0;
            for (int y = 0; y < normal.height; y += 2) {
                for (int x = 0; x < normal.width; x += 2) {
                    int rising = normal.at(x + 1, y, 2) - normal.at(x - 1, y, 2);
                    int risingDown = normal.at(x, y + 1, 2) - normal.at(x, y - 1, 2);
                    int red = normal.at(x, y, 0) - 128, green = normal.at(x, y, 1) - 128;
                    // Red and green lean inside the unit circle.
                    if (red * red + green * green > 129 * 129) ++beyondUnit;
                    if (std::abs(rising) >= 12 && std::abs(red) >= 4) {
                        ++slopedX;
                        if ((red < 0) == (rising > 0)) ++agreeX;
                    }
                    if (std::abs(risingDown) >= 12 && std::abs(green) >= 4) {
                        ++slopedY;
                        // Rising towards the top row tilts the normal down the picture.
                        if ((green > 0) == (risingDown > 0)) ++agreeY;
                    }
                }
            }
            EXPECT_EQ(beyondUnit, 0);
            // Some patterns run one way only (bark has upright furrows); every map
            // has relief in at least one direction.
            const int samples = (normal.width / 2) * (normal.height / 2);
            ASSERT_GT(slopedX + slopedY, std::min(1000, samples / 8));
            if (slopedX > 100) {
                EXPECT_GT(agreeX, slopedX * 95 / 100);
            }
            if (slopedY > 100) {
                EXPECT_GT(agreeY, slopedY * 95 / 100);
            }
        }
    }
}

// With the demo's own tangent frames and the shader's handedness rule, the top
// of every facade picture (decreasing v) points up, so windows stand upright.
TEST_F(TownFiles, FacadePicturesStandUprightUnderTheDemosTangentFrames) {
    int walls = 0;
    for (const aiScene* scene : {main, street}) {
        for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
            std::string name = nameOf(scene, i);
            if (name.find("walls") == std::string::npos) continue;
            ++walls;
            SCOPED_TRACE(name);
            const aiMesh* mesh = scene->mMeshes[i];
            std::vector<Vec3> normals;
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) normals.push_back(vec(mesh->mNormals[v]));
            TangentFrames frames = meshTangentFrames(mesh);
            int upright = 0, upsideDown = 0;
            for (std::size_t v = 0; v < normals.size(); ++v) {
                if (std::fabs(normals[v].z) > 0.1f) continue;
                Vec3 t = frames.tangents[v], b = frames.bitangents[v];
                float mirror = dot(cross(t, b), normals[v]) < 0.0f ? 1.0f : -1.0f;
                Vec3 pictureUp = b * mirror;
                if (pictureUp.z > 0.9f) ++upright;
                else ++upsideDown;
            }
            EXPECT_GT(upright, 0);
            EXPECT_EQ(upsideDown, 0);
        }
    }
    EXPECT_GE(walls, 5);
}

// ---------------------------------------------------------------------------
// The camera's flight, and what it sees.

double virtualSeconds = 0.0;
double readVirtualClock() { return virtualSeconds; }

struct CameraSample {
    double tick = 0.0;
    Vec3 eye, target;
};

// The whole run (6735 ticks) through the real path code at 200 frames a
// second on a virtual clock, once for the whole test program.
const std::vector<CameraSample>& cameraFlight() {
    static std::vector<CameraSample> flight;
    if (!flight.empty()) return flight;
    platform.readClock = readVirtualClock;
    virtualSeconds = 0.0;
    cameraRig = CameraRig();
    cameraRig.init();
    buildCameraPath();
    for (int step = 1; virtualSeconds < 6735.0 / 50.0; ++step) {
        virtualSeconds = step / 200.0;
        std::optional<ControlPointPath<6>::Payload> payload = cameraRig.path.advance();
        if (!payload) break;
        const auto& p = *payload;
        flight.push_back({virtualSeconds * 50.0, Vec3{p[0], p[1], p[2]}, Vec3{p[3], p[4], p[5]}});
    }
    return flight;
}

// Where a mesh's vertices land in the picture of an eye looking at a target.
struct Framing {
    float inside = 0.0f;        // share of the vertices inside the view frustum
    float top = -1e30f, bottom = 1e30f;  // highest and lowest vertex, in picture heights from the middle
    float nearest = 1e30f;      // distance from the eye to the closest vertex
};

Framing frame(const aiMesh* mesh, Vec3 centroid, Vec3 eye, Vec3 target) {
    Mat4 view = lookAt(eye, target, Vec3{0.0f, 0.0f, 1.0f});
    Mat4 proj = perspective(2.0f * kCameraHalfFieldOfView, 1024.0f / 768.0f, kCameraNearPlane, kCameraFarPlane);
    Mat4 clip = multiply(proj, view);
    Framing f;
    int inside = 0;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
        Vec3 p = vec(mesh->mVertices[v]) - centroid;
        f.nearest = std::min(f.nearest, length(p - eye));
        float x = clip[0] * p.x + clip[4] * p.y + clip[8] * p.z + clip[12];
        float y = clip[1] * p.x + clip[5] * p.y + clip[9] * p.z + clip[13];
        float z = clip[2] * p.x + clip[6] * p.y + clip[10] * p.z + clip[14];
        float w = clip[3] * p.x + clip[7] * p.y + clip[11] * p.z + clip[15];
        if (w > 0.0f && std::fabs(x) <= w && std::fabs(y) <= w && std::fabs(z) <= w) ++inside;
        if (w > 0.0f) {
            f.top = std::max(f.top, 0.5f * y / w);
            f.bottom = std::min(f.bottom, 0.5f * y / w);
        }
    }
    f.inside = static_cast<float>(inside) / static_cast<float>(mesh->mNumVertices);
    return f;
}

// The five sculptures are the last five meshes before the centroid marker.
const aiMesh* sculpture(const aiScene* scene, int k) { return scene->mMeshes[scene->mNumMeshes - 6 + k]; }

TEST_F(TownFiles, TheFiveSculpturesAreSeenWholeAtTheRevealAndFillThePictureWhileTheCameraStudiesThem) {
    ASSERT_GE(main->mNumMeshes, 7u);
    Vec3 c = centroidOf(main);
    const CameraPathPoint& reveal = kCameraPoints[12];  // control point 13, reached at tick 1070
    ASSERT_EQ(reveal.eye.x, -335.0f);
    for (int k = 0; k < 5; ++k) {
        const aiMesh* mesh = sculpture(main, k);
        SCOPED_TRACE(mesh->mName.C_Str());
        // All five stand in the picture at the moment they appear.
        EXPECT_GE(frame(mesh, c, reveal.eye, reveal.target).inside, 0.98f);
        // The camera studies sculpture k from tick 1370 + 1000 k for 500
        // ticks (control points 14 + 2k to 15 + 2k): there it stands whole in
        // the picture and fills a quarter to three quarters of its height.
        float smallest = 1e30f, largest = 0.0f, leastInside = 1.0f, lowest = 1e30f, highest = -1e30f;
        int samples = 0;
        for (const CameraSample& s : cameraFlight()) {
            if (s.tick < 1370.0 + 1000.0 * k || s.tick > 1870.0 + 1000.0 * k) continue;
            Framing f = frame(mesh, c, s.eye, s.target);
            smallest = std::min(smallest, f.top - f.bottom);
            largest = std::max(largest, f.top - f.bottom);
            leastInside = std::min(leastInside, f.inside);
            lowest = std::min(lowest, f.bottom);
            highest = std::max(highest, f.top);
            ++samples;
        }
        std::cout << mesh->mName.C_Str() << ": " << 100.0f * smallest << " to " << 100.0f * largest
                  << " % of the picture's height, from " << 100.0f * lowest << " to " << 100.0f * highest
                  << " % of it about the middle, least share in frame " << 100.0f * leastInside << " %" << std::endl;
        EXPECT_GT(samples, 1000);
        EXPECT_EQ(leastInside, 1.0f);
        // And it stands where the flight's studies were laid out for it: its
        // base (the corners on the ground) is centred on its spot.
        static const float kSpots[5][2] = {{225.0f, -152.5f}, {245.0f, -20.0f}, {308.0f, 230.0f},
                                           {-30.0f, 325.0f},  {-185.0f, 305.0f}};
        Vec3 base;
        int onGround = 0;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            Vec3 p = vec(mesh->mVertices[v]) - c;
            if (p.z < 0.01f) base = base + p, ++onGround;
        }
        ASSERT_GT(onGround, 0);
        EXPECT_NEAR(base.x / onGround, kSpots[k][0], 1.0f);
        EXPECT_NEAR(base.y / onGround, kSpots[k][1], 1.0f);
        EXPECT_GE(smallest, 0.25f);
        EXPECT_LE(largest, 0.75f);
    }
}

TEST_F(TownFiles, TheSculpturesAreOneMaterialOfStoneMetalAndGlowWithShadedReliefEach) {
    for (int k = 0; k < 5; ++k) {
        const aiMesh* mesh = sculpture(main, k);
        SCOPED_TRACE(mesh->mName.C_Str());
        // A few thousand triangles of real form.
        EXPECT_GE(mesh->mNumFaces, 1500u);
        EXPECT_LE(mesh->mNumFaces, 5000u);
        const aiMaterial* material = main->mMaterials[mesh->mMaterialIndex];
        std::string colorMap, normalMap, heightMap;
        ASSERT_TRUE(texturePath(material, aiTextureType_DIFFUSE, colorMap));
        ASSERT_TRUE(texturePath(material, aiTextureType_SPECULAR, normalMap));
        ASSERT_TRUE(texturePath(material, aiTextureType_OPACITY, heightMap));
        // The colour map's alpha says which texels shine: some do, most do not,
        // and the mesh's texture coordinates reach both kinds.
        Decoded colors = decode(runPath(textureFile(colorMap)));
        ASSERT_TRUE(colors.loaded);
        int shining = 0, dark = 0, texels = colors.width * colors.height;
        for (int i = 0; i < texels; ++i) (colors.rgba[4 * i + 3] > 200 ? shining : dark) += 1;
        EXPECT_GT(shining, texels / 10);
        EXPECT_GT(dark, texels / 2);
        int onShining = 0;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& uv = mesh->mTextureCoords[0][v];
            int x = static_cast<int>(uv.x * colors.width), y = static_cast<int>(uv.y * colors.height);
            if (colors.at(x, y, 3) > 200) ++onShining;
        }
        EXPECT_GT(onShining, 30);
        EXPECT_LT(onShining, static_cast<int>(mesh->mNumVertices) * 7 / 10);
        // And glows only as its material says: a warm or cool light, not a white one above all.
        aiColor4D ambient;
        ASSERT_EQ(aiGetMaterialColor(material, "$clr.ambient", 0, 0, &ambient), AI_SUCCESS);
        EXPECT_GT(std::max({ambient.r, ambient.g, ambient.b}), 3.0f);
        // The relief maps vary: the light has something to rake across.
        Decoded relief = decode(runPath(textureFile(normalMap)));
        ASSERT_TRUE(relief.loaded);
        int low = 255, high = 0;
        for (int i = 0; i < relief.width * relief.height; i += 7) {
            low = std::min(low, static_cast<int>(relief.rgba[4 * i + 2]));
            high = std::max(high, static_cast<int>(relief.rgba[4 * i + 2]));
        }
        EXPECT_GT(high - low, 100);
    }
}

// The sky dome and everything under it, seen from every eye position: the
// eye stays inside the dome (nothing of the sky ever comes between the eye
// and the town), the farthest point of the dome stays inside the camera's
// far plane, and the ground reaches the dome all round, so there is no
// void between the land and the sky.
TEST_F(TownFiles, TheSkyDomeSurroundsEveryEyeWithinTheFarPlaneAndTheGroundReachesIt) {
    Vec3 c = centroidOf(main);
    const aiMesh* dome = nullptr;
    std::vector<const aiMesh*> ground;
    for (unsigned i = 0; i + 1 < main->mNumMeshes; ++i) {
        std::string name = nameOf(main, i);
        if (name == "sky_dome") dome = main->mMeshes[i];
        // The grass carries the lawns and the hills too: they share its maps.
        if (name == "ground_grass") ground.push_back(main->mMeshes[i]);
    }
    ASSERT_NE(dome, nullptr);
    ASSERT_EQ(ground.size(), 1u);
    float domeRadius = 1e30f, domeFarthest = 0.0f, domeLowest = 1e30f;
    for (unsigned v = 0; v < dome->mNumVertices; ++v) {
        Vec3 p = vec(dome->mVertices[v]) - c;
        domeRadius = std::min(domeRadius, length(p));
        domeFarthest = std::max(domeFarthest, length(p));
        domeLowest = std::min(domeLowest, p.z);
    }
    // A polygon sphere: its faces come in by at most the sagitta of one face.
    float inscribed = domeRadius * std::cos(3.1415927f / 24.0f);
    float farthestEye = 0.0f;
    for (const CameraSample& s : cameraFlight()) {
        farthestEye = std::max(farthestEye, length(s.eye));
        ASSERT_LT(length(s.eye), inscribed - 100.0f) << "tick " << s.tick;
        ASSERT_LT(length(s.eye) + domeFarthest, kCameraFarPlane) << "tick " << s.tick;
    }
    std::cout << "dome radius " << domeRadius << ", farthest eye " << farthestEye << " from the middle, farthest dome "
              << farthestEye + domeFarthest << " of the far plane's " << kCameraFarPlane << std::endl;
    // Everything else stands inside the dome.
    for (unsigned i = 0; i + 1 < main->mNumMeshes; ++i) {
        const aiMesh* mesh = main->mMeshes[i];
        if (mesh == dome || nameOf(main, i) == "ground_grass") continue;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            ASSERT_LT(length(vec(mesh->mVertices[v]) - c), inscribed) << nameOf(main, i);
        }
    }
    // The dome reaches well below the ground, and in every direction the
    // ground reaches the dome.
    EXPECT_LT(domeLowest, -1000.0f);
    for (int a = 0; a < 72; ++a) {
        float angle = a * 3.1415927f / 36.0f;
        Vec3 dir{std::cos(angle), std::sin(angle), 0.0f};
        float reach = 0.0f;
        for (const aiMesh* mesh : ground) {
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                Vec3 p = vec(mesh->mVertices[v]) - c;
                float along = dot(p, dir), aside = std::fabs(p.x * dir.y - p.y * dir.x);
                if (aside < 600.0f) reach = std::max(reach, along);
            }
        }
        EXPECT_GE(reach, domeRadius) << "towards " << a * 5 << " degrees";
    }
}

// ---------------------------------------------------------------------------
// The camera's flight.

struct Triangle {
    Vec3 a, b, c;
};

// Distance from p to the triangle abc (closest-point regions of the triangle).
float distanceToTriangle(Vec3 p, const Triangle& t) {
    Vec3 ab = t.b - t.a, ac = t.c - t.a, ap = p - t.a;
    float d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0.0f && d2 <= 0.0f) return length(ap);
    Vec3 bp = p - t.b;
    float d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0.0f && d4 <= d3) return length(bp);
    float vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) return length(p - (t.a + ab * (d1 / (d1 - d3))));
    Vec3 cp = p - t.c;
    float d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0.0f && d5 <= d6) return length(cp);
    float vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) return length(p - (t.a + ac * (d2 / (d2 - d6))));
    float va = d3 * d6 - d5 * d4;
    if (va <= 0.0f && d4 - d3 >= 0.0f && d5 - d6 >= 0.0f) {
        return length(p - (t.b + (t.c - t.b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
    }
    float denom = 1.0f / (va + vb + vc);
    return length(p - (t.a + ab * (vb * denom) + ac * (vc * denom)));
}

// Height of the triangle under (x, y), if it covers that point.
bool heightUnder(const Triangle& t, float x, float y, float& z) {
    float d = (t.b.y - t.c.y) * (t.a.x - t.c.x) + (t.c.x - t.b.x) * (t.a.y - t.c.y);
    if (std::fabs(d) < 1e-9f) return false;
    float l0 = ((t.b.y - t.c.y) * (x - t.c.x) + (t.c.x - t.b.x) * (y - t.c.y)) / d;
    float l1 = ((t.c.y - t.a.y) * (x - t.c.x) + (t.a.x - t.c.x) * (y - t.c.y)) / d;
    float l2 = 1.0f - l0 - l1;
    if (l0 < -1e-4f || l1 < -1e-4f || l2 < -1e-4f) return false;
    z = l0 * t.a.z + l1 * t.b.z + l2 * t.c.z;
    return true;
}

// Triangles binned by the ground cells within `reach` of them, so a point
// finds every triangle closer than reach in its own cell.
struct TriangleGrid {
    float cell = 50.0f, reach = 40.0f, origin = -3000.0f;
    int size = 120;
    std::vector<Triangle> triangles;
    std::vector<std::vector<int>> cells;

    int cellOf(float v) const { return static_cast<int>(std::floor((v - origin) / cell)); }
    void build() {
        cells.assign(static_cast<std::size_t>(size) * size, {});
        for (std::size_t k = 0; k < triangles.size(); ++k) {
            const Triangle& t = triangles[k];
            int i0 = std::max(0, cellOf(std::min({t.a.x, t.b.x, t.c.x}) - reach));
            int i1 = std::min(size - 1, cellOf(std::max({t.a.x, t.b.x, t.c.x}) + reach));
            int j0 = std::max(0, cellOf(std::min({t.a.y, t.b.y, t.c.y}) - reach));
            int j1 = std::min(size - 1, cellOf(std::max({t.a.y, t.b.y, t.c.y}) + reach));
            for (int j = j0; j <= j1; ++j) {
                for (int i = i0; i <= i1; ++i) cells[static_cast<std::size_t>(j) * size + i].push_back(static_cast<int>(k));
            }
        }
    }
    const std::vector<int>* near(Vec3 p) const {
        int i = cellOf(p.x), j = cellOf(p.y);
        if (i < 0 || j < 0 || i >= size || j >= size) return nullptr;
        return &cells[static_cast<std::size_t>(j) * size + i];
    }
};

// The whole run (6735 ticks) through the real path code at 200 frames a
// second: every eye position keeps clear of everything solid in the town (the
// revealed pieces included) by more than the near plane, with room to spare,
// and stays above the ground.
// The night's light rides in each corner's third texture coordinate (w):
// above 0 the lamps' warm light, below 0 the shade at the foot of things.
struct LitCorner {
    Vec3 p;
    float w;
};

std::vector<LitCorner> litCorners(const aiScene* scene, const std::vector<std::string>& prefixes) {
    Vec3 c = centroidOf(scene);
    std::vector<LitCorner> corners;
    for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
        std::string name = nameOf(scene, i);
        bool wanted = false;
        for (const std::string& prefix : prefixes) wanted = wanted || name.rfind(prefix, 0) == 0;
        if (!wanted) continue;
        const aiMesh* mesh = scene->mMeshes[i];
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            corners.push_back({vec(mesh->mVertices[v]) - c, mesh->mTextureCoords[0][v].z});
        }
    }
    return corners;
}

float planDistance(Vec3 a, Vec3 b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Every lamp and lantern throws a pool of light on the ground or wall below
// it, light comes from no other place, and everything standing on the ground
// is darker at its foot than a little higher up: a tree's trunk, a lamp
// post, a bench's legs, each sculpture's plinth; the ground round a trunk or
// post is darker close by than a step further out.
TEST_F(TownFiles, TheLampsLightTheGroundAndWhatStandsOnItIsShadedAtItsFoot) {
    // The lamps: the middles of the lamp glass, found as clusters of its corners.
    std::vector<Vec3> lamps;
    std::vector<int> counts;
    for (const LitCorner& g : litCorners(main, {"lamp_glass"})) {
        std::size_t k = 0;
        while (k < lamps.size() && length(lamps[k] / static_cast<float>(counts[k]) - g.p) > 40.0f) ++k;
        if (k == lamps.size()) lamps.push_back(Vec3{}), counts.push_back(0);
        lamps[k] = lamps[k] + g.p;
        ++counts[k];
    }
    for (std::size_t k = 0; k < lamps.size(); ++k) lamps[k] = lamps[k] / static_cast<float>(counts[k]);
    ASSERT_GE(lamps.size(), 8u);

    std::vector<LitCorner> surfaces = litCorners(main, {"ground_", "pavements", "lawns", "avenue", "walls_", "tower_walls"});
    for (const Vec3& lamp : lamps) {
        SCOPED_TRACE(::testing::Message() << "lamp at " << lamp.x << ", " << lamp.y << ", " << lamp.z);
        float brightest = -1.0f;
        for (const LitCorner& s : surfaces) {
            if (planDistance(s.p, lamp) < 120.0f && s.p.z < lamp.z) brightest = std::max(brightest, s.w);
        }
        EXPECT_GT(brightest, 1.2f);
        // A post's lamp, high over the street, throws a bright pool: the
        // ground under it stands well out of the night between two posts.
        if (lamp.z > 250.0f) {
            EXPECT_GT(brightest, 9.0f) << "a weak pool under a lamp post";
        }
    }
    int litFromNowhere = 0;
    for (const LitCorner& s : surfaces) {
        float nearest = 1e30f;
        for (const Vec3& lamp : lamps) nearest = std::min(nearest, length(s.p - lamp));
        if (nearest > 450.0f && s.w > 0.0f) ++litFromNowhere;
    }
    EXPECT_EQ(litFromNowhere, 0);

    // Feet: corners less than a hand above the lowest corner near them,
    // against corners of the same thing 35 to 70 higher.
    auto footAgainstHigher = [](const std::vector<LitCorner>& things, float& foot, float& higher) {
        double footSum = 0.0, higherSum = 0.0;
        int footCount = 0, higherCount = 0;
        for (const LitCorner& a : things) {
            float lowest = a.p.z;
            for (const LitCorner& b : things) {
                if (planDistance(a.p, b.p) < 25.0f) lowest = std::min(lowest, b.p.z);
            }
            if (a.p.z - lowest < 1.0f) footSum += a.w, ++footCount;
            if (a.p.z - lowest > 35.0f && a.p.z - lowest < 70.0f) higherSum += a.w, ++higherCount;
        }
        foot = footCount ? static_cast<float>(footSum / footCount) : 0.0f;
        higher = higherCount ? static_cast<float>(higherSum / higherCount) : 0.0f;
        return footCount > 0 && higherCount > 0;
    };
    const char* standing[] = {"tree_trunks", "ironwork", "sculpture_armillary", "sculpture_lantern",
                              "sculpture_crystal", "sculpture_clock", "sculpture_fire_urn"};
    for (const char* part : standing) {
        SCOPED_TRACE(part);
        std::vector<LitCorner> corners = litCorners(main, {part});
        // The town's middle only: the scan is quadratic.
        corners.erase(std::remove_if(corners.begin(), corners.end(),
                                     [](const LitCorner& k) { return std::hypot(k.p.x, k.p.y) > 1000.0f; }),
                      corners.end());
        float foot = 0.0f, higher = 0.0f;
        ASSERT_TRUE(footAgainstHigher(corners, foot, higher));
        EXPECT_LT(foot, higher - 0.3f);
    }
    // The ground round every trunk and post of the square (their lowest rings).
    std::vector<LitCorner> ground = litCorners(main, {"ground_", "pavements", "lawns"});
    std::vector<LitCorner> feet;
    for (const LitCorner& k : litCorners(main, {"tree_trunks", "ironwork"})) {
        if (k.p.z < 7.0f && std::hypot(k.p.x, k.p.y) < 900.0f) feet.push_back(k);
    }
    ASSERT_GT(feet.size(), 20u);
    int shadedFeet = 0, unshadedFeet = 0;
    for (const LitCorner& f : feet) {
        float close = 1e30f, beyond = -1e30f;
        for (const LitCorner& g : ground) {
            float d = planDistance(f.p, g.p);
            if (std::fabs(g.p.z - f.p.z) > 7.0f) continue;
            if (d < 10.0f) close = std::min(close, g.w);
            if (d > 60.0f && d < 90.0f) beyond = std::max(beyond, g.w);
        }
        if (close > 1e29f || beyond < -1e29f) continue;  // no ground corner close enough to say
        (close < beyond - 0.2f ? shadedFeet : unshadedFeet) += 1;
    }
    EXPECT_GT(shadedFeet, 20);
    EXPECT_EQ(unshadedFeet, 0);

    // The houses shade the pavement at their foot: most pavement corners
    // within a hand of a wall's foot are in shade, few a metre and more out.
    std::vector<Vec3> wallFeet;
    for (const LitCorner& k : litCorners(main, {"walls_"})) {
        if (k.p.z < 2.0f && std::hypot(k.p.x, k.p.y) < 1000.0f) wallFeet.push_back(k.p);
    }
    ASSERT_GT(wallFeet.size(), 20u);
    int close = 0, closeShaded = 0, away = 0, awayShaded = 0;
    for (const LitCorner& g : litCorners(main, {"pavements"})) {
        if (std::hypot(g.p.x, g.p.y) > 1000.0f) continue;
        float nearest = 1e30f;
        for (const Vec3& f : wallFeet) nearest = std::min(nearest, planDistance(g.p, f));
        if (nearest < 8.0f) ++close, closeShaded += g.w < -0.1f ? 1 : 0;
        if (nearest > 60.0f && nearest < 120.0f) ++away, awayShaded += g.w < -0.1f ? 1 : 0;
    }
    ASSERT_GT(close, 20);
    ASSERT_GT(away, 20);
    EXPECT_GT(closeShaded, close / 2) << "the walls' feet cast no shade on the pavement";
    EXPECT_LT(awayShaded, away / 4);
}

TEST_F(TownFiles, TheCameraFlightKeepsClearOfEverySurfaceAndAboveTheGround) {
    Vec3 c = centroidOf(main);
    TriangleGrid grid;
    for (unsigned i = 0; i + 1 < main->mNumMeshes; ++i) {
        const aiMesh* mesh = main->mMeshes[i];
        for (unsigned v = 0; v + 2 < mesh->mNumVertices; v += 3) {
            grid.triangles.push_back(Triangle{vec(mesh->mVertices[v]) - c, vec(mesh->mVertices[v + 1]) - c,
                                              vec(mesh->mVertices[v + 2]) - c});
        }
    }
    grid.build();

    const float kClearance = 20.0f;
    float worst = 1e30f;
    Vec3 worstEye;
    int steps = 0, withoutGround = 0;
    for (const CameraSample& sample : cameraFlight()) {
        ++steps;
        Vec3 eye = sample.eye;
        const std::vector<int>* nearby = grid.near(eye);
        ASSERT_NE(nearby, nullptr) << "the eye left the town at " << eye.x << ", " << eye.y;
        float ground = -1e30f;
        for (int k : *nearby) {
            const Triangle& t = grid.triangles[k];
            float d = distanceToTriangle(eye, t);
            if (d < worst) {
                worst = d;
                worstEye = eye;
            }
            float z = 0.0f;
            if (heightUnder(t, eye.x, eye.y, z) && z < eye.z) ground = std::max(ground, z);
        }
        if (ground == -1e30f || eye.z - ground < kClearance) ++withoutGround;
    }
    std::cout << "closest approach of the eye: " << worst << " units at (" << worstEye.x << ", " << worstEye.y
              << ", " << worstEye.z << ")" << std::endl;
    EXPECT_EQ(steps, 26940);
    EXPECT_EQ(withoutGround, 0);
    EXPECT_GT(worst, kClearance) << "closest at " << worstEye.x << ", " << worstEye.y << ", " << worstEye.z;
}

// ---------------------------------------------------------------------------
// The generator itself.

std::map<std::string, std::string> filesUnder(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        files[std::filesystem::relative(entry.path(), folder).string()] = readFile(entry.path().string());
    }
    return files;
}

TEST(TownGenerator, TwoRunsWriteTheSameBytes) {
    std::string first = makeScratchDir("town-a"), second = makeScratchDir("town-b");
    // Options are not folders: asking for help writes nothing.
    for (const auto& [option, exitCode] : {std::pair<std::string, int>{"--help", 0}, {"--bogus", 2}}) {
        ProcessResult run = runProgram(MAKE_TOWN_BINARY, first, 30.0, {}, {option});
        EXPECT_TRUE(run.exited && run.exitCode == exitCode) << option << ": " << run.output;
    }
    EXPECT_TRUE(std::filesystem::is_empty(first));
    for (const std::string& folder : {first, second}) {
        ProcessResult run = runProgram(MAKE_TOWN_BINARY, folder, 300.0, {}, {folder});
        ASSERT_TRUE(run.exited) << run.output;
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    std::map<std::string, std::string> a = filesUnder(first), b = filesUnder(second);
    EXPECT_TRUE(a.count("scene/main2.DAE") && a.count("scene/StreetScene.DAE"));
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, bytes] : a) {
        ASSERT_TRUE(b.count(name)) << name;
        EXPECT_TRUE(bytes == b.at(name)) << name << " differs between runs";
    }
    // What it writes is what the models name, nothing missing and nothing more.
    std::set<std::string> pictures;
    for (const auto& entry : a) {
        if (entry.first.rfind("tex/", 0) == 0) pictures.insert(entry.first);
    }
    std::set<std::string> named = namedTextures(imported(kMainFile)), streetNamed = namedTextures(imported(kStreetFile));
    named.insert(streetNamed.begin(), streetNamed.end());
    EXPECT_EQ(pictures, named);
}

}  // namespace
