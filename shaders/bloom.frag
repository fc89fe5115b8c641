#version 150 core

// Bloom, in three draws told apart by "threshold" and "horizontal":
//   threshold 1               bright pass: the light beyond what the scene
//                             image can show, from its alpha ("texColor")
//   threshold 0, horizontal 1 blur of the bright image ("texThresh") along x
//   threshold 0, horizontal 0 blur along y, then added to the scene ("texColor")
//
// The scene shader leaves in alpha how far each pixel's light goes past
// kGlowFrom (square-rooted, scaled by kGlowRange), so only real lights glow,
// in their own colour, and the glow is added in linear light before the
// filmic curve is applied again: highlights roll off into white.
//
// The glow must not step when a small light moves slowly. The blurs read the
// bright image's mip level 3 (8 pixels per texel), which the pass generates
// each frame; a plain box average like that jumps by 8 pixels as a light
// crosses from one box into the next. So the bright pass first averages each
// pixel's 4 x 4 neighbourhood (four bilinear lookups): with that, a light
// slides across the boxes instead of jumping between them, and the blurs'
// weights follow the pixel's exact position, so the glow moves smoothly.
//
// The horizontal blur writes one value per band of 8 rows (the band's level 3
// row); the vertical blur reads that output at full resolution, in the
// pixel's own column, at the middle of six bands.
//
// The software rasteriser this must run well on executes both sides of an
// `if`; a loop it leaves as soon as no pixel runs it. Each draw's work sits
// in a loop of one turn or none, decided by the uniforms.

in vec2 uv;

uniform sampler2D texColor;
uniform sampler2D texThresh;
uniform int threshold;
uniform int horizontal;
uniform float width;   // target size in pixels; still 0 in the very first bright pass,
uniform float height;  // which does not use them

out vec4 fragColor;

// As the scene shader writes its alpha.
const float kGlowFrom = 1.8;
const float kGlowRange = 6.0;
// The bright image's range, and how strongly the blurred glow is added.
const float kBrightRange = 4.0;
const float kGlowStrength = 1.6;

const int kLevel = 3;
const float kTexel = 8.0;    // pixels per texel of kLevel
const float kReach = 3.0;    // the blur's reach, in texels of kLevel

// The scene shader's filmic curve and its inverse (a quadratic's root).
vec3 filmic(vec3 x) { return x * (6.2 * x + 0.5) / (x * (6.2 * x + 1.7) + 0.06); }
vec3 unfilmic(vec3 y) {
    y = clamp(y, 0.0, 0.999);
    vec3 a = 6.2 * (1.0 - y), b = 0.5 - 1.7 * y, c = -0.06 * y;
    return (-b + sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
}

// A smooth bell over [-kReach, kReach] that costs no exp().
float bell(float d) {
    float q = clamp(1.0 - (d * d) / (kReach * kReach), 0.0, 1.0);
    return q * q * q;
}

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    vec4 result = vec4(0.0);

    // Bright pass: four bilinear lookups at the corners round the pixel
    // cover its 4 x 4 neighbourhood.
    int brightTurns = threshold == 1 ? 1 : 0;
    for (int i = 0; i < brightTurns; ++i) {
        vec2 texel = 1.0 / vec2(textureSize(texColor, 0));
        vec2 at = floor(gl_FragCoord.xy);
        vec4 sum = texture(texColor, (at + vec2(-1.0, -1.0)) * texel) + texture(texColor, (at + vec2(1.0, -1.0)) * texel) +
                   texture(texColor, (at + vec2(-1.0, 1.0)) * texel) + texture(texColor, (at + vec2(1.0, 1.0)) * texel);
        vec4 mean = 0.25 * sum;
        // The glow's amount from alpha; its colour from the light the picture
        // shows, brought back to linear and scaled to a peak of one.
        float amount = mean.a * mean.a * kGlowRange;
        vec3 light = unfilmic(mean.rgb);
        vec3 hue = light / max(max(light.r, max(light.g, light.b)), 1e-4);
        result = vec4(sqrt(min(hue * amount / kBrightRange, 1.0)), 1.0);
    }

    // The blurs: six taps at level kLevel along x, or six bands down the
    // column, weighted by their distance from the pixel in texels.
    int blurTurns = threshold == 1 ? 0 : 1;
    for (int i = 0; i < blurTurns; ++i) {
        bool alongX = horizontal == 1;
        ivec2 texels = ivec2(vec2(width, height) / kTexel);
        float position = (alongX ? gl_FragCoord.x : gl_FragCoord.y) / kTexel - 0.5;
        int first = int(floor(position)) - 2;
        int last = (alongX ? texels.x : texels.y) - 1;
        int band = min(pixel.y / int(kTexel), texels.y - 1);
        vec3 sum = vec3(0.0);
        float weights = 0.0;
        for (int k = 0; k < 6; ++k) {
            int tap = clamp(first + k, 0, last);
            float w = bell(float(first + k) - position);
            ivec2 at = alongX ? ivec2(tap, band) : ivec2(pixel.x, tap * int(kTexel) + int(kTexel) / 2);
            vec3 encoded = texelFetch(texThresh, at, alongX ? kLevel : 0).rgb;
            sum += w * encoded * encoded;
            weights += w;
        }
        vec3 blurred = sum / weights;
        result = vec4(sqrt(blurred), 1.0);

        int combineTurns = alongX ? 0 : 1;
        for (int j = 0; j < combineTurns; ++j) {
            vec4 scene = texelFetch(texColor, pixel, 0);
            vec3 glow = kGlowStrength * kBrightRange * blurred;
            result = vec4(filmic(unfilmic(scene.rgb) + glow), 1.0);
        }
    }

    fragColor = result;
}
