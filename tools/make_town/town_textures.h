// The surface patterns of the town: what each material looks like up close.
//
// A facade picture is one bay of one storey (a window with the wall around it),
// so a wall shows as many windows as it has bays and storeys. The other
// patterns are plain repeating surfaces. Each recipe names its pattern, its
// colours and its seed, so the same pattern serves several materials.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // The sculptures.
    Bronze,       // base: bronze, second: patina
    Marble,       // base: stone, second: veins
    CarvedPanel,  // base: limestone, second: grime in the hollows
    Crystal,      // base: body, second: bright veils, third: inclusions
    Flame,        // base: root, second: body, third: tips
    LeadedGlass,  // base: glass, second: lead
    Sun,          // base: surface, second: bright granules, third: lanes
    ClockDial,    // base: enamel, second: numerals, third: chapter ring
    // The night.
    NightSky,     // base: zenith, second: above the horizon, third: horizon glow
    Moon,         // base: highlands, second: seas
    Atlas,        // four recipes in the quarters of one picture (below)
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
    bool glows = true;          // false: no texel shines, whatever the material's ambient
    float gloss = 1.0f;         // share of the material's specular colour this picture reflects
    std::vector<TextureRecipe> quarters;  // Atlas only: top left, top right, bottom left, bottom right
};

// A recipe of a pattern in three colours, the rest as the defaults have it.
inline TextureRecipe recipeOf(Pattern pattern, std::uint32_t seed, Rgb base, Rgb second, Rgb third) {
    TextureRecipe r;
    r.pattern = pattern;
    r.seed = seed;
    r.base = base;
    r.second = second;
    r.third = third;
    return r;
}

Picture paintRecipe(const TextureRecipe& recipe);

// Where the window sits in a facade picture (s to the right, t down, both 0
// to 1 over one bay of one storey): the painter draws it there, and the town
// lays its lit panes over the same glass.
struct WindowOpening {
    float left, top, right, bottom;
    bool arched;    // round head whose apex is at `top`
    float transom;  // height of the horizontal glazing bar
};
WindowOpening windowOpening(Pattern facade);
constexpr float kWindowFrame = 0.022f;  // frame width, in the same units
constexpr float kGlazingBar = 0.007f;   // half the width of a glazing bar

// An atlas holds four pictures in its quarters, so that one mesh (one
// material) can be stone in one place, bronze in another and glow in a
// third. Each quarter's pattern carries on into a margin around it, so that
// filtering at a quarter's edge still reads the same picture.
constexpr float kAtlasMargin = 1.0f / 64.0f;  // of the whole atlas
constexpr float kAtlasQuarterTile = 0.5f - 2.0f * kAtlasMargin;

// Where a point (u, v) of the unit tile of quarter q (0..3) lies in the atlas.
inline float atlasU(int q, float u) { return 0.5f * (q % 2) + kAtlasMargin + kAtlasQuarterTile * u; }
inline float atlasV(int q, float v) { return 0.5f * (q / 2) + kAtlasMargin + kAtlasQuarterTile * v; }
