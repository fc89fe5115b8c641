// The time to the first picture as the audience sees it: starts a program
// (the demo, by default ./tarnwick in the working folder), reads its window
// off the X display every few milliseconds and notes when the window is
// mapped and when the mean grey of what it shows first passes a threshold.
// Then it ends the program and starts the next run.
//
//   first_picture [--runs N] [--grey G] [--quiet] [-- program args...]
//
// Run it from the run folder under an X server (xvfb-run -a -s '-screen 0
// 1024x768x24'). The clock starts just before the fork; the program's console
// goes to /dev/null unless --console asks for it. The window is read through
// shared memory (MIT-SHM) where the server offers it, every 10 ms: a read
// costs the server a copy of the window on the same cores as the program, and
// the figures include that, as they would with any screen reader.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The top-level window whose _NET_WM_PID is pid, or 0.
Window windowOf(Display* display, pid_t pid) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) == Success &&
            data != nullptr) {
            if (format == 32 && items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable) {
                    found = children[i];
                }
            }
            XFree(data);
        }
    }
    if (children) XFree(children);
    return found;
}

// Mean of (r + g + b) / 3 over an image's pixels.
double meanGrey(const XImage* image) {
    double sum = 0.0;
    const bool fast = image->bits_per_pixel == 32 && image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
                      image->blue_mask == 0xff;
    for (int y = 0; y < image->height; ++y) {
        unsigned long row = 0;
        if (fast) {
            const auto* pixels = reinterpret_cast<const std::uint32_t*>(image->data + y * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x) {
                row += ((pixels[x] >> 16) & 255) + ((pixels[x] >> 8) & 255) + (pixels[x] & 255);
            }
        } else {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long p = XGetPixel(const_cast<XImage*>(image), x, y);
                row += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
            }
        }
        sum += static_cast<double>(row);
    }
    return sum / 3.0 / (static_cast<double>(image->width) * image->height);
}

// Reads one window, through a shared-memory image when the server can.
class WindowReader {
public:
    WindowReader(Display* display, Window window) : display_(display), window_(window) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes)) return;
        width_ = static_cast<unsigned>(attributes.width);
        height_ = static_cast<unsigned>(attributes.height);
        if (!XShmQueryExtension(display)) return;
        image_ = XShmCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap,
                                 nullptr, &shm_, width_, height_);
        if (image_ == nullptr) return;
        shm_.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * height_, IPC_CREAT | 0600);
        shm_.shmaddr = image_->data = shm_.shmid >= 0 ? static_cast<char*>(shmat(shm_.shmid, nullptr, 0)) : nullptr;
        shm_.readOnly = False;
        if (shm_.shmaddr == nullptr || shm_.shmaddr == reinterpret_cast<char*>(-1) || !XShmAttach(display, &shm_)) {
            release();
            return;
        }
        XSync(display, False);
        shmctl(shm_.shmid, IPC_RMID, nullptr);  // gone once both sides detach
        attached_ = true;
    }
    ~WindowReader() { release(); }
    WindowReader(const WindowReader&) = delete;
    WindowReader& operator=(const WindowReader&) = delete;

    // Negative when the window cannot be read.
    double meanGrey() {
        if (attached_) return XShmGetImage(display_, window_, image_, 0, 0, AllPlanes) ? ::meanGrey(image_) : -1.0;
        XImage* image = XGetImage(display_, window_, 0, 0, width_, height_, AllPlanes, ZPixmap);
        if (image == nullptr) return -1.0;
        const double mean = ::meanGrey(image);
        XDestroyImage(image);
        return mean;
    }

private:
    void release() {
        if (attached_) XShmDetach(display_, &shm_);
        if (shm_.shmaddr != nullptr && shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
        if (image_ != nullptr) {
            image_->data = nullptr;
            XDestroyImage(image_);
        }
        image_ = nullptr;
        shm_.shmaddr = nullptr;
        attached_ = false;
    }

    Display* display_;
    Window window_;
    unsigned width_ = 0, height_ = 0;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool attached_ = false;
};

struct RunTimes {
    double window = -1.0;   // s to the window being mapped
    double picture = -1.0;  // s to the mean grey passing the threshold
};

RunTimes measureOnce(Display* display, const std::vector<char*>& command, double grey, bool quiet,
                     double limitSeconds) {
    RunTimes times;
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child < 0) return times;
    if (child == 0) {
        if (quiet) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
            if (devNull >= 0) dup2(devNull, STDERR_FILENO);
        }
        execvp(command[0], command.data());
        _exit(127);
    }
    Window window = 0;
    std::unique_ptr<WindowReader> reader;
    while (secondsSince(start) < limitSeconds) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) return times;  // ended before showing anything
        if (window == 0) {
            window = windowOf(display, child);
            if (window != 0) {
                times.window = secondsSince(start);
                reader = std::make_unique<WindowReader>(display, window);
            }
        }
        if (reader && reader->meanGrey() > grey) {
            times.picture = secondsSince(start);
            break;
        }
        usleep(10000);
    }
    reader.reset();
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    return times;
}

double median(std::vector<double> values) {
    if (values.empty()) return -1.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    double grey = 5.0;
    bool quiet = true;
    std::vector<char*> command;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--grey") == 0 && i + 1 < argc) {
            grey = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--console") == 0) {
            quiet = false;
        } else if (std::strcmp(argv[i], "--") == 0) {
            command.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::printf("usage: first_picture [--runs N] [--grey G] [--console] [-- program args...]\n");
            return 2;
        }
    }
    static char defaultProgram[] = "./tarnwick";
    if (command.empty()) command.push_back(defaultProgram);
    command.push_back(nullptr);

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::printf("first_picture: no X display\n");
        return 1;
    }
    std::vector<double> windows, pictures;
    for (int run = 0; run < runs; ++run) {
        const RunTimes t = measureOnce(display, command, grey, quiet, 60.0);
        std::printf("run %d: window mapped %.3f s, first picture %.3f s\n", run + 1, t.window, t.picture);
        std::fflush(stdout);
        if (t.window >= 0.0) windows.push_back(t.window);
        if (t.picture >= 0.0) pictures.push_back(t.picture);
    }
    std::printf("median of %d: window mapped %.3f s, first picture (mean grey > %.1f) %.3f s\n", runs,
                median(windows), grey, median(pictures));
    XCloseDisplay(display);
    return pictures.size() == static_cast<size_t>(runs) ? 0 : 1;
}
