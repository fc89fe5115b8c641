// The real demo binary as a running process that a test can talk to while it
// runs: read its console as it comes, find its window on the X display, send
// it keys and the window manager's close request, and end it early.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

class DemoProcess {
public:
    // Starts program with args in workingDir; extraEnv as for runProgram.
    DemoProcess(const std::string& program, const std::string& workingDir,
                const std::vector<std::string>& extraEnv = {}, const std::vector<std::string>& args = {});
    ~DemoProcess();  // kills the process if it still runs
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    // Reads what the process printed for up to `seconds`; true while it runs.
    bool pump(double seconds);
    // Pumps until the console holds `text`; false if the process ended or the
    // time ran out first.
    bool waitForOutput(const std::string& text, double seconds);
    // The X window of this process (by its _NET_WM_PID), 0 until it is mapped.
    unsigned long findWindow(double seconds);
    bool running();
    int pid() const { return pid_; }
    const std::string& output() const { return output_; }

    // xdotool with these arguments, the window id put where "%w" stands;
    // true when xdotool succeeded.
    bool xdotool(const std::vector<std::string>& args, unsigned long window);
    // Key presses (true) and releases (false) by key name ("m", "Escape"),
    // sent to this window alone as X events, delayMs apart. Not through
    // xdotool's keys: for the window that has the input focus xdotool uses
    // XTEST, whose keys are real server-wide presses that go to whichever
    // window has the focus and, held, repeat into every demo on the display.
    // With `shift`, each event says Shift is held.
    bool sendKeys(unsigned long window, const std::vector<std::pair<std::string, bool>>& keys, int delayMs = 0,
                  bool shift = false);
    // What a window manager sends when the user closes a window: a
    // WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
    bool sendWindowDelete(unsigned long window);

    // Waits for the end, at most `seconds`, then kills it; the whole console.
    ProcessResult finish(double seconds);

private:
    int pid_ = -1;
    int outFd_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string output_;
};

// What an X window shows (or the whole screen, for window 0), on this
// process's DISPLAY: top-down RGB, three bytes a pixel; empty when it cannot
// be read.
struct ScreenPicture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    // Mean of every channel over the columns [left, right) of the picture.
    double meanOfColumns(int left, int right) const;
};
ScreenPicture grabWindow(unsigned long window);

// Seconds since the process-wide epoch of the tests; for time limits.
double secondsNow();

// An X server of the test's own (Xvfb, 1024 x 768 unless told), made the DISPLAY of this
// process and so of everything it starts. Tests that hold keys need one: on a
// shared display each new demo window takes the input focus, and a window
// that loses the focus has its held keys released.
class PrivateDisplay {
public:
    // Starts Xvfb on a free display number, with one screen of that size.
    explicit PrivateDisplay(const std::string& screen = "1024x768");
    ~PrivateDisplay();  // ends that Xvfb
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    bool ready() const { return !name_.empty(); }
    const std::string& name() const { return name_; }

private:
    int pid_ = -1;
    std::string name_;
};
