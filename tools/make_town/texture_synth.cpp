#include "texture_synth.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>

Picture::Picture(int n)
    : size(n), red(n * n, 0.0f), green(n * n, 0.0f), blue(n * n, 0.0f), height(n * n, 0.0f), glow(n * n, 1.0f), gloss(n * n, 1.0f) {}

void Picture::set(int x, int y, float r, float g, float b, float h, float shine, float shininess) {
    int i = index(x, y);
    red[i] = clamp01(r);
    green[i] = clamp01(g);
    blue[i] = clamp01(b);
    height[i] = clamp01(h);
    glow[i] = clamp01(shine);
    gloss[i] = clamp01(shininess);
}

namespace {

bool belowOneSomewhere(const std::vector<float>& values) {
    for (float v : values) {
        if (v < 1.0f) return true;
    }
    return false;
}

}  // namespace

bool Picture::glowVaries() const { return belowOneSomewhere(glow); }

bool Picture::glossVaries() const { return belowOneSomewhere(gloss); }

float Picture::heightAt(int x, int y) const {
    x = ((x % size) + size) % size;
    y = ((y % size) + size) % size;
    return height[index(x, y)];
}

std::uint32_t hashInts(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    std::uint32_t h = 0x9E3779B9u;
    for (std::uint32_t v : {a, b, c, d}) {
        h ^= v + 0x7F4A7C15u + (h << 6) + (h >> 2);
        h ^= h >> 16;
        h *= 0x7FEB352Du;
        h ^= h >> 15;
        h *= 0x846CA68Bu;
        h ^= h >> 16;
    }
    return h;
}

float hashUnit(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return (hashInts(a, b, c, d) >> 8) * (1.0f / 16777216.0f);
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

float smoothstep(float e0, float e1, float v) {
    float t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

float mix(float a, float b, float t) { return a + (b - a) * t; }

float tiledNoise(float x, float y, int periodX, int periodY, std::uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto lattice = [&](int i, int j) {
        int wi = ((i % periodX) + periodX) % periodX, wj = ((j % periodY) + periodY) % periodY;
        return hashUnit(static_cast<std::uint32_t>(wi), static_cast<std::uint32_t>(wj), seed);
    };
    float a = mix(lattice(ix, iy), lattice(ix + 1, iy), tx);
    float b = mix(lattice(ix, iy + 1), lattice(ix + 1, iy + 1), tx);
    return mix(a, b, ty);
}

float tiledFbm(float s, float t, int basePeriod, int octaves, std::uint32_t seed) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    int period = basePeriod;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * tiledNoise(s * period, t * period, period, period, seed + 1013u * o);
        total += amplitude;
        amplitude *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

CellHit nearestCells(float s, float t, int n, float jitter, std::uint32_t seed) {
    CellHit hit;
    hit.nearest = hit.second = 1e9f;
    int cx = static_cast<int>(std::floor(s * n)), cy = static_cast<int>(std::floor(t * n));
    for (int j = cy - 1; j <= cy + 1; ++j) {
        for (int i = cx - 1; i <= cx + 1; ++i) {
            int wi = ((i % n) + n) % n, wj = ((j % n) + n) % n;
            float px = (i + 0.5f + jitter * (hashUnit(wi, wj, seed, 1) - 0.5f)) / n;
            float py = (j + 0.5f + jitter * (hashUnit(wi, wj, seed, 2) - 0.5f)) / n;
            float dx = s - px, dy = t - py;
            float d = std::sqrt(dx * dx + dy * dy);
            if (d < hit.nearest) {
                hit.second = hit.nearest;
                hit.nearest = d;
                hit.cellX = wi;
                hit.cellY = wj;
                hit.offsetX = dx;
                hit.offsetY = dy;
            } else if (d < hit.second) {
                hit.second = d;
            }
        }
    }
    return hit;
}

namespace {

std::uint8_t toByte(float v) { return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255.0f)); }

}  // namespace

namespace {

// libpng reports its errors by a long jump back into the function that set it
// up; nothing here changes after the setjmp, so nothing is clobbered.
bool writePngRows(png_structp png, png_infop info, std::FILE* file, int size, int channels,
                  const std::uint8_t* bytes) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_init_io(png, file);
    // Stored, not deflated, and no row filters: the demo decodes every picture
    // at start-up, some several times over, and inflating was most of that.
    // The files are four times the size; a 1024 x 1024 one decodes five times
    // faster.
    png_set_compression_level(png, 0);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    const int colorType =
        channels == 1 ? PNG_COLOR_TYPE_GRAY : (channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(size), static_cast<png_uint_32>(size), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    // Our row 0 is the top, as PNG's is.
    const size_t rowBytes = static_cast<size_t>(size) * static_cast<size_t>(channels);
    for (int y = 0; y < size; ++y) png_write_row(png, bytes + static_cast<size_t>(y) * rowBytes);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool savePng(const std::string& path, int size, int channels, const std::vector<std::uint8_t>& bytes) {
    if (channels != 1 && channels != 3 && channels != 4) return false;
    if (bytes.size() != static_cast<size_t>(size) * static_cast<size_t>(size) * static_cast<size_t>(channels)) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && writePngRows(png, info, file, size, channels, bytes.data());
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool writeMaterialMaps(const std::string& folder, const std::string& name, const Picture& pic, float reliefTexels) {
    int n = pic.size;
    int colorChannels = pic.glowVaries() ? 4 : 3, normalChannels = pic.glossVaries() ? 4 : 3;
    std::vector<std::uint8_t> color(n * n * colorChannels), normal(n * n * normalChannels), height(n * n);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            int i = pic.index(x, y);
            color[i * colorChannels + 0] = toByte(pic.red[i]);
            color[i * colorChannels + 1] = toByte(pic.green[i]);
            color[i * colorChannels + 2] = toByte(pic.blue[i]);
            if (colorChannels == 4) color[i * colorChannels + 3] = toByte(pic.glow[i]);
            height[i] = toByte(pic.height[i]);
            // Slopes per texel; rows grow downwards while the bitangent points up,
            // so a height rising down the picture tilts the normal towards +bitangent.
            float dhdx = 0.5f * (pic.heightAt(x + 1, y) - pic.heightAt(x - 1, y)) * reliefTexels;
            float dhdy = 0.5f * (pic.heightAt(x, y + 1) - pic.heightAt(x, y - 1)) * reliefTexels;
            float nx = -dhdx, ny = dhdy, nz = 1.0f;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            normal[i * normalChannels + 0] = toByte(0.5f + 0.5f * nx / len);
            normal[i * normalChannels + 1] = toByte(0.5f + 0.5f * ny / len);
            // Blue holds the height, not the normal's z (which the shader
            // rebuilds from red and green): one lookup gives the relief and
            // the bend, and the height map is read only for its mean.
            normal[i * normalChannels + 2] = height[i];
            if (normalChannels == 4) normal[i * normalChannels + 3] = toByte(pic.gloss[i]);
        }
    }
    // The scene reads the height map only for its mean (its last mip level);
    // the relief itself rides in the normal map's blue. So the height map is
    // stored already halved down to a few texels, the way the mip chain
    // would halve it: the mean is the same, and start-up no longer decodes,
    // uploads and halves a full-size picture for one value.
    int heightSize = n;
    while (heightSize > kHeightMapSize) {
        int half = heightSize / 2;
        std::vector<std::uint8_t> halved(static_cast<size_t>(half) * half);
        for (int y = 0; y < half; ++y) {
            for (int x = 0; x < half; ++x) {
                const std::uint8_t* row = &height[static_cast<size_t>(2 * y) * heightSize + 2 * x];
                halved[static_cast<size_t>(y) * half + x] =
                    static_cast<std::uint8_t>((row[0] + row[1] + row[heightSize] + row[heightSize + 1] + 2) / 4);
            }
        }
        height.swap(halved);
        heightSize = half;
    }
    std::string base = folder + "/" + name;
    return savePng(base + "_color.png", n, colorChannels, color) && savePng(base + "_normal.png", n, normalChannels, normal) &&
           savePng(base + "_height.png", heightSize, 1, height);
}
