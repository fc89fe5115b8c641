#version 150 core

// Copies the finished frame to the window, shifted sideways by the zap's
// shake (worked out in the vertex shader). The targets wrap (GL_REPEAT), so
// what leaves one edge comes back in at the other. The window gets an opaque
// picture.

in vec2 uv;
flat in float shift;

uniform sampler2D image;  // never set: unit 0, where the source is bound

out vec4 fragColor;

void main() {
    fragColor = vec4(texture(image, uv + vec2(shift, 0.0)).rgb, 1.0);
}
