#version 150 core

// Full-screen quad of the motion blur: corners in -1..1, texture coordinates 0..1 from them.
// z = 0 keeps the quad in front of the cleared far depth.

in vec2 position;

out vec2 uv;

void main() {
    uv = position * 0.5 + 0.5;
    gl_Position = vec4(position, 0.0, 1.0);
}
