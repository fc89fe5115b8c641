#include "shading/program_rebuild.h"

#include <GL/glew.h>

#include <iostream>
#include <sstream>
#include <string>

#include "shading/programs.h"

namespace {

struct NamedProgram {
    ShaderProgram* program;
    const char* label;
};

const NamedProgram kPrograms[4] = {
    {&pvlTexProgram, "pvlTexProgram (PVL_Tex)"},
    {&motionBlurProgram, "motionBlurProgram (motionBlur)"},
    {&pureQuadProgram, "pureQuadProgram (pureQuad)"},
    {&bloomProgram, "bloomProgram (bloom)"},
};

// What a build left of a program: addShader attaches a stage only when it
// compiled, so a program with fewer than its two stages lost one; such a
// program may still link (a missing fragment stage is legal) and must not be
// used all the same.
struct BuildState {
    bool bothStages = false;
    bool linked = false;
};

BuildState buildStateOf(unsigned name) {
    GLint attached = 0;
    GLint linked = 0;
    glGetProgramiv(name, GL_ATTACHED_SHADERS, &attached);
    glGetProgramiv(name, GL_LINK_STATUS, &linked);
    return {attached == 2, linked != 0};
}

bool complete(unsigned name) {
    const BuildState state = buildStateOf(name);
    return state.bothStages && state.linked;
}

void printLinkLog(const NamedProgram& named) {
    const BuildState state = buildStateOf(named.program->name);
    // A lost stage was reported with its compile log already.
    if (!state.bothStages || state.linked) return;
    GLint length = 0;
    glGetProgramiv(named.program->name, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(length > 0 ? length : 0), '\0');
    GLsizei written = 0;
    if (length > 0) glGetProgramInfoLog(named.program->name, length, &written, log.data());
    log.resize(static_cast<size_t>(written));
    std::cout << named.label << " did not link." << std::endl;
    if (!log.empty()) std::cout << log << std::endl;
}

// The program goes with the shaders attached to it: nothing else holds them.
void deleteProgram(unsigned name) {
    GLuint shaders[8] = {};
    GLsizei count = 0;
    glGetAttachedShaders(name, 8, &count, shaders);
    glDeleteProgram(name);
    for (GLsizei i = 0; i < count; ++i) glDeleteShader(shaders[i]);
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The build's report without what every good build prints: what is left are
// the failed stages with their logs, and uniforms the shaders lack.
void printNews(const std::string& report, bool keepMissingUniforms) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || startsWith(line, "Attribute \"")) continue;
        if (startsWith(line, "File ") && endsWith(line, " loaded.")) continue;
        if (startsWith(line, "Shader ") && endsWith(line, " compiled successfully.")) continue;
        if (startsWith(line, "Uniform \"") &&
            !(keepMissingUniforms && endsWith(line, " bound to ID 4294967295."))) {
            continue;
        }
        std::cout << line << std::endl;
    }
}

}  // namespace

bool rebuildShaderPrograms() {
    ShaderProgram old[4];
    for (int i = 0; i < 4; ++i) old[i] = *kPrograms[i].program;
    const UniformLocations oldLocations = uniformLocations;

    // The very build start-up runs, so the files, attributes and uniforms
    // cannot drift apart from the demo's; its report is sifted afterwards.
    std::ostringstream report;
    std::streambuf* console = std::cout.rdbuf(report.rdbuf());
    buildShaderPrograms();
    std::cout.rdbuf(console);

    bool allComplete = true;
    for (const NamedProgram& named : kPrograms) allComplete = complete(named.program->name) && allComplete;

    if (allComplete) {
        for (const ShaderProgram& program : old) deleteProgram(program.name);
        printNews(report.str(), true);
        std::cout << "Shaders rebuilt: the four programs from the eight files, uniforms looked up again."
                  << std::endl;
        return true;
    }

    printNews(report.str(), false);
    for (const NamedProgram& named : kPrograms) printLinkLog(named);
    for (int i = 0; i < 4; ++i) {
        deleteProgram(kPrograms[i].program->name);
        *kPrograms[i].program = old[i];
    }
    uniformLocations = oldLocations;
    std::cout << "Shaders not rebuilt: the programs in use stay until the files build." << std::endl;
    return false;
}
