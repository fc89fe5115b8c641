// Tarnwick! — a self-running real-time demo. With no arguments it opens the
// designed 1024 × 768 window; the options (tarnwick --help) only add to that.
#include <iostream>
#include <string>
#include <vector>

#include "app/demo_options.h"
#include "app/frame_loop.h"
#include "app/startup.h"
#include "app/window.h"
#include "audio/music_player.h"

int main(int argc, char** argv) {
    DemoOptions options;
    std::string error;
    // A command line that cannot be read is refused before any window opens.
    if (!parseDemoOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cout << "tarnwick: " << error << " (tarnwick --help lists the options)" << std::endl;
        return 2;
    }
    if (options.help) {
        std::cout << demoUsage();
        return 0;
    }
    // The model files' trial reads and the music's decoding go on while the
    // window and start-up come up.
    startTrialImports();
    startMusicDecode();
    openDemoWindow(options);  // exits with code 1 when there is no GL context
    // A scene that cannot be loaded is a failure: its message is printed and
    // the music was started, but the run ends before its first frame.
    if (!startDemo()) return 1;
    while (runFrame()) {
    }
    return 0;
}
