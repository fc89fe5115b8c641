#version 150 core

// Full-screen quad of the motion blur: corners in -1..1. z = 0 keeps the
// quad in front of the cleared far depth.
//
// Where a pixel's point was one frame ago is the previous combined matrix
// applied to the point the inverse of this one gives back, i.e. the product
// of the two applied to (x, y, depth) in this frame's clip space. That
// product is the same for every pixel, and the previous position, as
// homogeneous pixel coordinates, is linear in x and y and in depth: so it is
// made here once per corner, and a pixel only adds its depth's share to what
// the rasteriser interpolates for it (see motionBlur.frag).

in vec2 position;

uniform sampler2D texColor;
uniform mat4 ivpMatrix;     // inverse of this frame's projection * view * model
uniform mat4 prevVpMatrix;  // previous frame's projection * view * model

noperspective out vec4 before;  // the point at window depth 0, in the previous frame's pixels (homogeneous)
flat out vec4 perDepth;         // what a window depth of 1 adds to that
flat out vec3 lengths;          // the longest streak and the shortest that counts, in the frame's pixels, and samples per pixel of streak

// Lengths in pixels of the designed 4:3 picture at the frame's centre (768
// rows, or 1024 columns when the frame is narrower than 4:3), scaled to the
// frame's pixels: a streak covers the same share of the picture at every size.
// Longest streak: a fast turn or the first frame's jump would otherwise smear
// the picture beyond recognition. Shorter streaks than the shortest are
// rounding noise of the two matrices.
const float kMaxStreak = 40.0;
const float kMinStreak = 0.5;
// About one sample per three pixels of streak.
const float kPixelsPerSample = 3.0;

void main() {
    gl_Position = vec4(position, 0.0, 1.0);
    vec2 size = vec2(textureSize(texColor, 0));
    // Clip space to window pixels: x and y from -1..1 to 0..size.
    mat4 toPixels = mat4(vec4(0.5 * size.x, 0.0, 0.0, 0.0), vec4(0.0, 0.5 * size.y, 0.0, 0.0),
                         vec4(0.0, 0.0, 1.0, 0.0), vec4(0.5 * size.x, 0.5 * size.y, 0.0, 1.0));
    mat4 reproject = toPixels * prevVpMatrix * ivpMatrix;
    // Window depth d is clip z 2d - 1.
    before = reproject * vec4(position, -1.0, 1.0);
    perDepth = 2.0 * reproject[2];
    float scale = min(size.y / 768.0, size.x / 1024.0);  // 1 at the designed size
    lengths = vec3(kMaxStreak * scale, kMinStreak * scale, 1.0 / (kPixelsPerSample * scale));
}
