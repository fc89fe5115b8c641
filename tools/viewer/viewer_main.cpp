// tarnwick_viewer: the demo under a clock the viewer holds, for the people who
// make it: pause, seek, step, change the speed, and see shader and content
// changes at once, without a restart and without losing the place.
//
// It opens the demo's own window and runs the demo's own start-up and frame
// (startDemo, runFrame) with the platform seam's clock pointed at a virtual
// one. Playing moves that clock on by each frame's wall time times the speed.
// A seek starts the run over and replays it without drawing, one tick per
// frame, then draws the tick it asked for. One tick per frame because the
// paths move at most one segment per frame and the motion blur compares with
// the frame before: any other step would fly another camera. So a seek lands
// on the capture tool's picture of that tick at --fps 50.
//
//   cd build/run && ../tools/viewer/tarnwick_viewer
//   tarnwick_viewer --run-dir build/run --tick 3000
//
// The music follows the picture (viewer_audio.h), a strip along the bottom
// shows the run (timeline_strip.h), and a stretch of it can be looped.
// Exit codes: 0 quit, 1 the demo could not start, 2 bad options.
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "platform/platform.h"
#include "app/startup.h"
#include "app/timeline.h"
#include "app/window.h"
#include "audio/music_player.h"
#include "camera/camera_rig.h"
#include "capture_context.h"
#include "content_reload.h"
#include "folder_watch.h"
#include "frame_image.h"
#include "import/scene.h"
#include "platform/frame_size.h"
#include "render/frame_matrices.h"
#include "shading/program_rebuild.h"
#include "timeline_strip.h"
#include "viewer_audio.h"
#include "viewer_controls.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTicksPerSecond = 50.0;
// Files are looked at this often; a change is taken once two looks agree.
constexpr double kLookSeconds = 0.25;
// A frame that took longer (a reload, a rebuild) moves the run no further:
// the picture goes on from where it was instead of jumping.
constexpr double kLongestPlayStep = 0.25;

// What the last frame was drawn from, taken as it was presented (the rigs
// move after the present). Paused, the viewer draws it again from this: after
// a shader or content change, a toggle, a shot, or when the window was exposed.
struct HeldFrame {
    RunState run;
    Mat4 view;
    Mat4 projection;
    Vec3 lightPosition;
    FrameMatrices matrices;  // as the scene pass left them
    bool valid = false;
};

// The viewer's one state record.
struct Viewer {
    ViewerOptions options;
    std::string shotDir;
    double clockSeconds = 0.0;  // what the demo reads as the time
    bool paused = false;
    int speedStep = 0;
    bool quit = false;
    bool redrawWanted = false;
    bool shotWanted = false;
    // Keys come in while events are processed, inside a frame's present;
    // they are acted on between frames.
    std::vector<ViewerAction> pending;
    HeldFrame held;
    double frameMilliseconds = 0.0;
    double lastPlayWall = 0.0;  // wall clock at the previous played frame
    void (*windowPresent)() = nullptr;
    FolderWatch shaders;
    FolderWatch content;
    FolderWatch music;
    PlayLoop loop;
    bool dragging = false;  // the mouse button went down on the strip
    int dragTick = -1;      // where the pointer asks a seek to; -1: nowhere
    std::vector<std::string> shaderFiles;  // the stages start-up built from
    std::string title;
    int framesPlayed = 0;
    double secondsPlayed = 0.0;
};

Viewer viewer;

double wallClock() { return glfwGetTime(); }
double virtualClock() { return viewer.clockSeconds; }

int clockTick() { return wholeTick(viewer.clockSeconds * kTicksPerSecond); }
double tickSeconds(int tick) { return static_cast<double>(tick) / kTicksPerSecond; }

void writeShot() {
    const std::string path = (fs::path(viewer.shotDir) / shotName(wholeTick(runState.timelineTicks))).string();
    // readBackFrame reads the back buffer, where the composite has just drawn.
    if (writePng(path, readBackFrame())) std::cout << "Wrote " << path << std::endl;
}

// The composite's present: keep what this frame was drawn from, write the
// shot that was asked for, then the window's own swap and event poll.
// The strip comes after the shot, over the picture in the back buffer.
void viewerPresent() {
    viewer.held = HeldFrame{runState, cameraRig.viewMatrix, cameraRig.projMatrix, lightRig.position,
                            frameMatrices, true};
    if (viewer.shotWanted) {
        viewer.shotWanted = false;
        writeShot();
    }
    drawTimelineStrip(wholeTick(runState.timelineTicks), viewer.loop, frameSize.width, frameSize.height);
    const Mat4 projectionBefore = cameraRig.projMatrix;
    const FrameSize sizeBefore = frameSize;
    viewer.windowPresent();  // a resized window gets its new size here (resizeFrame)
    if (frameSize.width != sizeBefore.width || frameSize.height != sizeBefore.height) {
        // The held frame, seen through the new projection: a paused picture
        // is drawn again whole at the new size, its motion blur unchanged.
        viewer.held.projection = cameraRig.projMatrix;
        viewer.held.matrices.previousModelViewProjection =
            multiply(multiply(cameraRig.projMatrix, inverse(projectionBefore)),
                     viewer.held.matrices.previousModelViewProjection);
        viewer.redrawWanted = true;
    }
}

bool repeats(ViewerAction action) {
    switch (action) {
        case ViewerAction::seekBack:
        case ViewerAction::seekForward:
        case ViewerAction::seekBackLong:
        case ViewerAction::seekForwardLong:
        case ViewerAction::stepBack:
        case ViewerAction::stepForward: return true;
        default: return false;
    }
}

void onKey(GLFWwindow*, int key, int, int action, int mods) {
    const ViewerAction what = actionForKey(key, mods);
    if (what == ViewerAction::none || action == GLFW_RELEASE) return;
    if (action == GLFW_REPEAT && !repeats(what)) return;
    viewer.pending.push_back(what);
}

void onRefresh(GLFWwindow*) { viewer.redrawWanted = true; }

// A click on the strip seeks; dragging on it goes on seeking. Only the
// latest place asked for is taken between frames.
void pointTo(double x, double y) {
    // The pointer is in the window's units, the strip in the framebuffer's
    // pixels; on a high-density display those differ.
    int windowWidth = 0, windowHeight = 0;
    glfwGetWindowSize(demoWindow, &windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) return;
    const double sx = static_cast<double>(frameSize.width) / windowWidth;
    const double sy = static_cast<double>(frameSize.height) / windowHeight;
    const int tick = stripTickAt(x * sx, y * sy, frameSize.width, frameSize.height);
    if (tick >= 0) viewer.dragTick = tick;
}

void onMouseButton(GLFWwindow* window, int button, int action, int) {
    if (button != GLFW_MOUSE_BUTTON_LEFT) return;
    viewer.dragging = action == GLFW_PRESS;
    if (!viewer.dragging) return;
    double x = 0.0, y = 0.0;
    glfwGetCursorPos(window, &x, &y);
    pointTo(x, y);
}

void onCursor(GLFWwindow*, double x, double y) {
    if (viewer.dragging) pointTo(x, y);
}

// Keys pressed while paused are the viewer's. GLFW keeps a released key
// reading "pressed" until it is polled, so that the demo never loses a tap:
// read them off before the demo's own poll, or the first frame drawn after
// them (a step, a seek, playing on) would toggle M and B once more.
void forgetPausedKeys() {
    for (int key : {kKeyEscape, kKeyM, kKeyB, kKeyZ}) platform.readKey(key);
}

// One frame of the demo, exactly as the demo runs it, at this clock reading.
void playFrame(double seconds) {
    if (viewer.paused) forgetPausedKeys();
    viewer.clockSeconds = seconds;
    const double begin = wallClock();
    const bool goesOn = runFrame();
    viewer.frameMilliseconds = (wallClock() - begin) * 1000.0;
    noteFrameTime(wallClock(), viewer.frameMilliseconds);
    if (!runState.running) {
        viewer.quit = true;  // Escape or the window closed, seen by the demo's own key handling
    } else if (!goesOn) {
        viewer.paused = true;  // the end tick: nothing was drawn, the last picture stays
    }
}

// The run as startDemo leaves it, on the clock at 0. The paths were built by
// start-up and stay; init starts their clocks over.
void restartRun() {
    viewer.clockSeconds = 0.0;
    runState = RunState{};
    frameMatrices = FrameMatrices{};
    cameraRig.init();
    lightRig.init();
    placeRigsAtStart();
    startTimeline(runState, platform.readClock());
}

// What runFrame changes besides the picture, in its order: the timeline, the
// scene pass's matrices (the motion blur compares with them), the rigs, and
// the keys' frame counters with no key down. Unlike the frame loop's
// advanceWithoutDrawing, which only needs to arrive at a moment, this replays
// the capture tool's own frames one by one, matrices included, so that a seek
// lands on exactly the capture's picture.
void replayFrameWithoutDrawing() {
    if (!advanceTimeline(runState, platform.readClock())) return;
    updateFrameMatrices(frameMatrices, cameraRig.viewMatrix, cameraRig.projMatrix, mainScene->centroid);
    cameraRig.update();
    lightRig.update();
    handleKeys(runState, KeyStates{}, std::cout);
}

// report: a line on the console; a loop going round is not worth one.
void seekTo(int tick, bool report = true) {
    const double begin = wallClock();
    restartRun();
    // The clock readings of the capture tool's frames at 50 frames per second.
    for (int frame = 1; frame < tick; ++frame) {
        viewer.clockSeconds = tickSeconds(frame);
        replayFrameWithoutDrawing();
    }
    const double replayed = wallClock() - begin;
    playFrame(tickSeconds(tick));
    moveMusicTo(tickSeconds(tick));
    if (report) {
        std::cout << "Seek to tick " << tick << ": " << std::max(0, tick - 1) << " frames replayed in "
                  << replayed * 1000.0 << " ms, then drawn in " << viewer.frameMilliseconds << " ms" << std::endl;
    }
    viewer.lastPlayWall = wallClock();
}

// The held frame drawn again. The live state (the rigs already moved on) is
// put aside and comes back afterwards, so playing goes on from where it was.
void redrawHeld() {
    if (!viewer.held.valid) return;
    const RunState liveRun = runState;
    const Mat4 liveView = cameraRig.viewMatrix;
    const Mat4 liveProjection = cameraRig.projMatrix;
    const Vec3 liveLight = lightRig.position;
    const FrameMatrices liveMatrices = frameMatrices;

    const HeldFrame held = viewer.held;
    runState = held.run;
    cameraRig.viewMatrix = held.view;
    cameraRig.projMatrix = held.projection;
    lightRig.position = held.lightPosition;
    // The scene pass makes the last combined matrix the previous one: give it
    // the held frame's previous one, and the motion blur sees the same motion.
    frameMatrices = held.matrices;
    frameMatrices.modelViewProjection = held.matrices.previousModelViewProjection;
    frameMatrices.hasPreviousFrame = true;

    const double begin = wallClock();
    drawFrame();
    viewer.frameMilliseconds = (wallClock() - begin) * 1000.0;
    noteFrameTime(wallClock(), viewer.frameMilliseconds);

    runState = liveRun;
    cameraRig.viewMatrix = liveView;
    cameraRig.projMatrix = liveProjection;
    lightRig.position = liveLight;
    frameMatrices = liveMatrices;
}

// M and B on a paused picture: the held frame and the run both change, so
// playing goes on with the choice. The line is the demo's.
void toggleHeld(bool RunState::*flag, const char* label) {
    const bool value = !(viewer.held.run.*flag);
    viewer.held.run.*flag = value;
    runState.*flag = value;
    std::cout << value << label << std::endl;
    viewer.redrawWanted = true;
}

void act(ViewerAction action) {
    switch (action) {
        case ViewerAction::togglePause:
            viewer.paused = !viewer.paused;
            viewer.lastPlayWall = wallClock();
            if (!viewer.paused) forgetPausedKeys();
            break;
        case ViewerAction::stepForward: {
            // On from the present state, so a step after a seek is the
            // capture's next frame.
            const int next = clockTick() + 1;
            if (viewer.paused && next <= lastTick()) {
                playFrame(tickSeconds(next));
                moveMusicTo(tickSeconds(next));
                playTickSound(next);
            }
            break;
        }
        case ViewerAction::stepBack:
            if (viewer.paused) {
                seekTo(seekTarget(action, clockTick()));
                playTickSound(clockTick());
            }
            break;
        case ViewerAction::seekBack:
        case ViewerAction::seekForward:
        case ViewerAction::seekBackLong:
        case ViewerAction::seekForwardLong:
        case ViewerAction::seekStart:
        case ViewerAction::seekEnd: seekTo(seekTarget(action, clockTick())); break;
        case ViewerAction::slower:
        case ViewerAction::faster:
            // The time played since the last frame went at the old speed;
            // only what follows goes at the new one, or the picture jumps.
            if (!viewer.paused) {
                const double now = wallClock();
                viewer.clockSeconds += std::min(now - viewer.lastPlayWall, kLongestPlayStep) *
                                       speedFactor(viewer.speedStep);
                viewer.lastPlayWall = now;
            }
            viewer.speedStep = changeSpeed(viewer.speedStep, action);
            break;
        case ViewerAction::shot:
            viewer.shotWanted = true;
            if (viewer.paused) viewer.redrawWanted = true;
            break;
        // Playing, the demo's own key handling sees M, B and Z (with its debounce).
        case ViewerAction::motionBlur:
            if (viewer.paused) toggleHeld(&RunState::motionBlurEnabled, " MB");
            break;
        case ViewerAction::bloom:
            if (viewer.paused) toggleHeld(&RunState::bloomEnabled, " BL");
            break;
        case ViewerAction::toggleStrip:
            timelineStrip.shown = !timelineStrip.shown;
            viewer.redrawWanted = true;
            break;
        case ViewerAction::toggleMute: setMusicMuted(!viewerAudio.muted); break;
        case ViewerAction::loopStart:
        case ViewerAction::loopEnd:
        case ViewerAction::loopStartOnBeat:
        case ViewerAction::loopEndOnBeat:
        case ViewerAction::loopClear:
            viewer.loop = changeLoop(viewer.loop, action, clockTick());
            viewer.redrawWanted = true;
            break;
        case ViewerAction::quit: viewer.quit = true; break;
        case ViewerAction::zap:
        case ViewerAction::none: break;
    }
}

void lookAtFiles() {
    if (foldersChanged(viewer.shaders)) {
        // A stage file that is gone would end the process in the build.
        for (const std::string& file : viewer.shaderFiles) {
            if (!fs::is_regular_file(file)) {
                std::cout << file << " is missing: the programs in use stay." << std::endl;
                return;
            }
        }
        if (rebuildShaderPrograms()) viewer.redrawWanted = true;
        viewer.lastPlayWall = wallClock();
    }
    if (foldersChanged(viewer.content)) {
        if (reloadScenes()) {
            std::cout << "Scenes loaded again at tick " << wholeTick(viewer.held.run.timelineTicks) << "." << std::endl;
            viewer.redrawWanted = true;
        }
        viewer.lastPlayWall = wallClock();
    }
    if (foldersChanged(viewer.music)) {
        if (reloadMusic(viewer.clockSeconds)) {
            takeWaveform(viewerAudio.track);
            std::cout << kMusicPath << " loaded again at tick " << clockTick() << "." << std::endl;
            viewer.redrawWanted = true;
        } else {
            std::cout << kMusicPath << " could not be loaded again: the music heard stays." << std::endl;
        }
        viewer.lastPlayWall = wallClock();
    }
}

void showTitle() {
    TitleInfo info;
    info.tick = wholeTick(viewer.held.run.timelineTicks);
    info.motionBlur = viewer.held.run.motionBlurEnabled;
    info.bloom = viewer.held.run.bloomEnabled;
    info.speedStep = viewer.speedStep;
    info.paused = viewer.paused;
    info.frameMilliseconds = viewer.frameMilliseconds;
    info.sound = viewerAudio.sound;
    info.musicSeconds = musicSeconds();
    info.muted = viewerAudio.muted;
    info.loop = viewer.loop;
    const std::string title = windowTitle(info);
    if (title == viewer.title) return;
    viewer.title = title;
    glfwSetWindowTitle(demoWindow, title.c_str());
}

// One frame of playing: the clock moves on by the wall time since the last
// one, times the speed, and stops at the last tick.
void playOn() {
    const double now = wallClock();
    const double step = std::min(now - viewer.lastPlayWall, kLongestPlayStep) * speedFactor(viewer.speedStep);
    if (now - viewer.lastPlayWall > kLongestPlayStep) viewerAudio.heldBack = true;
    viewer.lastPlayWall = now;
    const double last = tickSeconds(lastTick());
    if (reachesLoopEnd(viewer.loop, viewer.clockSeconds, std::min(viewer.clockSeconds + step, last))) {
        seekTo(viewer.loop.start, false);
        return;
    }
    if (viewer.clockSeconds >= last) {
        viewer.paused = true;
        std::cout << "The end of the run: paused at tick " << clockTick() << "." << std::endl;
        return;
    }
    playFrame(std::min(viewer.clockSeconds + step, last));
    ++viewer.framesPlayed;
    viewer.secondsPlayed += viewer.frameMilliseconds / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    int early = readCommandLine(argc, argv, "tarnwick_viewer", viewerUsage(), viewer.options, parseViewerOptions);
    if (early >= 0) return early;
    // Shots go where the viewer was started; the demo reads its files
    // relative to the run folder.
    viewer.shotDir = fs::absolute(viewer.options.shotDir.empty() ? "." : viewer.options.shotDir).string();
    if (!viewer.options.runDir.empty() && chdir(viewer.options.runDir.c_str()) != 0) {
        std::cout << "tarnwick_viewer: cannot enter " << viewer.options.runDir << std::endl;
        return 2;
    }
    // A window that can be resized, of the size asked for.
    DemoOptions window;
    window.sizeGiven = true;
    window.windowSize = viewer.options.size;
    openDemoWindow(window);  // ends the process with code 1 when there is no GL context
    viewer.windowPresent = platform.present;
    platform.readClock = virtualClock;
    platform.present = viewerPresent;
    glfwSetKeyCallback(demoWindow, onKey);
    glfwSetWindowRefreshCallback(demoWindow, onRefresh);
    glfwSetMouseButtonCallback(demoWindow, onMouseButton);
    glfwSetCursorPosCallback(demoWindow, onCursor);

    if (!startDemo()) return 1;
    startViewerAudio();
    createTimelineStrip();
    takeWaveform(viewerAudio.track);
    viewer.shaderFiles = filesBelow("shaders", {".vert", ".frag"});
    viewer.shaders = watchFolders({"shaders"}, {".vert", ".frag"});
    viewer.content = watchFolders({"scene", "tex"});
    viewer.music = watchFolders({"sound"}, {".mp3"});

    if (viewer.options.startTick >= 0) {
        viewer.paused = true;
        seekTo(viewer.options.startTick);
    }
    viewer.lastPlayWall = wallClock();
    double lastLook = wallClock();
    while (!viewer.quit && platform.windowOpen()) {
        if (wallClock() - lastLook >= kLookSeconds) {
            lastLook = wallClock();
            lookAtFiles();
        }
        std::vector<ViewerAction> actions;
        actions.swap(viewer.pending);
        for (ViewerAction action : actions) {
            if (!viewer.quit) act(action);
        }
        if (viewer.quit) break;
        if (viewer.dragTick >= 0) {
            seekTo(viewer.dragTick, false);
            viewer.dragTick = -1;
        }

        if (!viewer.paused) {
            playOn();
        } else if (viewer.redrawWanted) {
            viewer.redrawWanted = false;
            redrawHeld();
        } else {
            glfwWaitEventsTimeout(kLookSeconds / 4);
        }
        // Where the music should stand now: the picture's time plus what has
        // passed since that picture's clock reading.
        const double speed = speedFactor(viewer.speedStep);
        const double sinceFrame = viewer.paused ? 0.0 : (wallClock() - viewer.lastPlayWall) * speed;
        followPicture(viewer.clockSeconds + sinceFrame, !viewer.paused, speed,
                      viewer.frameMilliseconds / 1000.0 * speed);
        showTitle();
    }

    if (viewer.framesPlayed > 0) {
        std::cout << "Played " << viewer.framesPlayed << " frames, " << viewer.secondsPlayed * 1000.0 / viewer.framesPlayed
                  << " ms each: " << viewer.framesPlayed / viewer.secondsPlayed << " frames/s" << std::endl;
    }
    if (viewerAudio.sound) {
        std::cout << "Music moved back to the picture " << viewerAudio.driftMoves << " times, "
                  << viewerAudio.heldBackMoves << " of them after frames too long to follow." << std::endl;
    }
    closeViewerAudio();
    closeMusic();
    return 0;
}
