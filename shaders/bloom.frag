#version 150 core

// Bloom, in three draws told apart by "threshold" and "horizontal":
//   threshold 1               bright pass: what is bright in the scene ("texColor")
//   threshold 0, horizontal 1 blur of the bright image ("texThresh") along x
//   threshold 0, horizontal 0 blur along y, then added to the scene ("texColor")
//
// The blurs read a small mip level of their input (the pass generates the
// mips), so a few taps span a wide glow. The targets' minification filter is
// plain GL_LINEAR, which makes every filtered lookup (textureLod included) read
// level 0 only; texelFetch addresses a level directly, so the blur fetches
// level texels and filters between them itself. Its Gaussian is evaluated at
// each tap's true distance from the pixel, so the result is smooth at full
// resolution although the level is coarse.

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
const float kKneeLow = 0.55;
const float kKneeHigh = 0.9;

// Blur: mip level 2 (a quarter of the size, 4 pixels per texel), a Gaussian of
// kSigma level texels, cut to zero at kReach texels. kTaps covers -kReach..kReach
// around any fractional position.
const int kLevel = 2;
const float kSigma = 2.0;
const float kReach = 6.0;
const int kTaps = 12;

const float kGlowStrength = 1.4;

vec3 levelTexel(ivec2 texel, ivec2 size) {
    return texelFetch(texThresh, clamp(texel, ivec2(0), size - 1), kLevel).rgb;
}

// One direction of the separable blur at this pixel; step is (1, 0) or (0, 1).
vec3 blur(ivec2 step) {
    ivec2 size = textureSize(texThresh, kLevel);
    // This pixel in the level's texel-centre coordinates.
    vec2 position = uv * vec2(width, height) / float(1 << kLevel) - 0.5;
    vec2 base = floor(position);
    vec2 fraction = position - base;

    // Across the blur direction: linear between the two neighbouring rows.
    ivec2 across = ivec2(1) - step;
    float acrossFraction = dot(fraction, vec2(across));
    float alongFraction = dot(fraction, vec2(step));

    float floorWeight = exp(-kReach * kReach / (2.0 * kSigma * kSigma));
    vec3 sum = vec3(0.0);
    float weightSum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
        int k = i - kTaps / 2 + 1;
        float distance = float(k) - alongFraction;
        // Minus the weight at kReach, so taps enter and leave the window at
        // zero weight as the pixel moves: no visible steps.
        float weight = max(exp(-distance * distance / (2.0 * kSigma * kSigma)) - floorWeight, 0.0);
        ivec2 texel = ivec2(base) + step * k;
        vec3 value = mix(levelTexel(texel, size), levelTexel(texel + across, size), acrossFraction);
        sum += weight * value;
        weightSum += weight;
    }
    return sum / weightSum;
}

void main() {
    if (threshold == 1) {
        vec3 scene = texture(texColor, uv).rgb;
        float brightness = max(scene.r, max(scene.g, scene.b));
        fragColor = vec4(scene * smoothstep(kKneeLow, kKneeHigh, brightness), 1.0);
    } else if (horizontal == 1) {
        fragColor = vec4(blur(ivec2(1, 0)), 1.0);
    } else {
        vec3 glow = min(kGlowStrength * blur(ivec2(0, 1)), vec3(1.0));
        vec3 scene = texture(texColor, uv).rgb;
        // Screen blend: the glow brightens, yet the scene keeps its colours
        // and nothing is pushed past white.
        fragColor = vec4(scene + (1.0 - scene) * glow, 1.0);
    }
}
