#include "capture_plan.h"

#include "app/timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

// A whole number with nothing after it; false for "12x", "" and overflow.
bool parseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || parsed < -1000000000L || parsed > 1000000000L) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool parseTickList(const std::string& text, std::vector<int>& ticks) {
    ticks.clear();
    size_t begin = 0;
    for (;;) {
        size_t comma = text.find(',', begin);
        int tick = 0;
        if (!parseInt(text.substr(begin, comma - begin), tick) || tick < 0) return false;
        ticks.push_back(tick);
        if (comma == std::string::npos) return true;
        begin = comma + 1;
    }
}

std::string numberedName(const char* pattern, int number) {
    char name[64];
    std::snprintf(name, sizeof name, pattern, number);
    return name;
}

}  // namespace

std::string captureUsage() {
    return "usage: tarnwick_capture --out PATH [options]\n"
           "       tarnwick_capture --report [--out PATH] [options]\n"
           "  --out PATH        PATH ending in .mp4: an H.264 video with the music;\n"
           "                    any other PATH: a folder of PNG frames\n"
           "  --fps N           frames per second of demo time (default 60)\n"
           "  --start TICK      first tick kept (default 0)\n"
           "  --end TICK        keep frames before this tick (default 6735, the end)\n"
           "  --ticks T1,T2,..  keep only the first frame at or after each tick,\n"
           "                    written as tick_NNNNN.png (PNG folders only)\n"
           "  --size WxH        the frame's size, up to 3840x2160 (default 1024x768,\n"
           "                    the demo's window); wider than 4:3 shows more at the\n"
           "                    sides, narrower more above and below\n"
           "  --downscale N     keep N x N block averages (4 gives 256 x 192)\n"
           "  --run-dir DIR     the demo's run folder (default: the working directory)\n"
           "  --context KIND    egl (default: no X server needed) or glfw (the demo's\n"
           "                    own window; needs a display)\n"
           "  --device N        render on EGL device N of --list-devices (default: the\n"
           "                    first GPU, else the software rasteriser)\n"
           "  --list-devices    list the EGL devices and end\n"
           "  --no-audio        a video without the music\n"
           "  --quiet           show the demo's start-up report only if start-up fails\n"
           "  --report          print each kept frame's share of burnt-out pixels (every\n"
           "                    channel 250 or above) and of pure black ones (every\n"
           "                    channel 3 or below), measured at full size, and the worst;\n"
           "                    and its grey (median, mean, share at 128 or more, the\n"
           "                    brightest 1 % over the median) and the ground's\n"
           "                    brightest 1 % over its median; and, with a sculpture\n"
           "                    in front of the eye, the mean grey of its visible\n"
           "                    pixels over the rest's\n"
           "Ticks are 1/50 s of demo time.\n";
}

bool isVideoPath(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".mp4") == 0;
}

bool parseCaptureOptions(const std::vector<std::string>& args, CaptureOptions& options, std::string& error) {
    bool rangeGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--no-audio") {
            options.audio.clear();
            continue;
        }
        if (name == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (name == "--report") {
            options.report = true;
            continue;
        }
        if (name == "--list-devices") {
            options.listDevices = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (name == "--out") {
            options.out = value;
        } else if (name == "--fps") {
            ok = parseInt(value, options.fps) && options.fps >= 1 && options.fps <= 1000;
        } else if (name == "--start") {
            ok = parseInt(value, options.startTick) && options.startTick >= 0;
            rangeGiven = true;
        } else if (name == "--end") {
            ok = parseInt(value, options.endTick) && options.endTick >= 0;
            rangeGiven = true;
        } else if (name == "--ticks") {
            ok = parseTickList(value, options.ticks);
        } else if (name == "--downscale") {
            ok = parseInt(value, options.downscale) && options.downscale >= 1 && options.downscale <= 64;
        } else if (name == "--size") {
            std::string why;
            if (!parseFrameSize(value, kMaxCaptureWidth, kMaxCaptureHeight, options.size, why)) {
                error = "--size: " + why;
                return false;
            }
        } else if (name == "--device") {
            ok = parseInt(value, options.device) && options.device >= 0;
        } else if (name == "--run-dir") {
            options.runDir = value;
        } else if (name == "--context") {
            ok = value == "egl" || value == "glfw";
            options.context = value == "glfw" ? ContextKind::glfw : ContextKind::egl;
            options.contextChosen = true;
        } else {
            error = "unknown argument " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }

    if (options.device >= 0 && options.context == ContextKind::glfw) {
        error = "--device picks an EGL device; the glfw context renders where its display does";
        return false;
    }
    if (options.listDevices) return true;
    // A report alone needs no output: the frames are measured and dropped.
    if (options.out.empty() && !options.report) {
        error = "--out is required, unless --report is given";
        return false;
    }
    if (!options.ticks.empty() && rangeGiven) {
        error = "--ticks cannot be combined with --start or --end";
        return false;
    }
    // A video is one unbroken stretch of frames; single moments go to PNGs.
    if (!options.ticks.empty() && isVideoPath(options.out)) {
        error = "--ticks writes PNG frames; give a folder to --out";
        return false;
    }
    // The demo draws nothing from its end tick on.
    if (options.endTick > kEndTick) {
        error = "--end lies past the end of the run, tick " + std::to_string(kEndTick);
        return false;
    }
    for (int tick : options.ticks) {
        if (tick >= kEndTick) {
            error = "--ticks: the run ends at tick " + std::to_string(kEndTick);
            return false;
        }
    }
    if (options.startTick >= options.endTick) {
        error = "--start must lie before --end";
        return false;
    }
    return true;
}

double frameTick(int frame, int fps) { return 50.0 * frame / fps; }

double frameClock(int frame, int fps) { return static_cast<double>(frame) / fps; }

int firstFrameAtOrAfter(int tick, int fps) {
    // The smallest k >= 0 with 50 k / fps >= tick, in whole numbers.
    long long product = static_cast<long long>(tick) * fps;
    return static_cast<int>((product + 49) / 50);
}

std::vector<KeptFrame> planFrames(const CaptureOptions& options) {
    std::vector<KeptFrame> kept;
    if (!options.ticks.empty()) {
        std::vector<int> ticks = options.ticks;
        std::sort(ticks.begin(), ticks.end());
        for (int tick : ticks) {
            int frame = firstFrameAtOrAfter(tick, options.fps);
            // Two ticks closer than one frame ask for the same picture.
            if (!kept.empty() && kept.back().frame == frame) continue;
            kept.push_back({frame, tick, numberedName("tick_%05d.png", tick)});
        }
        return kept;
    }
    int first = firstFrameAtOrAfter(options.startTick, options.fps);
    int end = firstFrameAtOrAfter(options.endTick, options.fps);
    for (int frame = first; frame < end; ++frame) {
        int wholeTick = static_cast<int>(50LL * frame / options.fps);
        kept.push_back({frame, wholeTick, numberedName("frame_%06d.png", frame)});
    }
    return kept;
}

double audioOffsetSeconds(int firstFrame, int fps) { return static_cast<double>(firstFrame) / fps; }

double videoSeconds(int frameCount, int fps) { return static_cast<double>(frameCount) / fps; }

int readCommandLine(int argc, char** argv, const std::string& tool, const std::string& usage,
                    const std::function<bool(const std::vector<std::string>&, std::string&)>& parse) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << usage;
        return 0;
    }
    std::string error;
    if (!parse(args, error)) {
        std::cout << tool << ": " << error << std::endl << usage;
        return 2;
    }
    return -1;
}
