#version 150 core

// Scene geometry, lit per pixel in eye space.
//
// The model matrix centres the model at the origin, so "light_pos" (given in
// that centred world) only needs the view matrix to reach eye space. The view
// and model matrices are rigid, so normals go through "normalMatrix" and the
// surface directions (tangent, bitangent) through the model-view matrix; both
// end up in the same eye-space frame.

in vec3 position;
in vec3 normal;
in vec3 texCoords;   // (u, v, w); only u and v are used
in vec3 tangent;     // towards increasing u
in vec3 bitangent;   // towards decreasing v for a non-mirrored mapping

uniform mat4 modelMatrix;
uniform mat4 viewMatrix;
uniform mat4 projMatrix;
uniform mat3 normalMatrix;
uniform vec3 light_pos;

out vec3 eyePosition;
out vec3 eyeLight;
out vec3 eyeNormal;
out vec3 eyeTangent;
out vec3 eyeBitangent;
out vec2 uv;

void main() {
    mat4 modelView = viewMatrix * modelMatrix;
    vec4 eye = modelView * vec4(position, 1.0);
    eyePosition = eye.xyz;
    eyeLight = (viewMatrix * vec4(light_pos, 1.0)).xyz;

    mat3 surface = mat3(modelView);
    eyeNormal = normalMatrix * normal;
    eyeTangent = surface * tangent;
    eyeBitangent = surface * bitangent;
    uv = texCoords.xy;

    gl_Position = projMatrix * eye;
}
