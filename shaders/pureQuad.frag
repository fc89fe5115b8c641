#version 150 core

// Copies the finished frame to the window. The zap shakes the picture
// sideways by "offset" texture units; the targets wrap (GL_REPEAT), so what
// leaves one edge comes back in at the other. The frame's alpha carries the
// scene's depth for the motion blur; the window gets an opaque picture.

in vec2 uv;

uniform sampler2D image;  // never set: unit 0, where the source is bound
uniform float offset;

out vec4 fragColor;

void main() {
    fragColor = vec4(texture(image, uv + vec2(offset, 0.0)).rgb, 1.0);
}
