// Where start-up's time goes: the demo's own start (window, start-up, first
// frame on the real clock, as tarnwick runs them) in fresh processes, and the
// moments and sums that start-up notes (platform/startup_clock.h), as
// medians over the runs.
//
// Run from the run folder, with a display:
//   xvfb-run -a -s '-screen 0 1024x768x24' ../bench/bench_startup [runs]
// Each run is a process of its own (the first start of a process is what is
// measured, so nothing may be warm from a run before); its console goes to
// /dev/null. The sound device is whatever OpenAL Soft finds: give it one with
// ALSOFT_DRIVERS=wave and an alsoft.conf (ALSOFT_CONF) naming a wave file.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/demo_options.h"
#include "app/frame_loop.h"
#include "app/startup.h"
#include "app/window.h"
#include "audio/music_player.h"
#include "platform/startup_clock.h"

namespace {

struct Row {
    const char* name;
    bool moment;  // a moment since the process started, or a sum
};

// In the order start-up reaches them.
const Row kRows[] = {
    {"window open, GLEW ready", true},
    {"  music decoded (sum)", false},
    {"music loaded", true},
    {"shaders built", true},
    {"render targets made", true},
    {"  import guard: children's CPU (sum)", false},
    {"  import guard: waited for (sum)", false},
    {"  models read by the demo (sum)", false},
    {"  pictures decoded (sum)", false},
    {"  pictures uploaded (sum)", false},
    {"  mipmaps made (sum)", false},
    {"  tangent frames (sum)", false},
    {"scenes loaded", true},
    {"start-up done", true},
    {"first frame presented", true},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];

// One start, in this process: what tarnwick's main does up to its first frame.
int startOnce(int reportFd) {
    DemoOptions options;
    startTrialImports();
    startMusicDecode();
    openDemoWindow(options);
    const bool running = startDemo();
    if (running) runFrame();
    const double firstFrame = processSeconds();
    const StartupFigures& f = startupFigures;
    const double values[kRowCount] = {f.windowOpen,    f.musicDecode,   f.musicLoaded,    f.shadersBuilt,
                                      f.targetsMade,   f.guardChild,    f.guardWait,      f.parentRead,
                                      f.pictureDecode, f.pictureUpload, f.pictureMipmaps, f.tangentFrames,
                                      f.scenesLoaded,  f.startUpDone,   firstFrame};
    std::string line;
    for (double v : values) line += std::to_string(v) + " ";
    line += std::to_string(f.pictureLoads) + "\n";
    if (write(reportFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 1;
    closeMusic();
    return running ? 0 : 1;
}

// Starts this program again with --once; its figures come back over a pipe.
bool runChild(const char* self, std::vector<double>& values, int& loads) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(ends[0]);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
        const std::string fd = std::to_string(ends[1]);
        execl(self, self, "--once", fd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    std::string text;
    char buffer[512];
    ssize_t got;
    while ((got = read(ends[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    values.assign(kRowCount, 0.0);
    const char* p = text.c_str();
    for (double& v : values) {
        char* end = nullptr;
        v = std::strtod(p, &end);
        if (end == p) return false;
        p = end;
    }
    loads = std::atoi(p);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) return startOnce(std::atoi(argv[2]));
    const int runs = argc == 2 ? std::atoi(argv[1]) : 5;
    if (argc > 2 || runs < 1) {
        std::printf("usage: bench_startup [runs]\n");
        return 2;
    }
    if (!std::filesystem::exists("shaders/PVL_Tex.vert")) {
        std::printf("Run bench_startup from the run folder (shaders/, scene/, tex/).\n");
        return 1;
    }
    std::vector<std::vector<double>> columns(kRowCount);
    int loads = 0;
    for (int run = 0; run < runs; ++run) {
        std::vector<double> values;
        if (!runChild(argv[0], values, loads)) {
            std::printf("run %d did not start the demo\n", run + 1);
            return 1;
        }
        for (int r = 0; r < kRowCount; ++r) columns[static_cast<size_t>(r)].push_back(values[static_cast<size_t>(r)]);
    }
    std::printf("Start-up, seconds since the process started; (sum) lines add up a step's repeats.\n");
    std::printf("%d runs, %d picture loads a run\n", runs, loads);
    std::printf("%-36s %8s %8s %8s\n", "", "median", "min", "max");
    for (int r = 0; r < kRowCount; ++r) {
        const std::vector<double>& c = columns[static_cast<size_t>(r)];
        std::printf("%-36s %8.3f %8.3f %8.3f\n", kRows[r].name, median(c), *std::min_element(c.begin(), c.end()),
                    *std::max_element(c.begin(), c.end()));
    }
    return 0;
}
