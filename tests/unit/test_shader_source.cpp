// Reading shader source files: exact bytes in, and the one fatal failure.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>

#include "shading/shader_program.h"
#include "test_support.h"

namespace {

struct Captured {
    std::string text;
    std::string out;
    int length = -1;
};

Captured readCapturingOutput(const std::string& path) {
    Captured result;
    std::ostringstream out;
    std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
    char* buffer = readWholeFile(path.c_str(), result.length);
    std::cout.rdbuf(previous);
    result.text.assign(buffer, static_cast<size_t>(result.length));
    delete[] buffer;
    result.out = out.str();
    return result;
}

struct ChildResult {
    bool exited = false;
    int exitCode = -1;
    std::string out;
};

// readWholeFile ends the process on failure, so it runs in a child whose
// standard output comes back through a pipe.
ChildResult readInChild(const std::string& path) {
    ChildResult result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    std::cout.flush();
    pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        int length = 0;
        readWholeFile(path.c_str(), length);
        _exit(0);  // reached only when the read did not fail
    }
    close(fds[1]);
    char chunk[256];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) result.out.append(chunk, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exited = WIFEXITED(status);
    if (result.exited) result.exitCode = WEXITSTATUS(status);
    return result;
}

TEST(ReadWholeFile, ReturnsTheFileBytesUnchanged) {
    std::string dir = makeScratchDir("source");
    // CR LF line ends, a lone CR, a zero byte and bytes above 127 all survive.
    std::string bytes = std::string("#version 150 core\r\nvoid main() {}\r\n\r") + '\0' + "\xff\x80 end";
    writeFile(dir + "/crlf.vert", bytes);

    Captured read = readCapturingOutput(dir + "/crlf.vert");
    EXPECT_EQ(read.length, static_cast<int>(bytes.size()));
    EXPECT_EQ(read.text, bytes);
    EXPECT_EQ(read.out, "File " + dir + "/crlf.vert loaded.\n");
}

TEST(ReadWholeFile, AnEmptyFileHasLengthZero) {
    std::string dir = makeScratchDir("source");
    writeFile(dir + "/empty.frag", "");
    Captured read = readCapturingOutput(dir + "/empty.frag");
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(read.out, "File " + dir + "/empty.frag loaded.\n");
}

TEST(ReadWholeFile, AMissingFileOrADirectoryEndsTheProcessWithCodeOne) {
    std::string dir = makeScratchDir("source");
    makeDirs(dir + "/shaders/bloom.frag");
    for (const std::string& path : {dir + "/shaders/missing.vert", dir + "/shaders/bloom.frag", dir + "/shaders"}) {
        ChildResult child = readInChild(path);
        ASSERT_TRUE(child.exited) << path;
        EXPECT_EQ(child.exitCode, 1) << path;
        EXPECT_EQ(child.out, "Unable to open file " + path + "\n");
    }
}

}  // namespace
