// A model being assembled: its materials, the pictures they name, and its
// meshes in file order, plus the pieces both generated scenes are built from.
//
// Geometry is built in world units (1 unit is about 2 cm, a storey is 150 high,
// z is up, the ground is z = 0) and shifted by the model's origin offset only
// when it is written, the way a modelling tool keeps its scene off-centre.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "collada_writer.h"
#include "mesh_builder.h"
#include "town_textures.h"

const float kStorey = 150.0f;  // one storey, and the height of one facade picture
const float kBay = 150.0f;     // the width of one facade picture (one window)

struct SceneModel {
    struct Part {
        std::string name;
        int material = 0;
        MeshBuilder mesh;
    };

    std::string texturePrefix;  // folder part of every texture path in the file, ends in a backslash
    std::vector<ColladaMaterial> materials;
    std::vector<TextureRecipe> textures;  // one recipe per textured material
    std::deque<Part> parts;  // file order; a deque, so that references to parts stay valid as parts are added
    Vec3 originOffset;                    // added to every position on writing; the last part is centred on it

    // A colour-mapped material whose three maps are painted from `recipe`.
    int addTexturedMaterial(const TextureRecipe& recipe, Vec3 ambient, Vec3 diffuse, Vec3 specular, float shininess);
    int addPlainMaterial(const std::string& name, Vec3 ambient, Vec3 diffuse, Vec3 specular, float shininess);

    // The part with this name, created (at the end of the file order) on first use;
    // the reference stays valid for the model's life.
    MeshBuilder& part(const std::string& name, int material);

    // Everything shifted by originOffset, ready for the writer.
    ColladaDocument document() const;
    std::size_t vertexCount() const;
};

// Materials a building is made of.
struct BuildingMaterials {
    int walls = 0, roof = 0, trim = 0, door = 0, iron = 0, glass = 0;
};

// A house: a box of whole storeys with windows on every side, a stone plinth
// and cornice, a hipped roof, a front door and optionally a back door, a
// chimney and lanterns beside the doors. Its own frame has the front facing -y.
struct BuildingPlan {
    Placement at;
    float width = 300.0f, depth = 200.0f;  // along local x (the front) and y
    int storeys = 3;
    float roofPitch = 0.75f;  // rise over half the short side
    bool doorFront = true, doorBack = false;
    bool chimney = false;
    bool lanterns = false;
    // Sides where a neighbour stands (front, right, back, left in the house's
    // frame): the plinth and cornice do not stick out there.
    bool shared[4] = {false, false, false, false};
};

// Parts each kind of piece goes into.
struct BuildingTargets {
    MeshBuilder* walls = nullptr;
    MeshBuilder* roof = nullptr;
    MeshBuilder* trim = nullptr;
    MeshBuilder* door = nullptr;
    MeshBuilder* iron = nullptr;
    MeshBuilder* glass = nullptr;
};

void addBuilding(const BuildingTargets& into, const BuildingPlan& plan);
// A stone door frame with its door and a step, in a wall whose outside faces local -y.
void addDoorway(const BuildingTargets& into, const Placement& at);

// A lantern on a bracket, fixed to a wall whose outside faces local -y, at the wall's origin.
void addWallLantern(MeshBuilder& iron, MeshBuilder& glass, const Placement& at, float height);
// A street lamp on a post.
void addLampPost(MeshBuilder& iron, MeshBuilder& glass, const Placement& at);
// A park bench of wooden slats on iron legs; the sitter faces local -y.
void addBench(MeshBuilder& wood, MeshBuilder& iron, const Placement& at);
// A tree: a trunk and a crown of a few leafy blobs; size scales it. Distant
// trees, only ever seen from far off, get fewer and coarser blobs.
void addTree(MeshBuilder& bark, MeshBuilder& leaves, Vec3 base, float size, unsigned seed, bool distant = false);
// A stone planter with a shrub.
void addPlanter(MeshBuilder& stone, MeshBuilder& soil, MeshBuilder& leaves, Vec3 base, float size);
// A closed rectangular frame of boxes (pavement or kerb) between two rectangles
// around the origin: outer half sizes ox, oy and inner half sizes ix, iy.
void addFrame(MeshBuilder& mesh, float ox, float oy, float ix, float iy, float z0, float z1, const UvScale& uv);
// A box from (x0, y0, z0) to (x1, y1, z1), world-mapped.
void addSlab(MeshBuilder& mesh, float x0, float y0, float x1, float y1, float z0, float z1, const UvScale& uv);
// A ring wall (a basin's rim): outer and inner walls and the top.
void addRingWall(MeshBuilder& mesh, int sides, float rInner, float rOuter, float z0, float z1, const UvScale& uv);
// The centroid marker: a small closed box whose corners average exactly to its centre.
void addMarker(MeshBuilder& mesh, Vec3 centre);
