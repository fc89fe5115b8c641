#include "import/scene.h"

#include <GL/glew.h>
#include <assimp/material.h>
#include <assimp/mesh.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "import/import_guard.h"
#include "import/tangent_frames.h"
#include "platform/startup_clock.h"
#include "shading/shader_bindings.h"

static_assert(kSceneImportFlags == (aiProcess_CalcTangentSpace | aiProcess_OptimizeGraph),
              "the import asks for tangent space and graph optimisation only");

Scene* mainScene = nullptr;
Scene* streetScene = nullptr;

namespace {

// Trial reads started ahead of their loads, by path.
std::vector<std::pair<std::string, TrialRead>> earlyTrials;

TrialRead beginTrial(const char* path) {
    std::error_code sizeError;
    const std::uintmax_t bytes = std::filesystem::file_size(path, sizeError);
    return startTrialRead(path, kSceneImportFlags, trialTimeLimit(sizeError ? 0 : bytes));
}

// The trial read started ahead for path, or one started now.
TrialRead takeTrial(const char* path) {
    for (auto it = earlyTrials.begin(); it != earlyTrials.end(); ++it) {
        if (it->first == path) {
            TrialRead trial = it->second;
            earlyTrials.erase(it);
            return trial;
        }
    }
    return beginTrial(path);
}

// One attribute buffer of three floats per vertex, owned by the bound vertex array.
void uploadAttribute(GLuint location, const void* data, unsigned vertexCount) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * 12, data, GL_STATIC_DRAW);
    glVertexAttribPointer(location, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(location);
}

Vec3 materialColor(const aiMaterial* material, const char* key, unsigned type, unsigned index) {
    aiColor4D color;
    if (aiGetMaterialColor(material, key, type, index, &color) != AI_SUCCESS) return Vec3{};
    return Vec3{color.r, color.g, color.b};
}

bool materialTexture(const aiMaterial* material, aiTextureType type, aiString& path) {
    return aiGetMaterialTexture(material, type, 0, &path) == AI_SUCCESS;
}

}  // namespace

TangentFrames meshTangentFrames(const aiMesh* mesh) {
    // aiVector3D is three floats, laid out like Vec3.
    static_assert(sizeof(aiVector3D) == sizeof(Vec3), "aiVector3D and Vec3 share a layout");
    std::vector<TangentFace> faces(mesh->mNumFaces);
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        faces[f] = TangentFace{mesh->mFaces[f].mNumIndices, mesh->mFaces[f].mIndices};
    }
    TangentInput input;
    input.vertexCount = mesh->mNumVertices;
    input.positions = reinterpret_cast<const Vec3*>(mesh->mVertices);
    input.normals = reinterpret_cast<const Vec3*>(mesh->mNormals);
    input.texCoords = mesh->HasTextureCoords(0) ? reinterpret_cast<const Vec3*>(mesh->mTextureCoords[0]) : nullptr;
    input.faceCount = faces.size();
    input.faces = faces.data();
    return computeTangentFrames(input);
}

Vec3 markerCentroid(const aiMesh* marker) {
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (unsigned v = 0; v < marker->mNumVertices; ++v) {
        sx += marker->mVertices[v].x;
        sy += marker->mVertices[v].y;
        sz += marker->mVertices[v].z;
    }
    const float n = static_cast<float>(marker->mNumVertices);
    return Vec3{sx / n, sy / n, sz / n};
}

bool usableImport(const aiScene* scene) {
    // The last mesh marks the centroid, so a file without meshes cannot be used.
    // For a file without geometry the importer hands back an "incomplete" scene
    // holding a placeholder mesh of its own; that is no model either.
    return scene != nullptr && (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) == 0 && scene->mNumMeshes > 0;
}

void startTrialImport(const char* path) { earlyTrials.emplace_back(path, beginTrial(path)); }

bool Scene::loadScene(const char* path) {
    // A file that crashes the importer or keeps it busy must fail the load, not
    // end or freeze the demo: a child process reads it first, and the demo
    // reads it only after the child came through. Without a child (the
    // system refused the fork) the import goes ahead unguarded, as it always
    // did, rather than fail a file that may well be fine.
    TrialRead read = takeTrial(path);
    TrialResult trial;
    {
        StepTimer timer(startupFigures.guardWait);
        trial = finishTrialRead(read);
    }
    startupFigures.guardChild += trial.childCpuSeconds;
    if (trial.outcome != TrialOutcome::Usable && trial.outcome != TrialOutcome::NotTried) return false;

    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    {
        StepTimer timer(startupFigures.parentRead);
        scene = importer.ReadFile(path, kSceneImportFlags);
    }
    if (!usableImport(scene)) return false;

    for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[i];
        const unsigned count = mesh->mNumVertices;
        SceneMesh record;

        glGenVertexArrays(1, &record.vertexArray);
        glBindVertexArray(record.vertexArray);
        uploadAttribute(kPositionAttribute, mesh->mVertices, count);
        const bool hasNormals = mesh->HasNormals() && count > 0;
        if (hasNormals) uploadAttribute(kNormalAttribute, mesh->mNormals, count);
        if (mesh->HasTextureCoords(0) && count > 0) {
            uploadAttribute(kTexCoordsAttribute, mesh->mTextureCoords[0], count);
        }
        if (hasNormals) {
            // Working storage only: the buffers hold the lasting copy.
            TangentFrames frames;
            {
                StepTimer timer(startupFigures.tangentFrames);
                frames = meshTangentFrames(mesh);
            }
            uploadAttribute(kTangentAttribute, frames.tangents.data(), count);
            uploadAttribute(kBitangentAttribute, frames.bitangents.data(), count);
        }

        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        record.diffuse = materialColor(material, AI_MATKEY_COLOR_DIFFUSE);
        record.ambient = materialColor(material, AI_MATKEY_COLOR_AMBIENT);
        record.specular = materialColor(material, AI_MATKEY_COLOR_SPECULAR);
        if (aiGetMaterialFloatArray(material, AI_MATKEY_SHININESS, &record.shininess, nullptr) != AI_SUCCESS) {
            record.shininess = 0.0f;
        }

        // The colour map decides: without it the other two slots are not asked.
        aiString texturePath;
        record.hasColorTexture = materialTexture(material, aiTextureType_DIFFUSE, texturePath);
        if (record.hasColorTexture) {
            record.colorImage = textureLoader.loadImage(texturePath.C_Str());
            record.colorTexture = createTexture(record.colorImage);
            if (materialTexture(material, aiTextureType_SPECULAR, texturePath)) {
                record.hasNormalTexture = true;
                record.normalImage = textureLoader.loadImage(texturePath.C_Str());
                record.normalTexture = createTexture(record.normalImage);
            }
            if (materialTexture(material, aiTextureType_OPACITY, texturePath)) {
                record.hasHeightTexture = true;
                record.heightImage = textureLoader.loadImage(texturePath.C_Str());
                record.heightTexture = createTexture(record.heightImage);
            }
        }

        record.vertexCount = count;
        meshes.push_back(std::move(record));
    }
    glBindVertexArray(0);

    // A marker without vertices has no mean: the centroid stays at the origin.
    const aiMesh* marker = scene->mMeshes[scene->mNumMeshes - 1];
    if (marker->mNumVertices > 0) centroid = markerCentroid(marker);

    lights.push_back(SceneLight{Vec3{0.1f, 0.1f, 0.1f}, Vec3{0.5f, 0.5f, 0.5f}, Vec3{1.0f, 1.0f, 1.0f}});
    return true;
}
