// The night over the town: the sky dome's picture and the moon's face.
//
// Both shine on their own (the demo multiplies them by their material's
// ambient colour), so they are painted as light: the colours below are linear
// radiance, turned into sRGB bytes only when stored.
#include <cmath>

#include "pattern_kit.h"

namespace {

const float kPi = 3.1415927f;

// Linear radiance to the 0..1 sRGB value a colour map stores.
float encode(float linear) {
    linear = linear < 0.0f ? 0.0f : linear;
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

Rgb encode(Rgb c) { return Rgb{encode(c.r), encode(c.g), encode(c.b)}; }

Rgb add(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }

}  // namespace

// The dome's picture: one sixth of the sky around (the dome repeats it six
// times, so stars stay sharp), from the zenith in the top row down to 25
// degrees below the horizon in the last. The recipe's colours are the sky's
// radiance at the zenith, at mid height and in the glow along the horizon;
// below the horizon the sky takes the colour of the haze that the demo lays
// over the distant land, so that the two meet without a seam.
Texel nightSky(float s, float t, const TextureRecipe& R, float px) {
    const Rgb haze{0.022f, 0.027f, 0.042f};  // the demo's haze colour
    float elevation = 90.0f - 115.0f * t;    // degrees
    Rgb c;
    if (elevation > 25.0f) {
        c = blend(R.second, R.base, smoothstep(25.0f, 70.0f, elevation));
    } else if (elevation > 0.0f) {
        c = blend(R.third, R.second, std::pow(smoothstep(0.0f, 25.0f, elevation), 0.6f));
    } else {
        c = blend(R.third, haze, smoothstep(0.0f, -3.0f, elevation));
    }
    // Stars: one at most per cell, most of them faint, fading into the glow
    // near the horizon. Distances are measured in degrees of sky, so the stars
    // come out round although a texel is twice as tall as it is wide.
    if (elevation > 1.0f) {
        const int n = 44;
        CellHit hit = nearestCells(s, t, n, 0.8f, R.seed);
        std::uint32_t id = hashInts(static_cast<std::uint32_t>(hit.cellX), static_cast<std::uint32_t>(hit.cellY), R.seed);
        if (hashUnit(id, 1) < 0.4f) {
            float dx = hit.offsetX * 60.0f * std::cos(elevation * kPi / 180.0f), dy = hit.offsetY * 115.0f;
            float d2 = dx * dx + dy * dy;
            const float sigma = 0.045f;  // degrees: a star's blur, about a pixel on screen
            float brightness = 0.05f + 1.6f * std::pow(hashUnit(id, 2), 6.0f);
            float fade = smoothstep(1.0f, 12.0f, elevation);
            float k = brightness * fade * std::exp(-d2 / (2.0f * sigma * sigma));
            float warmth = hashUnit(id, 3);
            c = add(c, Rgb{k * (0.85f + 0.25f * warmth), k * (0.9f + 0.05f * warmth), k * (1.1f - 0.25f * warmth)});
        }
    }
    // Half a step of noise, so the dark gradient does not band in 8 bits.
    Rgb stored = encode(c);
    float noise = (hashUnit(static_cast<std::uint32_t>(s / px), static_cast<std::uint32_t>(t / px), R.seed + 9) - 0.5f) / 255.0f;
    return texel(Rgb{stored.r + noise, stored.g + noise, stored.b + noise}, 1.0f, 0.5f);
}

// The full moon filling the tile: bright highlands, darker seas, a few
// rayed craters, and a little darkening towards the rim.
Texel moonFace(float s, float t, const TextureRecipe& R, float /*px*/) {
    float x = s - 0.5f, y = t - 0.5f;
    float r = std::sqrt(x * x + y * y) / 0.5f;
    if (r >= 1.0f) return texel(R.second, 0.3f, 0.5f);
    float seas = smoothstep(0.5f, 0.62f, tiledFbm(s, t, 3, 5, R.seed));
    CellHit hit = nearestCells(s, t, 9, 0.8f, R.seed + 1);
    float crater = hit.nearest * 9.0f;  // 0 at a crater's centre
    float rim = std::exp(-std::pow((crater - 0.22f) / 0.05f, 2.0f));
    float floor = 1.0f - smoothstep(0.15f, 0.22f, crater);
    Rgb c = blend(R.base, R.second, 0.85f * seas);
    c = tint(c, (1.0f + 0.25f * rim - 0.1f * floor) * (0.8f + 0.2f * std::sqrt(1.0f - r * r)));
    return texel(encode(c), 1.0f, 0.5f + 0.3f * rim - 0.2f * floor);
}
