#include "demo_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Bool, Status) that clash with other headers.
#include <X11/Xlib.h>

extern char** environ;

double secondsNow() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point epoch = clock::now();
    return std::chrono::duration<double>(clock::now() - epoch).count();
}

DemoProcess::DemoProcess(const std::string& program, const std::string& workingDir,
                         const std::vector<std::string>& extraEnv) {
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        ended_ = true;
        return;
    }
    // Everything the child needs is built before the fork.
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
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string programCopy = program;
    char* argv[] = {programCopy.data(), nullptr};

    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(workingDir.c_str()) != 0) _exit(126);
        execve(programCopy.c_str(), argv, envp.data());
        _exit(127);
    }
    close(fds[1]);
    outFd_ = fds[0];
    fcntl(outFd_, F_SETFL, fcntl(outFd_, F_GETFL) | O_NONBLOCK);
}

DemoProcess::~DemoProcess() {
    if (!ended_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (outFd_ >= 0) close(outFd_);
}

bool DemoProcess::running() {
    if (ended_) return false;
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return !ended_;
}

bool DemoProcess::pump(double seconds) {
    const double deadline = secondsNow() + seconds;
    char buffer[4096];
    for (;;) {
        for (;;) {
            ssize_t n = outFd_ >= 0 ? read(outFd_, buffer, sizeof buffer) : -1;
            if (n <= 0) break;
            output_.append(buffer, static_cast<size_t>(n));
        }
        if (!running()) {
            // The last words after the end.
            for (ssize_t n; outFd_ >= 0 && (n = read(outFd_, buffer, sizeof buffer)) > 0;) {
                output_.append(buffer, static_cast<size_t>(n));
            }
            return false;
        }
        const double left = deadline - secondsNow();
        if (left <= 0) return true;
        pollfd pfd{outFd_, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(std::min(left, 0.05) * 1000) + 1);
    }
}

bool DemoProcess::waitForOutput(const std::string& text, double seconds) {
    const double deadline = secondsNow() + seconds;
    while (output_.find(text) == std::string::npos) {
        if (!pump(0.05)) return output_.find(text) != std::string::npos;
        if (secondsNow() > deadline) return false;
    }
    return true;
}

namespace {

std::string quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string commandOutput(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[256];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    status = pclose(pipe);
    return out;
}

}  // namespace

unsigned long DemoProcess::findWindow(double seconds) {
    const double deadline = secondsNow() + seconds;
    const std::string command = "xdotool search --pid " + std::to_string(pid_) + " --name 'Tarnwick!' 2>/dev/null";
    for (;;) {
        int status = 0;
        const std::string found = commandOutput(command, status);
        const unsigned long window = std::strtoul(found.c_str(), nullptr, 10);
        if (window != 0) return window;
        if (!pump(0.1) || secondsNow() > deadline) return 0;
    }
}

bool DemoProcess::xdotool(const std::vector<std::string>& args, unsigned long window) {
    std::string command = "xdotool";
    for (const std::string& arg : args) command += " " + (arg == "%w" ? std::to_string(window) : quoted(arg));
    int status = 0;
    commandOutput(command + " 2>&1", status);
    return status == 0;
}

bool DemoProcess::sendWindowDelete(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0;
}

ProcessResult DemoProcess::finish(double seconds) {
    ProcessResult result;
    const double deadline = secondsNow() + seconds;
    while (pump(0.1)) {
        if (secondsNow() > deadline) {
            result.timedOut = true;
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            ended_ = true;
            pump(0);
            break;
        }
    }
    result.output = output_;
    if (WIFEXITED(status_)) {
        result.exited = !result.timedOut;
        result.exitCode = WEXITSTATUS(status_);
    } else if (WIFSIGNALED(status_)) {
        result.signal = WTERMSIG(status_);
    }
    return result;
}
