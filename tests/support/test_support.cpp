#include "test_support.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace fs = std::filesystem;

std::string sourcePath(const std::string& relative) { return std::string(TARNWICK_SOURCE_DIR) + "/" + relative; }
std::string runPath(const std::string& relative) { return std::string(TARNWICK_RUN_DIR) + "/" + relative; }
std::string demoBinary() { return TARNWICK_BINARY; }

std::string makeScratchDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::string path = "/tmp/tarnwick-test-" + tag + "-" + std::to_string(getpid()) + "-" +
                       std::to_string(counter++);
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

void copyShaders(const std::string& dir) {
    fs::create_directories(dir + "/shaders");
    for (const auto& entry : fs::directory_iterator(sourcePath("shaders"))) {
        fs::copy_file(entry.path(), dir + "/shaders/" + entry.path().filename().string(),
                      fs::copy_options::overwrite_existing);
    }
}

void writeFile(const std::string& path, const std::string& contents) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << contents;
    if (!out) ADD_FAILURE() << "could not write " << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void makeDirs(const std::string& path) { fs::create_directories(path); }

namespace {

// This process's environment with extraEnv applied: "NAME=value" adds or
// replaces NAME, "NAME=" removes it.
std::vector<std::string> childEnvironment(const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('='));
        for (auto it = env.begin(); it != env.end();) {
            if (it->compare(0, name.size() + 1, name + "=") == 0) it = env.erase(it);
            else ++it;
        }
        if (extra.size() > name.size() + 1) env.push_back(extra);
    }
    return env;
}

}  // namespace

ChildProcess startChild(const std::string& program, const std::string& workingDir,
                        const std::vector<std::string>& extraEnv, const std::vector<std::string>& args) {
    ChildProcess child;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return child;
    }

    std::vector<std::string> env = childEnvironment(extraEnv);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programCopy = program;
    std::vector<std::string> argStore = args;
    std::vector<char*> argv{programCopy.data()};
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    child.pid = fork();
    if (child.pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (chdir(workingDir.c_str()) != 0) _exit(126);
        execve(programCopy.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (child.pid < 0) {
        ADD_FAILURE() << "fork failed";
        close(pipeFds[0]);
        return child;
    }
    child.outputFd = pipeFds[0];
    return child;
}

void recordExitStatus(ProcessResult& result, int status) {
    if (WIFEXITED(status)) {
        result.exited = !result.timedOut;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

ProcessResult runProgram(const std::string& program, const std::string& workingDir,
                         double timeoutSeconds, const std::vector<std::string>& extraEnv,
                         const std::vector<std::string>& args) {
    ProcessResult result;
    const ChildProcess child = startChild(program, workingDir, extraEnv, args);
    if (child.pid < 0) return result;
    const pid_t pid = child.pid;
    const int outputFd = child.outputFd;

    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd pfd{outputFd, POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(std::min<long>(left, 200)));
        if (ready > 0) {
            ssize_t n = read(outputFd, buffer, sizeof buffer);
            if (n <= 0) break;  // the child closed its end: it is ending
            result.output.append(buffer, static_cast<size_t>(n));
        }
    }
    // Drain whatever is left after the child ended.
    for (;;) {
        ssize_t n = read(outputFd, buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(outputFd);

    int status = 0;
    waitpid(pid, &status, 0);
    recordExitStatus(result, status);
    return result;
}

int countOccurrences(const std::string& text, const std::string& needle) {
    if (needle.empty()) return 0;
    int count = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + needle.size())) {
        ++count;
    }
    return count;
}

bool openHiddenContext(int width, int height) {
    if (!glfwInit()) return false;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(width, height, "test", nullptr, nullptr);
    if (window == nullptr) return false;
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    return glewInit() == GLEW_OK;
}

int textureLevelParameter(unsigned texture, int level, unsigned parameter) {
    GLint value = -1;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, parameter, &value);
    return value;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

SyncCountingBuffer::int_type SyncCountingBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize SyncCountingBuffer::xsputn(const char* s, std::streamsize n) {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
}

int SyncCountingBuffer::sync() {
    syncedAt_.push_back(text_.size());
    return 0;
}

std::vector<std::string> SyncCountingBuffer::unflushedLines() const {
    auto synced = [&](std::size_t at) {
        return std::find(syncedAt_.begin(), syncedAt_.end(), at) != syncedAt_.end();
    };
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text_.size()) {
        const std::size_t end = text_.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text_.substr(start));  // no end-of-line at all
            break;
        }
        const bool pairedWithSyncedEmptyLine = end + 1 < text_.size() && text_[end + 1] == '\n' && synced(end + 2);
        if (!synced(end + 1) && !pairedWithSyncedEmptyLine) lines.push_back(text_.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string captureConsole(const std::function<void()>& work) {
    std::ostringstream out;
    std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
    work();
    std::cout.rdbuf(previous);
    return out.str();
}
