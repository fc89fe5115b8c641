#include "content_reload.h"

#include <GL/glew.h>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <malloc.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "import/import_guard.h"
#include "import/scene.h"

namespace {

const char* const kMainScenePath = "scene/main2.DAE";
const char* const kStreetScenePath = "scene/StreetScene.DAE";

// Everything a scene holds on the GPU: its vertex arrays with their attribute
// buffers, and its textures (each mesh has its own). The pixel copies go
// with the scene.
void releaseScene(Scene* scene) {
    for (SceneMesh& mesh : scene->meshes) {
        glBindVertexArray(mesh.vertexArray);
        for (GLuint location = 0; location < 5; ++location) {
            GLint buffer = 0;
            glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
            const GLuint name = static_cast<GLuint>(buffer);
            if (name != 0) glDeleteBuffers(1, &name);
        }
        glBindVertexArray(0);
        glDeleteVertexArrays(1, &mesh.vertexArray);
        const GLuint textures[3] = {mesh.colorTexture, mesh.normalTexture, mesh.heightTexture};
        glDeleteTextures(3, textures);
    }
    delete scene;
}

// Why loadScene turned the file down, found again the way it found it: the
// trial read in a child first, then (only once a child came through) the
// importer's own words.
std::string importFailure(const char* path) {
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(path, error);
    if (error) return "cannot be read: " + error.message();
    const TrialResult trial = tryImportInChild(path, kSceneImportFlags, trialTimeLimit(bytes));
    if (trial.outcome == TrialOutcome::Crashed) {
        return "the importer crashed (signal " + std::to_string(trial.signal) + ")";
    }
    if (trial.outcome == TrialOutcome::TimedOut) return "the importer ran out of time";
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, kSceneImportFlags);
    if (scene == nullptr) return importer.GetErrorString();
    if (!usableImport(scene)) return "the importer found no complete scene with a mesh";
    return "it loads now: it was changed while being read";
}

}  // namespace

bool reloadScenes() {
    Scene* main = new Scene();
    Scene* street = new Scene();
    const bool mainLoaded = main->loadScene(kMainScenePath);
    const bool streetLoaded = street->loadScene(kStreetScenePath);
    const bool loaded = mainLoaded && streetLoaded;
    if (!loaded) {
        for (const char* path : {mainLoaded ? nullptr : kMainScenePath, streetLoaded ? nullptr : kStreetScenePath}) {
            if (path != nullptr) std::cout << path << " could not be loaded: " << importFailure(path) << std::endl;
        }
        std::cout << "Scenes could not be loaded again: the ones shown stay." << std::endl;
    }
    releaseScene(loaded ? mainScene : main);
    releaseScene(loaded ? streetScene : street);
    if (loaded) {
        mainScene = main;
        streetScene = street;
    }
    // The freed pixel copies and import buffers lie scattered in the heap,
    // where the allocator would keep them for good: hand their pages back.
    malloc_trim(0);
    return loaded;
}
