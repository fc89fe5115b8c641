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
// the bright image, which the pass generates each frame: at the designed
// 1024 x 768, level 3, 8 pixels per texel. A box average like that would tie
// the glow to an 8-pixel grid, and a small light moving slowly would make its
// halo jump from one box to the next. So the bright pass spreads each pixel over a sparse 8 x 8 pattern
// (four lookups, two pixels apart in both directions): a light then passes
// its weight from one box to the next a quarter at a time as it moves, and a
// cubic B-spline over four boxes smooths what is left into a round halo.
//
// The horizontal blur reads four texels of level 3 on a band of 8 rows
// (texelFetch: the targets' minification filter is plain GL_LINEAR, so
// filtered lookups would only ever see level 0); its output is smooth along x
// and the same for every row of the band, so it is drawn once per band, band
// k in row k of its target (bloom.vert draws only that strip). The vertical
// blur reads that output in the pixel's own column in the rows of four
// bands, with the same weights.
//
// At other sizes the glow keeps its size in the picture: everything above is
// measured in pixels of the designed 4:3 picture at the frame's centre (768
// rows, or 1024 columns for frames narrower than 4:3), so at 1920 x 1080 a
// step of the blur spans 8 x 1080 / 768 = 11.25 pixels. The blurs then run on
// the first level whose texels are at least that large (level 4 there, 16
// pixels), with the B-spline's knots closer than a texel (0.7 of one); its
// four weights are normalised, since a spline sampled off its knots does not
// sum to one. The sparse pattern of the bright pass spreads over that level's
// texels. The vertex shader works out the level and the spacing.
//
// The software rasteriser this must run well on executes every line of a
// shader whatever the uniforms say (both sides of an `if`, and a loop's body
// at least once), so the three draws share one straight path: four lookups of
// "texThresh" and one of "texColor", with positions, level and weights chosen
// per draw. The pass points "texThresh" at unit 0 for its blurs and never
// anywhere else, and unit 0 holds the scene during the bright pass, so there
// the same four lookups read the scene's sparse pattern.

in vec2 uv;
// From the vertex shader, all of them set by the frame's size alone: the
// blurs' level, its texel in pixels and one over that, texels per knot of
// the spline, the level's whole texels across and down, and the bright
// pass's step. Integer division and division are costly per pixel on a
// software rasteriser; shifts and products by these are not.
flat in int blurLevel;
flat in int texel;
flat in float perTexel;
flat in float perKnot;
flat in vec2 texels;
flat in int spread;

uniform sampler2D texColor;
uniform sampler2D texThresh;
uniform int threshold;
uniform int horizontal;

out vec4 fragColor;

// As the scene shader writes its alpha: the light beyond its glow threshold,
// up to kGlowRange, square-rooted.
const float kGlowRange = 6.0;
// The bright image holds the glow up to kBrightRange, square-rooted so its
// faint parts keep their precision in 8 bits.
const float kBrightRange = 4.0;
const float kGlowStrength = 1.6;


// Cubic B-spline weights for the four texels around a position whose
// fractional part is f (texels -1, 0, +1, +2), with perKnot texels to a
// knot of the spline (at least 1), normalised: a spline sampled off its
// knots does not sum to one. At the designed size (perKnot 1, and f a whole
// number of sixteenths, as pixel centres over 8 are) every step is exact,
// and the weights are the uniform spline's own: (1-f)^3, 4 - 6f^2 + 3f^3, ...
// over 6.
vec4 bSpline(float f, float perKnot) {
    vec4 d = abs(vec4(f + 1.0, f, f - 1.0, f - 2.0) * perKnot);
    vec4 outer = max(2.0 - d, 0.0);
    vec4 inner = 4.0 - 6.0 * d * d + 3.0 * d * d * d;
    vec4 w = mix(outer * outer * outer, inner, lessThan(d, vec4(1.0)));
    return w / max(dot(w, vec4(1.0)), 1e-6);
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
    // round the pixel; in the blurs, four texels along x on the blur's level
    // (horizontal), or down the pixel's column through the bands' rows
    // (vertical), weighted by their distance in texels of that level.
    float position = (alongX ? gl_FragCoord.x : gl_FragCoord.y) * perTexel - 0.5;
    float base = floor(position);
    vec4 w = bSpline(position - base, perKnot);
    int last = max(int(alongX ? texels.x : texels.y) - 1, 0);
    ivec4 taps = clamp(ivec4(int(base)) + ivec4(-1, 0, 1, 2), 0, last);
    int band = clamp(pixel.y, 0, max(int(texels.y) - 1, 0));  // the horizontal blur's row
    ivec2 size = textureSize(texThresh, 0);
    ivec4 sx = clamp(pixel.x + ivec4(-3, -1, 1, 3) * spread, 0, size.x - 1);
    ivec4 sy = clamp(pixel.y + ivec4(1, -3, 3, -1) * spread, 0, size.y - 1);
    ivec4 bx = bright ? sx : (alongX ? taps : ivec4(pixel.x));
    ivec4 by = bright ? sy : (alongX ? ivec4(band) : taps);
    int level = alongX && !bright ? blurLevel : 0;
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
