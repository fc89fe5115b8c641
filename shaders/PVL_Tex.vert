#version 150 core

// Scene geometry, lit per pixel in eye space.
//
// The model matrix centres the model at the origin, so "light_pos" (given in
// that centred world) only needs the view matrix to reach eye space. The view
// and model matrices are rigid, so normals go through "normalMatrix" and the
// surface directions (tangent, bitangent) through the model-view matrix; both
// end up in the same eye-space frame. Points and directions go through the
// two matrices one after the other: cheaper per vertex than their product.

in vec3 position;
in vec3 normal;
in vec3 texCoords;   // (u, v, w): w is the night's light the town generator baked in
in vec3 tangent;     // towards increasing u
in vec3 bitangent;   // towards decreasing v for a non-mirrored mapping

uniform mat4 modelMatrix;
uniform mat4 viewMatrix;
uniform mat4 projMatrix;
uniform mat3 normalMatrix;
uniform vec3 light_pos;
uniform sampler2D texHeight;

out vec3 eyePosition;
out vec3 eyeLight;
out vec3 eyeNormal;
out vec3 eyeTangent;
out vec3 eyeBitangent;
out vec2 uv;
out float haze;  // how much of the night's haze lies between the eye and this point
out float baked;  // w, passed on
out float heightMean;  // the level the relief shift is centred on

// Haze thickens with distance and thins as the eye rises above it, so the
// outskirts fade into the night at street level while the view from high
// above stays clear. The amount changes slowly across a triangle and is
// worked out here, per vertex.
const float kHazeDensity = 0.00032;   // per unit of distance, at street level
const float kHazeThinning = 900.0;    // eye height at which the density has halved

// The walking lamp's own body is modelled round the origin with a w of a
// thousand (nothing else comes near): it is carried to the light.
const float kRidesWithLight = 500.0;

void main() {
    vec4 world = modelMatrix * vec4(position, 1.0);
    world.xyz += texCoords.z >= kRidesWithLight ? light_pos : vec3(0.0);
    vec4 eye = viewMatrix * world;
    eyePosition = eye.xyz;
    baked = texCoords.z;
    // The height map's mean is its last mip level: read once per corner
    // here rather than once per pixel.
    heightMean = textureLod(texHeight, texCoords.xy, 16.0).r;
    eyeLight = (viewMatrix * vec4(light_pos, 1.0)).xyz;

    mat3 view = mat3(viewMatrix), model = mat3(modelMatrix);
    eyeNormal = normalMatrix * normal;
    // A mirrored mapping shows as a frame of the other handedness (tangent x
    // bitangent points out of the surface instead of into it); flipping both
    // here, once per vertex, saves every pixel the test.
    vec3 t = view * (model * tangent), b = view * (model * bitangent);
    float mirror = dot(cross(t, b), eyeNormal) < 0.0 ? 1.0 : -1.0;
    eyeTangent = mirror * t;
    eyeBitangent = mirror * b;
    uv = texCoords.xy;

    // The eye's height in the world: the view matrix's last column seen
    // along its third, the world's +z in eye space.
    float eyeHeight = max(-dot(viewMatrix[2].xyz, viewMatrix[3].xyz), 0.0);
    float depth = kHazeDensity * length(eye.xyz) / (1.0 + eyeHeight / kHazeThinning);
    haze = 1.0 - 1.0 / (1.0 + depth * (1.0 + 0.5 * depth));

    gl_Position = projMatrix * eye;
}
