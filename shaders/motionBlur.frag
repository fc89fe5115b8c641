#version 150 core

// Camera motion blur. Each pixel's depth gives where its point was one frame
// ago (motionBlur.vert), and the image is averaged along the line between
// there and where the point is now.
//
// The number of samples follows the length of that line: about one sample
// per three pixels of streak, so fast turns stay smooth instead of showing
// copies, while still parts of the picture cost a single lookup.
//
// Samples are weighed by depth: only what lies about as far from the eye as
// the pixel itself blurs into it. A lamp post does not smear over the street
// behind it, and the street does not wash over the post's edges. The depth
// along the streak is read once in each half, a quarter of the way in from
// either end, which tells the near from the far in a streak of a few dozen
// pixels at the cost of two lookups.
//
// The software rasteriser this must run well on does its arithmetic for
// every pixel, so what is the same for all of them (the two matrices'
// product, the lengths at this frame size) is made once per corner, and
// the work left per pixel is a handful of products and the lookups.

noperspective in vec4 before;
flat in vec4 perDepth;
flat in vec3 lengths;

uniform sampler2D texColor;   // the frame (bloomed or not)
uniform sampler2D texDepth;   // window-space depth, 0..1

out vec4 fragColor;

// Samples at most.
const int kMaxSamples = 14;
// The camera's clipping planes. The reciprocal of a point's distance is
// linear in window depth: kFar - depth * (kFar - kNear), up to a constant
// factor that cancels in the comparison below.
const float kNear = 1.0;
const float kFar = 10000.0;
// Depths within kSameDepth of each other (as a share of the nearer) blur
// together fully; beyond kOtherDepth not at all.
const float kSameDepth = 0.08;
const float kOtherDepth = 0.25;

float nearness(float depth) { return kFar - depth * (kFar - kNear); }

// The frame's colour at sample i of the streak that starts at `from`.
vec3 sampleAt(vec2 from, vec2 step, int i) { return texelFetch(texColor, ivec2(from + step * float(i)), 0).rgb; }

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    ivec2 size = textureSize(texColor, 0);
    float maxStreak = lengths.x;
    float depth = texelFetch(texDepth, pixel, 0).r;
    vec4 previous = before + depth * perDepth;
    vec2 motion = gl_FragCoord.xy - previous.xy / previous.w;  // in pixels
    // Points that were behind the previous camera, and singular matrices
    // (NaN fails every comparison), have no meaningful motion; nor has
    // rounding noise of the two matrices.
    float streak = length(motion);
    if (!(previous.w > 0.0 && streak >= lengths.y && streak < 1e30)) {
        motion = vec2(0.0);
        streak = 0.0;
    }
    if (streak > maxStreak) motion *= maxStreak / streak;

    // Centred on the pixel, so a moving edge smears both ways like a shutter.
    // The targets wrap, so samples are kept inside the picture instead of
    // picking up the opposite edge: the streak's two ends are held inside it,
    // and every sample on the line between them is then inside too.
    int samples = clamp(int(ceil(min(streak, maxStreak) * lengths.z)) + 1, 1, kMaxSamples);
    vec2 from = clamp(gl_FragCoord.xy - 0.5 * motion, vec2(0.0), vec2(size - 1));
    vec2 to = clamp(gl_FragCoord.xy + 0.5 * motion, vec2(0.0), vec2(size - 1));
    vec2 step = (to - from) / float(max(samples - 1, 1));

    // How alike in depth each half of the streak is to the pixel, read a
    // quarter of the way along from either end.
    // Relative distance apart, |a - b| / min(a, b), is the same measure for
    // the reciprocals of the distances.
    float here = nearness(depth);
    ivec2 early = ivec2(mix(from, to, 0.25));
    ivec2 late = ivec2(mix(from, to, 0.75));
    vec2 there = vec2(nearness(texelFetch(texDepth, early, 0).r), nearness(texelFetch(texDepth, late, 0).r));
    vec2 apart = abs(there - here) / max(min(there, vec2(here)), 1e-6);
    vec2 alike = 1.0 - smoothstep(kSameDepth, kOtherDepth, apart);

    // The halves are summed plainly and weighed once: the middle sample (the
    // pixel itself, or within half a step of it for an even count) always
    // counts in full. Two plain loops cost less than one that weighs every
    // sample. On the software rasteriser a loop's turn costs about as much
    // as the lookup in it, and a loop runs at least once (an `if` skips
    // nothing either), so a still pixel still pays for two turns; a fixed,
    // unrolled count of 14 costs less only where most streaks are long.
    int middle = samples / 2;
    vec3 earlyHalf = vec3(0.0), lateHalf = vec3(0.0);
    for (int i = 0; i < middle; ++i) earlyHalf += sampleAt(from, step, i);
    vec3 centre = sampleAt(from, step, middle);
    for (int i = middle + 1; i < samples; ++i) lateHalf += sampleAt(from, step, i);
    float weights = 1.0 + alike.x * float(middle) + alike.y * float(samples - 1 - middle);
    fragColor = vec4((centre + alike.x * earlyHalf + alike.y * lateHalf) / weights, 1.0);
}
