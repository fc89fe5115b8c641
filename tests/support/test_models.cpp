#include "test_models.h"

std::string testModel(const std::vector<TestMesh>& meshes) {
    ColladaDocument document;
    document.authoringTool = "Tarnwick tests";
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        ColladaMaterial material = meshes[i].material;
        material.name = "material" + std::to_string(i);
        document.materials.push_back(material);
        ColladaMesh mesh = meshes[i].geometry;
        mesh.name = "mesh" + std::to_string(i);
        mesh.material = static_cast<int>(i);
        document.meshes.push_back(mesh);
    }
    return colladaText(document);
}

TestMesh markerMesh() {
    TestMesh marker;
    marker.geometry.positions = {Vec3{0, 0, 0}, Vec3{2, 0, 0}, Vec3{2, 4, 0}, Vec3{0, 4, 6}};
    marker.geometry.polygonSizes = {4};
    return marker;
}
