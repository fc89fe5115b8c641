#version 150 core

// Bloom, in three draws told apart by "threshold" and "horizontal":
//   threshold 1               bright pass: the light beyond what the scene
//                             image can show, read from its alpha ("texColor")
//   threshold 0, horizontal 1 blur of the bright image ("texThresh") along x
//   threshold 0, horizontal 0 blur along y, then added to the scene ("texColor")
//
// The scene shader leaves in alpha how far each pixel's light goes past what
// the picture can show (square-rooted, see kGlowRange), so only real lights
// glow, and they glow in their own colour.
//
// The glow is wide but cheap because the blurs work on a coarse mip level of
// the bright image, which the pass generates each frame: level 3, 8 pixels per
// texel. A box average like that would tie the glow to an 8-pixel grid, and a
// small light moving slowly would make its halo jump from one box to the
// next. So the bright pass spreads each pixel over a sparse 8 x 8 pattern
// (four lookups, two pixels apart in both directions): a light then passes
// its weight from one box to the next a quarter at a time as it moves, and a
// cubic B-spline over four boxes smooths what is left into a round halo.
//
// The horizontal blur reads four texels of level 3 on the pixel's band of 8
// rows (texelFetch: the targets' minification filter is plain GL_LINEAR, so
// filtered lookups would only ever see level 0); its output is smooth along x
// and constant over each band. The vertical blur reads that output in the
// pixel's own column at the centres of four bands, with the same weights.
//
// The software rasteriser this must run well on executes every line of a
// shader whatever the uniforms say (both sides of an `if`, and a loop's body
// at least once), so the three draws share one straight path: four lookups of
// "texThresh" and one of "texColor", with positions, level and weights chosen
// per draw. The pass points "texThresh" at unit 0 for its blurs and never
// anywhere else, and unit 0 holds the scene during the bright pass, so there
// the same four lookups read the scene's sparse pattern.

in vec2 uv;

uniform sampler2D texColor;
uniform sampler2D texThresh;
uniform int threshold;
uniform int horizontal;
uniform float width;   // target size in pixels; still 0 in the very first bright pass,
uniform float height;  // which does not need them

out vec4 fragColor;

// As the scene shader writes its alpha: the light beyond its glow threshold,
// up to kGlowRange, square-rooted.
const float kGlowRange = 6.0;
// The bright image holds the glow up to kBrightRange, square-rooted so its
// faint parts keep their precision in 8 bits.
const float kBrightRange = 4.0;
const float kGlowStrength = 1.6;

const int kLevel = 3;
const int kTexel = 8;  // pixels per texel of kLevel

// Uniform cubic B-spline weights for the four texels around a position whose
// fractional part is f (texels -1, 0, +1, +2).
vec4 bSpline(float f) {
    float g = 1.0 - f;
    return vec4(g * g * g, 4.0 - 6.0 * f * f + 3.0 * f * f * f, 4.0 - 6.0 * g * g + 3.0 * g * g * g, f * f * f) / 6.0;
}

// The scene shader's filmic curve (linear light in, display values out).
vec3 filmic(vec3 x) { return x * (6.2 * x + 0.5) / (x * (6.2 * x + 1.7) + 0.06); }

// What a tap of the scene image adds to the bright image: its glow from
// alpha, in the light's colour. The picture shows a light near white, its
// hue squeezed into the last few percent; the eighth power draws it out again.
vec4 glowOf(vec4 scene) {
    vec3 hue = scene.rgb * scene.rgb;
    hue *= hue;
    hue *= hue;
    return vec4(hue, 1.0) * (scene.a * scene.a * kGlowRange);
}

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    bool bright = threshold == 1;
    bool alongX = horizontal == 1;

    // The four taps: in the bright pass, four pixels of the sparse pattern
    // round the pixel; in the blurs, four texels along x on level 3
    // (horizontal), or down the pixel's column through the band centres
    // (vertical), weighted by their distance in texels of level 3.
    vec2 texels = floor(vec2(width, height) / float(kTexel));
    float position = (alongX ? gl_FragCoord.x : gl_FragCoord.y) / float(kTexel) - 0.5;
    float base = floor(position);
    vec4 w = bSpline(position - base);
    int last = max(int(alongX ? texels.x : texels.y) - 1, 0);
    ivec4 taps = clamp(ivec4(int(base)) + ivec4(-1, 0, 1, 2), 0, last);
    int band = clamp(pixel.y / kTexel, 0, max(int(texels.y) - 1, 0));
    ivec2 size = textureSize(texThresh, 0);
    ivec4 sx = clamp(pixel.x + ivec4(-3, -1, 1, 3), 0, size.x - 1);
    ivec4 sy = clamp(pixel.y + ivec4(1, -3, 3, -1), 0, size.y - 1);
    ivec4 bx = bright ? sx : (alongX ? taps : ivec4(pixel.x));
    ivec4 by = bright ? sy : (alongX ? ivec4(band) : taps * kTexel + kTexel / 2);
    int level = alongX && !bright ? kLevel : 0;
    vec4 t0 = texelFetch(texThresh, ivec2(bx.x, by.x), level);
    vec4 t1 = texelFetch(texThresh, ivec2(bx.y, by.y), level);
    vec4 t2 = texelFetch(texThresh, ivec2(bx.z, by.z), level);
    vec4 t3 = texelFetch(texThresh, ivec2(bx.w, by.w), level);
    vec3 blurred = w.x * t0.rgb * t0.rgb + w.y * t1.rgb * t1.rgb + w.z * t2.rgb * t2.rgb + w.w * t3.rgb * t3.rgb;

    // Bright pass: the four glows, in the colour of the light they come from,
    // scaled so the brightest channel carries the amount.
    vec4 sum = glowOf(t0) + glowOf(t1) + glowOf(t2) + glowOf(t3);
    vec3 glow = sum.rgb * (0.25 * sum.a / max(max(sum.r, max(sum.g, sum.b)), 1e-6));
    vec3 brightImage = sqrt(min(glow / kBrightRange, 1.0));

    // Combine: the glow's own picture screened over the scene's, which rolls
    // off into white the way adding the light before the filmic curve would.
    vec3 halo = filmic(kGlowStrength * kBrightRange * blurred);
    vec3 scene = texelFetch(texColor, pixel, 0).rgb;
    vec3 combined = 1.0 - (1.0 - scene) * (1.0 - halo);

    fragColor = vec4(bright ? brightImage : (alongX ? sqrt(blurred) : combined), 1.0);
}
