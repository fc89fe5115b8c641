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

// The night's light, recorded while the pieces are placed: every lamp and
// lantern, and the footing of everything that stands on the ground.
// bakeNightLight turns it into each corner's third texture coordinate (w),
// which the scene shader reads as light that falls there: above 0 the warm
// light of the lamps around, below 0 the shade at the foot of something
// standing close by (-1 would be black).
struct LampLight {
    Vec3 position;   // the middle of the lamp's glass
    float strength;  // twice the w of a surface facing it from `near` away
    float near;      // the light has halved at this distance
    float reach;     // and is gone at this one
    float downward;  // how the lamp's shade throws its light down: the cosine from straight down to this power
};
// What a footing's shade falls on.
enum class Shading {
    kAround,    // whatever is near: the ground round it (cut finer for it) and itself
    kWallFoot,  // the foot of a house: only the pavement and plinth, which are cut to follow it
    kItself,    // only what stands there, not the ground (a tree far out in the fields)
};
struct Footing {
    Vec3 a, b;       // a capsule in plan from a to b, standing at height a.z
    float radius;    // of the capsule
    float shade;     // how far the shade reaches beyond it and up it
    Shading shading;
};
struct NightLighting {
    std::vector<LampLight> lamps;
    std::vector<Footing> footings;
};
// The walking lamp's own body carries this w: the scene's vertex shader moves
// it to the light's position every frame.
constexpr float kRidesWithLight = 1000.0f;

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
    NightLighting night;                  // what bakeNightLight bakes

    // A colour-mapped material whose three maps are painted from `recipe`.
    int addTexturedMaterial(const TextureRecipe& recipe, Vec3 ambient, Vec3 diffuse, Vec3 specular, float shininess);
    int addPlainMaterial(const std::string& name, Vec3 ambient, Vec3 diffuse, Vec3 specular, float shininess);

    // The part with this name, created (at the end of the file order) on first use;
    // the reference stays valid as parts are added, until mergeSharedMaterials.
    MeshBuilder& part(const std::string& name, int material);

    // Parts [0, endPart) that share a material become one part, at the place
    // of the first of them, the later ones' triangles after its own. Each part
    // the demo loads decodes and uploads its three pictures again, so parts
    // that differ in nothing the renderer sees are one load, not several.
    // It moves every part: references from part() do not hold afterwards, and
    // a merged part's name is gone.
    void mergeSharedMaterials(std::size_t endPart);

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
    std::uint32_t seed = 0;  // which windows are lit, and how
    Pattern facade = Pattern::PlasterBay;  // where the windows sit in the facade picture
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
    MeshBuilder* litWindows = nullptr;  // panes of light over some windows; none when null
    NightLighting* night = nullptr;     // where the lanterns and the walls' feet are recorded; nowhere when null
};

void addBuilding(const BuildingTargets& into, const BuildingPlan& plan);
// A stone door frame with its door and a step, in a wall whose outside faces local -y.
void addDoorway(const BuildingTargets& into, const Placement& at);

// A lantern on a bracket, fixed to a wall whose outside faces local -y, at the
// wall's origin; returns its light.
LampLight addWallLantern(MeshBuilder& iron, MeshBuilder& glass, const Placement& at, float height);
// A street lamp on a post; returns its light.
LampLight addLampPost(MeshBuilder& iron, MeshBuilder& glass, const Placement& at);
// The foot of a lamp post, for the night's shade.
Footing lampPostFooting(Vec3 base);
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
// Cuts the surfaces that the night's light or shade would otherwise smear
// over big triangles, then gives every corner of parts [firstPart, endPart)
// its w (emitters keep theirs). ownLight adds a light of the parts' own, in
// w (strongest on what faces up): what makes a sculpture stand out of the
// night round it.
void bakeNightLight(SceneModel& model, std::size_t firstPart, std::size_t endPart, float ownLight);

// The centroid marker: a small closed box whose corners average exactly to its centre.
void addMarker(MeshBuilder& mesh, Vec3 centre);
