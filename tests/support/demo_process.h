// The real demo binary as a running process that a test can talk to while it
// runs: read its console as it comes, find its window on the X display, send
// it keys and the window manager's close request, and end it early.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

class DemoProcess {
public:
    // Starts program in workingDir; extraEnv as for runProgram.
    DemoProcess(const std::string& program, const std::string& workingDir,
                const std::vector<std::string>& extraEnv = {});
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
    const std::string& output() const { return output_; }

    // xdotool with these arguments, the window id put where "%w" stands;
    // true when xdotool succeeded.
    bool xdotool(const std::vector<std::string>& args, unsigned long window);
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

// Seconds since the process-wide epoch of the tests; for time limits.
double secondsNow();
