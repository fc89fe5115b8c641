// libFuzzer target: model-file bytes through the whole scene import, minus GL.
//
// The bytes go to Assimp exactly as Scene::loadScene hands a file to it (the
// same flags, a ".DAE" name, so the same importers are tried in the same
// order). Then everything loadScene reads of the imported scene is read the
// way it reads it: the acceptance test, every mesh but the last with its
// position, normal and coordinate arrays (all vertexCount × 12 bytes, as the
// uploads copy them), the tangent frames of meshes with normals, the material
// colours, shininess and the three texture slots with their file names, and
// the centroid of the last mesh. Only the GL calls themselves are missing:
// what would be uploaded is summed instead, so ASan sees every byte read.
//
// Must hold: no crash, no sanitizer report, the tangent arrays one entry per
// vertex, a finite centroid for a marker with finite positions.
#include <assimp/material.h>
#include <assimp/mesh.h>
#include <assimp/scene.h>

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/scene.h"
#include "import/tangent_frames.h"
#include "import/texture_loader.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "scene import: %s\n", what);
    std::abort();
}

// What an upload of vertexCount × 12 bytes from data would read.
volatile float sink = 0.0f;
void readLikeUpload(const aiVector3D* data, unsigned count) {
    if (count == 0) return;
    if (data == nullptr) fail("an array the upload would read is missing");
    float sum = 0.0f;
    for (unsigned v = 0; v < count; ++v) sum += data[v].x + data[v].y + data[v].z;
    sink = sink + sum;
}

void readColor(const aiMaterial* material, const char* key, unsigned type, unsigned index) {
    aiColor4D color;
    if (aiGetMaterialColor(material, key, type, index, &color) == AI_SUCCESS) sink = sink + color.r + color.g + color.b;
}

void readTexture(const aiMaterial* material, aiTextureType type) {
    aiString path;
    if (aiGetMaterialTexture(material, type, 0, &path) != AI_SUCCESS) return;
    const std::string name = textureFileName(path.C_Str());
    if (name.compare(0, 4, "tex/") != 0) fail("texture name outside tex/");
}

// Assimp reserves memory for as many elements as a count attribute claims,
// before it reads them: a 4 KB file with count="536870912" costs 2 GiB and many
// seconds (found by this target). That is Assimp taking the file at its word,
// known and reported; inputs that claim more than ten million are left out so
// that the pass goes on looking for faults of another kind.
bool claimsHugeCount(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = text.find("count=\""); at != std::string::npos; at = text.find("count=\"", at + 1)) {
        std::size_t digits = 0;
        while (at + 7 + digits < text.size() && std::isdigit(static_cast<unsigned char>(text[at + 7 + digits]))) ++digits;
        if (digits > 7) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (claimsHugeCount(data, size)) return 0;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(data, size, kSceneImportFlags, "DAE");
    if (!usableImport(scene)) return 0;  // a failed load: "Scenes could not be loaded!"
    if (scene->mMeshes == nullptr) fail("meshes counted but not there");

    for (unsigned i = 0; i + 1 < scene->mNumMeshes; ++i) {
        const aiMesh* mesh = scene->mMeshes[i];
        const unsigned count = mesh->mNumVertices;
        readLikeUpload(mesh->mVertices, count);
        const bool hasNormals = mesh->HasNormals() && count > 0;
        if (hasNormals) readLikeUpload(mesh->mNormals, count);
        if (mesh->HasTextureCoords(0) && count > 0) readLikeUpload(mesh->mTextureCoords[0], count);
        if (hasNormals) {
            const TangentFrames frames = meshTangentFrames(mesh);
            if (frames.tangents.size() != count || frames.bitangents.size() != count) {
                fail("tangent arrays not one entry per vertex");
            }
            readLikeUpload(reinterpret_cast<const aiVector3D*>(frames.tangents.data()), count);
            readLikeUpload(reinterpret_cast<const aiVector3D*>(frames.bitangents.data()), count);
        }

        if (mesh->mMaterialIndex >= scene->mNumMaterials) fail("material index outside the material array");
        const aiMaterial* material = scene->mMaterials[mesh->mMaterialIndex];
        readColor(material, AI_MATKEY_COLOR_DIFFUSE);
        readColor(material, AI_MATKEY_COLOR_AMBIENT);
        readColor(material, AI_MATKEY_COLOR_SPECULAR);
        float shininess = 0.0f;
        if (aiGetMaterialFloatArray(material, AI_MATKEY_SHININESS, &shininess, nullptr) == AI_SUCCESS) {
            sink = sink + shininess;
        }
        aiString colorPath;
        if (aiGetMaterialTexture(material, aiTextureType_DIFFUSE, 0, &colorPath) == AI_SUCCESS) {
            readTexture(material, aiTextureType_DIFFUSE);
            readTexture(material, aiTextureType_SPECULAR);
            readTexture(material, aiTextureType_OPACITY);
        }
    }

    // The centroid, by loadScene's own computation.
    const aiMesh* marker = scene->mMeshes[scene->mNumMeshes - 1];
    if (marker->mNumVertices > 0) {
        readLikeUpload(marker->mVertices, marker->mNumVertices);
        bool finite = true;
        for (unsigned v = 0; v < marker->mNumVertices; ++v) {
            const aiVector3D& p = marker->mVertices[v];
            finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
                     std::fabs(p.x) < 1e30f && std::fabs(p.y) < 1e30f && std::fabs(p.z) < 1e30f;
        }
        const Vec3 centroid = markerCentroid(marker);
        if (finite && marker->mNumVertices < 1000000 &&
            !(std::isfinite(centroid.x) && std::isfinite(centroid.y) && std::isfinite(centroid.z))) {
            fail("finite marker positions gave a non-finite centroid");
        }
    }
    return 0;
}
