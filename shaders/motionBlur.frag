#version 150 core

// Camera motion blur. Each pixel's depth is turned back into a position with
// the inverse of this frame's combined matrix, that position is projected with
// the previous frame's matrix, and the image is averaged along the line
// between where the point is now and where it was one frame ago.
//
// The number of samples follows the length of that line: about one sample
// per two pixels of streak, so fast turns stay smooth instead of showing
// copies, while still parts of the picture cost a single lookup.

in vec2 uv;

uniform sampler2D texColor;   // the frame (bloomed or not)
uniform sampler2D texDepth;   // window-space depth, 0..1
uniform mat4 ivpMatrix;       // inverse of this frame's projection * view * model
uniform mat4 prevVpMatrix;    // previous frame's projection * view * model

out vec4 fragColor;

// Longest streak in pixels: a fast turn or the first frame's jump would
// otherwise smear the picture beyond recognition.
const float kMaxStreak = 40.0;
const float kPixelsPerSample = 3.0;
const int kMaxSamples = 14;
// Shorter streaks than this are rounding noise of the two matrices.
const float kMinStreak = 0.5;

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float depth = texelFetch(texDepth, pixel, 0).r;
    vec4 clip = vec4(uv * 2.0 - 1.0, depth * 2.0 - 1.0, 1.0);
    vec4 world = ivpMatrix * clip;
    vec4 previous = prevVpMatrix * vec4(world.xyz / world.w, 1.0);
    vec2 previousUv = previous.xy / previous.w * 0.5 + 0.5;

    ivec2 size = textureSize(texColor, 0);
    vec2 motion = (uv - previousUv) * vec2(size);  // in pixels
    // Points that were behind the previous camera, and singular matrices, have
    // no meaningful motion; nor has rounding noise of the two matrices.
    float streak = length(motion);
    if (previous.w <= 0.0 || isnan(streak) || isinf(streak) || streak < kMinStreak) {
        motion = vec2(0.0);
        streak = 0.0;
    }
    if (streak > kMaxStreak) motion *= kMaxStreak / streak;

    // Centred on the pixel, so a moving edge smears both ways like a shutter.
    // The targets wrap, so samples are kept inside the picture instead of
    // picking up the opposite edge.
    int samples = clamp(int(ceil(min(streak, kMaxStreak) / kPixelsPerSample)) + 1, 1, kMaxSamples);
    vec2 step = samples > 1 ? motion / float(samples - 1) : vec2(0.0);
    vec2 start = gl_FragCoord.xy - 0.5 * motion;
    vec3 sum = vec3(0.0);
    for (int i = 0; i < samples; ++i) {
        ivec2 at = clamp(ivec2(start + step * float(i)), ivec2(0), size - 1);
        sum += texelFetch(texColor, at, 0).rgb;
    }
    fragColor = vec4(sum / float(samples), 1.0);
}
