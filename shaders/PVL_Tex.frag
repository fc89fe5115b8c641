#version 150 core

// Per-pixel lighting of the scene in linear light, tone-mapped once at the end.
//
// What a material's values mean here (the town generator writes them so):
// - The colour map (sRGB) times "mat_diffuse" is what the surface reflects.
// - The colour map (or white) times "mat_ambient" times "light_ambient" is
//   the light it gives off on its own: lamps, glowing glass, flames, the sky.
//   The colour map's alpha says where: a sculpture's one picture holds stone,
//   metal and glass side by side, and only the glass shines. Most materials
//   give off nothing; a material with a black "mat_diffuse" and
//   "mat_specular" only shines, and takes neither light nor haze.
// - "mat_specular" times the normal map's alpha is how glossy a texel is:
//   in the same picture, bronze gleams and stone does not.
// - "light_ambient" is also the night's own light: the sky's glow from above
//   and the moon. The scene light is a warm lamp that walks through the town.
// - The third texture coordinate (w) is the light of the town's own lamps,
//   baked into the model by the town generator: above 0, their warm light
//   falling on the corner (in units of "light_ambient"); below 0, the shade
//   at the foot of something standing close by, which dims everything the
//   corner receives (-1 would be black). An emitter's w below 0 dims its
//   glow: a lit window's curtain.
//
// Map conventions (the texture generator writes its maps to match):
// - Texture rows: row 0 of the uploaded image is v = 0; v grows with the row.
//   With the picture's top row first, decreasing v is "up in the picture".
// - Tangent frame: "tangent" points towards increasing u, "bitangent" towards
//   DECREASING v (for a mapping that is not mirrored).
// - Normal map (rg * 2 - 1): red = +tangent = increasing u (right in the
//   picture), green = +bitangent = decreasing v (up in the picture, towards
//   row 0); the part out of the surface follows from the two. Its blue is
//   the relief's height, 0 low, 1 high.
// - Height map: red channel, the same heights; only its mean (the last mip
//   level) is read, as the level the relief shift is centred on.
// A mirrored mapping flips both tangent and bitangent relative to u and v;
// the vertex shader detects that by the frame's handedness and flips them
// back, so here "eyeTangent" always points towards increasing u and
// "eyeBitangent" towards decreasing v, and mirrored surfaces read their maps
// the same way. A mesh without a usable frame feeds zero vectors: no relief
// shift, and the normal map's bend reduces to the surface normal.
//
// The software rasteriser this must run well on executes every line of a
// shader for every pixel, whatever the uniforms say: both sides of an `if`,
// and a loop's body at least once. So the shader is one straight path, each
// map read once, and what a mesh lacks is switched off by a choice of values,
// not skipped; every operation counts, and the costly ones (pow, exp, a
// second lookup) are left out.
//
// The alpha channel carries how far the pixel's light goes beyond what the
// picture can show (see kGlowFrom): the bloom's bright pass reads its glow
// there, in linear light, rather than guessing it from clipped colours.

in vec3 eyePosition;
in vec3 eyeLight;
in vec3 eyeNormal;
in vec3 eyeTangent;
in vec3 eyeBitangent;
in vec2 uv;
in float haze;
in float baked;
in float heightMean;

uniform mat4 viewMatrix;

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

uniform float scale;  // -0.01: how far the height map shifts the lookup
uniform float bias;   // -0.003: the shift never goes further than this

out vec4 fragColor;

// The walking lamp: warm, strong close by, and a pool of light a few metres
// across round it: the fall-off of a small light, windowed so that it has
// gone by kLampReach (3 m at the model's 50 units to the metre) and ends
// with no slope, so no edge shows. Beyond that the square keeps the night's
// blue, and what the lamp visits is the brightest thing there.
const vec3 kLampColour = vec3(1.0, 0.8, 0.58);
const float kLampStrength = 5.0;
const float kLampHalfDistance = 35.0;
const float kLampReach = 150.0;

// The night, in units of "light_ambient": the sky's glow from above, the
// ground's faint bounce from below, and the moon (world direction towards it,
// matching the moon in the sky dome).
const vec3 kSkyGlow = vec3(0.42, 0.59, 1.12);
const vec3 kGroundBounce = vec3(0.1, 0.1, 0.11);
const vec3 kNightMiddle = 0.5 * (kSkyGlow + kGroundBounce);
const vec3 kNightSlope = 0.5 * (kSkyGlow - kGroundBounce);
const vec3 kMoonColour = vec3(0.48, 0.7, 1.23);
const vec3 kMoonDirection = vec3(0.4755, 0.7946, 0.3774);

// The town's lamps: sodium-warm, the colour of their glass; a w of 1 is
// about as bright as the night's light on the ground, and the pool right
// under a post's shade reaches some twenty times that.
const vec3 kStreetLight = vec3(0.96, 0.63, 0.33);

// The haze (its amount comes from the vertex shader) veils what is far off
// in the colour of the sky dome's picture below the horizon.
const vec3 kHazeColour = vec3(0.022, 0.027, 0.042);

const float kExposure = 1.6;

// Light above kGlowFrom (after exposure) glows; the alpha channel holds the
// excess up to kGlowFrom + kGlowRange, square-rooted for 8-bit precision in
// the faint parts. The bloom shader decodes it with the same range.
const float kGlowFrom = 1.8;
const float kGlowRange = 6.0;

// Interleaved gradient noise: a fine, even screen-space pattern in [0, 1).
float screenNoise() {
    return fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
}

// The colour maps are stored in sRGB; lighting needs linear values. Squaring
// is the classic cheap stand-in for the sRGB curve (within a few percent of
// it where the maps have their colours), where the exact curve would cost
// three square roots and a blend for every pixel.
vec3 srgbToLinear(vec3 c) { return c * c; }

// x^n for the highlights as (1 - n (1 - x) / 8)^8: three squarings instead
// of pow(), and close to it where highlights are bright.
float highlightPower(float x, float n) {
    float y = max(1.0 - n * (1.0 - x) / 8.0, 0.0);
    y *= y;
    y *= y;
    return y * y;
}

// A filmic curve with the display's encoding folded in (Hejl and
// Burgess-Dawson's fit): a gentle toe, and highlights that roll off into
// white instead of clipping. The bloom draws its halo with the same curve.
vec3 filmic(vec3 x) { return x * (6.2 * x + 0.5) / (x * (6.2 * x + 1.7) + 0.06); }

// The maps are sampled bilinearly on one mip level per pixel, picked the way
// the hardware picks it, rather than trilinearly: a software rasteriser pays
// for every level it reads. The three maps of a material share one size, so
// one level serves them all. Where one level gives way to the next, the
// choice is dithered over the middle half of the way between them: enough
// that no band shows, while most of a surface reads a single level (mixing
// two levels everywhere costs the rasteriser's cache about a tenth of the
// scene's time).
float mipLevel(vec2 p, float dither) {
    vec2 size = vec2(textureSize(texColor, 0));
    vec2 dx = dFdx(p) * size, dy = dFdy(p) * size;
    return floor(max(0.5 * log2(max(dot(dx, dx), dot(dy, dy))), 0.0) + 0.25 + 0.5 * dither);
}

void main() {
    float dither = screenNoise();
    float lod = mipLevel(uv, dither);
    // A pure emitter (the sky, a lamp's glass) takes neither light nor haze,
    // so its normal and height maps do not matter: it reads them from their
    // last level, a single texel that stays in cache, instead of wandering
    // through two large pictures for a fifth of the picture's pixels.
    bool emitterOnly = all(equal(mat_diffuse + mat_specular, vec3(0.0)));
    float shapeLod = emitterOnly ? 16.0 : lod;

    vec3 n = eyeNormal;
    // A mesh without normals feeds zeros; face the viewer rather than make NaNs.
    if (dot(n, n) < 1e-12) n = vec3(0.0, 0.0, 1.0);
    n = normalize(n);
    vec3 toEye = normalize(-eyePosition);

    vec3 t = eyeTangent, b = eyeBitangent;

    // One lookup of the normal map gives the bend (red, green) and the
    // relief's height (blue), unshifted: a lookup of a second picture per
    // pixel cost the software rasteriser 2.2 of the pass's 32 ms at tick 500.
    vec4 shape = textureLod(texNormal, uv, shapeLod);

    // Offset (parallax) mapping of the colour along the view ray, in texture
    // space. The shift is centred on the height map's mean (from the vertex
    // shader), so the surface's middle level stays put whatever the angle;
    // "scale" is negative, so a high texel moves the lookup back towards the
    // eye and white reads as raised; "bias" bounds it. Beyond two mip levels
    // the shift is under a texel and is left out, as it is for emitters.
    vec2 rayInTexture = vec2(dot(toEye, -t), dot(toEye, b));
    float relief = texturedHeight == 1 && texturedNormal == 1 && shapeLod < 2.0 ? 1.0 : 0.0;
    vec2 st = uv + relief * clamp((shape.b - heightMean) * scale, bias, -bias) * rayInTexture;

    // The colour map (or white) and its alpha, the glow mask; what the
    // surface gives off on its own.
    vec4 painted = texturedColor == 1 ? textureLod(texColor, st, lod) : vec4(1.0);
    vec3 surface = srgbToLinear(painted.rgb);
    vec3 glow = surface * painted.a * mat_ambient * light_ambient;

    // The normal map bends the normal in the tangent frame; its alpha is the gloss.
    vec2 lean = shape.rg * 2.0 - 1.0;
    vec3 bent = lean.x * t + lean.y * b + sqrt(max(1.0 - dot(lean, lean), 0.0)) * n;
    bool useMap = texturedNormal == 1 && dot(bent, bent) > 1e-12;
    n = useMap ? normalize(bent) : n;
    float gloss = useMap ? shape.a : 1.0;

    // The night's light: sky above, ground below, and the moon.
    vec3 up = viewMatrix[2].xyz;  // the world's +z, seen from the eye
    vec3 moon = mat3(viewMatrix) * kMoonDirection;
    // The town's lamps add theirs; the shade at something's foot dims both.
    float open = max(1.0 + min(baked, 0.0), 0.0);
    vec3 night = light_ambient * (open * (kNightMiddle + kNightSlope * dot(n, up) +
                                          kMoonColour * max(dot(n, moon), 0.0)) +
                                  max(baked, 0.0) * kStreetLight);

    // The walking lamp, with a highlight where the normal map says it is glossy.
    vec3 toLight = eyeLight - eyePosition;
    float lightSquared = dot(toLight, toLight);
    vec3 l = toLight * inversesqrt(max(lightSquared, 1e-12));
    float reach = min(lightSquared * (1.0 / (kLampReach * kLampReach)), 1.0);
    float window = 1.0 - reach * reach;
    float lamp = kLampStrength * window * window /
                 (1.0 + lightSquared * (1.0 / (kLampHalfDistance * kLampHalfDistance)));
    float lambert = max(dot(n, l), 0.0);
    vec3 halfway = normalize(l + toEye);
    float highlight = lambert > 0.0 ? highlightPower(max(dot(n, halfway), 0.0), max(mat_shininess, 1.0)) : 0.0;

    // Scalars first: the compiler keeps the order written, and each vector
    // product costs three operations per pixel.
    vec3 albedo = surface * mat_diffuse;
    vec3 lit = glow + albedo * (night + (lamp * lambert) * (kLampColour * light_diffuse)) +
               (lamp * gloss * highlight) * (kLampColour * light_specular * mat_specular);
    vec3 colour = emitterOnly ? glow * open : mix(lit, kHazeColour, haze);

    // Exposure, the glow beyond kGlowFrom for the bloom, and the filmic curve;
    // half a step of 8-bit noise keeps the night's dark gradients from banding.
    vec3 exposed = max(colour, 0.0) * kExposure;
    float glowAmount = max(max(exposed.r, max(exposed.g, exposed.b)) - kGlowFrom, 0.0);
    vec3 display = filmic(exposed) + (dither - 0.5) / 255.0;
    fragColor = vec4(display, sqrt(min(glowAmount / kGlowRange, 1.0)));
}
