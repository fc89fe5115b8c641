// What a frame costs: the demo's frames in each phase of the timeline against
// the floor of one full-screen copy plus a buffer swap, and each pass on its
// own by GL timer queries.
//
// Run from the run folder (it reads shaders/, scene/, tex/ like the demo), with
// a display: xvfb-run -a -s '-screen 0 1024x768x24' ./bench_frame
// --size WxH times frames of another size, in a window of that size (give
// the X server a screen at least that large: -screen 0 3840x2160x24).
// Time inside the demo is virtual: the clock goes forward by a fixed step per
// frame, so every run times the same camera positions.
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/timeline.h"
#include "app/window.h"
#include "camera/camera_rig.h"
#include "platform/frame_size.h"
#include "platform/run_state.h"
#include "render/bloom_pass.h"
#include "render/composite.h"
#include "render/motion_blur_pass.h"
#include "render/scene_pass.h"
#include "pass_timing.h"

namespace {

constexpr double kFrameStep = 1.0 / 60.0;  // virtual seconds per timed frame
constexpr int kFloorFrames = 200;
constexpr int kPhaseFrames = 60;
constexpr int kPassFrames = 30;
constexpr int kWarmFrames = 5;

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Mean and median of per-frame wall times. The swap waits for the frame's
// rendering, so a frame's time is the time between two swaps; the median
// shrugs off the moments another process takes a core.
struct FrameTime {
    double mean = 0.0;
    double median = 0.0;
};

FrameTime summarise(std::vector<double> ms) {
    FrameTime t;
    for (double m : ms) t.mean += m / static_cast<double>(ms.size());
    std::sort(ms.begin(), ms.end());
    t.median = ms[ms.size() / 2];
    return t;
}

FrameTime timeFloor() {
    drawScenePass();
    runState.motionBlurEnabled = false;
    runState.bloomEnabled = false;
    runState.zapCounter = 31;
    for (int i = 0; i < kWarmFrames; ++i) composeAndPresent();
    glFinish();
    std::vector<double> ms;
    for (int i = 0; i < kFloorFrames; ++i) {
        Clock::time_point start = Clock::now();
        composeAndPresent();
        ms.push_back(msSince(start));
    }
    return summarise(ms);
}

struct Phase {
    const char* name;
    int tick;
    bool motionBlur;
    bool bloom;
};

// Wall times of the demo's own frames at this phase.
FrameTime timeFrames(const Phase& phase) {
    advanceWithoutDrawing(phase.tick / 50.0);
    // As keys M and B would have set them; the timeline already did for the
    // single-effect phases.
    runState.motionBlurEnabled = phase.motionBlur;
    runState.bloomEnabled = phase.bloom;
    for (int i = 0; i < kWarmFrames; ++i) {
        virtualSeconds += kFrameStep;
        runFrame();
    }
    glFinish();
    std::vector<double> ms;
    for (int i = 0; i < kPhaseFrames; ++i) {
        virtualSeconds += kFrameStep;
        Clock::time_point start = Clock::now();
        runFrame();
        ms.push_back(msSince(start));
    }
    return summarise(ms);
}

struct PassTimes {
    double scene = 0.0, bloom = 0.0, motionBlur = 0.0, composite = 0.0;  // ms per frame
};

// The frame loop's steps once more, with a GL_TIME_ELAPSED query around each pass.
PassTimes timePasses() {
    GLuint queries[4];
    glGenQueries(4, queries);
    double ms[4] = {0.0, 0.0, 0.0, 0.0};
    void (*const passes[4])() = {drawScenePass, drawBloomPass, drawMotionBlurPass, composeAndPresent};
    for (int frame = 0; frame < kPassFrames; ++frame) {
        virtualSeconds += kFrameStep;
        advanceTimeline(runState, virtualSeconds);
        const bool runs[4] = {true, runState.bloomEnabled, runState.motionBlurEnabled, true};
        drawTimedPasses(4, passes, runs, queries, ms);
        cameraRig.update();
        lightRig.update();
        handleKeys(runState, KeyStates{}, std::cout);
    }
    glDeleteQueries(4, queries);
    return PassTimes{ms[0] / kPassFrames, ms[1] / kPassFrames, ms[2] / kPassFrames, ms[3] / kPassFrames};
}

}  // namespace

int main(int argc, char** argv) {
    DemoOptions window;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args.size() != 2 || args[0] != "--size" ||
                          !parseFrameSize(args[1], kMaxWindowWidth, kMaxWindowHeight, window.windowSize, error))) {
        std::cout << "usage: bench_frame [--size WxH]" << (error.empty() ? "" : "\n" + error) << std::endl;
        return 2;
    }
    window.sizeGiven = !args.empty();
    if (!std::filesystem::exists("shaders/PVL_Tex.vert")) {
        std::cout << "Run bench_frame from the run folder (shaders/, scene/, tex/)." << std::endl;
        return 1;
    }
    openDemoWindow(window);
    useVirtualTime();
    if (!startDemo()) return 1;

    const Phase phases[] = {{"motion blur, tick 500", 500, true, false},
                            {"bloom, tick 3000", 3000, false, true},
                            {"both effects, tick 3000", 3000, true, true}};
    FrameTime floorTime = timeFloor();
    const double floor = floorTime.mean;
    FrameTime frameMs[3];
    PassTimes passMs[3];
    for (int i = 0; i < 3; ++i) {
        frameMs[i] = timeFrames(phases[i]);
        passMs[i] = timePasses();
    }

    std::cout << "\nFrame times at " << frameSize.width << " x " << frameSize.height << " on " << glGetString(GL_RENDERER)
              << "\n" << std::fixed;
    std::cout << std::setw(26) << "" << std::setw(10) << "mean ms" << std::setw(8) << "fps" << std::setw(9)
              << "x floor" << std::setw(11) << "median ms" << std::setw(9) << "x floor" << "\n";
    auto row = [&](const char* name, FrameTime t) {
        std::cout << std::left << std::setw(26) << name << std::right << std::setprecision(2) << std::setw(10)
                  << t.mean << std::setprecision(1) << std::setw(8) << 1000.0 / t.mean << std::setprecision(2)
                  << std::setw(9) << t.mean / floor << std::setw(11) << t.median << std::setw(9)
                  << t.median / floorTime.median << "\n";
    };
    row("floor: copy + swap", floorTime);
    bool withinGoal = true;
    for (int i = 0; i < 3; ++i) {
        withinGoal = withinGoal && frameMs[i].mean <= 8.0 * floor;
        row(phases[i].name, frameMs[i]);
    }

    std::cout << "\nPasses by GL_TIME_ELAPSED, mean ms over " << kPassFrames << " frames (x floor)\n";
    std::cout << std::setw(26) << "" << std::setw(16) << "scene" << std::setw(16) << "bloom" << std::setw(16)
              << "motion blur" << std::setw(16) << "composite" << "\n";
    auto cell = [&](double ms) {
        std::cout << std::setprecision(2) << std::setw(9) << ms << " (" << std::setprecision(1) << std::setw(4)
                  << ms / floor << ")";
    };
    for (int i = 0; i < 3; ++i) {
        std::cout << std::left << std::setw(26) << phases[i].name << std::right;
        cell(passMs[i].scene);
        cell(passMs[i].bloom);
        cell(passMs[i].motionBlur);
        cell(passMs[i].composite);
        std::cout << "\n";
    }
    std::cout << "\nEvery phase's mean within 8 x floor: " << (withinGoal ? "yes" : "no") << std::endl;
    return 0;
}
