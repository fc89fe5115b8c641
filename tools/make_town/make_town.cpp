// make_town: writes the demo's two model files and every picture they name.
//
//   make_town <folder>    writes <folder>/scene/main2.DAE, <folder>/scene/StreetScene.DAE
//                         and <folder>/tex/*.png
//
// Everything is generated from fixed seeds, so two runs write the same bytes.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "town_scenes.h"

namespace {

bool writeScene(const SceneModel& model, const std::string& folder, const std::string& fileName) {
    // The importer drops meshes without triangles, which would shift the mesh
    // order that the demo relies on; a generator bug, so stop here.
    for (const SceneModel::Part& part : model.parts) {
        if (part.mesh.corners.empty()) {
            std::cout << fileName << ": mesh " << part.name << " is empty" << std::endl;
            return false;
        }
    }
    if (!writeCollada(folder + "/scene/" + fileName, model.document())) {
        std::cout << "Could not write " << folder << "/scene/" << fileName << std::endl;
        return false;
    }
    for (const TextureRecipe& recipe : model.textures) {
        if (!writeMaterialMaps(folder + "/tex", recipe.name, paintRecipe(recipe), recipe.reliefTexels)) {
            std::cout << "Could not write the maps of " << recipe.name << std::endl;
            return false;
        }
    }
    std::cout << fileName << ": " << model.parts.size() << " meshes, " << model.vertexCount() << " vertices, "
              << model.textures.size() * 3 << " textures" << std::endl;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // An option is never a folder: "--help" would otherwise become one.
    const std::string folder = argc == 2 ? argv[1] : "";
    if (folder.empty() || folder[0] == '-') {
        std::cout << "usage: make_town <output folder>" << std::endl;
        return folder == "--help" || folder == "-h" ? 0 : 2;
    }
    std::error_code error;
    std::filesystem::create_directories(folder + "/scene", error);
    std::filesystem::create_directories(folder + "/tex", error);
    bool ok = writeScene(buildTown(), folder, "main2.DAE") && writeScene(buildStreetCorner(), folder, "StreetScene.DAE");
    return ok ? 0 : 1;
}
