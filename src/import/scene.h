// A model file turned into what the renderer draws.
//
// Every mesh of the file but the last becomes a vertex array with one buffer
// per attribute (positions, normals, texture coordinates, tangents and
// bitangents, at the locations of shading/shader_bindings.h), plus its
// material colours and up to three maps. The file's last mesh is never drawn:
// it only marks the scene's centroid, which the renderer moves to the origin.
//
// Material texture slots: the colour map is the diffuse texture, the normal
// map the specular texture, the height map the opacity texture. A material
// without a diffuse texture has no maps at all.
#pragma once

#include <vector>

#include "import/tangent_frames.h"
#include "import/texture_loader.h"
#include "math/vecmath.h"

struct SceneMesh {
    unsigned vertexArray = 0;
    Vec3 diffuse;
    Vec3 ambient;
    Vec3 specular;
    float shininess = 0.0f;
    unsigned vertexCount = 0;  // drawn as GL_TRIANGLES, vertices 0 .. vertexCount − 1
    unsigned colorTexture = 0;
    unsigned normalTexture = 0;
    unsigned heightTexture = 0;
    TextureImage colorImage;
    TextureImage normalImage;
    TextureImage heightImage;
    bool hasColorTexture = false;
    bool hasNormalTexture = false;
    bool hasHeightTexture = false;
};

struct SceneLight {
    Vec3 ambient;
    Vec3 diffuse;
    Vec3 specular;
};

struct Scene {
    std::vector<SceneMesh> meshes;  // file order, without the last mesh
    std::vector<SceneLight> lights;  // one after a successful load
    Vec3 centroid;                   // mean of the last mesh's vertex positions
    TextureLoader textureLoader;

    // Reads the Collada file at path (relative to the working directory) and
    // uploads it; needs a current GL context. False when the importer
    // delivers no scene or the scene has no mesh, and when a trial read of
    // the file in a child process crashed or ran out of time (import_guard.h):
    // the scene then stays empty.
    bool loadScene(const char* path);
};

// Starts the import guard's trial read of the model file at path at once
// (import_guard.h), so that the child reads while the window, the sound and
// the shaders come up; loadScene of the same path then waits for that read
// instead of starting one of its own. A path never loaded keeps its child
// until the process ends.
void startTrialImport(const char* path);

// The demo's two scenes, created by start-up: the main one is drawn, the
// street scene is loaded in full (meshes and textures go to the GPU) and never
// read again. Null before start-up.
extern Scene* mainScene;
extern Scene* streetScene;

struct aiMesh;
struct aiScene;

// Whether what the importer delivered can be loaded: a complete scene with at
// least one mesh (the last one marks the centroid). Null is not usable.
bool usableImport(const aiScene* scene);

// The tangent frames of one imported mesh (its faces, positions, normals and
// texture coordinate set 0), as the upload uses them; needs no GL context.
TangentFrames meshTangentFrames(const aiMesh* mesh);

// The mean of the marker mesh's vertex positions, summed in single precision
// in vertex order: the scene's centroid. The marker has at least one vertex.
Vec3 markerCentroid(const aiMesh* marker);

// The importer's post-processing: tangent space and graph optimisation only,
// no triangulation, no vertex joining, no UV flip.
constexpr unsigned kSceneImportFlags = 0x400001;
