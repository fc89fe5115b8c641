// What a change to the shader files saves: the scene, bloom and motion-blur
// passes timed with two or more sets of shaders in one process, on the same
// frames, taking turns frame by frame.
//
// The machines this runs on drift by a tenth or more from one minute to the
// next, more than most shader changes are worth, so timing one version after
// the other (or bench_frame twice) cannot tell them apart. Taking turns on
// every frame shares the drift out evenly; two runs of the same folder agree
// within about 2 %.
//
// Run from the run folder (its scene/ and tex/ are loaded once), with a
// display, naming folders that each hold a shaders/ of their own:
//   bench_shader_variants TICK FRAMES EFFECTS FOLDER...
// EFFECTS is "none", "blur", "bloom" or "both". Example, the working copy
// against what is committed:
//   mkdir -p /tmp/old && git -C ../.. archive HEAD shaders | tar -x -C /tmp/old
//   ../bench/bench_shader_variants 500 40 blur . /tmp/old
#include <GL/glew.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/timeline.h"
#include "app/window.h"
#include "camera/camera_rig.h"
#include "platform/run_state.h"
#include "render/bloom_pass.h"
#include "render/composite.h"
#include "render/frame_matrices.h"
#include "render/motion_blur_pass.h"
#include "render/scene_pass.h"
#include "shading/programs.h"
#include "pass_timing.h"

namespace {

constexpr double kFrameStep = 1.0 / 60.0;  // virtual seconds per frame
constexpr int kWarmFrames = 2;             // the first draws compile the shaders

// One folder's four programs and where their uniforms are.
struct Variant {
    std::string folder;
    ShaderProgram programs[4];
    UniformLocations uniforms;
    double ms[3] = {0.0, 0.0, 0.0};     // scene, bloom, motion blur: summed GL time
    double cpuMs[3] = {0.0, 0.0, 0.0};  // the same passes' CPU time, summed
};

double cpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Each pass that runs, finished before and after, by CPU time and by GL time.
void drawPasses(void (*const passes[3])(), const bool runs[3], const GLuint queries[3], double ms[3],
                double cpuMs[3]) {
    for (int p = 0; p < 3; ++p) {
        if (!runs[p]) continue;
        glFinish();
        const double start = cpuMilliseconds();
        void (*const one[1])() = {passes[p]};
        const bool yes[1] = {true};
        drawTimedPasses(1, one, yes, &queries[p], &ms[p]);
        glFinish();
        cpuMs[p] += cpuMilliseconds() - start;
    }
}

ShaderProgram* const kPrograms[4] = {&pvlTexProgram, &motionBlurProgram, &pureQuadProgram, &bloomProgram};

// The frame loop's passes read the process-wide programs; a variant's turn
// puts its own there.
void use(const Variant& variant) {
    for (int i = 0; i < 4; ++i) *kPrograms[i] = variant.programs[i];
    uniformLocations = variant.uniforms;
}

bool parseEffects(const char* text, bool& bloom, bool& blur) {
    bloom = !std::strcmp(text, "bloom") || !std::strcmp(text, "both");
    blur = !std::strcmp(text, "blur") || !std::strcmp(text, "both");
    return bloom || blur || !std::strcmp(text, "none");
}

}  // namespace

int main(int argc, char** argv) {
    bool bloom = false, blur = false;
    if (argc < 5 || !parseEffects(argv[3], bloom, blur) || std::atoi(argv[2]) < 1) {
        std::cout << "usage: bench_shader_variants TICK FRAMES none|blur|bloom|both FOLDER..." << std::endl;
        return 1;
    }
    const int tick = std::atoi(argv[1]), frames = std::atoi(argv[2]);
    char home[4096];
    if (!getcwd(home, sizeof home)) return 1;

    openDemoWindow();
    useVirtualTime();
    if (!startDemo()) return 1;

    // Each folder's programs are built with the demo's own build, from its
    // shaders/, and kept side by side.
    std::vector<Variant> variants;
    for (int i = 4; i < argc; ++i) {
        Variant variant;
        variant.folder = argv[i];
        if (chdir(argv[i]) != 0) {
            std::cout << "no folder " << argv[i] << std::endl;
            return 1;
        }
        // The build's report is the start-up one; it is shown only when a
        // program lost a stage (one that did not compile) or did not link.
        std::ostringstream report;
        std::streambuf* console = std::cout.rdbuf(report.rdbuf());
        buildShaderPrograms();
        std::cout.rdbuf(console);
        if (chdir(home) != 0) return 1;
        for (ShaderProgram* program : kPrograms) {
            GLint linked = 0, stages = 0;
            glGetProgramiv(program->name, GL_LINK_STATUS, &linked);
            glGetProgramiv(program->name, GL_ATTACHED_SHADERS, &stages);
            if (!linked || stages != 2) {
                std::cout << report.str() << "The shaders of " << argv[i] << " did not build." << std::endl;
                return 1;
            }
        }
        for (int p = 0; p < 4; ++p) variant.programs[p] = *kPrograms[p];
        variant.uniforms = uniformLocations;
        variants.push_back(variant);
    }

    advanceWithoutDrawing(tick / 50.0);
    GLuint queries[3];
    glGenQueries(3, queries);
    void (*const passes[3])() = {drawScenePass, drawBloomPass, drawMotionBlurPass};
    const bool runs[3] = {true, bloom, blur};
    const int count = static_cast<int>(variants.size());
    for (int frame = -kWarmFrames; frame < frames; ++frame) {
        virtualSeconds += kFrameStep;
        advanceTimeline(runState, virtualSeconds);
        runState.bloomEnabled = bloom;
        runState.motionBlurEnabled = blur;
        // Every variant draws this same frame: the scene pass moves this
        // frame's matrices into "previous", so each starts from the same ones.
        const FrameMatrices matrices = frameMatrices;
        for (int turn = 0; turn < count; ++turn) {
            // Forwards on even frames, backwards on odd ones: no variant is
            // always the one that finds the caches warm.
            Variant& variant = variants[frame % 2 == 0 ? turn : count - 1 - turn];
            use(variant);
            frameMatrices = matrices;
            double warming[3] = {0.0, 0.0, 0.0}, cpuWarming[3] = {0.0, 0.0, 0.0};
            drawPasses(passes, runs, queries, frame >= 0 ? variant.ms : warming,
                       frame >= 0 ? variant.cpuMs : cpuWarming);
            composeAndPresent();
        }
        cameraRig.update();
        lightRig.update();
    }
    glDeleteQueries(3, queries);

    std::cout << "\nPasses at tick " << tick << ", mean ms over " << frames << " frames, by GL_TIME_ELAPSED\n"
              << std::fixed << std::setprecision(2);
    std::cout << std::setw(10) << "scene" << std::setw(10) << "bloom" << std::setw(12) << "motion blur"
              << "   CPU ms: scene" << std::setw(10) << "bloom" << std::setw(12) << "motion blur"
              << "  shaders of\n";
    for (const Variant& variant : variants) {
        std::cout << std::setw(10) << variant.ms[0] / frames << std::setw(10) << variant.ms[1] / frames
                  << std::setw(12) << variant.ms[2] / frames << std::setw(15) << variant.cpuMs[0] / frames
                  << std::setw(10) << variant.cpuMs[1] / frames << std::setw(12) << variant.cpuMs[2] / frames
                  << "  " << variant.folder << "\n";
    }
    std::cout << std::flush;
    return 0;
}
