// Shader stages from files: read a GLSL file whole, compile it, attach it.
//
// Every stage of the demo lives in a file of its own under shaders/, read at
// start-up. The file's bytes go to the compiler unchanged (CR LF line ends
// included) with their length given explicitly, so no terminator is added.
//
// Outcomes are reported on the console and start-up goes on; the one failure
// that ends the process is a shader file that cannot be read at all.
#pragma once

// One GLSL program, built up stage by stage. The record lives for the whole
// run; its shader objects are never deleted.
struct ShaderProgram {
    unsigned int name = 0;  // the GL program; 0 until the first addShader

    // Reads, compiles and attaches one stage. type is GL_VERTEX_SHADER or
    // GL_FRAGMENT_SHADER. Prints "File <path> loaded.", then either
    // "Shader <path> compiled successfully." and an empty line, or
    // "Shader <path> not compiled." and the driver's log when it has one.
    // False when the stage did not compile; it is then left out of the program.
    bool addShader(const char* path, unsigned int type);
};

// Reads the file at path (relative to the working directory) in binary and
// returns a new[]-allocated buffer of exactly its size, not zero-terminated;
// length receives the size. The caller delete[]s the buffer. Prints
// "File <path> loaded.". A file that cannot be opened, or whose size cannot be
// found (a directory, a pipe), prints "Unable to open file <path>" and ends the
// process with exit code 1.
char* readWholeFile(const char* path, int& length);

// Prints "InfoLog:" and the compile log of shader, or nothing when the log is empty.
void printShaderInfoLog(unsigned int shader);
