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
#include "test_models.h"
#include "test_support.h"

namespace {

// ---- Hand-made test models -------------------------------------------------

// A triangle list of `triangles` triangles in the z = 0 plane, shifted by dx,
// with normals +z and texture coordinates from x and y, and a plain material.
TestMesh flatMesh(int triangles, float dx, bool normals = true, bool uvs = true) {
    TestMesh mesh;
    mesh.material.ambient = Vec3{0.1f, 0.2f, 0.3f};
    mesh.material.diffuse = Vec3{0.6f, 0.5f, 0.4f};
    mesh.material.specular = Vec3{0.9f, 0.8f, 0.7f};
    mesh.material.shininess = 24.0f;
    ColladaMesh& g = mesh.geometry;
    for (int t = 0; t < triangles; ++t) {
        const float x = dx + 10.0f * t;
        const float corners[3][2] = {{x, 0}, {x + 1, 0}, {x, 1}};
        for (const auto& c : corners) {
            g.positions.push_back(Vec3{c[0], c[1], 0.0f});
            if (normals) g.normals.push_back(Vec3{0.0f, 0.0f, 1.0f});
            if (uvs) g.uvs.insert(g.uvs.end(), {c[0] - dx, c[1]});
        }
    }
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
        writeFile(dir + "/scene/test.DAE", testModel(meshes));
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
    std::string whole = testModel({flatMesh(1, 0.0f), markerMesh()});
    writeFile(dir + "/scene/truncated.DAE", whole.substr(0, whole.size() / 2));
    // Valid Collada without any geometry: the last mesh cannot mark a centroid.
    writeFile(dir + "/scene/nomesh.DAE", testModel({}));
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
    lines.geometry.lines = true;
    TestMesh quads = flatMesh(0, 0.0f);
    quads.geometry.positions = {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{1, 1, 0}, Vec3{0, 1, 0}};
    quads.geometry.normals = std::vector<Vec3>(4, Vec3{0, 0, 1});
    quads.geometry.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
    quads.geometry.polygonSizes = {4};
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
    noAmbient.material.ambient.reset();
    noAmbient.material.shininess.reset();
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

    EXPECT_EQ(textureLevelParameter(m.colorTexture, 0, GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(textureLevelParameter(m.colorTexture, 8, GL_TEXTURE_WIDTH), 1) << "the full mip chain down to 1 × 1";
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
        EXPECT_GE(textureLevelParameter(mesh.colorTexture, 0, GL_TEXTURE_WIDTH), 1) << "a real, sampleable placeholder";
    }
}

// ---- Files that crash or stall the importer --------------------------------

// A long but ordinary model: tens of milliseconds of parsing.
std::string largeModel() {
    return testModel({flatMesh(20000, 0.0f), flatMesh(20000, 5.0f), markerMesh()});
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

    // Started ahead and asked for only after its time: a child that came
    // through meanwhile counts, one still reading is killed at once.
    writeFile(dir + "/scene/small.DAE", testModel({flatMesh(2, 0.0f), markerMesh()}));
    TrialRead early = startTrialRead("scene/small.DAE", kSceneImportFlags, 0.5);
    ASSERT_EQ(mkfifo("scene/stalled.DAE", 0600), 0);
    TrialRead stalled = startTrialRead("scene/stalled.DAE", kSceneImportFlags, 0.5);
    sleep(2);  // well past both limits; the small model reads in milliseconds
    EXPECT_EQ(finishTrialRead(early).outcome, TrialOutcome::Usable);
    const TrialResult stalledResult = finishTrialRead(stalled);
    EXPECT_EQ(stalledResult.outcome, TrialOutcome::TimedOut);
    EXPECT_LT(stalledResult.seconds, 4.0) << "a child past its time is not waited for again";

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
    writeFile(dir + "/scene/good.DAE", testModel({flatMesh(2, 0.0f), markerMesh()}));
    writeFile(dir + "/scene/prose.DAE", "Not a model.\n");
    writeFile(dir + "/scene/nomesh.DAE", testModel({}));
    EXPECT_EQ(tryImportInChild("scene/good.DAE", kSceneImportFlags, 30.0).outcome, TrialOutcome::Usable);
    for (const char* path : {"scene/prose.DAE", "scene/nomesh.DAE", "scene/missing.DAE"}) {
        EXPECT_EQ(tryImportInChild(path, kSceneImportFlags, 30.0).outcome, TrialOutcome::Rejected) << path;
    }
}

// The child leaves with _exit: buffered output of the parent's is not written
// a second time, whether the child came through or crashed.
TEST_F(SceneImport, AChildLeavesTheParentsBufferedOutputAlone) {
    writeFile(dir + "/scene/good.DAE", testModel({flatMesh(2, 0.0f), markerMesh()}));
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
