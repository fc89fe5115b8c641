// tarnwick_capture: records the demo, frame by frame, on a virtual clock.
//
// It runs the demo's own start-up and frame loop (startDemo, runFrame) in an
// off-screen context, with the platform seam on virtual time: the clock reads
// k / fps seconds while frame k runs, no key is ever pressed, the window never
// closes, and present reads the finished frame back and hands it to a PNG
// folder or to ffmpeg instead of showing it.
// Nothing in the frame reads the wall clock, so two captures with the same
// options give the same pictures, bit for bit, on the same machine.
//
//   cd build/run && ../tools/capture/tarnwick_capture --fps 25 --out demo.mp4
//   tarnwick_capture --run-dir build/run --ticks 50,1075 --out /tmp/frames
//
// Exit codes: 0 done, 1 the demo or a writer failed, 2 bad options.
#include <GL/glew.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "audio/music_player.h"
#include "import/scene.h"
#include "platform/frame_size.h"
#include "platform/platform.h"
#include "platform/run_state.h"
#include "render/frame_matrices.h"
#include "render/render_targets.h"
#include "shading/shader_bindings.h"
#include "capture_context.h"
#include "capture_plan.h"
#include "frame_image.h"
#include "video_writer.h"

namespace fs = std::filesystem;

namespace {

// The capture's run: the options, the frames to keep, where the loop is and
// what has been written.
struct CaptureRun {
    CaptureOptions options;
    std::vector<KeptFrame> keptFrames;
    size_t nextKept = 0;          // index into keptFrames of the next frame to keep
    int currentFrame = 0;         // the frame being run; 0 during start-up
    bool keepingThisFrame = false;
    bool writeFailed = false;
    std::vector<size_t> readsPending;  // indices into keptFrames, oldest first
    VideoWriter video;
    int framesWritten = 0;

    // --quiet: the start-up report is held here and shown only when start-up
    // fails, also when it ends the process itself (an unreadable shader file).
    std::ostringstream heldReport;
    std::streambuf* consoleBuffer = nullptr;

    // --report: the worst shares seen so far, and at which tick.
    double worstBurnt = -1.0, worstBlack = -1.0;
    int worstBurntTick = 0, worstBlackTick = 0;
    int framesOverBurnt = 0, framesOverBlack = 0;
};

// The limits a frame of the run is held to: the share of burnt-out and of
// pure-black pixels above which a frame counts as over.
const double kBurntLimit = 0.02;
const double kBlackLimit = 0.03;
// Surfaces lower than this (world units above the ground) count as the
// ground in the report: streets, cobbles, lawns and the pavements' tops.
const float kGroundHeight = 8.0f;

CaptureRun capture;

void showHeldReport() {
    if (capture.consoleBuffer == nullptr) return;
    std::cout.rdbuf(capture.consoleBuffer);
    capture.consoleBuffer = nullptr;
    std::cout << capture.heldReport.str() << std::flush;
}

void holdReport() {
    capture.consoleBuffer = std::cout.rdbuf(capture.heldReport.rdbuf());
    std::atexit(showHeldReport);
}

void dropHeldReport() {
    if (capture.consoleBuffer == nullptr) return;
    std::cout.rdbuf(capture.consoleBuffer);
    capture.consoleBuffer = nullptr;
}

// m·(x, y, z, w) of a column-major matrix.
struct Clip {
    float x, y, z, w;
};
Clip transform(const Mat4& matrix, float x, float y, float z, float w) {
    const float* m = matrix.m;
    return Clip{m[0] * x + m[4] * y + m[8] * z + m[12] * w, m[1] * x + m[5] * y + m[9] * z + m[13] * w,
                m[2] * x + m[6] * y + m[10] * z + m[14] * w, m[3] * x + m[7] * y + m[11] * z + m[15] * w};
}

// The scene's depth of the frame just drawn, bottom row first as GL has it.
std::vector<float> sceneDepth() {
    std::vector<float> depth(static_cast<size_t>(frameSize.width) * frameSize.height);
    glBindTexture(GL_TEXTURE_2D, renderTargets.sceneDepthTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return depth;
}

// Where the ground is in the frame just drawn: the pixels whose surface, by
// the scene's depth, lies less than a pavement's height above the ground
// (z = 0 in the centred world), top row first as the read-back frame has it.
std::vector<uint8_t> groundMask(const std::vector<float>& depth) {
    const int w = frameSize.width, h = frameSize.height;
    const Mat4 clipToWorld = inverse(multiply(frameMatrices.projection, frameMatrices.view));
    std::vector<uint8_t> mask(depth.size(), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float d = depth[static_cast<size_t>(y) * w + x];
            if (d >= 1.0f) continue;  // the sky's far plane
            const float cx = (x + 0.5f) / w * 2.0f - 1.0f, cy = (y + 0.5f) / h * 2.0f - 1.0f, cz = d * 2.0f - 1.0f;
            const Clip world = transform(clipToWorld, cx, cy, cz, 1.0f);
            if (world.z / world.w < kGroundHeight) mask[static_cast<size_t>(h - 1 - y) * w + x] = 1;
        }
    }
    return mask;
}

// The sculptures' corners in the model's own coordinates, three to a
// triangle: the last meshes of the main scene, read back from their position
// buffers once, and each one's middle.
struct Sculpture {
    std::vector<Vec3> corners;
    Vec3 middle;
};
std::vector<Sculpture> sculptures;

void readSculptures() {
    const std::vector<SceneMesh>& meshes = mainScene->meshes;
    // As many as the scene pass hides until the reveal.
    const size_t count = std::min(static_cast<size_t>(RunState{}.hiddenMeshCount), meshes.size());
    for (size_t i = meshes.size() - count; i < meshes.size(); ++i) {
        Sculpture piece;
        piece.corners.resize(meshes[i].vertexCount);
        GLint buffer = 0;
        glBindVertexArray(meshes[i].vertexArray);
        glGetVertexAttribiv(kPositionAttribute, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(buffer));
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(piece.corners.size() * sizeof(Vec3)),
                           piece.corners.data());
        Vec3 sum{};
        for (const Vec3& c : piece.corners) sum = sum + c;
        piece.middle = sum / std::max(static_cast<float>(piece.corners.size()), 1.0f);
        sculptures.push_back(std::move(piece));
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}

// Where the sculpture nearest the eye, of those in front of it, shows in
// the frame just drawn: its triangles rasterised (pixel centres inside) where
// the scene's depth says nothing stands before them. Top row first; empty
// when no piece is in front of the eye.
std::vector<uint8_t> subjectMask(const std::vector<float>& depth) {
    if (sculptures.empty() && mainScene != nullptr) readSculptures();
    const int w = frameSize.width, h = frameSize.height;
    std::vector<uint8_t> mask;
    const Sculpture* nearest = nullptr;
    float nearestDistance = 1e30f;
    for (const Sculpture& piece : sculptures) {
        const Clip eye = transform(frameMatrices.modelView, piece.middle.x, piece.middle.y, piece.middle.z, 1.0f);
        const float distance = length(Vec3{eye.x, eye.y, eye.z});
        if (eye.z < 0.0f && distance < nearestDistance) {
            nearestDistance = distance;
            nearest = &piece;
        }
    }
    if (nearest == nullptr) return mask;
    mask.assign(depth.size(), 0);
    const std::vector<Vec3>& p = nearest->corners;
    for (size_t k = 0; k + 2 < p.size(); k += 3) {
        float sx[3], sy[3], sz[3];
        bool inFront = true;
        for (int v = 0; v < 3 && inFront; ++v) {
            const Clip c = transform(frameMatrices.modelViewProjection, p[k + v].x, p[k + v].y, p[k + v].z, 1.0f);
            inFront = c.w > 1e-3f;
            if (!inFront) break;
            sx[v] = (0.5f + 0.5f * c.x / c.w) * w;
            sy[v] = (0.5f + 0.5f * c.y / c.w) * h;  // bottom row 0
            sz[v] = 0.5f + 0.5f * c.z / c.w;
        }
        if (!inFront) continue;
        const float area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        if (std::fabs(area) < 1e-6f) continue;
        const int x0 = std::max(0, static_cast<int>(std::min({sx[0], sx[1], sx[2]})));
        const int x1 = std::min(w - 1, static_cast<int>(std::max({sx[0], sx[1], sx[2]})));
        const int y0 = std::max(0, static_cast<int>(std::min({sy[0], sy[1], sy[2]})));
        const int y1 = std::min(h - 1, static_cast<int>(std::max({sy[0], sy[1], sy[2]})));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const float px = x + 0.5f, py = y + 0.5f;
                // Barycentric weights; the screen-space depth is affine in them.
                const float b1 = ((px - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (py - sy[0])) / area;
                const float b2 = ((sx[1] - sx[0]) * (py - sy[0]) - (px - sx[0]) * (sy[1] - sy[0])) / area;
                if (b1 < 0.0f || b2 < 0.0f || b1 + b2 > 1.0f) continue;
                const float z = sz[0] + b1 * (sz[1] - sz[0]) + b2 * (sz[2] - sz[0]);
                if (z <= depth[static_cast<size_t>(y) * w + x] + 1e-4f) mask[static_cast<size_t>(h - 1 - y) * w + x] = 1;
            }
        }
    }
    return mask;
}

// The mean grey where the mask marks over the mean grey of the rest of the
// frame; 0 when either part is empty.
double subjectRatio(const FrameImage& full, const std::vector<uint8_t>& subject) {
    if (subject.size() != full.rgb.size() / 3) return 0.0;
    std::vector<uint8_t> rest(subject.size());
    long marked = 0;
    for (size_t i = 0; i < subject.size(); ++i) {
        rest[i] = subject[i] ? 0 : 1;
        marked += subject[i];
    }
    if (marked == 0 || marked == static_cast<long>(subject.size())) return 0.0;
    const double restMean = brightness(full, &rest).mean;
    return restMean > 0.0 ? brightness(full, &subject).mean / restMean : 0.0;
}

void reportExposure(const FrameImage& full, int tick, const std::vector<uint8_t>& ground,
                    const std::vector<uint8_t>& subject) {
    double burnt = shareAtLeast(full, kBurntOutLevel), black = shareAtMost(full, kPureBlackLevel);
    const Brightness frame = brightness(full), onGround = brightness(full, &ground);
    char line[240];
    std::snprintf(line, sizeof line,
                  "\rtick %5d  burnt out %6.2f %%  pure black %6.2f %%  grey median %3d mean %5.1f  at 128+ %5.2f %%"
                  "  top 1 %% / median %4.2f  ground %4.2f  subject %4.2f%s\n",
                  tick, 100.0 * burnt, 100.0 * black, frame.median, frame.mean, 100.0 * frame.brightShare,
                  frame.topOverMedian, onGround.topOverMedian, subjectRatio(full, subject),
                  burnt > kBurntLimit || black > kBlackLimit ? "  over" : "");
    std::cout << line << std::flush;
    if (burnt > capture.worstBurnt) {
        capture.worstBurnt = burnt;
        capture.worstBurntTick = tick;
    }
    if (black > capture.worstBlack) {
        capture.worstBlack = black;
        capture.worstBlackTick = tick;
    }
    if (burnt > kBurntLimit) ++capture.framesOverBurnt;
    if (black > kBlackLimit) ++capture.framesOverBlack;
}

void keepFrame(const FrameImage& full, const KeptFrame& kept, const std::vector<uint8_t>& ground,
               const std::vector<uint8_t>& subject) {
    if (capture.options.report) reportExposure(full, kept.tick, ground, subject);
    if (capture.options.out.empty()) {
        ++capture.framesWritten;
        return;
    }
    FrameImage image = downscale(full, capture.options.downscale);
    bool ok = isVideoPath(capture.options.out) ? writeVideoFrame(capture.video, image)
                                               : writePng((fs::path(capture.options.out) / kept.name).string(), image);
    if (!ok) {
        capture.writeFailed = true;
        return;
    }
    ++capture.framesWritten;
}

// A kept frame's picture is copied out of the back buffer without waiting
// and handed on while the next kept frame renders: on a GPU the encoder,
// not the read-back, sets the pace. `readsPending` holds the kept frames
// whose copies are on their way, oldest first.
void keepOldestRead() {
    FrameImage full;
    if (!finishFrameRead(full)) {
        capture.writeFailed = true;
        return;
    }
    keepFrame(full, capture.keptFrames[capture.readsPending.front()], {}, {});
    capture.readsPending.erase(capture.readsPending.begin());
}

// Called by the composite at the end of every frame, in place of the swap.
void capturePresent() {
    // A report measures the ground by this frame's depth, so it reads the
    // frame back at once, while that depth is still there.
    if (capture.keepingThisFrame && capture.options.report) {
        const std::vector<float> depth = sceneDepth();
        keepFrame(readBackFrame(), capture.keptFrames[capture.nextKept], groundMask(depth), subjectMask(depth));
    } else if (capture.keepingThisFrame) {
        startFrameRead();
        capture.readsPending.push_back(capture.nextKept);
        if (capture.readsPending.size() > 1) keepOldestRead();
    }
    presentCaptureContext();
}

// Frames that are not kept are run in full, but rasterise into one pixel:
// every pass clears and redraws its target in full each frame and nothing
// reads the previous frame's pixels, so the kept frames come out exactly as
// if every frame had been drawn, at a fraction of the cost.
void setFastFrame(bool fast) {
    if (fast) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
}

std::string clockText(double seconds) {
    int total = static_cast<int>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
    return text;
}

// The wall clock is read here only, for the progress line; it never reaches
// the demo, whose every clock reading is the virtual one.
struct Progress {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastShown = Clock::now() - std::chrono::seconds(1);
    double fastSeconds = 0.0;  // wall time of frames not kept
    double keptSeconds = 0.0;  // wall time of kept frames
    int fastDone = 0;
    int keptDone = 0;
    // Recent seconds per frame, smoothed over some fifty frames: the scenes
    // differ in cost along the run, so the recent pace predicts the rest best.
    double recentKept = 0.0;
    double recentFast = 0.0;

    static double smooth(double recent, double seconds) {
        return recent == 0.0 ? seconds : recent * 0.98 + seconds * 0.02;
    }

    void count(bool kept, double seconds) {
        if (kept) {
            keptSeconds += seconds;
            ++keptDone;
            recentKept = smooth(recentKept, seconds);
        } else {
            fastSeconds += seconds;
            ++fastDone;
            recentFast = smooth(recentFast, seconds);
        }
    }

    // Four updates a second at most, and always the last one.
    void show(int frame, int lastFrame, int keptTotal, bool force) {
        Clock::time_point now = Clock::now();
        if (!force && now - lastShown < std::chrono::milliseconds(250)) return;
        lastShown = now;
        // Before the first kept frame, guess from the fast ones and back.
        double perKept = recentKept > 0.0 ? recentKept : recentFast * 30.0;
        double perFast = recentFast > 0.0 ? recentFast : recentKept / 30.0;
        int keptLeft = keptTotal - keptDone;
        int fastLeft = (lastFrame - frame) - keptLeft;
        double left = keptLeft * perKept + (fastLeft > 0 ? fastLeft : 0) * perFast;
        double rate = recentKept > 0.0 ? 1.0 / recentKept : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "\r  frame %d/%d (tick %.0f)  kept %d/%d  %.2f frames/s  %s left   ",
                      frame, lastFrame, frameTick(frame, capture.options.fps), keptDone, keptTotal, rate,
                      clockText(left).c_str());
        std::cout << line << std::flush;
    }
};

bool openWriter() {
    if (capture.options.out.empty()) return true;  // a report only
    if (!isVideoPath(capture.options.out)) {
        std::error_code error;
        fs::create_directories(capture.options.out, error);
        if (!fs::is_directory(capture.options.out)) {
            std::cout << "Could not make the folder " << capture.options.out << std::endl;
            return false;
        }
        return true;
    }
    VideoSettings settings;
    settings.path = capture.options.out;
    settings.width = frameSize.width / capture.options.downscale;
    settings.height = frameSize.height / capture.options.downscale;
    settings.fps = capture.options.fps;
    settings.audioOffset = audioOffsetSeconds(capture.keptFrames.front().frame, capture.options.fps);
    settings.duration = videoSeconds(static_cast<int>(capture.keptFrames.size()), capture.options.fps);
    if (!capture.options.audio.empty()) {
        if (fs::exists(capture.options.audio)) {
            settings.audioPath = capture.options.audio;
        } else {
            std::cout << "No " << capture.options.audio << " here: the video will be silent" << std::endl;
        }
    }
    // H.264 in 4:2:0 wants even sizes.
    if (settings.width % 2 != 0 || settings.height % 2 != 0) {
        std::cout << "A video needs an even frame size; use --downscale 1, 2, 4 or 8" << std::endl;
        return false;
    }
    return openVideo(capture.video, settings);
}

}  // namespace

int main(int argc, char** argv) {
    int early = readCommandLine(argc, argv, "tarnwick_capture", captureUsage(), capture.options, parseCaptureOptions);
    if (early >= 0) return early;
    if (capture.options.listDevices) {
        std::cout << describeEglDevices();
        return 0;
    }
    if (capture.options.device >= 0) {
        const size_t devices = listEglDevices().size();
        if (static_cast<size_t>(capture.options.device) >= devices) {
            std::cout << "tarnwick_capture: --device " << capture.options.device << ": this machine has " << devices
                      << " EGL device(s) (see --list-devices)" << std::endl;
            return 2;
        }
    }
    capture.keptFrames = planFrames(capture.options);
    if (capture.keptFrames.empty()) {
        std::cout << "tarnwick_capture: these options keep no frame" << std::endl;
        return 2;
    }

    // The output is named from where the tool was started; the demo reads
    // its files relative to the run folder.
    if (!capture.options.out.empty()) capture.options.out = fs::absolute(capture.options.out).string();
    if (!capture.options.runDir.empty() && chdir(capture.options.runDir.c_str()) != 0) {
        std::cout << "tarnwick_capture: cannot enter " << capture.options.runDir << std::endl;
        return 2;
    }
    // The music goes into the video from its file; a capture never plays it
    // aloud (OpenAL Soft's null device takes the sound instead).
    setenv("ALSOFT_DRIVERS", "null", 1);

    frameSize = capture.options.size;
    bool opened = openCaptureContext(capture.options.context, capture.options.device);
    if (!opened && !capture.options.contextChosen && std::getenv("DISPLAY") != nullptr) {
        std::cout << "EGL failed; falling back to a GLFW window on " << std::getenv("DISPLAY") << std::endl;
        opened = openCaptureContext(ContextKind::glfw);
    }
    if (!opened) return 1;

    useVirtualTime();
    platform.present = capturePresent;

    if (!openWriter()) return 1;

    // Start-up runs at clock 0, and so does frame 0, as the demo's first
    // frame follows its start-up at once: frame k of a video, shown at k / fps
    // seconds, is the demo at that very moment, in step with the music.
    capture.currentFrame = 0;
    virtualSeconds = frameClock(capture.currentFrame, capture.options.fps);
    if (capture.options.quiet) holdReport();
    if (!startDemo()) {
        showHeldReport();
        if (isVideoPath(capture.options.out)) closeVideo(capture.video);
        return 1;
    }
    dropHeldReport();

    const int lastFrame = capture.keptFrames.back().frame;
    const int keptTotal = static_cast<int>(capture.keptFrames.size());
    std::cout << "Capturing " << keptTotal << " frame(s) at " << capture.options.fps << " fps, running frames 0 to "
              << lastFrame << (capture.options.out.empty() ? ", for the report only" : ", to " + capture.options.out)
              << std::endl;
    Progress progress;
    bool demoEnded = false;
    for (int frame = 0; frame <= lastFrame && !capture.writeFailed; ++frame) {
        capture.currentFrame = frame;
        virtualSeconds = frameClock(frame, capture.options.fps);
        capture.keepingThisFrame =
            capture.nextKept < capture.keptFrames.size() && capture.keptFrames[capture.nextKept].frame == frame;
        setFastFrame(!capture.keepingThisFrame);
        auto begin = std::chrono::steady_clock::now();
        bool goesOn = runFrame();
        // glReadPixels already waited for kept frames; a fast one is waited
        // for here, so that the progress line times real work.
        if (!capture.keepingThisFrame) glFinish();
        progress.count(capture.keepingThisFrame,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        if (capture.keepingThisFrame) ++capture.nextKept;
        progress.show(frame, lastFrame, keptTotal, frame == lastFrame || !goesOn);
        if (!goesOn) {
            demoEnded = true;
            break;
        }
    }
    while (!capture.readsPending.empty() && !capture.writeFailed) keepOldestRead();
    std::cout << std::endl;
    closeMusic();

    bool ok = !capture.writeFailed;
    if (isVideoPath(capture.options.out)) ok = closeVideo(capture.video) && ok;
    double seconds = progress.keptSeconds + progress.fastSeconds;
    if (demoEnded && capture.framesWritten < keptTotal) {
        std::cout << "The demo ended at frame " << capture.currentFrame << ", before every frame asked for"
                  << std::endl;
    }
    std::cout << "Captured " << capture.framesWritten << " frame(s) in " << clockText(seconds) << ": "
              << (progress.keptSeconds > 0.0 ? progress.keptDone / progress.keptSeconds : 0.0)
              << " kept frames/s";
    if (progress.fastDone > 0) {
        std::cout << ", " << (progress.fastSeconds > 0.0 ? progress.fastDone / progress.fastSeconds : 0.0)
                  << " fast-forward frames/s";
    }
    std::cout << std::endl;
    if (!ok) {
        std::cout << "Writing " << capture.options.out << " failed" << std::endl;
        return 1;
    }
    if (capture.options.report) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "Worst burnt-out share %.2f %% (tick %d), %d frame(s) over %.0f %%; "
                      "worst pure-black share %.2f %% (tick %d), %d frame(s) over %.0f %%",
                      100.0 * capture.worstBurnt, capture.worstBurntTick, capture.framesOverBurnt,
                      100.0 * kBurntLimit, 100.0 * capture.worstBlack, capture.worstBlackTick,
                      capture.framesOverBlack, 100.0 * kBlackLimit);
        std::cout << line << std::endl;
    }
    if (!capture.options.out.empty()) {
        std::cout << (isVideoPath(capture.options.out) ? "Video: " : "Frames: ") << capture.options.out << std::endl;
    }
    return 0;
}
