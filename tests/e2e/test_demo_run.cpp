// The real demo binary, run as a user would run it.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include <algorithm>
#include <filesystem>
#include <set>

#include "demo_process.h"
#include "frame_image.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

ProcessResult shell(const std::string& command, const std::string& dir, double seconds) {
    return runProgram("/bin/sh", dir, seconds, {}, {"-c", command});
}

TEST(DemoRun, WithoutADisplayGlewFailsCleanly) {
    std::string dir = makeScratchDir("nodisplay");
    ProcessResult result = runProgram(demoBinary(), dir, 60, {"DISPLAY=", "WAYLAND_DISPLAY="});
    ASSERT_TRUE(result.exited) << "signal " << result.signal << "\n" << result.output;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, "glewInit failed, aborting.\n");
}

// Left alone, the demo runs its whole timeline and ends by itself after
// 134.7 s, whatever the frame rate of this machine.
TEST(DemoRun, RunsTheWholeTimelineAndEndsByItself) {
    auto start = std::chrono::steady_clock::now();
    ProcessResult result = runProgram(demoBinary(), runPath(""), 400);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_TRUE(result.exited) << "timed out or crashed (signal " << result.signal << ")\n" << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_GT(seconds, 134.7);
    EXPECT_LT(seconds, 134.7 + 60.0) << "start-up plus the run took too long";

    const std::string& out = result.output;
    EXPECT_EQ(linesStartingWith(out, "Status: Using GLEW ").size(), 1u);
    ASSERT_EQ(linesStartingWith(out, "OpenGL version ").size(), 1u);
    EXPECT_NE(linesStartingWith(out, "OpenGL version ")[0].find(" supported"), std::string::npos);

    std::vector<std::string> attributes = linesStartingWith(out, "Attribute \"");
    std::vector<std::string> uniforms = linesStartingWith(out, "Uniform \"");
    EXPECT_EQ(attributes.size(), 8u);
    EXPECT_EQ(uniforms.size(), 31u);
    EXPECT_EQ(countOccurrences(out, "4294967295"), 0) << "a uniform the shaders lost";
    EXPECT_EQ(countOccurrences(out, " compiled successfully."), 8);
    EXPECT_EQ(countOccurrences(out, "Couldn't create frame buffer"), 0);
    EXPECT_EQ(countOccurrences(out, "Scenes could not be loaded!"), 0);
    EXPECT_EQ(countOccurrences(out, " could not be loaded..."), 0);
    EXPECT_GT(countOccurrences(out, " loaded..."), 0);
    EXPECT_EQ(countOccurrences(out, "Not enough control points"), 0);
    EXPECT_EQ(countOccurrences(out, "Warning: too little control points!"), 0);
}

// A command line the demo cannot read is refused in one line, exit code 2,
// before it opens anything (without a display, opening would print the GLEW
// failure); --help lists the options and keys.
TEST(DemoRun, BadOptionsAreRefusedBeforeAnyWindowOpens) {
    const std::string dir = makeScratchDir("badoptions");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--size", "0x0"}, {"--size", "100000x100000"}, {"--size", "abc"}, {"--frobnicate"}}) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        ProcessResult result = runProgram(demoBinary(), dir, 30, {"DISPLAY=", "WAYLAND_DISPLAY="}, args);
        ASSERT_TRUE(result.exited) << result.output;
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_EQ(countOccurrences(result.output, "\n"), 1) << result.output;
        EXPECT_EQ(result.output.rfind("tarnwick: ", 0), 0u) << result.output;
    }
    ProcessResult help = runProgram(demoBinary(), dir, 30, {"DISPLAY=", "WAYLAND_DISPLAY="}, {"--help"});
    ASSERT_TRUE(help.exited) << help.output;
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--fullscreen", "--size", "--vsync", "--no-vsync", "F11", "Escape"}) {
        EXPECT_NE(help.output.find(word), std::string::npos) << word << "\n" << help.output;
    }
}

// On a wide display, full screen covers the screen with the wider view (the
// sides show the town, not black bars); F11 gives the window and full screen
// back; a window resized smaller and back goes on drawing whole pictures.
TEST(DemoRun, FullScreenCoversAWideDisplayAndAResizedWindowKeepsDrawing) {
    PrivateDisplay display("1920x1080");
    ASSERT_TRUE(display.ready());
    DemoProcess demo(demoBinary(), runPath(""), {"ALSOFT_DRIVERS=null", "ALSOFT_LOGLEVEL=0"}, {"--fullscreen"});
    const unsigned long window = demo.findWindow(60);
    ASSERT_NE(window, 0u) << demo.output();
    ASSERT_TRUE(demo.waitForOutput("Uniform \"offset\"", 120)) << demo.output();

    // Waits until the window has this size and shows a picture whose left and
    // right tenths are lit; the two pictures seen last are returned.
    auto showsWholePicture = [&](int width, int height, ScreenPicture& last) {
        for (const double deadline = secondsNow() + 60; secondsNow() < deadline;) {
            demo.pump(0.5);
            last = grabWindow(window);
            if (last.width == width && last.height == height && last.meanOfColumns(0, width / 10) > 5.0 &&
                last.meanOfColumns(width - width / 10, width) > 5.0) {
                return true;
            }
        }
        return false;
    };
    ScreenPicture seen;
    ASSERT_TRUE(showsWholePicture(1920, 1080, seen)) << seen.width << " x " << seen.height << "\n" << demo.output();
    const ScreenPicture screen = grabWindow(0);
    EXPECT_GT(screen.meanOfColumns(0, 192), 5.0) << "the screen's left tenth is black";
    EXPECT_GT(screen.meanOfColumns(1728, 1920), 5.0) << "the screen's right tenth is black";

    EXPECT_TRUE(demo.sendKeys(window, {{"F11", true}, {"F11", false}}));
    EXPECT_TRUE(showsWholePicture(1024, 768, seen)) << "F11 from full screen: " << seen.width << " x " << seen.height;
    EXPECT_TRUE(demo.xdotool({"windowsize", "%w", "800", "600"}, window));
    ASSERT_TRUE(showsWholePicture(800, 600, seen)) << "resized: " << seen.width << " x " << seen.height;
    ScreenPicture later;
    ASSERT_TRUE(showsWholePicture(800, 600, later));
    for (int tries = 0; tries < 20 && later.rgb == seen.rgb; ++tries) showsWholePicture(800, 600, later);
    EXPECT_NE(later.rgb, seen.rgb) << "the resized window stopped drawing";
    EXPECT_TRUE(demo.xdotool({"windowsize", "%w", "1024", "768"}, window));
    EXPECT_TRUE(showsWholePicture(1024, 768, seen)) << "resized back: " << seen.width << " x " << seen.height;
    EXPECT_TRUE(demo.sendKeys(window, {{"F11", true}, {"F11", false}}));
    EXPECT_TRUE(showsWholePicture(1920, 1080, seen)) << "F11 again: " << seen.width << " x " << seen.height;

    EXPECT_TRUE(demo.sendKeys(window, {{"Escape", true}, {"Escape", false}}));
    const ProcessResult result = demo.finish(60);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countOccurrences(result.output, "Couldn't create frame buffer"), 0) << result.output;
}

// Installed as a package installs it (DESTDIR staging, prefix /usr), the
// launcher runs the demo from its data folder whatever the working folder,
// and Escape ends it with 0; the capture's launcher hands its program the
// same data folder. Without a display the launcher says so. The installed
// data folder holds every file of the run folder, and the .deb holds exactly
// the installed files.
TEST(DemoRun, TheInstalledLauncherRunsFromAnyFolderAndThePackageHoldsTheInstallTree) {
    const std::string stage = makeScratchDir("install-stage");
    const std::string build = TARNWICK_BUILD_DIR;
    ProcessResult install =
        shell("DESTDIR='" + stage + "' cmake --install '" + build + "' --prefix /usr", stage, 120);
    ASSERT_TRUE(install.exited && install.exitCode == 0) << install.output;
    const std::string launcher = stage + "/usr/games/tarnwick";

    // A file the install rules leave out is one the installed demo goes without
    // (the music: it runs silent); the demo itself lives in lib/games.
    int runFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(runPath(""))) {
        const std::string relative = fs::relative(entry.path(), runPath("")).string();
        if (!entry.is_regular_file() || relative == "tarnwick") continue;
        ++runFiles;
        EXPECT_TRUE(fs::is_regular_file(stage + "/usr/share/games/tarnwick/" + relative)) << relative;
    }
    EXPECT_GT(runFiles, 20);

    const std::string elsewhere = makeScratchDir("install-elsewhere");
    ProcessResult headless = runProgram(launcher, elsewhere, 30, {"DISPLAY=", "WAYLAND_DISPLAY="});
    ASSERT_TRUE(headless.exited) << headless.output;
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_EQ(countOccurrences(headless.output, "\n"), 1) << headless.output;
    EXPECT_NE(headless.output.find("tarnwick-capture"), std::string::npos) << headless.output;

    {
        DemoProcess demo(launcher, elsewhere, {"ALSOFT_DRIVERS=null", "ALSOFT_LOGLEVEL=0"});
        const unsigned long window = demo.findWindow(60);
        ASSERT_NE(window, 0u) << demo.output();
        ASSERT_TRUE(demo.waitForOutput("Uniform \"offset\"", 120)) << demo.output();
        demo.pump(5.0);  // frames drawn
        ASSERT_TRUE(demo.running()) << demo.output();
        EXPECT_TRUE(demo.sendKeys(window, {{"Escape", true}, {"Escape", false}}));
        const ProcessResult result = demo.finish(60);
        ASSERT_TRUE(result.exited) << result.output;
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(countOccurrences(result.output, "Scenes could not be loaded!"), 0) << result.output;
        EXPECT_EQ(countOccurrences(result.output, "Unable to open file"), 0) << result.output;
    }
    ProcessResult capture = runProgram(stage + "/usr/games/tarnwick-capture", elsewhere, 120, {},
                                       {"--quiet", "--fps", "25", "--ticks", "50", "--downscale", "4", "--out", "frames"});
    ASSERT_TRUE(capture.exited && capture.exitCode == 0) << capture.output;
    FrameImage frame, golden;
    ASSERT_TRUE(readPng(elsewhere + "/frames/tick_00050.png", frame)) << capture.output;
    ASSERT_TRUE(readPng(sourcePath("tests/golden/tick_00050.png"), golden));
    EXPECT_GE(psnr(frame, golden), 30.0) << "not the demo's frame at tick 50";

    const std::string packages = makeScratchDir("install-package");
    ProcessResult cpack = shell("cpack --config '" + build + "/CPackConfig.cmake' -G DEB -B '" + packages + "'",
                                packages, 300);
    ASSERT_TRUE(cpack.exited && cpack.exitCode == 0) << cpack.output;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(packages)) {
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    }
    ASSERT_FALSE(deb.empty()) << cpack.output;
    ProcessResult listing = shell("dpkg-deb --fsys-tarfile '" + deb + "' | tar -t", packages, 60);
    ASSERT_TRUE(listing.exited && listing.exitCode == 0) << listing.output;
    std::set<std::string> inPackage, installed;
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() != '/') inPackage.insert(line.substr(line.find('/')));  // "./usr/..."
    }
    for (const auto& entry : fs::recursive_directory_iterator(stage)) {
        if (!entry.is_directory()) installed.insert(entry.path().string().substr(stage.size()));
    }
    EXPECT_GT(installed.size(), 20u);
    EXPECT_EQ(inPackage, installed);
    for (const char* path : {"/usr/games/tarnwick", "/usr/games/tarnwick-capture", "/usr/games/tarnwick-viewer",
                             "/usr/lib/games/tarnwick/tarnwick", "/usr/share/games/tarnwick/scene/main2.DAE",
                             "/usr/share/applications/org.example.tarnwick.desktop", "/usr/share/man/man6/tarnwick.6.gz",
                             "/usr/share/man/man6/tarnwick-capture.6.gz", "/usr/share/man/man6/tarnwick-viewer.6.gz",
                             "/usr/share/doc/tarnwick/copyright", "/usr/share/doc/tarnwick/changelog.gz",
                             "/usr/share/metainfo/org.example.tarnwick.metainfo.xml",
                             "/usr/share/icons/hicolor/256x256/apps/tarnwick.png"}) {
        EXPECT_EQ(inPackage.count(path), 1u) << path;
    }
}

}  // namespace
