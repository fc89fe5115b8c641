#version 150 core

// Full-screen quad of the bloom draws: corners in -1..1, texture coordinates 0..1 from them.
// z = 0 keeps the quad in front of the cleared far depth.
//
// What the blur's level and spacing are depends on the frame's size only,
// so it is worked out here, once per corner, and handed on unchanged
// ("flat") rather than again for every pixel (see bloom.frag).
//
// The horizontal blur's output is the same for every row of a band, and the
// vertical blur reads one row per band; so that draw covers only a strip at
// the bottom of its target, one row per band, instead of the whole frame.

in vec2 position;

uniform sampler2D texThresh;
uniform int threshold;
uniform int horizontal;
uniform float width;   // 0 in the very first bright pass: the size then comes from the scene image
uniform float height;

out vec2 uv;
flat out int blurLevel;   // the mip level the blurs read
flat out int texel;       // its texels' side in pixels
flat out float perTexel;  // 1 / texel
flat out float perKnot;   // texels per knot of the spline: 1 at the designed size, more elsewhere
flat out vec2 texels;     // whole texels of that level across and down the frame
flat out int spread;      // pixels between the bright pass's taps

const int kLevel = 3;
const int kTexel = 8;

void main() {
    uv = position * 0.5 + 0.5;

    // The designed picture's pixels are 768 to the frame's height (1024 to
    // its width when narrower than 4:3); the margin keeps a scale a hair
    // above a power of two from jumping a level.
    vec2 frame = threshold == 1 ? vec2(textureSize(texThresh, 0)) : vec2(width, height);
    float scale = min(frame.y / 768.0, frame.x / 1024.0);
    blurLevel = max(kLevel + int(ceil(log2(scale) - 0.05)), 0);
    texel = 1 << blurLevel;
    perTexel = 1.0 / float(texel);
    perKnot = float(texel) / (float(kTexel) * scale);
    texels = floor(frame * perTexel);
    spread = max(texel / kTexel, 1);
    // The horizontal blur: rows 0 to texels.y - 1, band k in row k.
    float top = threshold == 0 && horizontal == 1 ? -1.0 + 2.0 * texels.y / frame.y : 1.0;
    gl_Position = vec4(position.x, position.y < 0.0 ? -1.0 : top, 0.0, 1.0);
}
