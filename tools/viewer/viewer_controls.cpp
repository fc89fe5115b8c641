#include "viewer_controls.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/demo_options.h"
#include "app/timeline.h"
#include "tempo.h"

namespace {

constexpr int kTicksPerSecond = 50;

bool parseTick(const std::string& text, int& tick) {
    if (text.empty()) return false;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < 0 || value > lastTick()) return false;
    tick = static_cast<int>(value);
    return true;
}

}  // namespace

std::string viewerUsage() {
    return "usage: tarnwick_viewer [options]\n"
           "  --run-dir DIR   the demo's run folder (default: the working directory)\n"
           "  --tick T        open paused at tick T (1/50 s) instead of playing from 0\n"
           "  --shots DIR     where P writes its PNG (default: the folder started from)\n"
           "  --size WxH      the window's size to start with (default 1024x768); the\n"
           "                  window can be resized, and P writes the frame as shown\n"
           "Keys: Space pause/play, Left/Right 1 s (Shift: 10 s), Home start, End last\n"
           "second, ',' '.' one tick back/on while paused, '[' ']' half/double speed,\n"
           "P write the frame as tick_NNNNN.png, M B Z as in the demo, T the timeline\n"
           "strip (click or drag on it to seek), S mute, I O loop start/end at the\n"
           "tick shown (Shift: the nearest beat), L no loop, Escape quits.\n";
}

bool parseViewerOptions(const std::vector<std::string>& args, ViewerOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name != "--run-dir" && name != "--tick" && name != "--shots" && name != "--size") {
            error = "unknown argument " + name;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (name == "--run-dir") {
            options.runDir = value;
        } else if (name == "--shots") {
            options.shotDir = value;
        } else if (name == "--size") {
            std::string why;
            if (!parseFrameSize(value, kMaxWindowWidth, kMaxWindowHeight, options.size, why)) {
                error = "--size: " + why;
                return false;
            }
        } else if (!parseTick(value, options.startTick)) {
            error = "bad value for --tick: " + value + " (0 to " + std::to_string(lastTick()) + ")";
            return false;
        }
    }
    return true;
}

ViewerAction actionForKey(int key, int mods) {
    const bool shift = (mods & GLFW_MOD_SHIFT) != 0;
    switch (key) {
        case GLFW_KEY_SPACE: return ViewerAction::togglePause;
        case GLFW_KEY_LEFT: return shift ? ViewerAction::seekBackLong : ViewerAction::seekBack;
        case GLFW_KEY_RIGHT: return shift ? ViewerAction::seekForwardLong : ViewerAction::seekForward;
        case GLFW_KEY_HOME: return ViewerAction::seekStart;
        case GLFW_KEY_END: return ViewerAction::seekEnd;
        case GLFW_KEY_COMMA: return ViewerAction::stepBack;
        case GLFW_KEY_PERIOD: return ViewerAction::stepForward;
        case GLFW_KEY_LEFT_BRACKET: return ViewerAction::slower;
        case GLFW_KEY_RIGHT_BRACKET: return ViewerAction::faster;
        case GLFW_KEY_P: return ViewerAction::shot;
        case GLFW_KEY_M: return ViewerAction::motionBlur;
        case GLFW_KEY_B: return ViewerAction::bloom;
        case GLFW_KEY_Z: return ViewerAction::zap;
        case GLFW_KEY_T: return ViewerAction::toggleStrip;
        case GLFW_KEY_S: return ViewerAction::toggleMute;
        case GLFW_KEY_I: return shift ? ViewerAction::loopStartOnBeat : ViewerAction::loopStart;
        case GLFW_KEY_O: return shift ? ViewerAction::loopEndOnBeat : ViewerAction::loopEnd;
        case GLFW_KEY_L: return ViewerAction::loopClear;
        case GLFW_KEY_ESCAPE: return ViewerAction::quit;
        default: return ViewerAction::none;
    }
}

// The demo draws nothing from its end tick on.
int lastTick() { return kEndTick - 1; }

int endSeekTick() { return kEndTick - kTicksPerSecond; }

int seekTarget(ViewerAction action, int currentTick) {
    int target = 0;
    switch (action) {
        case ViewerAction::seekBack: target = currentTick - kTicksPerSecond; break;
        case ViewerAction::seekForward: target = currentTick + kTicksPerSecond; break;
        case ViewerAction::seekBackLong: target = currentTick - 10 * kTicksPerSecond; break;
        case ViewerAction::seekForwardLong: target = currentTick + 10 * kTicksPerSecond; break;
        case ViewerAction::seekStart: target = 0; break;
        case ViewerAction::seekEnd: target = endSeekTick(); break;
        case ViewerAction::stepBack: target = currentTick - 1; break;
        case ViewerAction::stepForward: target = currentTick + 1; break;
        default: return -1;
    }
    return std::clamp(target, 0, lastTick());
}

int changeSpeed(int speedStep, ViewerAction action) {
    if (action == ViewerAction::slower) return std::max(kSlowestSpeed, speedStep - 1);
    if (action == ViewerAction::faster) return std::min(kFastestSpeed, speedStep + 1);
    return speedStep;
}

double speedFactor(int speedStep) { return std::ldexp(1.0, speedStep); }

std::string speedText(int speedStep) {
    if (speedStep >= 0) return std::to_string(1 << speedStep) + "x";
    return "1/" + std::to_string(1 << -speedStep) + "x";
}

int nearestBeatTick(int tick) {
    auto beatTick = [](double beat) {
        return static_cast<int>(std::lround((kGridStart + beat * kBeatSeconds) * kTicksPerSecond));
    };
    double beat = std::round((tick / static_cast<double>(kTicksPerSecond) - kGridStart) / kBeatSeconds);
    // The grid reaches before tick 0 and past the run: the nearest beat within it.
    if (beatTick(beat) < 0) beat += 1.0;
    if (beatTick(beat) > lastTick()) beat -= 1.0;
    return beatTick(beat);
}

bool loopActive(const PlayLoop& loop) { return loop.start >= 0 && loop.end > loop.start; }

PlayLoop changeLoop(PlayLoop loop, ViewerAction action, int tick) {
    switch (action) {
        case ViewerAction::loopStart: loop.start = tick; break;
        case ViewerAction::loopEnd: loop.end = tick; break;
        case ViewerAction::loopStartOnBeat: loop.start = nearestBeatTick(tick); break;
        case ViewerAction::loopEndOnBeat: loop.end = nearestBeatTick(tick); break;
        case ViewerAction::loopClear: loop = PlayLoop{}; break;
        default: break;
    }
    return loop;
}

bool reachesLoopEnd(const PlayLoop& loop, double from, double to) {
    if (!loopActive(loop)) return false;
    const double end = loop.end / static_cast<double>(kTicksPerSecond);
    return from < end && to >= end;
}

bool musicStrays(double musicSeconds, double pictureSeconds, double frameSeconds) {
    return std::fabs(musicSeconds - pictureSeconds) > std::max(frameSeconds, 1.0 / kTicksPerSecond);
}

int wholeTick(double timelineTicks) { return static_cast<int>(std::floor(timelineTicks + 1e-6)); }

const char* phaseName(bool motionBlurEnabled, bool bloomEnabled) {
    if (motionBlurEnabled && bloomEnabled) return "both";
    if (motionBlurEnabled) return "motion blur";
    if (bloomEnabled) return "bloom";
    return "none";
}

std::string windowTitle(const TitleInfo& info) {
    const double perSecond = kTicksPerSecond;
    char part[160];
    std::snprintf(part, sizeof part, "Tarnwick! viewer | tick %d | %.2f s | %s | %s | %s | %.1f ms", info.tick,
                  info.tick / perSecond, phaseName(info.motionBlur, info.bloom), speedText(info.speedStep).c_str(),
                  info.paused ? "paused" : "playing", info.frameMilliseconds);
    std::string title = part;
    if (!info.sound) {
        title += " | silent";
    } else {
        std::snprintf(part, sizeof part, " | music %.2f s%s", info.musicSeconds, info.muted ? ", muted" : "");
        title += part;
    }
    const PlayLoop& loop = info.loop;
    if (loop.start >= 0 && loop.end >= 0) {
        std::snprintf(part, sizeof part, " | loop %.2f-%.2f s%s", loop.start / perSecond, loop.end / perSecond,
                      loopActive(loop) ? "" : " (off)");
        title += part;
    } else if (loop.start >= 0) {
        std::snprintf(part, sizeof part, " | loop from %.2f s", loop.start / perSecond);
        title += part;
    } else if (loop.end >= 0) {
        std::snprintf(part, sizeof part, " | loop to %.2f s", loop.end / perSecond);
        title += part;
    }
    return title;
}

std::string shotName(int tick) {
    char name[32];
    std::snprintf(name, sizeof name, "tick_%05d.png", tick);
    return name;
}
