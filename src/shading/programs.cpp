#include "shading/programs.h"

#include <GL/glew.h>

#include <iostream>

#include "shading/shader_bindings.h"

ShaderProgram pvlTexProgram;
ShaderProgram motionBlurProgram;
ShaderProgram pureQuadProgram;
ShaderProgram bloomProgram;

UniformLocations uniformLocations;

namespace {

struct StageFile {
    ShaderProgram* program;
    const char* path;
    GLenum type;
};

struct AttributeBinding {
    ShaderProgram* program;
    GLuint location;
    const char* name;
};

struct UniformLookup {
    ShaderProgram* program;
    const char* name;
    int* location;
};

// The console shows locations as unsigned numbers, so -1 reads 4294967295.
void printBinding(const char* kind, const char* name, unsigned int location) {
    std::cout << kind << " \"" << name << "\" bound to ID " << location << "." << std::endl;
}

}  // namespace

void buildShaderPrograms() {
    ShaderProgram* programs[4] = {&pvlTexProgram, &motionBlurProgram, &pureQuadProgram, &bloomProgram};

    // All four GL programs exist before any file is read.
    for (ShaderProgram* program : programs) {
        *program = ShaderProgram{};
        program->name = glCreateProgram();
    }

    const StageFile stages[8] = {
        {&pvlTexProgram, "shaders/PVL_Tex.vert", GL_VERTEX_SHADER},
        {&pvlTexProgram, "shaders/PVL_Tex.frag", GL_FRAGMENT_SHADER},
        {&motionBlurProgram, "shaders/motionBlur.vert", GL_VERTEX_SHADER},
        {&motionBlurProgram, "shaders/motionBlur.frag", GL_FRAGMENT_SHADER},
        {&pureQuadProgram, "shaders/pureQuad.vert", GL_VERTEX_SHADER},
        {&pureQuadProgram, "shaders/pureQuad.frag", GL_FRAGMENT_SHADER},
        {&bloomProgram, "shaders/bloom.vert", GL_VERTEX_SHADER},
        {&bloomProgram, "shaders/bloom.frag", GL_FRAGMENT_SHADER},
    };
    // A stage that fails to compile is reported and left out; the program is
    // linked without it all the same.
    for (const StageFile& stage : stages) stage.program->addShader(stage.path, stage.type);

    const AttributeBinding attributes[8] = {
        {&pvlTexProgram, kPositionAttribute, "position"},
        {&pvlTexProgram, kNormalAttribute, "normal"},
        {&pvlTexProgram, kTexCoordsAttribute, "texCoords"},
        {&pvlTexProgram, kTangentAttribute, "tangent"},
        {&pvlTexProgram, kBitangentAttribute, "bitangent"},
        {&motionBlurProgram, kPositionAttribute, "position"},
        {&pureQuadProgram, kPositionAttribute, "position"},
        {&bloomProgram, kPositionAttribute, "position"},
    };
    for (const AttributeBinding& attribute : attributes) {
        glBindAttribLocation(attribute.program->name, attribute.location, attribute.name);
        printBinding("Attribute", attribute.name, attribute.location);
    }

    for (ShaderProgram* program : programs) glLinkProgram(program->name);

    UniformLocations& u = uniformLocations;
    const UniformLookup uniforms[31] = {
        {&pvlTexProgram, "modelMatrix", &u.modelMatrix},
        {&pvlTexProgram, "viewMatrix", &u.viewMatrix},
        {&pvlTexProgram, "projMatrix", &u.projMatrix},
        {&pvlTexProgram, "normalMatrix", &u.normalMatrix},
        {&pvlTexProgram, "mat_diffuse", &u.matDiffuse},
        {&pvlTexProgram, "mat_ambient", &u.matAmbient},
        {&pvlTexProgram, "mat_specular", &u.matSpecular},
        {&pvlTexProgram, "mat_shininess", &u.matShininess},
        {&pvlTexProgram, "light_diffuse", &u.lightDiffuse},
        {&pvlTexProgram, "light_ambient", &u.lightAmbient},
        {&pvlTexProgram, "light_specular", &u.lightSpecular},
        {&pvlTexProgram, "light_pos", &u.lightPos},
        {&pvlTexProgram, "texturedColor", &u.texturedColor},
        {&pvlTexProgram, "texturedNormal", &u.texturedNormal},
        {&pvlTexProgram, "texturedHeight", &u.texturedHeight},
        {&pvlTexProgram, "texColor", &u.pvlTexColor},
        {&pvlTexProgram, "texNormal", &u.texNormal},
        {&pvlTexProgram, "texHeight", &u.texHeight},
        {&pvlTexProgram, "scale", &u.scale},
        {&pvlTexProgram, "bias", &u.bias},
        {&motionBlurProgram, "texColor", &u.motionBlurTexColor},
        {&motionBlurProgram, "texDepth", &u.texDepth},
        {&motionBlurProgram, "ivpMatrix", &u.ivpMatrix},
        {&motionBlurProgram, "prevVpMatrix", &u.prevVpMatrix},
        {&bloomProgram, "texColor", &u.bloomTexColor},
        {&bloomProgram, "texThresh", &u.texThresh},
        {&bloomProgram, "horizontal", &u.horizontal},
        {&bloomProgram, "threshold", &u.threshold},
        {&bloomProgram, "width", &u.width},
        {&bloomProgram, "height", &u.height},
        {&pureQuadProgram, "offset", &u.offset},
    };
    for (const UniformLookup& uniform : uniforms) {
        *uniform.location = glGetUniformLocation(uniform.program->name, uniform.name);
        printBinding("Uniform", uniform.name, static_cast<unsigned int>(*uniform.location));
    }
}
