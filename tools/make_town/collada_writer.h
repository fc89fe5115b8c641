// A small Collada 1.4.1 writer for the generated models.
//
// Written by hand rather than through an exporter so that the file is the same
// byte for byte on every run (no dates, no generated ids) and so that each part
// of it is exactly what the demo's import expects: one node per mesh in list
// order, one triangle list per mesh, phong materials whose colour map sits in
// the diffuse slot, normal map in the specular slot and height map in the
// transparent slot (which the importer reports as the opacity texture).
#pragma once

#include <string>
#include <vector>

#include "math/vecmath.h"
#include "mesh_builder.h"

struct ColladaMaterial {
    std::string name;
    Vec3 ambient, diffuse, specular;
    float shininess = 0.0f;
    // Texture paths as written into the file; all empty for a colour-only material.
    std::string colorPath, normalPath, heightPath;
};

struct ColladaMesh {
    std::string name;
    int material = 0;  // index into the document's materials
    const MeshBuilder* mesh = nullptr;
};

struct ColladaDocument {
    std::string authoringTool;
    float metersPerUnit = 1.0f;
    std::vector<ColladaMaterial> materials;
    std::vector<ColladaMesh> meshes;  // file order
};

// Shortest decimal text that reads back as exactly the same float.
std::string formatFloat(float value);

std::string colladaText(const ColladaDocument& document);
bool writeCollada(const std::string& path, const ColladaDocument& document);
