#version 150 core

// Full-screen quad: corners in -1..1, texture coordinates 0..1 from them.
// z = 0 keeps the quad in front of the cleared far depth.
//
// The zap's "offset" is given in texture units of the designed 1024-pixel
// width: the shake moves the designed 4:3 picture at the frame's centre by
// the same share of its width at every size (at 1024 x 768 it is the texture
// shift itself). The shift depends on the frame's size only, so it is worked
// out here, once per corner, and handed on unchanged.

in vec2 position;

uniform sampler2D image;  // never set: unit 0, where the source is bound
uniform float offset;

out vec2 uv;
flat out float shift;  // in texture units of the frame's width

void main() {
    uv = position * 0.5 + 0.5;
    gl_Position = vec4(position, 0.0, 1.0);
    vec2 size = vec2(textureSize(image, 0));
    float designedWidth = 1024.0 * min(size.y / 768.0, size.x / 1024.0);  // in the frame's pixels
    shift = offset * designedWidth / size.x;
}
