// Small models made by hand for the tests, written by the same Collada writer
// as the town generator's: every mesh with a material of its own.
#pragma once

#include <string>
#include <vector>

#include "collada_writer.h"

// One mesh of a test model and its material; testModel gives both their
// names and ties them together.
struct TestMesh {
    ColladaMesh geometry;
    ColladaMaterial material;
};

// The Collada text of a model made of these meshes, in this order.
std::string testModel(const std::vector<TestMesh>& meshes);

// The centroid marker every model ends with: one quad, a polylist of
// positions only, whose corners average to (1, 2, 1.5).
TestMesh markerMesh();
