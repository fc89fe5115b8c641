#include "app/demo_options.h"

bool parseDemoOptions(const std::vector<std::string>& args, DemoOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--fullscreen" || name == "-f") {
            options.fullScreen = true;
        } else if (name == "--vsync") {
            options.swap = SwapChoice::vsync;
        } else if (name == "--no-vsync") {
            options.swap = SwapChoice::noVsync;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--size") {
            if (i + 1 >= args.size()) {
                error = "--size needs a value, such as --size 1920x1080";
                return false;
            }
            if (!parseFrameSize(args[++i], kMaxWindowWidth, kMaxWindowHeight, options.windowSize, error)) {
                error = "--size: " + error;
                return false;
            }
            options.sizeGiven = true;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

std::string demoUsage() {
    return "usage: tarnwick [options]\n"
           "With no options: the designed 1024 x 768 window.\n"
           "  -f, --fullscreen  full screen on the primary monitor at the desktop's own\n"
           "                    size and refresh, drawn at its full resolution\n"
           "  --size WxH        a window of that size (such as 1920x1080) that can be\n"
           "                    resized; the picture follows its size\n"
           "  --vsync           every frame waits for the display's refresh (the\n"
           "                    default in full screen)\n"
           "  --no-vsync        no frame waits for the display's refresh\n"
           "  -h, --help        this text\n"
           "Every aspect ratio shows the whole designed 4:3 picture at its centre:\n"
           "wider screens show more at the sides, narrower ones more above and below.\n"
           "Keys while it runs:\n"
           "  M       motion blur on, off\n"
           "  B       bloom on, off\n"
           "  Z       the zap\n"
           "  F11     full screen, window\n"
           "  Escape  end the run (so does closing the window)\n"
           "The run lasts 134.7 s and ends by itself.\n";
}

int swapIntervalFor(SwapChoice swap, bool fullScreen) {
    switch (swap) {
        case SwapChoice::vsync: return 1;
        case SwapChoice::noVsync: return 0;
        case SwapChoice::asDesigned: break;
    }
    // Full screen swaps on the refresh so nothing tears; the window keeps the
    // driver's own swap, as designed.
    return fullScreen ? 1 : -1;
}
