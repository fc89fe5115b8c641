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

#include "platform/frame_size.h"

struct ViewerOptions {
    std::string runDir;     // empty: the working directory is the run folder
    std::string shotDir;    // where P writes; empty: the folder the viewer was started in
    int startTick = -1;     // --tick: open paused at this tick; -1 plays from tick 0
    FrameSize size;         // --size: the window's size at the start (it can be resized)
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
    toggleStrip,      // T: the timeline strip along the bottom
    toggleMute,       // S: the music off and on
    loopStart,        // I: the loop starts at the tick shown
    loopEnd,          // O: the loop ends there
    loopStartOnBeat,  // with Shift: at the nearest beat of the track
    loopEndOnBeat,
    loopClear,        // L: no loop
    quit,             // Escape
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

// The tick of the track's beat nearest to tick, within the drawn run. The
// beats come from the music generator's own tempo and first bar.
int nearestBeatTick(int tick);

// A stretch that playing goes round: from its end back to its start. -1 where
// a key has not set that end yet; it loops only when the end lies after the start.
struct PlayLoop {
    int start = -1;
    int end = -1;
};
bool loopActive(const PlayLoop& loop);
// The loop with one of its ends set (or cleared) by action at tick.
PlayLoop changeLoop(PlayLoop loop, ViewerAction action, int tick);
// Whether a played frame from seconds `from` to `to` reaches the loop's end.
bool reachesLoopEnd(const PlayLoop& loop, double from, double to);

// Playing, whether the music has strayed so far from the picture that it is
// moved back: more than a frame, or each frame's own jitter would move it,
// and at least a tick, where frames are shorter than the sound's steps.
bool musicStrays(double musicSeconds, double pictureSeconds, double frameSeconds);

struct TitleInfo {
    int tick = 0;
    bool motionBlur = false;
    bool bloom = false;
    int speedStep = 0;
    bool paused = false;
    double frameMilliseconds = 0.0;  // the last frame drawn
    bool sound = false;              // a sound device plays the music
    double musicSeconds = 0.0;       // where the sound library's track stands
    bool muted = false;
    PlayLoop loop;
};

// "Tarnwick! viewer | tick 3000 | 60.00 s | bloom | 1x | paused | 68.2 ms |
// music 60.00 s", then ", muted" and " | loop 21.34-25.06 s" when so; "silent"
// in place of the music without a sound device.
std::string windowTitle(const TitleInfo& info);

// "tick_03000.png", as the capture tool names the frame of --ticks 3000.
std::string shotName(int tick);
