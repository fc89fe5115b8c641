// What a capture renders and keeps: its options and the frames they select.
//
// The capture runs the demo on a virtual clock: frame k (counted from 0, the
// frame right after start-up) is run with the clock reading k / fps seconds,
// so its timeline stands at tick 50 k / fps. Every frame from the first up to the last kept one is run, at
// the same step: the camera path drops what a frame overran of a segment and
// the zap and the key debounce count frames, so a coarser step would fly a
// different camera. Frames that are not kept are still run through the whole
// loop, only with their rasterising cut down to one pixel (see capture_main).
//
// In a video, frame k is shown at k / fps seconds after the video's first
// frame, and the music (which starts at tick 0) starts that far in: the
// picture at time t is what the demo draws at time t, its one frame of camera
// lag included, just as a viewer of the demo sees it beside the music.
//
// Pure logic, no GL: the option and frame rules are tested on their own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/frame_size.h"

enum class ContextKind {
    egl,   // EGL with a pbuffer, on a GPU when there is one: no X server needed
    glfw,  // the demo's own GLFW window: needs a display (Xvfb will do)
};

// The largest frame a capture renders: 4K UHD.
constexpr int kMaxCaptureWidth = 3840;
constexpr int kMaxCaptureHeight = 2160;

struct CaptureOptions {
    int fps = 60;                 // frames per second of demo time
    int startTick = 0;            // first tick kept (inclusive)
    int endTick = 6735;           // ticks kept end before this one; the demo's end at most
    std::vector<int> ticks;       // --ticks: single moments instead of a range
    std::string out;              // "*.mp4": a video; otherwise a folder of PNG frames
    std::string runDir;           // empty: the working directory is the run folder
    ContextKind context = ContextKind::egl;
    bool contextChosen = false;   // --context given: no fallback to the other kind
    FrameSize size;               // --size: the frame's size; the designed 1024 × 768 unless given
    int device = -1;              // --device: the EGL device's number; -1 picks one
    bool listDevices = false;     // --list-devices: print the EGL devices and end
    int downscale = 1;            // kept frames are n × n block averages: 4 gives 256 × 192
    std::string audio = "sound/Quillon.mp3";  // muxed into a video; "" for none
    bool quiet = false;           // the demo's start-up report only when start-up fails
    bool report = false;          // --report: burnt-out and pure-black shares of every kept frame
};

// Parses argv (without the program name). On failure returns false and
// leaves a one-line reason in error.
bool parseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options, std::string& error);

// Usage text for --help and for bad options.
std::string captureUsage();

// A tool's command line (argv without the program name) read by `parse`:
// -1 when the tool goes on; otherwise the exit code, after printing `usage`
// for --help or -h alone (0), or the tool's name, the reason and `usage` for
// a command line `parse` refuses (2). The capture tool and the viewer share it.
int readCommandLine(int argc, char** argv, const std::string& tool, const std::string& usage,
                    const std::function<bool(const std::vector<std::string>&, std::string&)>& parse);

// The same for a parser of the usual shape, parse(args, options, error).
template <class Options>
int readCommandLine(int argc, char** argv, const std::string& tool, const std::string& usage, Options& options,
                    bool (*parse)(const std::vector<std::string>&, Options&, std::string&)) {
    return readCommandLine(argc, argv, tool, usage, [&](const std::vector<std::string>& args, std::string& error) {
        return parse(args, options, error);
    });
}

bool isVideoPath(const std::string& path);

// The timeline's tick during frame k at this rate, as the virtual clock puts it.
double frameTick(int frame, int fps);

// The virtual clock reading (seconds) while frame k runs.
double frameClock(int frame, int fps);

// The first frame whose tick is at or after the given tick.
int firstFrameAtOrAfter(int tick, int fps);

struct KeptFrame {
    int frame = 0;     // frame number, from 0
    int tick = 0;      // the tick asked for (--ticks) or the frame's whole tick (range)
    std::string name;  // PNG file name: "tick_01075.png" for --ticks, "frame_000812.png" for a range
};

// The kept frames in running order, no frame twice. Empty when the options
// select nothing (a start at or after the end).
std::vector<KeptFrame> planFrames(const CaptureOptions& options);

// Where the music starts in a video whose first frame is firstFrame, and how
// long the video runs, both in seconds.
double audioOffsetSeconds(int firstFrame, int fps);
double videoSeconds(int frameCount, int fps);
