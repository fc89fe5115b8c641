// The materials of the five sculptures: metal, stone and the things that glow.
//
// The glowing materials (crystal, flame, leaded glass, the sun, the dial) are
// painted like any other picture: the demo multiplies the colour map by the
// material's ambient colour to get the light they give off, so the picture's
// veils, tongues and panes are what keeps a glow from being a flat shape.
#include <cmath>

#include "pattern_kit.h"

namespace {

const float kPi = 3.1415927f;

// Distance from p to the segment a-b, in the same units.
float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    float dx = bx - ax, dy = by - ay;
    float t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

// Distance from (u, w) to a Roman numeral drawn with its baseline centre at
// the origin, w up, letters `height` tall.
float numeralDistance(float u, float w, const char* letters, float height) {
    const float narrow = 0.22f * height, wide = 0.62f * height, gap = 0.16f * height;
    float total = 0.0f;
    for (const char* c = letters; *c; ++c) total += (*c == 'I' ? narrow : wide) + (c[1] ? gap : 0.0f);
    float x = -0.5f * total, best = 1e9f;
    for (const char* c = letters; *c; ++c) {
        float width = *c == 'I' ? narrow : wide;
        float mid = x + 0.5f * width, half = 0.5f * width - 0.06f * height;
        float top = height, bottom = 0.0f;
        if (*c == 'I') {
            best = std::fmin(best, segmentDistance(u, w, mid, bottom, mid, top));
        } else if (*c == 'V') {
            best = std::fmin(best, segmentDistance(u, w, mid - half, top, mid, bottom));
            best = std::fmin(best, segmentDistance(u, w, mid, bottom, mid + half, top));
        } else {  // X
            best = std::fmin(best, segmentDistance(u, w, mid - half, top, mid + half, bottom));
            best = std::fmin(best, segmentDistance(u, w, mid - half, bottom, mid + half, top));
        }
        x += width + gap;
    }
    return best;
}

}  // namespace

// Cast and hammered bronze: shallow dimples left by the hammer, warm metal
// brighter on the high spots, and green patina settled in the hollows.
Texel bronze(float s, float t, const TextureRecipe& R, float /*px*/) {
    const int n = 14;
    CellHit hit = nearestCells(s, t, n, 0.8f, R.seed);
    float rim = smoothstep(0.0f, 0.55f, hit.nearest * n);  // 0 at a dimple's deepest point
    float grain = tiledFbm(s, t, 64, 3, R.seed + 1);
    float drift = tiledFbm(s, t, 4, 5, R.seed + 2);
    float h = 0.3f + 0.5f * std::sqrt(rim) + 0.08f * (grain - 0.5f);
    Rgb metal = blend(tint(R.base, 0.8f), tint(R.base, 1.3f), h);
    float patina = smoothstep(0.45f, 0.75f, 0.7f * drift + 0.5f * (1.0f - h));
    return texel(blend(metal, R.second, 0.8f * patina), 0.92f + 0.12f * grain, h);
}

// Polished marble: soft clouds and two families of thin grey veins.
Texel marble(float s, float t, const TextureRecipe& R, float /*px*/) {
    float warp = tiledFbm(s, t, 4, 5, R.seed);
    float warp2 = tiledFbm(s, t, 6, 4, R.seed + 1);
    float cloud = tiledFbm(s, t, 8, 4, R.seed + 2);
    float a = std::fabs(std::sin((2.0f * s + t + 2.5f * warp) * kPi));
    float b = std::fabs(std::sin((-s + 3.0f * t + 2.0f * warp2) * kPi));
    float vein = std::fmax(1.0f - smoothstep(0.0f, 0.07f, a), 0.6f * (1.0f - smoothstep(0.0f, 0.04f, b)));
    Rgb stone = tint(R.base, 0.93f + 0.1f * cloud);
    return texel(blend(stone, R.second, 0.75f * vein), 1.0f, 0.55f - 0.12f * vein + 0.04f * cloud);
}

// A carved stone panel, one per tile: a raised moulded frame, a sunk field
// with a boss in each corner, and an eight-petalled rosette in the middle.
// Grime gathers in the hollows.
Texel carvedPanel(float s, float t, const TextureRecipe& R, float /*px*/) {
    float chisel = tiledFbm(s, t, 64, 3, R.seed);
    float weather = tiledFbm(s, t, 8, 4, R.seed + 1);
    float edge = std::fmin(std::fmin(s, 1.0f - s), std::fmin(t, 1.0f - t));
    float h;
    if (edge < 0.025f) {
        h = 0.25f;  // the joint between two panels
    } else if (edge < 0.12f) {
        h = 0.55f + 0.35f * std::sin(kPi * (edge - 0.025f) / 0.095f);  // the moulded frame
    } else {
        h = 0.32f;  // the sunk field
        float dx = s - 0.5f, dy = t - 0.5f;
        float r = std::sqrt(dx * dx + dy * dy), angle = std::atan2(dy, dx);
        float petalReach = 0.27f * (0.5f + 0.5f * std::fabs(std::cos(4.0f * angle)));
        if (r < 0.06f) {
            h = 0.95f - 2.0f * r;  // the boss in the rosette's heart
        } else if (r < petalReach) {
            float across = r / petalReach;
            h = 0.4f + 0.42f * std::sqrt(1.0f - across * across) * (0.85f + 0.15f * std::cos(8.0f * angle));
        } else if (r < 0.3f) {
            h = 0.36f;
        }
        for (float cx : {0.2f, 0.8f}) {
            for (float cy : {0.2f, 0.8f}) {
                float d = std::sqrt((s - cx) * (s - cx) + (t - cy) * (t - cy));
                if (d < 0.035f) h = 0.32f + 0.45f * std::sqrt(1.0f - (d / 0.035f) * (d / 0.035f));
            }
        }
    }
    h += 0.05f * (chisel - 0.5f);
    float grime = (1.0f - smoothstep(0.3f, 0.6f, h)) * (0.5f + 0.5f * weather);
    Rgb stone = tint(R.base, 0.9f + 0.15f * weather);
    return texel(blend(stone, R.second, 0.6f * grime), 0.92f + 0.1f * chisel, h);
}

// Clear crystal lit from within: streaky veils along its length, a few
// cloudy inclusions, and fine striations that catch the walking light.
Texel crystal(float s, float t, const TextureRecipe& R, float /*px*/) {
    float veil = tiledNoise(s * 12.0f, t * 2.0f, 12, 2, R.seed) * 0.7f + tiledNoise(s * 24.0f, t * 3.0f, 24, 3, R.seed + 1) * 0.3f;
    CellHit hit = nearestCells(s, t, 6, 0.9f, R.seed + 2);
    float inclusion = 1.0f - smoothstep(0.05f, 0.12f, hit.nearest);
    Rgb c = blend(R.base, R.second, smoothstep(0.45f, 0.85f, veil));
    c = blend(c, R.third, 0.7f * inclusion * hashUnit(static_cast<std::uint32_t>(hit.cellX), static_cast<std::uint32_t>(hit.cellY), R.seed));
    float striation = 0.5f + 0.5f * std::sin(s * 40.0f * kPi);
    return texel(c, 0.9f + 0.15f * veil, 0.45f + 0.1f * striation);
}

// A tongue of flame, tip at the top of the picture (v = 0), root at the
// bottom: white-hot at the root, orange in the body, dark red at the tips,
// with flickering streaks.
Texel flame(float s, float t, const TextureRecipe& R, float /*px*/) {
    float flicker = tiledFbm(s, t, 4, 4, R.seed) - 0.5f;
    float streak = tiledNoise(s * 10.0f, t * 2.0f, 10, 2, R.seed + 1) - 0.5f;
    float heat = t + 0.35f * flicker + 0.15f * streak;
    Rgb c;
    if (heat > 0.72f) {
        c = blend(R.second, R.base, smoothstep(0.72f, 0.98f, heat));
    } else if (heat > 0.32f) {
        c = blend(R.third, R.second, smoothstep(0.32f, 0.72f, heat));
    } else {
        c = tint(R.third, 0.35f + 0.65f * smoothstep(0.0f, 0.32f, heat));
    }
    return texel(c, 1.0f, 0.5f);
}

// Diamond panes of amber glass in lead, lit by a flame behind them: each pane
// a little different, brighter low down where the flame is.
Texel leadedGlass(float s, float t, const TextureRecipe& R, float /*px*/) {
    float a = 2.0f * (s + t), b = 2.0f * (s - t);
    float la = std::fabs(frac(a) - 0.5f), lb = std::fabs(frac(b) - 0.5f);
    float lead = std::fmax(la, lb);  // 0.5 on a came
    if (lead > 0.46f) return texel(R.second, 0.9f + 0.2f * (lead - 0.46f) / 0.04f, 0.85f);
    // Pane ids that repeat with the tile (a and b shift by 2 per tile).
    int ka = static_cast<int>(std::floor(a)), kb = static_cast<int>(std::floor(b));
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(((ka + kb) % 4 + 4) % 4),
                                static_cast<std::uint32_t>(((ka - kb) % 4 + 4) % 4), R.seed);
    float seeds = tiledNoise(s * 48.0f, t * 48.0f, 48, 48, R.seed + 1);
    float warmth = 0.8f + 0.3f * hashUnit(id, 1) + 0.25f * t;
    return texel(blend(R.base, Rgb{1.0f, 0.85f, 0.55f}, 0.3f * hashUnit(id, 2)), warmth * (0.94f + 0.08f * seeds),
                 0.45f + 0.05f * seeds);
}

// A small sun of hammered gold: bright granules parted by darker lanes.
Texel sunSurface(float s, float t, const TextureRecipe& R, float /*px*/) {
    const int n = 16;
    CellHit hit = nearestCells(s, t, n, 0.85f, R.seed);
    float lane = smoothstep(0.0f, 0.12f, (hit.second - hit.nearest) * n);
    float core = 1.0f - smoothstep(0.0f, 0.5f, hit.nearest * n);
    float drift = tiledFbm(s, t, 3, 4, R.seed + 1);
    Rgb c = blend(R.third, blend(R.base, R.second, core), lane);
    return texel(c, 0.9f + 0.2f * drift, 0.3f + 0.4f * lane + 0.25f * core);
}

// An enamel clock dial filling the tile: a bronze bezel, a chapter ring of
// minute ticks, Roman hours read from the middle, and a boss for the hands.
Texel clockDial(float s, float t, const TextureRecipe& R, float /*px*/) {
    static const char* const kHours[12] = {"XII", "I", "II", "III", "IIII", "V",
                                           "VI", "VII", "VIII", "IX", "X", "XI"};
    float x = s - 0.5f, y = 0.5f - t;  // y up
    float r = std::sqrt(x * x + y * y);
    float angle = std::atan2(x, y);  // clockwise from twelve o'clock
    if (angle < 0.0f) angle += 2.0f * kPi;
    float sheen = tiledFbm(s, t, 16, 3, R.seed);
    if (r > 0.455f) {
        float across = (r - 0.455f) / 0.045f;
        return texel(R.third, 0.85f + 0.25f * sheen, 0.55f + 0.35f * std::sin(kPi * std::fmin(across, 1.0f)));
    }
    if (r < 0.028f) return texel(R.third, 1.0f, 0.9f - 6.0f * r);
    // Enamel, faintly turned in rings.
    Texel out = texel(R.base, 0.96f + 0.04f * std::sin(r * 400.0f) + 0.03f * (sheen - 0.5f), 0.5f);
    // The chapter ring: two fine circles with the minute ticks between.
    float ink = 1e9f;
    ink = std::fmin(ink, std::fabs(r - 0.445f) - 0.002f);
    ink = std::fmin(ink, std::fabs(r - 0.395f) - 0.0015f);
    float minute = angle / (2.0f * kPi) * 60.0f;
    float nearestMinute = std::round(minute);
    float arc = std::fabs(minute - nearestMinute) * 2.0f * kPi / 60.0f * r;
    bool hourTick = static_cast<int>(nearestMinute) % 5 == 0;
    if (r > (hourTick ? 0.392f : 0.41f) && r < 0.445f) ink = std::fmin(ink, arc - (hourTick ? 0.0045f : 0.0018f));
    // The numeral of the nearest hour, its foot towards the middle.
    int hour = static_cast<int>(std::round(angle / (2.0f * kPi) * 12.0f)) % 12;
    float ha = hour * 2.0f * kPi / 12.0f;
    float ex = std::sin(ha), ey = std::cos(ha);  // outwards
    float cx = 0.28f * ex, cy = 0.28f * ey;      // the numeral's foot
    float u = (x - cx) * ey - (y - cy) * ex;     // along the numeral, clockwise
    float w = (x - cx) * ex + (y - cy) * ey;     // up the numeral, outwards
    if (r > 0.25f && r < 0.39f) ink = std::fmin(ink, numeralDistance(u, w, kHours[hour], 0.085f) - 0.0055f);
    if (ink < 0.0f) return texel(R.second, 1.0f, 0.35f);
    float soft = smoothstep(0.0f, 0.002f, ink);
    return texel(blend(R.second, Rgb{out.r, out.g, out.b}, soft), 1.0f, 0.35f + 0.15f * soft);
}
