// The street scene: one street corner with two houses, pavements, a lamp and a
// bench, in materials and textures of its own.
#include "town_scenes.h"

SceneModel buildStreetCorner() {
    SceneModel model;
    model.texturePrefix = "C:\\Users\\modeller\\StreetCorner\\textures\\";
    model.originOffset = Vec3{-420.0f, 760.0f, 0.0f};

    auto textured = [&](const char* name, Pattern pattern, std::uint32_t seed, Rgb a, Rgb b, Rgb c, float relief,
                        float specular, float shininess) {
        TextureRecipe r;
        r.name = name;
        r.pattern = pattern;
        r.size = 128;  // the demo loads this scene but never draws it: small pictures serve
        r.seed = seed;
        r.base = a;
        r.second = b;
        r.third = c;
        r.reliefTexels = relief;
        return model.addTexturedMaterial(r, Vec3{0.9f * a.r, 0.9f * a.g, 0.9f * a.b}, Vec3{1, 1, 1},
                                         Vec3{specular, specular, specular}, shininess);
    };
    int brick = textured("corner_brick", Pattern::BrickBay, 61, {0.7f, 0.58f, 0.38f}, {0.78f, 0.75f, 0.7f},
                         {0.12f, 0.14f, 0.13f}, 3.0f, 0.08f, 12.0f);
    int render = textured("corner_render", Pattern::PlasterBay, 62, {0.88f, 0.87f, 0.82f}, {0.45f, 0.12f, 0.1f},
                          {0.7f, 0.7f, 0.68f}, 2.5f, 0.06f, 10.0f);
    int slate = textured("corner_slate", Pattern::Slate, 63, {0.26f, 0.27f, 0.3f}, {}, {}, 3.5f, 0.3f, 40.0f);
    int setts = textured("corner_setts", Pattern::Cobbles, 64, {0.42f, 0.42f, 0.44f}, {0.5f, 0.44f, 0.42f},
                         {0.25f, 0.24f, 0.22f}, 5.0f, 0.25f, 24.0f);
    int flags = textured("corner_flags", Pattern::Paving, 65, {0.58f, 0.57f, 0.55f}, {0.25f, 0.24f, 0.23f}, {}, 3.0f,
                         0.12f, 16.0f);
    int kerbStone = textured("corner_kerb", Pattern::Granite, 66, {0.5f, 0.5f, 0.52f}, {}, {}, 1.5f, 0.2f, 30.0f);
    int oak = textured("corner_oak", Pattern::Planks, 67, {0.36f, 0.24f, 0.15f}, {}, {}, 2.0f, 0.08f, 12.0f);
    int iron = model.addPlainMaterial("iron", Vec3{0.08f, 0.09f, 0.085f}, Vec3{0.08f, 0.09f, 0.085f},
                                      Vec3{0.5f, 0.5f, 0.5f}, 40.0f);
    int glass = model.addPlainMaterial("lamp_glass", Vec3{3.5f, 2.9f, 1.8f}, Vec3{0.95f, 0.85f, 0.6f},
                                       Vec3{1, 1, 1}, 80.0f);
    int marker = model.addPlainMaterial("marker", Vec3{0.5f, 0.5f, 0.5f}, Vec3{0.5f, 0.5f, 0.5f}, Vec3{}, 1.0f);

    // The street: setts, in cells.
    MeshBuilder& ground = model.part("street", setts);
    for (float y = -500.0f; y < 700.0f; y += 150.0f) {
        for (float x = -600.0f; x < 700.0f; x += 150.0f) {
            addFloor(ground, x, y, x + 150.0f, y + 150.0f, 0.0f, UvScale{300.0f, 300.0f, 0.0f, 0.0f});
        }
    }
    // Pavements and kerbs round the corner.
    MeshBuilder& pavement = model.part("pavement", flags);
    MeshBuilder& kerbs = model.part("kerbs", kerbStone);
    UvScale flagUv{150.0f, 150.0f, 0.0f, 0.0f}, kerbUv{60.0f, 60.0f, 0.0f, 0.0f};
    addSlab(pavement, -600.0f, -35.0f, 285.0f, 35.0f, 0.0f, 6.0f, flagUv);
    addSlab(pavement, 215.0f, 35.0f, 285.0f, 700.0f, 0.0f, 6.0f, flagUv);
    addSlab(kerbs, -600.0f, -47.0f, 297.0f, -35.0f, 0.0f, 7.0f, kerbUv);
    addSlab(kerbs, 285.0f, -35.0f, 297.0f, 700.0f, 0.0f, 7.0f, kerbUv);

    BuildingTargets a;
    a.walls = &model.part("walls_brick", brick);
    a.roof = &model.part("roofs", slate);
    a.trim = &model.part("stonework", kerbStone);
    a.door = &model.part("doors", oak);
    a.iron = &model.part("ironwork", iron);
    a.glass = &model.part("lamp_glass", glass);
    BuildingTargets b = a;
    b.walls = &model.part("walls_render", render);

    // A long brick house along the street, and a rendered corner house turned to the side street.
    BuildingPlan left;
    left.at = Placement{Vec3{-250.0f, 150.0f, 0.0f}, 0.0f};
    left.width = 450.0f;
    left.depth = 250.0f;
    left.storeys = 3;
    left.chimney = true;
    left.lanterns = true;
    left.shared[1] = true;
    addBuilding(a, left);
    BuildingPlan corner;
    corner.at = Placement{Vec3{100.0f, 225.0f, 0.0f}, 1.5707964f};
    corner.width = 400.0f;
    corner.depth = 250.0f;
    corner.storeys = 4;
    corner.roofPitch = 0.9f;
    corner.shared[2] = true;
    addBuilding(b, corner);

    addLampPost(*a.iron, *a.glass, Placement{Vec3{255.0f, -10.0f, 6.0f}, 0.0f});
    addBench(model.part("bench", oak), *a.iron, Placement{Vec3{-420.0f, 0.0f, 6.0f}, 0.0f});

    model.mergeSharedMaterials(model.parts.size());
    addMarker(model.part("centroid_marker", marker), Vec3{0.0f, 0.0f, 0.0f});
    return model;
}
