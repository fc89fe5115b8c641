#include "demo_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Bool, Status) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>


double secondsNow() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point epoch = clock::now();
    return std::chrono::duration<double>(clock::now() - epoch).count();
}

DemoProcess::DemoProcess(const std::string& program, const std::string& workingDir,
                         const std::vector<std::string>& extraEnv, const std::vector<std::string>& args) {
    const ChildProcess child = startChild(program, workingDir, extraEnv, args);
    if (child.pid < 0) {
        ended_ = true;
        return;
    }
    pid_ = child.pid;
    outFd_ = child.outputFd;
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
    // --all: by default xdotool matches a window that meets any one condition,
    // which would find every demo's window on a shared display.
    const std::string command =
        "xdotool search --all --pid " + std::to_string(pid_) + " --name '^Tarnwick!$' 2>/dev/null";
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

namespace {

// A window that is gone by the time an event reaches the server (the demo has
// just ended) is no failure of the test: Xlib's default handler would exit.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

bool DemoProcess::sendWindowDelete(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XSetErrorHandler(ignoreXError);
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

bool DemoProcess::sendKeys(unsigned long window, const std::vector<std::pair<std::string, bool>>& keys,
                           int delayMs, bool shift) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XSetErrorHandler(ignoreXError);
    bool sent = true;
    for (const auto& [name, press] : keys) {
        const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name.c_str()));
        if (code == 0) {
            sent = false;
            continue;
        }
        XEvent event{};
        event.xkey.type = press ? KeyPress : KeyRelease;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.time = CurrentTime;
        event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
        event.xkey.same_screen = True;
        event.xkey.keycode = code;
        event.xkey.state = shift ? ShiftMask : 0;
        sent = XSendEvent(display, window, True, press ? KeyPressMask : KeyReleaseMask, &event) != 0 && sent;
        if (delayMs > 0) {
            XSync(display, False);
            usleep(static_cast<useconds_t>(delayMs) * 1000);
        }
    }
    // Without a delay all of them go out together, so they arrive together.
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
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
    recordExitStatus(result, status_);
    return result;
}

PrivateDisplay::PrivateDisplay(const std::string& screen) {
    const std::string screenMode = screen + "x24";
    // Display numbers from the process id, ten apart, so tests started side by
    // side try different ones; Xvfb refuses (and ends) when one is taken after all.
    for (int tries = 0, n = 100 + static_cast<int>(getpid() % 3000) * 10; tries < 40; ++tries, ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (access(lock.c_str(), F_OK) == 0 || access(socket.c_str(), F_OK) == 0) continue;
        const std::string name = ":" + std::to_string(n);
        const int pid = fork();
        if (pid == 0) {
            // Goes down with the test, however the test ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            // -noreset: without it the server resets whenever its last client
            // leaves, and a demo that connects during the reset gets no GL context.
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screenMode.c_str(), "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ours once the lock file names our Xvfb and its socket is there: two
        // tests that reach for the same number never both believe they own it.
        auto owned = [&] {
            std::istringstream lockText(readFile(lock));
            long owner = 0;
            lockText >> owner;
            return owner == pid && access(socket.c_str(), F_OK) == 0;
        };
        bool alive = true, ours = false;
        for (const double deadline = secondsNow() + 10; alive && !ours && secondsNow() < deadline;) {
            usleep(50 * 1000);
            alive = waitpid(pid, nullptr, WNOHANG) == 0;
            ours = alive && owned();
        }
        // The socket appears before the server takes requests: wait for a real connection.
        for (const double deadline = secondsNow() + 10; ours && secondsNow() < deadline;) {
            if (Display* probe = XOpenDisplay(name.c_str())) {
                XCloseDisplay(probe);
                break;
            }
            usleep(50 * 1000);
        }
        if (ours) {
            pid_ = pid;
            name_ = name;
            setenv("DISPLAY", name_.c_str(), 1);
            return;
        }
        if (alive) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    ADD_FAILURE() << "no Xvfb of our own could be started";
}

PrivateDisplay::~PrivateDisplay() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

namespace {

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

int lowestBit(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

ScreenPicture grabWindow(unsigned long window) {
    ScreenPicture picture;
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) return picture;
    XSetErrorHandler(ignoreXErrors);
    const Window target = window != 0 ? window : DefaultRootWindow(x);
    XWindowAttributes attributes{};
    XImage* pixels = nullptr;
    if (XGetWindowAttributes(x, target, &attributes) != 0) {
        pixels = XGetImage(x, target, 0, 0, static_cast<unsigned>(attributes.width),
                           static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    if (pixels != nullptr) {
        picture.width = attributes.width;
        picture.height = attributes.height;
        picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
        const unsigned long masks[3] = {pixels->red_mask, pixels->green_mask, pixels->blue_mask};
        for (int y = 0; y < picture.height; ++y) {
            for (int px = 0; px < picture.width; ++px) {
                const unsigned long pixel = XGetPixel(pixels, px, y);
                for (int c = 0; c < 3; ++c) {
                    picture.rgb[(static_cast<size_t>(y) * picture.width + px) * 3 + c] =
                        static_cast<unsigned char>((pixel & masks[c]) >> lowestBit(masks[c]));
                }
            }
        }
        XDestroyImage(pixels);
    }
    XCloseDisplay(x);
    return picture;
}

double ScreenPicture::meanOfColumns(int left, int right) const {
    double sum = 0.0;
    long count = 0;
    for (int y = 0; y < height; ++y) {
        for (int px = std::max(left, 0); px < std::min(right, width); ++px) {
            for (int c = 0; c < 3; ++c) sum += rgb[(static_cast<size_t>(y) * width + px) * 3 + c];
            count += 3;
        }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}
