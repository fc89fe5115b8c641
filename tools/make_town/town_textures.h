// The surface patterns of the town: what each material looks like up close.
//
// A facade picture is one bay of one storey (a window with the wall around it),
// so a wall shows as many windows as it has bays and storeys. The other
// patterns are plain repeating surfaces. Each recipe names its pattern, its
// colours and its seed, so the same pattern serves several materials.
#pragma once

#include <cstdint>
#include <string>

#include "texture_synth.h"

enum class Pattern {
    BrickBay,    // base: brick, second: mortar, third: window paint
    PlasterBay,  // base: plaster, second: shutters, third: stone surround
    StoneBay,    // base: stone, second: window paint
    RoofTiles,   // base: clay, second: lichen
    Slate,       // base: slate
    Cobbles,     // base: grey stone, second: warm stone, third: joint sand
    Paving,      // base: slab, second: joint
    Granite,     // base: stone
    Planks,      // base: wood
    Door,        // base: paint, second: brass
    Grass,       // base: green, second: dry grass, third: soil
    Bark,        // base: bark
    Leaves,      // base: dark leaf, second: light leaf
};

struct Rgb {
    float r = 0.0f, g = 0.0f, b = 0.0f;
};

struct TextureRecipe {
    std::string name;  // file names are name_color.png, name_normal.png, name_height.png
    Pattern pattern = Pattern::Granite;
    int size = 512;
    std::uint32_t seed = 1;
    Rgb base, second, third;
    float reliefTexels = 2.0f;  // steepness of the normal map
};

Picture paintRecipe(const TextureRecipe& recipe);
