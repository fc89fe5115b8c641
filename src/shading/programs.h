// The demo's four GLSL programs and the locations of the uniforms it sets.
//
// This is the contract with the files in shaders/: which files make each
// program, which attribute sits at which location, and which uniforms the
// passes look up. Everything is built once at start-up by buildShaderPrograms
// and only read afterwards, by the passes.
//
//   program            files                                 used by
//   pvlTexProgram      PVL_Tex.vert / PVL_Tex.frag           scene pass
//   motionBlurProgram  motionBlur.vert / motionBlur.frag     motion blur pass
//   pureQuadProgram    pureQuad.vert / pureQuad.frag         final composite
//   bloomProgram       bloom.vert / bloom.frag               bloom pass
//
// Attributes: pvlTexProgram has "position", "normal", "texCoords", "tangent"
// and "bitangent" (three floats each); the three quad programs have
// "position" (two floats). Their locations and the texture units the samplers
// are set to are in shading/shader_bindings.h.
#pragma once

#include "shading/shader_program.h"

extern ShaderProgram pvlTexProgram;
extern ShaderProgram motionBlurProgram;
extern ShaderProgram pureQuadProgram;
extern ShaderProgram bloomProgram;

// One location per uniform, in lookup order; -1 where the linked program lacks
// the name (GL then ignores every set on it). The quoted shader-side name
// follows each field; "texColor" exists in three programs, hence three fields.
struct UniformLocations {
    // pvlTexProgram
    int modelMatrix = -1;     // "modelMatrix", mat4
    int viewMatrix = -1;      // "viewMatrix", mat4
    int projMatrix = -1;      // "projMatrix", mat4
    int normalMatrix = -1;    // "normalMatrix", mat3
    int matDiffuse = -1;      // "mat_diffuse", vec3
    int matAmbient = -1;      // "mat_ambient", vec3
    int matSpecular = -1;     // "mat_specular", vec3
    int matShininess = -1;    // "mat_shininess", float
    int lightDiffuse = -1;    // "light_diffuse", vec3
    int lightAmbient = -1;    // "light_ambient", vec3
    int lightSpecular = -1;   // "light_specular", vec3
    int lightPos = -1;        // "light_pos", vec3, world position
    int texturedColor = -1;   // "texturedColor", int 0/1
    int texturedNormal = -1;  // "texturedNormal", int 0/1
    int texturedHeight = -1;  // "texturedHeight", int 0/1
    int pvlTexColor = -1;     // "texColor", sampler unit
    int texNormal = -1;       // "texNormal", sampler unit
    int texHeight = -1;       // "texHeight", sampler unit
    int scale = -1;           // "scale", float
    int bias = -1;            // "bias", float
    // motionBlurProgram
    int motionBlurTexColor = -1;  // "texColor", sampler unit
    int texDepth = -1;            // "texDepth", sampler unit
    int ivpMatrix = -1;           // "ivpMatrix", mat4
    int prevVpMatrix = -1;        // "prevVpMatrix", mat4
    // bloomProgram
    int bloomTexColor = -1;  // "texColor", sampler unit
    int texThresh = -1;      // "texThresh", sampler unit
    int horizontal = -1;     // "horizontal", int 0/1
    int threshold = -1;      // "threshold", int 0/1
    int width = -1;          // "width", float
    int height = -1;         // "height", float
    // pureQuadProgram
    int offset = -1;  // "offset", float
};

extern UniformLocations uniformLocations;

// Creates the four GL programs, compiles and attaches the eight files from
// shaders/ (a missing file ends the process with exit code 1), binds the
// attributes, links the four programs and looks up the 31 uniforms, printing
// `Attribute "<name>" bound to ID <n>.` and `Uniform "<name>" bound to ID <n>.`
// (a missing uniform shows as 4294967295). Link results are not checked: a
// program that fails to link simply has every uniform at -1.
// Requires a current OpenGL 3.2 context.
void buildShaderPrograms();
