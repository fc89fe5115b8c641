// The demo's command line. With none it does exactly what it was designed to
// do: the 1024 × 768 window that cannot be resized, the driver's own swap.
// The options only add: full screen at the desktop's own size, a window of
// another size that can be resized, and the choice of waiting for the
// display's refresh.
//
// Pure logic, no GLFW: the rules are tested on their own.
#pragma once

#include <string>
#include <vector>

#include "platform/frame_size.h"

enum class SwapChoice {
    asDesigned,  // a window: no swap interval set; full screen: the display's refresh
    vsync,       // --vsync: every swap waits for the display's refresh
    noVsync,     // --no-vsync: no swap waits
};

struct DemoOptions {
    bool fullScreen = false;   // --fullscreen, -f
    bool sizeGiven = false;    // --size: a window of windowSize that can be resized
    FrameSize windowSize;      // the window's size in screen units; the designed size unless --size
    SwapChoice swap = SwapChoice::asDesigned;
    bool help = false;         // --help, -h: print demoUsage and end
};

// The largest window --size asks for; full screen takes the display's size.
constexpr int kMaxWindowWidth = 7680;
constexpr int kMaxWindowHeight = 4320;

// Parses argv (without the program name). On failure returns false and
// leaves a one-line reason in error.
bool parseDemoOptions(const std::vector<std::string>& args, DemoOptions& options, std::string& error);

// What --help prints: the options and the keys.
std::string demoUsage();

// The swap interval to set for a window (false) or full screen (true); -1
// for none, as designed for the window.
int swapIntervalFor(SwapChoice swap, bool fullScreen);
