// The viewer's rules, apart from any GL: its options, what each key does,
// where a seek lands, the playback speeds, and the window title.
//
// The viewer keeps its place in the run as demo time. A seek always lands on
// a whole tick: the run is replayed from tick 0 one tick per frame, exactly
// as the capture tool runs it at 50 frames per second, so the picture there
// is the capture's picture of that tick.
#pragma once

#include <string>
#include <vector>

struct ViewerOptions {
    std::string runDir;     // empty: the working directory is the run folder
    std::string shotDir;    // where P writes; empty: the folder the viewer was started in
    int startTick = -1;     // --tick: open paused at this tick; -1 plays from tick 0
};

// Parses argv (without the program name); false with a one-line reason.
bool parseViewerOptions(const std::vector<std::string>& args, ViewerOptions& options, std::string& error);
std::string viewerUsage();

enum class ViewerAction {
    none,
    togglePause,  // Space
    seekBack,     // Left: 1 s; with Shift 10 s
    seekForward,  // Right
    seekBackLong,
    seekForwardLong,
    seekStart,    // Home: tick 0
    seekEnd,      // End: the last second
    stepBack,     // ',' while paused: one tick back
    stepForward,  // '.' while paused: one tick on
    slower,       // '[': half the speed
    faster,       // ']': twice the speed
    shot,         // P: the current frame as a PNG
    motionBlur,   // M, B, Z: the demo's own keys
    bloom,
    zap,
    quit,         // Escape
};

// A GLFW key code and its modifier bits to what the viewer does with it.
ViewerAction actionForKey(int key, int mods);

// The last tick the demo draws, and where End goes (one second before the end).
int lastTick();
int endSeekTick();

// Where a seek or step from currentTick lands, kept within 0 .. lastTick();
// -1 for an action that does not move.
int seekTarget(ViewerAction action, int currentTick);

// Playback speed as a power of two: -3 (1/8×) .. 2 (4×).
constexpr int kSlowestSpeed = -3;
constexpr int kFastestSpeed = 2;
int changeSpeed(int speedStep, ViewerAction action);
double speedFactor(int speedStep);
std::string speedText(int speedStep);  // "1/8x" .. "4x"

// The whole tick of a timeline reading. The timeline sums frame deltas, so
// after a thousand steps of exactly one tick it may stand a hair below the
// whole number it means.
int wholeTick(double timelineTicks);

// "motion blur", "bloom", "both" or "none".
const char* phaseName(bool motionBlurEnabled, bool bloomEnabled);

struct TitleInfo {
    int tick = 0;
    bool motionBlur = false;
    bool bloom = false;
    int speedStep = 0;
    bool paused = false;
    double frameMilliseconds = 0.0;  // the last frame drawn
};

// "Tarnwick! viewer | tick 3000 | 60.00 s | bloom | 1x | paused | 68.2 ms"
std::string windowTitle(const TitleInfo& info);

// "tick_03000.png", as the capture tool names the frame of --ticks 3000.
std::string shotName(int tick);
