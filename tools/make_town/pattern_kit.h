// What the painters of the town's patterns share: one texel of colour and
// height, a few colour helpers, and the painters that live outside
// town_textures.cpp (the sculptures' materials and the night sky).
//
// A painter gets the texel's centre (s, t) in the unit tile, its recipe and
// the size of one texel in tile units, and returns colour (sRGB, 0..1) and
// height (0..1, white is high).
#pragma once

#include <cmath>

#include "town_textures.h"

struct Texel {
    float r = 0.0f, g = 0.0f, b = 0.0f, h = 0.0f;
    float glow = 1.0f;  // how much of the material's own light this texel gives off
};

inline Texel texel(Rgb c, float scale, float h) { return Texel{c.r * scale, c.g * scale, c.b * scale, h, 1.0f}; }

inline Rgb tint(Rgb c, float k) { return Rgb{c.r * k, c.g * k, c.b * k}; }

inline Rgb blend(Rgb a, Rgb b, float t) { return Rgb{mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }

inline float frac(float v) { return v - std::floor(v); }

// Distance (in tile units) from the point to the nearest edge of a rectangle; negative outside.
inline float insideRect(float s, float t, float left, float top, float right, float bottom) {
    float d = s - left;
    d = std::fmin(d, right - s);
    d = std::fmin(d, t - top);
    d = std::fmin(d, bottom - t);
    return d;
}

// The sculptures' materials (piece_textures.cpp).
Texel bronze(float s, float t, const TextureRecipe& R, float px);
Texel marble(float s, float t, const TextureRecipe& R, float px);
Texel carvedPanel(float s, float t, const TextureRecipe& R, float px);
Texel crystal(float s, float t, const TextureRecipe& R, float px);
Texel flame(float s, float t, const TextureRecipe& R, float px);
Texel leadedGlass(float s, float t, const TextureRecipe& R, float px);
Texel sunSurface(float s, float t, const TextureRecipe& R, float px);
Texel clockDial(float s, float t, const TextureRecipe& R, float px);

// The night (sky_textures.cpp).
Texel nightSky(float s, float t, const TextureRecipe& R, float px);
Texel moonFace(float s, float t, const TextureRecipe& R, float px);
