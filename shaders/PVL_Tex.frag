#version 150 core

// Per-pixel lighting of the scene: ambient + diffuse + Blinn-Phong specular
// from one point light, with optional colour, normal and height maps.
//
// Map conventions (the texture generator writes its maps to match):
// - Texture rows: row 0 of the uploaded image is v = 0; v grows with the row.
//   With the picture's top row first, decreasing v is "up in the picture".
// - Tangent frame: "tangent" points towards increasing u, "bitangent" towards
//   DECREASING v (for a mapping that is not mirrored).
// - Normal map (rgb * 2 - 1): red = +tangent = increasing u (right in the
//   picture), green = +bitangent = decreasing v (up in the picture, towards
//   row 0), blue = out of the surface.
// - Height map: red channel, 0 (black) is low, 1 (white) is high.
// A mirrored mapping flips both tangent and bitangent relative to u and v;
// the handedness of the interpolated frame detects that and flips back, so
// mirrored surfaces read their maps the same way.

in vec3 eyePosition;
in vec3 eyeLight;
in vec3 eyeNormal;
in vec3 eyeTangent;
in vec3 eyeBitangent;
in vec2 uv;

uniform vec3 mat_diffuse;
uniform vec3 mat_ambient;
uniform vec3 mat_specular;
uniform float mat_shininess;

uniform vec3 light_diffuse;
uniform vec3 light_ambient;
uniform vec3 light_specular;

uniform int texturedColor;
uniform int texturedNormal;
uniform int texturedHeight;

uniform sampler2D texColor;
uniform sampler2D texNormal;
uniform sampler2D texHeight;

uniform float scale;  // -0.01
uniform float bias;   // -0.003

out vec4 fragColor;

// Distance at which the light has fallen to half: about the size of the town,
// so the falloff shades the scene gently instead of spotlighting it.
const float kHalfLightDistance = 800.0;

// The maps are sampled bilinearly on one mip level per pixel, picked the way
// the hardware picks it, rather than trilinearly: a software rasteriser pays
// for every level it reads, and the frame has no time for a second one. The
// three maps of a material share one size, so one level serves them all.
float mipLevel(vec2 p) {
    vec2 size = vec2(textureSize(texColor, 0));
    vec2 dx = dFdx(p) * size, dy = dFdy(p) * size;
    return max(0.5 * log2(max(dot(dx, dx), dot(dy, dy))), 0.0);
}

void main() {
    float lod = floor(mipLevel(uv) + 0.5);
    vec3 n = eyeNormal;
    // A mesh without normals feeds zeros; face the viewer rather than make NaNs.
    if (dot(n, n) < 1e-12) n = vec3(0.0, 0.0, 1.0);
    n = normalize(n);
    vec3 toEye = normalize(-eyePosition);

    // The maps need a usable tangent frame; degenerate texture mappings lack one.
    bool hasFrame = dot(eyeTangent, eyeTangent) > 1e-12 && dot(eyeBitangent, eyeBitangent) > 1e-12;
    vec3 t = hasFrame ? normalize(eyeTangent) : vec3(1.0, 0.0, 0.0);
    vec3 b = hasFrame ? normalize(eyeBitangent) : vec3(0.0, 1.0, 0.0);
    // +1 for the standard frame (tangent x bitangent points into the surface),
    // -1 for a mirrored one. Then +u = mirror * t and +v = -mirror * b.
    float mirror = dot(cross(t, b), n) < 0.0 ? 1.0 : -1.0;

    // Offset (parallax) mapping. The offset (height * scale + bias) is taken
    // along the view ray, eye towards surface, in texture space. scale and bias
    // are negative, so a high texel moves the lookup back towards the eye:
    // what is raised covers what lies behind it, and white reads as raised.
    // Not divided by the ray's depth, which keeps grazing angles from swimming.
    vec2 st = uv;
    if (texturedHeight == 1 && hasFrame) {
        // One level coarser: the shift needs the relief, not its fine grain.
        float height = textureLod(texHeight, uv, lod + 1.0).r;
        vec3 ray = -toEye;
        vec2 rayInTexture = vec2(dot(ray, mirror * t), dot(ray, -mirror * b));
        st = uv + (height * scale + bias) * rayInTexture;
    }

    if (texturedNormal == 1 && hasFrame) {
        vec3 mapped = textureLod(texNormal, st, lod).rgb * 2.0 - 1.0;
        vec3 bent = mirror * (mapped.x * t + mapped.y * b) + mapped.z * n;
        if (dot(bent, bent) > 1e-12) n = normalize(bent);
    }

    vec3 albedo = texturedColor == 1 ? textureLod(texColor, st, lod).rgb : mat_diffuse;

    vec3 toLight = eyeLight - eyePosition;
    float distance = length(toLight);
    vec3 l = toLight / max(distance, 1e-6);
    float falloff = 1.0 / (1.0 + (distance / kHalfLightDistance) * (distance / kHalfLightDistance));

    float lambert = max(dot(n, l), 0.0);
    vec3 halfway = normalize(l + toEye);
    float highlight = lambert > 0.0 ? pow(max(dot(n, halfway), 0.0), max(mat_shininess, 1.0)) : 0.0;

    vec3 ambient = light_ambient * (albedo + mat_ambient);
    vec3 diffuse = light_diffuse * albedo * lambert;
    vec3 specular = light_specular * mat_specular * highlight;
    fragColor = vec4(ambient + falloff * (diffuse + specular), 1.0);
}
