#include "shading/shader_program.h"

#include <GL/glew.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

namespace {

// The one fatal shader failure: without its source a stage cannot exist.
[[noreturn]] void unableToOpen(const char* path) {
    std::cout << "Unable to open file " << path << std::endl;
    std::exit(1);
}

}  // namespace

char* readWholeFile(const char* path, int& length) {
    std::ifstream file(path, std::ios::in | std::ios::binary | std::ios::ate);
    if (!file.is_open()) unableToOpen(path);

    // Opening a directory succeeds on Linux, and its "size" means nothing;
    // only a regular file has a size that tells how much source there is.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || error) unableToOpen(path);
    std::streamoff size = file.tellg();
    if (size < 0 || size > INT_MAX) unableToOpen(path);
    length = static_cast<int>(size);

    // Exactly the file's bytes, no terminator: the length travels beside them.
    char* buffer = new char[static_cast<size_t>(length)];
    file.seekg(0, std::ios::beg);
    file.read(buffer, length);
    file.close();

    std::cout << "File " << path << " loaded." << std::endl;
    return buffer;
}

void printShaderInfoLog(unsigned int shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return;

    char* log = new char[static_cast<size_t>(length)];
    GLsizei written = 0;
    glGetShaderInfoLog(shader, length, &written, log);
    std::cout << "InfoLog:" << std::endl << std::string(log, static_cast<size_t>(written)) << std::endl;
    delete[] log;
}

bool ShaderProgram::addShader(const char* path, unsigned int type) {
    if (name == 0) name = glCreateProgram();
    GLuint shader = glCreateShader(type);

    int length = 0;
    char* source = readWholeFile(path, length);
    const GLchar* sources[1] = {source};
    const GLint lengths[1] = {length};
    glShaderSource(shader, 1, sources, lengths);
    glCompileShader(shader);

    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == 0) {
        std::cout << "Shader " << path << " not compiled." << std::endl;
        printShaderInfoLog(shader);
        delete[] source;
        return false;
    }

    std::cout << "Shader " << path << " compiled successfully.\n" << std::endl;
    glAttachShader(name, shader);
    delete[] source;
    return true;
}
