// Procedural pictures: tileable noise, cell patterns, and the three maps of a material.
//
// A material is painted once as a colour and ONE height field; its colour map,
// normal map and height map are all derived from that, so bumps, shading and
// parallax agree. Row 0 is the top of the picture and is the first row the
// demo's image loader hands to GL (v = 0); every picture tiles seamlessly.
//
// The normal map is in tangent space: red points along +u (to the right in
// the picture) and green along the bitangent, which for the demo's tangent
// frames is towards decreasing v (up in the picture); the part out of the
// surface follows from those two. Its blue channel is the height map again,
// so that the scene shader reads relief and bend in one lookup.
// The height map is grey: white is high; it is stored small, as only its
// mean is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int size = 0;  // square, a power of two
    std::vector<float> red, green, blue;  // 0..1
    std::vector<float> height;            // 0..1, white is high
    // How much each texel shines when its material gives off light (0..1).
    // The colour map carries it as alpha, and only when some texel shines
    // less than fully; pictures that are all one or all the other stay RGB.
    std::vector<float> glow;
    // How much of the material's specular colour each texel reflects (0..1);
    // the normal map carries it as alpha, again only when it varies.
    std::vector<float> gloss;

    explicit Picture(int size);
    int index(int x, int y) const { return y * size + x; }
    void set(int x, int y, float r, float g, float b, float h, float shine = 1.0f, float shininess = 1.0f);
    bool glowVaries() const;
    bool glossVaries() const;
    float heightAt(int x, int y) const;  // wraps around, as the tiles do
};

// A well-mixed 32-bit hash of a few integers.
std::uint32_t hashInts(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0);
float hashUnit(std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0, std::uint32_t d = 0);  // [0, 1)

// Value noise that repeats every periodX (periodY) lattice steps; x, y in lattice units.
float tiledNoise(float x, float y, int periodX, int periodY, std::uint32_t seed);
// Sum of octaves of tiledNoise over the unit tile (s, t in [0, 1)), period doubling
// from basePeriod; result roughly in [0, 1].
float tiledFbm(float s, float t, int basePeriod, int octaves, std::uint32_t seed);

// The nearest two of a jittered grid of n × n points over the unit tile, wrapping.
struct CellHit {
    float nearest = 0.0f, second = 0.0f;  // distances in tile units
    int cellX = 0, cellY = 0;             // the nearest point's cell
    float offsetX = 0.0f, offsetY = 0.0f; // pixel minus nearest point, tile units
};
CellHit nearestCells(float s, float t, int n, float jitter, std::uint32_t seed);

float clamp01(float v);
float smoothstep(float edge0, float edge1, float v);
float mix(float a, float b, float t);

// The height map's size: only its mean is ever read.
constexpr int kHeightMapSize = 16;

// Writes name_color.png, name_normal.png and name_height.png into folder;
// the height map halved down to kHeightMapSize.
// reliefTexels: how many texels of surface a full step from black to white in
// the height field stands for; larger gives steeper normals.
bool writeMaterialMaps(const std::string& folder, const std::string& name, const Picture& picture,
                       float reliefTexels);

// RGB, RGBA or grey 8-bit PNG, rows top first, stored without compression.
bool savePng(const std::string& path, int size, int channels, const std::vector<std::uint8_t>& bytes);
