// A small Collada 1.4.1 writer: the town generator's models and the tests'
// hand-made ones.
//
// Written by hand rather than through an exporter so that the file is the same
// byte for byte on every run (no dates, no generated ids) and so that each part
// of it is exactly what the demo's import expects: one node per mesh in list
// order, one primitive list per mesh, phong materials whose colour map sits in
// the diffuse slot, normal map in the specular slot and height map in the
// transparent slot (which the importer reports as the opacity texture).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "math/vecmath.h"

struct ColladaMaterial {
    std::string name;
    std::optional<Vec3> ambient;  // no entry at all when empty
    Vec3 diffuse, specular;
    std::optional<float> shininess;  // no entry at all when empty
    // Texture paths as written into the file; all empty for a colour-only material.
    std::string colorPath, normalPath, heightPath;
};

// One mesh: its corners in drawing order. Every three corners make a
// triangle, unless polygonSizes splits them into polygons or lines pairs them.
// Normals and texture coordinates are given for every corner or not at all;
// a mesh without them is written without those inputs.
struct ColladaMesh {
    std::string name;
    int material = 0;  // index into the document's materials
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;      // empty, or one per corner
    std::vector<float> uvs;         // empty, or uvWidth values per corner
    int uvWidth = 2;                // 2: u and v; 3: u, v and a third value (the importer's w)
    std::vector<int> polygonSizes;  // non-empty: a polylist of polygons of these sizes
    bool lines = false;             // a line list instead, two corners a line
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
