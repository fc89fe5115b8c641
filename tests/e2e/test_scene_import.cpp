// Scene import and texture loading on a real context, from small Collada files
// and images that the tests write themselves into a scratch working folder.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/timeline.h"
#include "import/import_guard.h"
#include "import/scene.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// ---- A tiny Collada writer for hand-made test models ----------------------

struct TestMaterial {
    std::string ambient = "0.1 0.2 0.3 1";  // empty: no <ambient> element
    std::string diffuse = "0.6 0.5 0.4 1";
    std::string specular = "0.9 0.8 0.7 1";
    std::string shininess = "24";
    // Image paths as a modelling tool wrote them; empty: no texture in that slot.
    std::string colorPath, normalPath, heightPath;
};

struct TestMesh {
    std::vector<float> positions;  // 3 per vertex
    std::vector<float> normals;    // empty or 3 per vertex
    std::vector<float> uvs;        // empty or 2 per vertex
    std::vector<int> polygonSizes;  // empty: triangles; else one entry per face (polylist)
    bool asLines = false;           // one <lines> element instead
    TestMaterial material;
};

std::string floats(const std::vector<float>& values) {
    std::ostringstream out;
    for (std::size_t i = 0; i < values.size(); ++i) out << (i ? " " : "") << values[i];
    return out.str();
}

std::string source(const std::string& id, const std::vector<float>& values, const char* params) {
    const int stride = static_cast<int>(std::string(params).size());
    std::ostringstream out;
    out << "<source id=\"" << id << "\"><float_array id=\"" << id << "-a\" count=\"" << values.size() << "\">"
        << floats(values) << "</float_array><technique_common><accessor source=\"#" << id
        << "-a\" count=\"" << values.size() / stride << "\" stride=\"" << stride << "\">";
    for (const char* p = params; *p; ++p) out << "<param name=\"" << *p << "\" type=\"float\"/>";
    out << "</accessor></technique_common></source>\n";
    return out.str();
}

std::string slot(const char* element, const std::string& color, const std::string& sampler) {
    if (!sampler.empty()) {
        return std::string("<") + element + "><texture texture=\"" + sampler + "\" texcoord=\"UV0\"/></" + element + ">";
    }
    if (color.empty()) return "";
    return std::string("<") + element + "><color>" + color + "</color></" + element + ">";
}

std::string colladaFile(const std::vector<TestMesh>& meshes) {
    std::ostringstream images, effects, materials, geometries, nodes;
    for (std::size_t m = 0; m < meshes.size(); ++m) {
        const TestMaterial& mat = meshes[m].material;
        const std::string id = std::to_string(m);
        std::string params;
        std::string samplers[3];
        const std::string* paths[3] = {&mat.colorPath, &mat.normalPath, &mat.heightPath};
        for (int t = 0; t < 3; ++t) {
            if (paths[t]->empty()) continue;
            const std::string image = "img" + id + "_" + std::to_string(t);
            images << "<image id=\"" << image << "\"><init_from>" << *paths[t] << "</init_from></image>\n";
            params += "<newparam sid=\"surf" + id + "_" + std::to_string(t) + "\"><surface type=\"2D\"><init_from>" +
                      image + "</init_from></surface></newparam><newparam sid=\"samp" + id + "_" +
                      std::to_string(t) + "\"><sampler2D><source>surf" + id + "_" + std::to_string(t) +
                      "</source></sampler2D></newparam>\n";
            samplers[t] = "samp" + id + "_" + std::to_string(t);
        }
        effects << "<effect id=\"fx" << id << "\"><profile_COMMON>" << params << "<technique sid=\"common\"><phong>"
                << slot("ambient", mat.ambient, "") << slot("diffuse", mat.diffuse, samplers[0])
                << slot("specular", mat.specular, samplers[1])
                << (mat.shininess.empty() ? "" : "<shininess><float>" + mat.shininess + "</float></shininess>");
        if (!samplers[2].empty()) {
            effects << "<transparent opaque=\"A_ONE\"><texture texture=\"" << samplers[2]
                    << "\" texcoord=\"UV0\"/></transparent>";
        }
        effects << "</phong></technique></profile_COMMON></effect>\n";
        materials << "<material id=\"mat" << id << "\"><instance_effect url=\"#fx" << id << "\"/></material>\n";

        const TestMesh& mesh = meshes[m];
        const std::size_t vertexCount = mesh.positions.size() / 3;
        geometries << "<geometry id=\"g" << id << "\"><mesh>\n" << source("g" + id + "-pos", mesh.positions, "XYZ");
        if (!mesh.normals.empty()) geometries << source("g" + id + "-nrm", mesh.normals, "XYZ");
        if (!mesh.uvs.empty()) geometries << source("g" + id + "-uv", mesh.uvs, "ST");
        geometries << "<vertices id=\"g" << id << "-v\"><input semantic=\"POSITION\" source=\"#g" << id
                   << "-pos\"/></vertices>\n";
        std::string inputs = "<input semantic=\"VERTEX\" source=\"#g" + id + "-v\" offset=\"0\"/>";
        if (!mesh.normals.empty()) inputs += "<input semantic=\"NORMAL\" source=\"#g" + id + "-nrm\" offset=\"0\"/>";
        if (!mesh.uvs.empty()) {
            inputs += "<input semantic=\"TEXCOORD\" source=\"#g" + id + "-uv\" offset=\"0\" set=\"0\"/>";
        }
        std::ostringstream indices;
        for (std::size_t v = 0; v < vertexCount; ++v) indices << (v ? " " : "") << v;
        if (mesh.asLines) {
            geometries << "<lines count=\"" << vertexCount / 2 << "\" material=\"m\">" << inputs << "<p>"
                       << indices.str() << "</p></lines>\n";
        } else if (!mesh.polygonSizes.empty()) {
            geometries << "<polylist count=\"" << mesh.polygonSizes.size() << "\" material=\"m\">" << inputs
                       << "<vcount>";
            for (int size : mesh.polygonSizes) geometries << size << " ";
            geometries << "</vcount><p>" << indices.str() << "</p></polylist>\n";
        } else {
            geometries << "<triangles count=\"" << vertexCount / 3 << "\" material=\"m\">" << inputs << "<p>"
                       << indices.str() << "</p></triangles>\n";
        }
        geometries << "</mesh></geometry>\n";
        nodes << "<node id=\"n" << id << "\" name=\"n" << id << "\"><instance_geometry url=\"#g" << id
              << "\"><bind_material><technique_common><instance_material symbol=\"m\" target=\"#mat" << id
              << "\"/></technique_common></bind_material></instance_geometry></node>\n";
    }
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        << "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
        << "<asset><unit name=\"meter\" meter=\"1\"/><up_axis>Z_UP</up_axis></asset>\n"
        << "<library_images>" << images.str() << "</library_images>\n"
        << "<library_effects>" << effects.str() << "</library_effects>\n"
        << "<library_materials>" << materials.str() << "</library_materials>\n"
        << "<library_geometries>" << geometries.str() << "</library_geometries>\n"
        << "<library_visual_scenes><visual_scene id=\"s\">" << nodes.str() << "</visual_scene></library_visual_scenes>\n"
        << "<scene><instance_visual_scene url=\"#s\"/></scene>\n</COLLADA>\n";
    return out.str();
}

// A triangle list of `triangles` triangles in the z = 0 plane, shifted by dx,
// with normals +z and texture coordinates from x and y.
TestMesh flatMesh(int triangles, float dx, bool normals = true, bool uvs = true) {
    TestMesh mesh;
    for (int t = 0; t < triangles; ++t) {
        const float x = dx + 10.0f * t;
        const float corners[3][2] = {{x, 0}, {x + 1, 0}, {x, 1}};
        for (const auto& c : corners) {
            mesh.positions.insert(mesh.positions.end(), {c[0], c[1], 0.0f});
            if (normals) mesh.normals.insert(mesh.normals.end(), {0.0f, 0.0f, 1.0f});
            if (uvs) mesh.uvs.insert(mesh.uvs.end(), {c[0] - dx, c[1]});
        }
    }
    return mesh;
}

// The centroid marker: one quad whose corners average to (1, 2, 1.5).
TestMesh markerMesh() {
    TestMesh mesh;
    mesh.positions = {0, 0, 0, 2, 0, 0, 2, 4, 0, 0, 4, 6};
    mesh.polygonSizes = {4};
    return mesh;
}

// Binary PPM: DevIL decodes it and it needs no image library to write.
std::string rgbImage(int width, int height) {
    std::string data = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            data += static_cast<char>(x & 255);
            data += static_cast<char>(y & 255);
            data += static_cast<char>(200);
        }
    }
    return data;
}

// ---- GL inspection ---------------------------------------------------------

bool haveContext = false;

bool attributeEnabled(GLuint vertexArray, GLuint location) {
    glBindVertexArray(vertexArray);
    GLint enabled = 0;
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    glBindVertexArray(0);
    return enabled != 0;
}

std::vector<float> attributeData(GLuint vertexArray, GLuint location) {
    glBindVertexArray(vertexArray);
    GLint buffer = 0;
    glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
    glBindVertexArray(0);
    if (buffer == 0) return {};
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(buffer));
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    std::vector<float> data(static_cast<std::size_t>(size) / sizeof(float));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, size, data.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return data;
}

GLint levelWidth(GLuint texture, int level) {
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    return width;
}

struct Loaded {
    bool ok = false;
    std::string output;
    std::vector<std::string> unflushed;  // console lines ended without a flush
};

class SceneImport : public ::testing::Test {
protected:
    static void SetUpTestSuite() { haveContext = openHiddenContext(64, 64); }

    void SetUp() override {
        ASSERT_TRUE(haveContext) << "no window: run under xvfb-run";
        dir = makeScratchDir("scene_import");
        makeDirs(dir + "/scene");
        makeDirs(dir + "/tex");
        ASSERT_EQ(getcwd(previousDir, sizeof previousDir), previousDir);
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        if (previousDir[0] != '\0') {
            ASSERT_EQ(chdir(previousDir), 0);
        }
    }

    // Writes the meshes as scene/test.DAE and loads it, catching the console.
    Loaded load(Scene& scene, const std::vector<TestMesh>& meshes) {
        writeFile(dir + "/scene/test.DAE", colladaFile(meshes));
        return loadFile(scene, "scene/test.DAE");
    }
    Loaded loadFile(Scene& scene, const char* path) {
        ConsoleCapture out;
        Loaded result;
        result.ok = scene.loadScene(path);
        result.output = out.text();
        result.unflushed = out.buffer.unflushedLines();
        return result;
    }

    std::string dir;
    char previousDir[4096] = {};
};

// ---- Meshes, order, centroid, light ---------------------------------------

TEST_F(SceneImport, EveryMeshButTheLastIsUploadedInFileOrderAndTheLastPlacesTheCentroid) {
    Scene scene;
    Loaded loaded = load(scene, {flatMesh(1, 100.0f), flatMesh(2, 200.0f), markerMesh()});
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.output, "") << "untextured meshes print nothing";

    ASSERT_EQ(scene.meshes.size(), 2u);
    EXPECT_EQ(scene.meshes[0].vertexCount, 3u);
    EXPECT_EQ(scene.meshes[1].vertexCount, 6u);
    EXPECT_NE(scene.meshes[0].vertexArray, scene.meshes[1].vertexArray);
    // The positions arrive as written, untransformed, in triangle order.
    std::vector<float> second = attributeData(scene.meshes[1].vertexArray, 0);
    ASSERT_EQ(second.size(), 18u);
    EXPECT_FLOAT_EQ(second[0], 200.0f);
    EXPECT_FLOAT_EQ(second[9], 210.0f);
    EXPECT_FLOAT_EQ(second[16], 1.0f);

    EXPECT_FLOAT_EQ(scene.centroid.x, 1.0f);
    EXPECT_FLOAT_EQ(scene.centroid.y, 2.0f);
    EXPECT_FLOAT_EQ(scene.centroid.z, 1.5f);

    ASSERT_EQ(scene.lights.size(), 1u);
    EXPECT_FLOAT_EQ(scene.lights[0].ambient.x, 0.1f);
    EXPECT_FLOAT_EQ(scene.lights[0].diffuse.y, 0.5f);
    EXPECT_FLOAT_EQ(scene.lights[0].specular.z, 1.0f);
}

TEST_F(SceneImport, AFileWithOneMeshOnlyPlacesTheCentroid) {
    Scene scene;
    ASSERT_TRUE(load(scene, {markerMesh()}).ok);
    EXPECT_TRUE(scene.meshes.empty());
    EXPECT_FLOAT_EQ(scene.centroid.y, 2.0f);
    EXPECT_EQ(scene.lights.size(), 1u);
}

TEST_F(SceneImport, UnreadableFilesFailSilentlyAndLeaveTheSceneEmpty) {
    writeFile(dir + "/scene/empty.DAE", "");
    writeFile(dir + "/scene/prose.DAE", "These are not the models you are looking for.\n");
    std::string whole = colladaFile({flatMesh(1, 0.0f), markerMesh()});
    writeFile(dir + "/scene/truncated.DAE", whole.substr(0, whole.size() / 2));
    // Valid Collada without any geometry: the last mesh cannot mark a centroid.
    writeFile(dir + "/scene/nomesh.DAE", colladaFile({}));
    for (const char* path : {"scene/missing.DAE", "scene/empty.DAE", "scene/prose.DAE", "scene/truncated.DAE",
                             "scene/nomesh.DAE", "scene"}) {
        Scene scene;
        Loaded loaded = loadFile(scene, path);
        EXPECT_FALSE(loaded.ok) << path;
        EXPECT_EQ(loaded.output, "") << path;
        EXPECT_TRUE(scene.meshes.empty()) << path;
        EXPECT_TRUE(scene.lights.empty()) << path;
        EXPECT_EQ(scene.centroid.x, 0.0f) << path;
    }
}

// ---- Attribute locations ---------------------------------------------------

TEST_F(SceneImport, LocationsFollowWhatEachMeshCarries) {
    Scene scene;
    ASSERT_TRUE(load(scene, {flatMesh(2, 0.0f), flatMesh(2, 0.0f, false, true), flatMesh(2, 0.0f, true, false),
                             markerMesh()})
                    .ok);
    ASSERT_EQ(scene.meshes.size(), 3u);
    const bool expected[3][5] = {
        {true, true, true, true, true},     // normals and coordinates: all five
        {true, false, true, false, false},  // no normals: no tangent frame either
        {true, true, false, true, true},    // no coordinates: fallback frames keep 3 and 4
    };
    for (int m = 0; m < 3; ++m) {
        for (GLuint location = 0; location < 5; ++location) {
            EXPECT_EQ(attributeEnabled(scene.meshes[m].vertexArray, location), expected[m][location])
                << "mesh " << m << " location " << location;
            if (expected[m][location]) {
                EXPECT_EQ(attributeData(scene.meshes[m].vertexArray, location).size(), 18u)
                    << "vertexCount × 12 bytes, mesh " << m << " location " << location;
            }
        }
    }
    // Texture coordinates keep all three components; the third is 0 for 2D sets.
    std::vector<float> uv = attributeData(scene.meshes[0].vertexArray, 2);
    EXPECT_FLOAT_EQ(uv[3], 1.0f);
    EXPECT_FLOAT_EQ(uv[5], 0.0f);
    // Flat +z triangles mapped from x and y: tangent along +x, unit length.
    std::vector<float> tangents = attributeData(scene.meshes[0].vertexArray, 3);
    EXPECT_NEAR(tangents[0], 1.0f, 1e-5f);
    EXPECT_NEAR(tangents[2], 0.0f, 1e-5f);
    // The fallback frame is finite and perpendicular to the normal.
    for (GLuint location : {3u, 4u}) {
        std::vector<float> frame = attributeData(scene.meshes[2].vertexArray, location);
        for (std::size_t v = 0; v < frame.size(); v += 3) {
            ASSERT_TRUE(std::isfinite(frame[v]) && std::isfinite(frame[v + 1]) && std::isfinite(frame[v + 2]));
            EXPECT_NEAR(frame[v + 2], 0.0f, 1e-5f);
            EXPECT_NEAR(frame[v] * frame[v] + frame[v + 1] * frame[v + 1], 1.0f, 1e-4f);
        }
    }
}

TEST_F(SceneImport, LineAndPolygonFacesLoadWithFiniteFrames) {
    TestMesh lines = flatMesh(2, 0.0f);  // six vertices read as three lines
    lines.asLines = true;
    TestMesh quads = flatMesh(0, 0.0f);
    quads.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    quads.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    quads.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
    quads.polygonSizes = {4};
    Scene scene;
    ASSERT_TRUE(load(scene, {lines, quads, markerMesh()}).ok);
    ASSERT_EQ(scene.meshes.size(), 2u);
    for (const SceneMesh& mesh : scene.meshes) {
        for (GLuint location : {3u, 4u}) {
            for (float value : attributeData(mesh.vertexArray, location)) EXPECT_TRUE(std::isfinite(value));
        }
    }
}

// ---- Materials and texture slots ------------------------------------------

TEST_F(SceneImport, MaterialColoursAndShininessAreRead) {
    TestMesh plain = flatMesh(1, 0.0f);
    TestMesh noAmbient = flatMesh(1, 0.0f);
    noAmbient.material.ambient = "";
    noAmbient.material.shininess = "";
    Scene scene;
    ASSERT_TRUE(load(scene, {plain, noAmbient, markerMesh()}).ok);
    const SceneMesh& a = scene.meshes[0];
    EXPECT_FLOAT_EQ(a.ambient.y, 0.2f);
    EXPECT_FLOAT_EQ(a.diffuse.x, 0.6f);
    EXPECT_FLOAT_EQ(a.specular.z, 0.7f);
    EXPECT_FLOAT_EQ(a.shininess, 24.0f);
    // Whatever the importer reports for an absent entry, the others load as written.
    const SceneMesh& b = scene.meshes[1];
    EXPECT_FLOAT_EQ(b.diffuse.y, 0.5f);
    EXPECT_FLOAT_EQ(b.specular.x, 0.9f);
    for (const SceneMesh& mesh : scene.meshes) {
        EXPECT_FALSE(mesh.hasColorTexture || mesh.hasNormalTexture || mesh.hasHeightTexture);
        EXPECT_EQ(mesh.colorTexture + mesh.normalTexture + mesh.heightTexture, 0u);
    }
}

TEST_F(SceneImport, TheColourMapDecidesWhetherTheOtherSlotsAreRead) {
    writeFile(dir + "/tex/wall.ppm", rgbImage(8, 8));
    writeFile(dir + "/tex/wall_n.ppm", rgbImage(8, 8));
    writeFile(dir + "/tex/wall_h.ppm", rgbImage(8, 8));
    TestMesh all = flatMesh(1, 0.0f);
    all.material.colorPath = "C:\\art\\maps\\wall.ppm";
    all.material.normalPath = "C:\\art\\maps\\wall_n.ppm";
    all.material.heightPath = "wall_h.ppm";
    TestMesh noColor = all;
    noColor.material.colorPath = "";
    TestMesh noNormal = all;
    noNormal.material.normalPath = "";

    Scene scene;
    Loaded loaded = load(scene, {all, noColor, noNormal, markerMesh()});
    ASSERT_TRUE(loaded.ok);
    ASSERT_EQ(scene.meshes.size(), 3u);
    EXPECT_EQ(loaded.output,
              "tex/wall.ppm loaded...\ntex/wall_n.ppm loaded...\ntex/wall_h.ppm loaded...\n"
              "tex/wall.ppm loaded...\ntex/wall_h.ppm loaded...\n");

    const SceneMesh& a = scene.meshes[0];
    EXPECT_TRUE(a.hasColorTexture && a.hasNormalTexture && a.hasHeightTexture);
    EXPECT_NE(a.colorTexture, 0u);
    EXPECT_NE(a.normalTexture, 0u);
    EXPECT_NE(a.heightTexture, 0u);
    EXPECT_NE(a.colorTexture, a.normalTexture);

    const SceneMesh& b = scene.meshes[1];
    EXPECT_FALSE(b.hasColorTexture || b.hasNormalTexture || b.hasHeightTexture);
    EXPECT_EQ(b.colorTexture + b.normalTexture + b.heightTexture, 0u);

    const SceneMesh& c = scene.meshes[2];
    EXPECT_TRUE(c.hasColorTexture && c.hasHeightTexture);
    EXPECT_FALSE(c.hasNormalTexture);
    EXPECT_EQ(c.normalTexture, 0u);
    // Nothing is shared: the same file decoded again is a texture of its own.
    EXPECT_NE(c.colorTexture, a.colorTexture);
    EXPECT_NE(c.heightTexture, a.heightTexture);
}

TEST_F(SceneImport, AnRgbImageBecomesAMipmappedRgbaTexture) {
    writeFile(dir + "/tex/wide.ppm", rgbImage(256, 128));
    TestMesh mesh = flatMesh(1, 0.0f);
    mesh.material.colorPath = "D:\\textures\\wide.ppm";
    Scene scene;
    ASSERT_TRUE(load(scene, {mesh, markerMesh()}).ok);
    const SceneMesh& m = scene.meshes[0];
    EXPECT_EQ(m.colorImage.width, 256);
    EXPECT_EQ(m.colorImage.height, 128);
    EXPECT_EQ(m.colorImage.format, GL_RGBA);
    EXPECT_EQ(m.colorImage.bytesPerPixel, 4);
    ASSERT_EQ(m.colorImage.pixels.size(), 131072u);
    // Pixel (3, 0) of the first delivered row: red 3, blue 200, opaque.
    EXPECT_EQ(m.colorImage.pixels[12], 3);
    EXPECT_EQ(m.colorImage.pixels[14], 200);
    EXPECT_EQ(m.colorImage.pixels[15], 255);

    EXPECT_EQ(levelWidth(m.colorTexture, 0), 256);
    EXPECT_EQ(levelWidth(m.colorTexture, 8), 1) << "the full mip chain down to 1 × 1";
    glBindTexture(GL_TEXTURE_2D, m.colorTexture);
    GLint minFilter = 0, wrap = 0, internal = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(wrap, GL_REPEAT);
    EXPECT_EQ(internal, GL_RGBA);
}

TEST_F(SceneImport, UndecodableTexturesAreReportedAndStillFillTheirSlot) {
    writeFile(dir + "/tex/zero.png", "");
    writeFile(dir + "/tex/corrupt.png", "\x89PNG\r\n\x1a\nthis is not a picture");
    TestMesh missing = flatMesh(1, 0.0f);
    missing.material.colorPath = "C:\\maps\\missing.png";
    TestMesh zero = flatMesh(1, 0.0f);
    zero.material.colorPath = "zero.png";
    TestMesh corrupt = flatMesh(1, 0.0f);
    corrupt.material.colorPath = "corrupt.png";
    TestMesh folder = flatMesh(1, 0.0f);
    folder.material.colorPath = "C:\\maps\\";
    Scene scene;
    Loaded loaded = load(scene, {missing, zero, corrupt, folder, markerMesh()});
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.output,
              "tex/missing.png could not be loaded...\ntex/zero.png could not be loaded...\n"
              "tex/corrupt.png could not be loaded...\ntex/ could not be loaded...\n");
    EXPECT_EQ(loaded.unflushed, std::vector<std::string>{});
    for (const SceneMesh& mesh : scene.meshes) {
        EXPECT_TRUE(mesh.hasColorTexture);
        EXPECT_NE(mesh.colorTexture, 0u);
        EXPECT_GE(levelWidth(mesh.colorTexture, 0), 1) << "a real, sampleable placeholder";
    }
}

// ---- Files that crash or stall the importer --------------------------------

// A long but ordinary model: tens of milliseconds of parsing.
std::string largeModel() {
    return colladaFile({flatMesh(20000, 0.0f), flatMesh(20000, 5.0f), markerMesh()});
}

// Every file kept in tests/fuzz/known crashed the importer or kept it busy
// for minutes: loadScene turns each into a plain failed load.
TEST_F(SceneImport, FilesThatCrashOrStallTheImporterAreFailedLoads) {
    for (const auto& entry : std::filesystem::directory_iterator(sourcePath("tests/fuzz/known"))) {
        SCOPED_TRACE(entry.path().filename().string());
        writeFile(dir + "/scene/known.DAE", readFile(entry.path().string()));
        Scene scene;
        Loaded loaded = loadFile(scene, "scene/known.DAE");
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.output, "");
        EXPECT_TRUE(scene.meshes.empty());
        EXPECT_TRUE(scene.lights.empty());
    }
    // This one makes the importer read through a null pointer.
    const std::string crashing = sourcePath("tests/fuzz/known/assimp_collada_null_read.dae");
    const TrialResult trial = tryImportInChild(crashing.c_str(), kSceneImportFlags, 30.0);
    EXPECT_EQ(trial.outcome, TrialOutcome::Crashed)
        << "if this Assimp no longer crashes on it, keep the file as a regression case and drop this line";
    EXPECT_EQ(trial.signal, SIGSEGV);
}

TEST_F(SceneImport, ATrialReadPastItsTimeIsKilledAndReaped) {
    writeFile(dir + "/scene/large.DAE", largeModel());
    const TrialResult late = tryImportInChild("scene/large.DAE", kSceneImportFlags, 0.001);
    EXPECT_EQ(late.outcome, TrialOutcome::TimedOut);
    EXPECT_LT(late.seconds, 5.0) << "the child is killed at its time, not waited for";
    const TrialResult inTime =
        tryImportInChild("scene/large.DAE", kSceneImportFlags, trialTimeLimit(largeModel().size()));
    EXPECT_EQ(inTime.outcome, TrialOutcome::Usable);

    // A reader that never gets its bytes (a pipe with no writer) blocks in
    // open(): the trial gives up on it all the same.
    ASSERT_EQ(mkfifo("scene/fifo.DAE", 0600), 0);
    const TrialResult blocked = tryImportInChild("scene/fifo.DAE", kSceneImportFlags, 0.3);
    EXPECT_EQ(blocked.outcome, TrialOutcome::TimedOut);
    EXPECT_GE(blocked.seconds, 0.3);
    Scene scene;
    EXPECT_FALSE(loadFile(scene, "scene/fifo.DAE").ok);

    // No child is left behind, running or unreaped.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(SceneImport, ATrialReadSaysWhetherTheImporterCouldUseTheFile) {
    writeFile(dir + "/scene/good.DAE", colladaFile({flatMesh(2, 0.0f), markerMesh()}));
    writeFile(dir + "/scene/prose.DAE", "Not a model.\n");
    writeFile(dir + "/scene/nomesh.DAE", colladaFile({}));
    EXPECT_EQ(tryImportInChild("scene/good.DAE", kSceneImportFlags, 30.0).outcome, TrialOutcome::Usable);
    for (const char* path : {"scene/prose.DAE", "scene/nomesh.DAE", "scene/missing.DAE"}) {
        EXPECT_EQ(tryImportInChild(path, kSceneImportFlags, 30.0).outcome, TrialOutcome::Rejected) << path;
    }
}

// The child leaves with _exit: buffered output of the parent's is not written
// a second time, whether the child came through or crashed.
TEST_F(SceneImport, AChildLeavesTheParentsBufferedOutputAlone) {
    writeFile(dir + "/scene/good.DAE", colladaFile({flatMesh(2, 0.0f), markerMesh()}));
    const std::string crashing = sourcePath("tests/fuzz/known/assimp_collada_null_read.dae");
    FILE* log = std::fopen("log.txt", "w");
    ASSERT_NE(log, nullptr);
    std::setvbuf(log, nullptr, _IOFBF, 1 << 16);
    std::fputs("written once\n", log);
    EXPECT_EQ(tryImportInChild("scene/good.DAE", kSceneImportFlags, 30.0).outcome, TrialOutcome::Usable);
    EXPECT_NE(tryImportInChild(crashing.c_str(), kSceneImportFlags, 30.0).outcome, TrialOutcome::Usable);
    std::fclose(log);
    EXPECT_EQ(readFile(dir + "/log.txt"), "written once\n");
}

// Start-up with neither model file: both loads are tried, one message, and
// the run is over before its first frame.
TEST_F(SceneImport, StartUpWithBothModelsMissingSaysSoOnceAndStops) {
    copyShaders(dir);
    setenv("ALSOFT_DRIVERS", "null", 1);  // no sound hardware needed
    platform.readClock = [] { return 0.0; };
    runState = RunState{};
    ConsoleCapture out;
    startUp();
    EXPECT_FALSE(runState.running);
    EXPECT_EQ(countOccurrences(out.text(), "Scenes could not be loaded!\n"), 1) << out.text();
    const std::string last = "Scenes could not be loaded!\n";
    EXPECT_EQ(out.text().compare(out.text().size() - std::min(out.text().size(), last.size()), last.size(), last), 0)
        << "the message comes last, after both loads:\n" << out.text();
    EXPECT_EQ(out.buffer.unflushedLines(), std::vector<std::string>{}) << "every start-up line is flushed";
    EXPECT_EQ(countOccurrences(out.text(), "Uniform \""), 31) << "start-up went on before the loads";
    ASSERT_NE(mainScene, nullptr);
    EXPECT_TRUE(mainScene->meshes.empty());
    EXPECT_TRUE(streetScene->lights.empty());
}

}  // namespace
