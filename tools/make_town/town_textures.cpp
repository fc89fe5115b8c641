#include "pattern_kit.h"

#include <cmath>

namespace {

// ---------------------------------------------------------------------------
// Windows, shared by the three facade patterns.

struct WindowShape {
    float left, top, right, bottom;  // the opening
    bool arched;                     // round head whose apex is at `top`
    Rgb paint;                       // frame and glazing bars
    float transom;                   // height of the horizontal bar
};

WindowShape shapeOf(Pattern facade, Rgb paint) {
    WindowOpening o = windowOpening(facade);
    return WindowShape{o.left, o.top, o.right, o.bottom, o.arched, paint, o.transom};
}

// Inside-distance of the opening (arched or square-headed).
float insideOpening(float s, float t, const WindowShape& w) {
    float d = insideRect(s, t, w.left, w.top, w.right, w.bottom);
    if (!w.arched) return d;
    float radius = 0.5f * (w.right - w.left);
    float cx = 0.5f * (w.left + w.right), cy = w.top + radius;
    if (t >= cy) return d;
    float dx = s - cx, dy = t - cy;
    return std::fmin(radius - std::sqrt(dx * dx + dy * dy), insideRect(s, t, w.left, w.top, w.right, w.bottom));
}

// Frame, glazing bars and glass; false outside the opening.
bool paintWindow(float s, float t, const WindowShape& w, std::uint32_t seed, Texel& out) {
    float d = insideOpening(s, t, w);
    if (d < 0.0f) return false;
    const float frame = kWindowFrame, bar = kGlazingBar;
    float mid = 0.5f * (w.left + w.right);
    bool onFrame = d < frame;
    bool onBar = std::fabs(s - mid) < bar || std::fabs(t - w.transom) < bar;
    float grain = 0.92f + 0.08f * tiledFbm(s, t, 32, 3, seed + 7);
    if (onFrame || onBar) {
        float bevel = onFrame ? smoothstep(0.0f, 0.006f, d) * smoothstep(0.0f, 0.006f, frame - d) : 1.0f;
        out = texel(w.paint, grain * (0.85f + 0.15f * bevel), 0.36f + 0.08f * bevel);
        return true;
    }
    // Glass: dark, with the sky's faint reflection brighter at the top of each pane
    // and a diagonal sheen.
    float pane = (t - w.top) / (w.bottom - w.top);
    float sheen = std::exp(-std::pow((s - mid) * 6.0f + (t - w.top) * 3.0f - 1.2f, 2.0f) * 3.0f);
    float k = 0.85f + 0.25f * (1.0f - pane) + 0.35f * sheen;
    Rgb glass{0.09f, 0.12f, 0.16f};
    out = texel(glass, k, 0.10f + 0.02f * (1.0f - pane));
    return true;
}

// The stone sill under a window with its shadow on the wall beneath.
bool paintSill(float s, float t, const WindowShape& w, Rgb stone, std::uint32_t seed, Texel& out, float& shadow) {
    shadow = 1.0f;
    float l = w.left - 0.025f, r = w.right + 0.025f;
    float top = w.bottom, bottom = w.bottom + 0.032f;
    if (s >= l && s <= r && t >= top && t <= bottom) {
        float edge = smoothstep(top, top + 0.008f, t) * (1.0f - smoothstep(bottom - 0.01f, bottom, t));
        float n = 0.9f + 0.1f * tiledFbm(s, t, 64, 3, seed + 11);
        out = texel(stone, n * (0.8f + 0.25f * edge), 0.8f + 0.2f * edge);
        return true;
    }
    if (s >= l && s <= r && t > bottom && t < bottom + 0.02f) shadow = 0.6f + 0.4f * (t - bottom) / 0.02f;
    return false;
}

// ---------------------------------------------------------------------------
// Facades.

Texel brickBay(float s, float t, const TextureRecipe& R, float px) {
    Rgb stone{0.80f, 0.78f, 0.72f};
    WindowShape w = shapeOf(Pattern::BrickBay, R.third);
    Texel out;
    if (paintWindow(s, t, w, R.seed, out)) return out;
    float shadow = 1.0f;
    if (paintSill(s, t, w, stone, R.seed, out, shadow)) return out;

    // Soldier course over the window: upright bricks.
    bool soldier = s > w.left - 0.02f && s < w.right + 0.02f && t > w.top - 0.055f && t < w.top;
    const int rows = 32, perRow = 8;
    float rowF = t * rows;
    int row = static_cast<int>(std::floor(rowF));
    float tr = rowF - row;
    float bs = s * perRow + (row % 2) * 0.5f;
    int bi = static_cast<int>(std::floor(bs));
    float fr = bs - bi;
    float rowPx = 1.0f / (rows * px), brickPx = 1.0f / (perRow * px);
    float dv = std::fmin(tr * rowPx - 1.3f, (1.0f - tr) * rowPx - 1.3f);
    float dh = std::fmin(fr * brickPx - 1.3f, (1.0f - fr) * brickPx - 1.3f);
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(bi % perRow), R.seed);
    if (soldier) {
        float ss = (s - (w.left - 0.02f)) * 44.0f;
        float sf = frac(ss);
        float lt = (t - (w.top - 0.055f)) / 0.055f;
        float wPx = 1.0f / (44.0f * px), hPx = 0.055f / px;
        dh = std::fmin(sf * wPx - 1.2f, (1.0f - sf) * wPx - 1.2f);
        dv = std::fmin(lt * hPx - 1.2f, (1.0f - lt) * hPx - 1.2f);
        id = hashInts(static_cast<std::uint32_t>(std::floor(ss)), 77u, R.seed);
    }
    float d = std::fmin(dv, dh);
    float speck = tiledFbm(s, t, 64, 4, R.seed + 3);
    if (d < 0.0f) {
        float n = 0.85f + 0.15f * tiledFbm(s, t, 128, 2, R.seed + 5);
        return texel(R.second, n * shadow, 0.30f + 0.06f * n);
    }
    float v = 0.78f + 0.34f * hashUnit(id, 1);
    Rgb c = R.base;
    float kind = hashUnit(id, 2);
    if (kind < 0.12f) c = blend(c, Rgb{0.30f, 0.14f, 0.13f}, 0.7f);       // over-burnt
    else if (kind > 0.85f) c = blend(c, Rgb{0.72f, 0.42f, 0.26f}, 0.45f);  // pale
    if (soldier) v *= 0.88f;
    float bevel = smoothstep(0.0f, 2.2f, d);
    float k = v * (0.82f + 0.3f * speck) * (0.8f + 0.2f * bevel) * shadow;
    return texel(c, k, 0.52f + 0.28f * bevel + 0.1f * (speck - 0.5f) + 0.04f * hashUnit(id, 3));
}

Texel plasterBay(float s, float t, const TextureRecipe& R, float /*px*/) {
    Rgb surround = R.third;
    WindowShape w = shapeOf(Pattern::PlasterBay, Rgb{0.92f, 0.91f, 0.87f});
    Texel out;
    if (paintWindow(s, t, w, R.seed, out)) return out;
    float shadow = 1.0f;
    if (paintSill(s, t, w, surround, R.seed, out, shadow)) return out;
    float grain = tiledFbm(s, t, 64, 4, R.seed + 1);
    float blotch = tiledFbm(s, t, 3, 4, R.seed + 2);

    // Stone surround with a keystone.
    float outer = insideRect(s, t, w.left - 0.04f, w.top - 0.04f, w.right + 0.04f, w.bottom);
    bool key = s > 0.47f && s < 0.53f && t > w.top - 0.065f && t < w.top;
    if (outer >= 0.0f || key) {
        float edge = key ? 1.0f : smoothstep(0.0f, 0.006f, outer);
        return texel(surround, (0.86f + 0.14f * grain) * (0.85f + 0.15f * edge), 0.62f + 0.2f * edge + 0.05f * grain);
    }
    // Louvred shutters either side.
    for (float left : {w.left - 0.04f - 0.125f, w.right + 0.04f + 0.005f}) {
        float d = insideRect(s, t, left, w.top, left + 0.12f, w.bottom);
        if (d < 0.0f) continue;
        float wear = 0.85f + 0.15f * tiledFbm(s, t, 48, 3, R.seed + 9);
        if (d < 0.012f) return texel(R.second, wear * 0.95f, 0.55f);
        float slat = frac((t - w.top) / 0.017f);
        float h = 0.32f + 0.22f * slat;
        return texel(R.second, wear * (0.6f + 0.45f * slat), h);
    }
    // Plaster: a raised band along the top of every storey, fine grain, soft stains,
    // and rain streaks below the sills.
    if (t < 0.03f) return texel(tint(R.base, 1.06f), 0.9f + 0.1f * grain, 0.82f + 0.05f * grain);
    if (t < 0.04f) shadow *= 0.72f + 0.28f * (t - 0.03f) / 0.01f;
    float streak = 0.0f;
    if (s > w.left && s < w.right && t > w.bottom + 0.03f) {
        float lines = tiledNoise(s * 96.0f, 0.5f, 96, 1, R.seed + 4);
        streak = 0.12f * lines * (1.0f - smoothstep(w.bottom, 1.0f, t));
    }
    float k = (0.9f + 0.16f * (blotch - 0.5f) * 2.0f) * (0.94f + 0.1f * grain) * (1.0f - streak) * shadow;
    return texel(R.base, k, 0.5f + 0.12f * grain + 0.06f * blotch);
}

Texel stoneBay(float s, float t, const TextureRecipe& R, float px) {
    Rgb stone = R.base;
    WindowShape w = shapeOf(Pattern::StoneBay, R.second);
    Texel out;
    if (paintWindow(s, t, w, R.seed, out)) return out;
    float shadow = 1.0f;
    if (paintSill(s, t, w, tint(stone, 1.1f), R.seed, out, shadow)) return out;
    float chisel = tiledFbm(s, t, 48, 4, R.seed + 1);
    float weather = tiledFbm(s, t, 4, 3, R.seed + 2);

    // Voussoirs round the arch: wedge stones on radial joints.
    float radius = 0.5f * (w.right - w.left);
    float cx = 0.5f * (w.left + w.right), cy = w.top + radius;
    float dx = s - cx, dy = t - cy;
    float rr = std::sqrt(dx * dx + dy * dy);
    if (t < cy && rr < radius + 0.05f) {
        float angle = std::atan2(-dy, dx);  // 0 .. pi over the arch
        float sector = angle / (3.1415927f / 9.0f);
        float joint = std::fabs(frac(sector) - 0.5f) * 2.0f;  // 1 at a joint
        float ring = std::fmin(rr - radius, radius + 0.05f - rr);
        if (joint > 0.9f || ring < px * 1.2f) return texel(tint(stone, 0.55f), 1.0f, 0.35f);
        std::uint32_t id = hashInts(static_cast<std::uint32_t>(sector), 91u, R.seed);
        float bevel = smoothstep(0.0f, 0.01f, ring);
        return texel(tint(stone, 0.95f + 0.15f * hashUnit(id)), 0.85f + 0.2f * chisel, 0.62f + 0.22f * bevel);
    }
    // Ashlar: six courses per storey, two or three blocks each, joints shifted per course.
    const int rows = 6;
    float rowF = t * rows;
    int row = static_cast<int>(std::floor(rowF));
    float tr = rowF - row;
    int blocks = 2 + static_cast<int>(hashUnit(static_cast<std::uint32_t>(row), R.seed, 5) * 2.0f);
    float u = frac(s + hashUnit(static_cast<std::uint32_t>(row), R.seed, 6)) * blocks;
    int bi = static_cast<int>(std::floor(u));
    float fr = u - bi;
    float rowPx = 1.0f / (rows * px), blockPx = 1.0f / (blocks * px);
    float d = std::fmin(std::fmin(tr * rowPx, (1.0f - tr) * rowPx), std::fmin(fr * blockPx, (1.0f - fr) * blockPx)) - 1.0f;
    if (d < 0.0f) return texel(tint(stone, 0.6f), shadow, 0.32f);
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(bi), R.seed);
    float pillow = smoothstep(0.0f, 7.0f, d);
    float k = (0.86f + 0.22f * hashUnit(id, 1)) * (0.84f + 0.22f * chisel) * (0.9f + 0.15f * (weather - 0.5f)) * shadow;
    Rgb c = blend(stone, Rgb{0.62f, 0.55f, 0.47f}, hashUnit(id, 2) * 0.5f);
    return texel(c, k * (0.85f + 0.15f * pillow), 0.45f + 0.35f * pillow + 0.12f * (chisel - 0.5f));
}

// ---------------------------------------------------------------------------
// Roofs: rows of overlapping pieces; each row lies on the one below it, so a
// piece rises towards its lower edge and sits in shadow just under the row above.

Texel roofTiles(float s, float t, const TextureRecipe& R, float px) {
    const int rows = 10, perRow = 8;
    float rowF = t * rows;
    int row = static_cast<int>(std::floor(rowF));
    float tr = rowF - row;
    float ts = s * perRow + (row % 2) * 0.5f;
    int ti = static_cast<int>(std::floor(ts));
    float fs = ts - ti;
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(ti % perRow), R.seed);
    float across = 2.0f * fs - 1.0f;
    float barrel = 1.0f - across * across;
    float gapPx = std::fmin(fs, 1.0f - fs) / (perRow * px);
    float lichen = smoothstep(0.62f, 0.75f, tiledFbm(s, t, 8, 4, R.seed + 3));
    float grain = tiledFbm(s, t, 64, 3, R.seed + 4);
    if (gapPx < 1.2f) return texel(tint(R.base, 0.3f), 1.0f, 0.12f + 0.3f * tr);
    float shade = 0.5f + 0.5f * smoothstep(0.0f, 0.3f, tr);
    Rgb c = blend(R.base, Rgb{0.45f, 0.2f, 0.13f}, hashUnit(id, 1) * 0.6f);
    c = blend(c, R.second, lichen * 0.6f);
    float k = (0.8f + 0.35f * hashUnit(id, 2)) * (0.85f + 0.2f * grain) * shade * (0.85f + 0.15f * barrel);
    return texel(c, k, 0.15f + 0.6f * tr + 0.18f * barrel + 0.05f * grain);
}

Texel slate(float s, float t, const TextureRecipe& R, float px) {
    const int rows = 12, perRow = 6;
    float rowF = t * rows;
    int row = static_cast<int>(std::floor(rowF));
    float tr = rowF - row;
    float ts = s * perRow + (row % 2) * 0.5f;
    int ti = static_cast<int>(std::floor(ts));
    float fs = ts - ti;
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(ti % perRow), R.seed);
    float gapPx = std::fmin(fs, 1.0f - fs) / (perRow * px);
    float streak = tiledNoise(s * 128.0f, t * 8.0f, 128, 8, R.seed + 2);
    if (gapPx < 1.0f) return texel(tint(R.base, 0.35f), 1.0f, 0.1f + 0.3f * tr);
    float shade = 0.55f + 0.45f * smoothstep(0.0f, 0.25f, tr);
    Rgb c = blend(R.base, Rgb{0.34f, 0.3f, 0.36f}, hashUnit(id, 1));
    float k = (0.8f + 0.35f * hashUnit(id, 2)) * (0.88f + 0.18f * streak) * shade;
    return texel(c, k, 0.12f + 0.62f * tr + 0.06f * streak + 0.05f * hashUnit(id, 3));
}

// ---------------------------------------------------------------------------
// Ground.

Texel cobbles(float s, float t, const TextureRecipe& R, float /*px*/) {
    const int n = 34;
    CellHit hit = nearestCells(s, t, n, 0.75f, R.seed);
    float edge = (hit.second - hit.nearest) * n;  // ~0 on the joint between two stones
    float speck = tiledFbm(s, t, 128, 3, R.seed + 1);
    float dirt = tiledFbm(s, t, 6, 4, R.seed + 2);
    if (edge < 0.07f) {
        return texel(R.third, 0.8f + 0.3f * speck, 0.04f + 0.2f * edge);
    }
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(hit.cellX), static_cast<std::uint32_t>(hit.cellY), R.seed);
    float dome = std::sqrt(smoothstep(0.07f, 0.5f, edge));
    Rgb c = hashUnit(id, 1) < 0.22f ? R.second : R.base;
    float k = (0.72f + 0.45f * hashUnit(id, 2)) * (0.8f + 0.3f * speck) * (0.8f + 0.25f * dome) *
              (0.85f + 0.2f * (dirt - 0.5f));
    return texel(c, k, 0.15f + 0.7f * dome + 0.06f * speck);
}

Texel paving(float s, float t, const TextureRecipe& R, float px) {
    const int rows = 3;
    float rowF = t * rows;
    int row = static_cast<int>(std::floor(rowF));
    float tr = rowF - row;
    int slabs = 2 + static_cast<int>(hashUnit(static_cast<std::uint32_t>(row), R.seed, 1) * 2.0f);
    float u = frac(s + hashUnit(static_cast<std::uint32_t>(row), R.seed, 2)) * slabs;
    int si = static_cast<int>(std::floor(u));
    float fr = u - si;
    float rowPx = 1.0f / (rows * px), slabPx = 1.0f / (slabs * px);
    float d = std::fmin(std::fmin(tr * rowPx, (1.0f - tr) * rowPx), std::fmin(fr * slabPx, (1.0f - fr) * slabPx)) - 1.2f;
    float grain = tiledFbm(s, t, 64, 4, R.seed + 3);
    float stain = tiledFbm(s, t, 4, 4, R.seed + 4);
    if (d < 0.0f) return texel(R.second, 0.9f + 0.2f * grain, 0.15f);
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(si), R.seed);
    float tilt = (hashUnit(id, 3) - 0.5f) * 0.1f * fr + (hashUnit(id, 4) - 0.5f) * 0.1f * tr;
    float bevel = smoothstep(0.0f, 2.5f, d);
    float k = (0.86f + 0.22f * hashUnit(id, 1)) * (0.88f + 0.16f * grain) * (0.9f + 0.2f * (stain - 0.5f));
    return texel(R.base, k * (0.85f + 0.15f * bevel), 0.55f + 0.25f * bevel + tilt + 0.05f * grain);
}

Texel granite(float s, float t, const TextureRecipe& R, float /*px*/) {
    float grains = tiledNoise(s * 256.0f, t * 256.0f, 256, 256, R.seed);
    float coarse = tiledFbm(s, t, 16, 4, R.seed + 1);
    Rgb c = R.base;
    if (grains > 0.72f) c = tint(c, 0.45f);
    else if (grains < 0.22f) c = blend(c, Rgb{0.86f, 0.84f, 0.82f}, 0.7f);
    else if (grains > 0.6f && coarse > 0.55f) c = blend(c, Rgb{0.66f, 0.5f, 0.46f}, 0.5f);
    return texel(c, 0.88f + 0.2f * coarse, 0.4f + 0.15f * coarse + 0.25f * grains);
}

Texel grass(float s, float t, const TextureRecipe& R, float /*px*/) {
    float patches = tiledFbm(s, t, 4, 5, R.seed);
    float soil = smoothstep(0.64f, 0.72f, tiledFbm(s, t, 6, 4, R.seed + 1));
    float blades = tiledNoise(s * 384.0f, t * 192.0f, 384, 192, R.seed + 2);
    float fine = tiledNoise(s * 512.0f, t * 512.0f, 512, 512, R.seed + 3);
    Rgb c = blend(R.base, R.second, smoothstep(0.45f, 0.75f, patches));
    c = blend(c, R.third, soil);
    float k = (0.75f + 0.4f * blades) * (0.9f + 0.15f * fine);
    return texel(c, k, (0.35f + 0.35f * blades + 0.1f * patches) * (1.0f - 0.5f * soil));
}

// ---------------------------------------------------------------------------
// Wood and trees.

Texel planks(float s, float t, const TextureRecipe& R, float px) {
    const int boards = 5;
    float bs = s * boards;
    int bi = static_cast<int>(std::floor(bs));
    float fs = bs - bi;
    float gapPx = std::fmin(fs, 1.0f - fs) / (boards * px);
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(bi % boards), R.seed);
    float wobble = tiledNoise(s * 40.0f, t * 3.0f, 40, 3, R.seed + 1);
    float grain = 0.5f + 0.5f * std::sin((fs * 7.0f + wobble * 5.0f + hashUnit(id, 1) * 10.0f) * 6.2831853f);
    float fibres = tiledNoise(s * 256.0f, t * 16.0f, 256, 16, R.seed + 2);
    if (gapPx < 1.3f) return texel(tint(R.base, 0.3f), 1.0f, 0.1f);
    float k = (0.82f + 0.3f * hashUnit(id, 2)) * (0.78f + 0.18f * grain + 0.12f * fibres);
    return texel(R.base, k, 0.6f + 0.08f * grain + 0.06f * fibres - 0.15f * (1.0f - smoothstep(1.3f, 3.0f, gapPx)));
}

Texel door(float s, float t, const TextureRecipe& R, float /*px*/) {
    float wear = tiledFbm(s, t, 16, 4, R.seed);
    float fibres = tiledNoise(s * 8.0f, t * 128.0f, 8, 128, R.seed + 1);
    Rgb paint = R.base;
    // Brass knob and letter plate.
    float kx = s - 0.82f, ky = (t - 0.58f) * 0.5f;  // the picture is stretched to twice its width
    float knob = std::sqrt(kx * kx + ky * ky);
    if (knob < 0.028f) return texel(R.second, 0.8f + 0.4f * (1.0f - knob / 0.028f), 1.0f - 0.3f * knob / 0.028f);
    if (insideRect(s, t, 0.38f, 0.595f, 0.62f, 0.615f) >= 0.0f) return texel(R.second, 0.9f, 0.8f);
    // Fanlight at the top.
    if (insideRect(s, t, 0.12f, 0.035f, 0.88f, 0.17f) >= 0.0f) {
        bool bar = std::fabs(frac((s - 0.12f) / 0.19f) - 0.5f) > 0.45f;
        if (bar) return texel(paint, 0.9f, 0.55f);
        return texel(Rgb{0.1f, 0.13f, 0.17f}, 1.0f + 0.3f * (0.17f - t) / 0.135f, 0.2f);
    }
    // Four raised and bevelled panels inside the stiles and rails.
    const float panels[4][4] = {{0.15f, 0.24f, 0.46f, 0.53f}, {0.54f, 0.24f, 0.85f, 0.53f},
                                {0.15f, 0.64f, 0.46f, 0.93f}, {0.54f, 0.64f, 0.85f, 0.93f}};
    for (const auto& p : panels) {
        float d = insideRect(s, t, p[0], p[1], p[2], p[3]);
        if (d < 0.0f) continue;
        float raise = smoothstep(0.0f, 0.035f, d);
        float k = (0.8f + 0.25f * raise) * (0.9f + 0.1f * wear);
        if (d < 0.004f) k *= 0.6f;
        return texel(paint, k, 0.35f + 0.45f * raise);
    }
    float edge = std::fmin(std::fmin(s, 1.0f - s), std::fmin(t, 1.0f - t));
    return texel(paint, (0.88f + 0.12f * wear) * (0.9f + 0.08f * fibres) * (edge < 0.01f ? 0.6f : 1.0f), 0.6f);
}

Texel bark(float s, float t, const TextureRecipe& R, float /*px*/) {
    float n = tiledNoise(s * 20.0f, t * 3.0f, 20, 3, R.seed) * 0.7f + tiledNoise(s * 40.0f, t * 6.0f, 40, 6, R.seed + 1) * 0.3f;
    float ridge = 1.0f - std::fabs(2.0f * n - 1.0f);
    float fine = tiledFbm(s, t, 64, 3, R.seed + 2);
    float h = 0.2f + 0.65f * ridge * ridge + 0.1f * fine;
    return texel(R.base, 0.55f + 0.6f * h, h);
}

Texel leaves(float s, float t, const TextureRecipe& R, float /*px*/) {
    const int n = 22;
    CellHit hit = nearestCells(s, t, n, 0.9f, R.seed);
    std::uint32_t id = hashInts(static_cast<std::uint32_t>(hit.cellX), static_cast<std::uint32_t>(hit.cellY), R.seed);
    float angle = hashUnit(id, 1) * 3.1415927f;
    float ca = std::cos(angle), sa = std::sin(angle);
    float x = (ca * hit.offsetX + sa * hit.offsetY) * n, y = (-sa * hit.offsetX + ca * hit.offsetY) * n;
    float e = std::sqrt((x / 0.55f) * (x / 0.55f) + (y / 0.28f) * (y / 0.28f));
    float vein = std::fabs(y) < 0.02f ? 0.85f : 1.0f;
    if (e > 1.0f) {
        float under = tiledFbm(s, t, 32, 3, R.seed + 2);
        return texel(tint(R.base, 0.6f), 0.7f + 0.5f * under, 0.15f + 0.2f * under);
    }
    float dome = 1.0f - e * e;
    Rgb c = blend(R.base, R.second, hashUnit(id, 2));
    return texel(c, (0.75f + 0.35f * dome) * vein, 0.4f + 0.5f * dome * (0.6f + 0.4f * hashUnit(id, 3)));
}

Texel paintAt(float s, float t, const TextureRecipe& R, float px) {
    switch (R.pattern) {
        case Pattern::BrickBay: return brickBay(s, t, R, px);
        case Pattern::PlasterBay: return plasterBay(s, t, R, px);
        case Pattern::StoneBay: return stoneBay(s, t, R, px);
        case Pattern::RoofTiles: return roofTiles(s, t, R, px);
        case Pattern::Slate: return slate(s, t, R, px);
        case Pattern::Cobbles: return cobbles(s, t, R, px);
        case Pattern::Paving: return paving(s, t, R, px);
        case Pattern::Granite: return granite(s, t, R, px);
        case Pattern::Planks: return planks(s, t, R, px);
        case Pattern::Door: return door(s, t, R, px);
        case Pattern::Grass: return grass(s, t, R, px);
        case Pattern::Bark: return bark(s, t, R, px);
        case Pattern::Leaves: return leaves(s, t, R, px);
        case Pattern::Bronze: return bronze(s, t, R, px);
        case Pattern::Marble: return marble(s, t, R, px);
        case Pattern::CarvedPanel: return carvedPanel(s, t, R, px);
        case Pattern::Crystal: return crystal(s, t, R, px);
        case Pattern::Flame: return flame(s, t, R, px);
        case Pattern::LeadedGlass: return leadedGlass(s, t, R, px);
        case Pattern::Sun: return sunSurface(s, t, R, px);
        case Pattern::ClockDial: return clockDial(s, t, R, px);
        case Pattern::NightSky: return nightSky(s, t, R, px);
        case Pattern::Moon: return moonFace(s, t, R, px);
        case Pattern::Atlas: break;  // painted by quarters in paintRecipe
    }
    return Texel{};
}

}  // namespace

WindowOpening windowOpening(Pattern facade) {
    switch (facade) {
        case Pattern::BrickBay: return WindowOpening{0.31f, 0.22f, 0.69f, 0.75f, false, 0.40f};
        case Pattern::StoneBay: return WindowOpening{0.335f, 0.2f, 0.665f, 0.74f, true, 0.45f};
        default: return WindowOpening{0.335f, 0.24f, 0.665f, 0.74f, false, 0.42f};
    }
}

namespace {

void paintAtlas(const TextureRecipe& atlas, Picture& picture) {
    int half = atlas.size / 2;
    int margin = static_cast<int>(kAtlasMargin * atlas.size + 0.5f);
    float inner = static_cast<float>(half - 2 * margin);
    for (int q = 0; q < 4 && q < static_cast<int>(atlas.quarters.size()); ++q) {
        const TextureRecipe& quarter = atlas.quarters[q];
        int x0 = half * (q % 2), y0 = half * (q / 2);
        for (int y = 0; y < half; ++y) {
            for (int x = 0; x < half; ++x) {
                // The quarter's tile runs over the inner part and repeats into the margin.
                float s = frac((x + 0.5f - margin) / inner), t = frac((y + 0.5f - margin) / inner);
                Texel c = paintAt(s, t, quarter, 1.0f / inner);
                picture.set(x0 + x, y0 + y, c.r, c.g, c.b, c.h, quarter.glows ? c.glow : 0.0f, quarter.gloss);
            }
        }
    }
}

}  // namespace

Picture paintRecipe(const TextureRecipe& recipe) {
    Picture picture(recipe.size);
    if (recipe.pattern == Pattern::Atlas) {
        paintAtlas(recipe, picture);
        return picture;
    }
    float px = 1.0f / recipe.size;
    for (int y = 0; y < recipe.size; ++y) {
        for (int x = 0; x < recipe.size; ++x) {
            Texel c = paintAt((x + 0.5f) * px, (y + 0.5f) * px, recipe, px);
            picture.set(x, y, c.r, c.g, c.b, c.h, recipe.glows ? c.glow : 0.0f, recipe.gloss);
        }
    }
    return picture;
}
