#version 150 core

// Bloom, in three draws told apart by "threshold" and "horizontal":
//   threshold 1               bright pass: what is bright in the scene ("texColor")
//   threshold 0, horizontal 1 blur of the bright image ("texThresh") along x
//   threshold 0, horizontal 0 blur along y, then added to the scene ("texColor")
//
// The glow is wide but cheap because the blurs work on a coarse mip level
// that the pass generates each frame: level kLevel (16 pixels per texel) is
// already a box blur of the bright image, and a cubic B-spline over four of
// its texels in each direction smooths the blocks into a soft, round halo of
// about 60 pixels across.
//
// The horizontal blur reads four texels of that level on the pixel's band of
// 16 rows (texelFetch: the targets' minification filter is plain GL_LINEAR,
// so filtered lookups would only ever see level 0); its output is smooth
// along x and constant over each band. The vertical blur then reads that
// output at full resolution, in the pixel's own column, at the centres of
// four bands, with the same weights.
//
// The software rasteriser this must run well on executes every branch of a
// shader whatever the uniforms say, so the three draws share one path: four
// texelFetch of "texThresh" and one of "texColor", with coordinates, level
// and weights chosen per draw.

in vec2 uv;

uniform sampler2D texColor;
uniform sampler2D texThresh;
uniform int threshold;
uniform int horizontal;
uniform float width;   // target size in pixels; still 0 in the very first bright pass,
uniform float height;  // which does not need them

out vec4 fragColor;

// Bright pass: brightness (the largest channel, so saturated colours glow too)
// fades in between these two values instead of switching on at one.
const float kKneeLow = 0.6;
const float kKneeHigh = 0.95;

const int kLevel = 4;
const float kTexel = 16.0;  // pixels per texel of kLevel
const float kGlowStrength = 2.2;

// Uniform cubic B-spline weights for the four texels around a position whose
// fractional part is f (texels -1, 0, +1, +2).
vec4 bSpline(float f) {
    float g = 1.0 - f;
    return vec4(g * g * g, 4.0 - 6.0 * f * f + 3.0 * f * f * f, 4.0 - 6.0 * g * g + 3.0 * g * g * g, f * f * f) / 6.0;
}

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    vec3 scene = texelFetch(texColor, pixel, 0).rgb;

    // The four taps: along x on the coarse level (horizontal draw), or down
    // the pixel's column through the band centres (vertical draw).
    // Positions come from "width" and "height" (the blur draws always have
    // them), in units of the coarse level's texels.
    bool alongX = horizontal == 1;
    int level = alongX ? kLevel : 0;
    vec2 target = uv * vec2(width, height) / kTexel;  // the pixel centre, in coarse texels
    vec2 texels = floor(vec2(width, height) / kTexel);
    float position = (alongX ? target.x : target.y) - 0.5;
    float base = floor(position);
    vec4 w = bSpline(position - base);
    int last = int(alongX ? texels.x : texels.y) - 1;
    ivec4 taps = clamp(ivec4(base) + ivec4(-1, 0, 1, 2), 0, last);
    int band = min(int(target.y), int(texels.y) - 1);
    ivec4 xs = alongX ? taps : ivec4(pixel.x);
    ivec4 ys = alongX ? ivec4(band) : taps * int(kTexel) + int(kTexel) / 2;
    vec3 blurred = w.x * texelFetch(texThresh, ivec2(xs.x, ys.x), level).rgb +
                   w.y * texelFetch(texThresh, ivec2(xs.y, ys.y), level).rgb +
                   w.z * texelFetch(texThresh, ivec2(xs.z, ys.z), level).rgb +
                   w.w * texelFetch(texThresh, ivec2(xs.w, ys.w), level).rgb;

    // Bright pass: brightness (the largest channel, so saturated colours glow
    // too) fades in over a knee instead of switching on at one value.
    float brightness = max(scene.r, max(scene.g, scene.b));
    vec3 bright = scene * smoothstep(kKneeLow, kKneeHigh, brightness);
    // Screen blend: the glow brightens, yet the scene keeps its colours and
    // nothing is pushed past white.
    vec3 glow = min(kGlowStrength * blurred, vec3(1.0));
    vec3 combined = scene + (1.0 - scene) * glow;

    fragColor = vec4(threshold == 1 ? bright : (alongX ? blurred : combined), 1.0);
}
