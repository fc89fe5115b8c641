#version 150 core

// Camera motion blur. Each pixel's depth is turned back into a position with
// the inverse of this frame's combined matrix, that position is projected with
// the previous frame's matrix, and the image is averaged along the line
// between where the point is now and where it was one frame ago.

in vec2 uv;

uniform sampler2D texColor;   // the frame (bloomed or not)
uniform sampler2D texDepth;   // window-space depth, 0..1
uniform mat4 ivpMatrix;       // inverse of this frame's projection * view * model
uniform mat4 prevVpMatrix;    // previous frame's projection * view * model

out vec4 fragColor;

const int kSamples = 10;
// Longest streak, in texture units (about 40 pixels across): a fast turn or
// the first frame's jump would otherwise smear the picture beyond recognition.
const float kMaxStreak = 0.04;

void main() {
    float depth = texture(texDepth, uv).r;
    vec4 clip = vec4(uv * 2.0 - 1.0, depth * 2.0 - 1.0, 1.0);
    vec4 world = ivpMatrix * clip;
    vec4 previous = prevVpMatrix * vec4(world.xyz / world.w, 1.0);
    vec2 previousUv = previous.xy / previous.w * 0.5 + 0.5;

    vec2 motion = uv - previousUv;
    // Points that were behind the previous camera, and singular matrices, have
    // no meaningful motion.
    if (previous.w <= 0.0 || any(isnan(motion)) || any(isinf(motion))) motion = vec2(0.0);
    float streak = length(motion);
    if (streak > kMaxStreak) motion *= kMaxStreak / streak;

    // Centred on the pixel, so a moving edge smears both ways like a shutter.
    // The targets wrap, so samples stay half a texel inside the picture
    // instead of picking up the opposite edge.
    vec2 halfTexel = 0.5 / vec2(textureSize(texColor, 0));
    vec4 sum = vec4(0.0);
    for (int i = 0; i < kSamples; ++i) {
        float along = float(i) / float(kSamples - 1) - 0.5;
        sum += texture(texColor, clamp(uv + motion * along, halfTexel, 1.0 - halfTexel));
    }
    fragColor = vec4((sum / float(kSamples)).rgb, 1.0);
}
