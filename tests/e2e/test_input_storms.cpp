// Keys and window events thrown at the running demo (the real binary on the
// generated content, under X): held keys, hammered keys, Escape before the
// first frame, and the window closed from outside. Whatever comes, the run
// ends the way it should: by exit, never by a signal, and never hangs.
//
// Keys go to the demo's own window as X events, so several tests can share one
// X server; xdotool finds the window by the demo's process id and destroys it.
// The three key outputs end in a bare newline without a flush, so they reach
// the pipe only when the process ends; the tests read them afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "demo_process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A working folder with the generated content, the small street scene standing
// in for the main one: start-up is quick and frames are fast, so the held keys
// act many times long before the timeline's first event at tick 1067.
std::string stormFolder() {
    const std::string dir = makeScratchDir("storm");
    for (const char* folder : {"shaders", "tex", "sound"}) {
        fs::create_symlink(runPath(folder), dir + "/" + folder);
    }
    makeDirs(dir + "/scene");
    fs::copy_file(runPath("scene/StreetScene.DAE"), dir + "/scene/StreetScene.DAE");
    fs::copy_file(runPath("scene/StreetScene.DAE"), dir + "/scene/main2.DAE");
    writeFile(dir + "/alsoft.conf", "[general]\ndrivers = null\n");
    return dir;
}

// OpenAL Soft's null device: a working sound system without audio hardware.
std::vector<std::string> quietAudio(const std::string& dir) {
    return {"ALSOFT_CONF=" + dir + "/alsoft.conf", "ALSOFT_DRIVERS=", "ALSOFT_LOGLEVEL=0"};
}

struct KeyLines {
    std::vector<std::string> mb, bl;
    int zaps = 0;
    std::vector<std::string> strays;  // key-like lines that are none of the five forms
};

KeyLines keyLines(const std::string& output) {
    KeyLines keys;
    for (const std::string& line : splitLines(output)) {
        if (line == "0 MB" || line == "1 MB") keys.mb.push_back(line);
        else if (line == "0 BL" || line == "1 BL") keys.bl.push_back(line);
        else if (line == "ZAP") ++keys.zaps;
        else if (line.find("MB") != std::string::npos || line.find("BL") != std::string::npos ||
                 line.find("ZAP") != std::string::npos) keys.strays.push_back(line);
    }
    return keys;
}

// Motion blur starts on and bloom off, so their toggles print 0, 1, 0, ...
// and 1, 0, 1, ... respectively.
void expectAlternating(const std::vector<std::string>& lines, char first, const char* what) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char digit = (i % 2 == 0) ? first : (first == '0' ? '1' : '0');
        EXPECT_EQ(lines[i][0], digit) << what << " toggle " << i;
    }
}

// The start-up of a good run: the full report and no failure line.
void expectGoodStartUp(const std::string& out) {
    EXPECT_EQ(countOccurrences(out, "Attribute \""), 8) << out;
    EXPECT_EQ(countOccurrences(out, "Uniform \""), 31) << out;
    EXPECT_EQ(countOccurrences(out, "Scenes could not be loaded!"), 0) << out;
    EXPECT_EQ(countOccurrences(out, "sound/Quillon.mp3 loaded!"), 1) << out;
}

void expectCleanEnd(const ProcessResult& result, int exitCode) {
    ASSERT_FALSE(result.timedOut) << "hung\n" << result.output;
    ASSERT_TRUE(result.exited) << "killed by signal " << result.signal << "\n" << result.output;
    EXPECT_EQ(result.exitCode, exitCode) << result.output;
}

// Each test on an X server of its own: nothing else takes the focus from the
// demo's window, so keys held down stay down.
class InputStorms : public ::testing::Test {
protected:
    PrivateDisplay display;
    std::string dir = stormFolder();
    DemoProcess demo{demoBinary(), dir, quietAudio(dir)};
    unsigned long window = 0;

    void SetUp() override {
        ASSERT_TRUE(display.ready());
        window = demo.findWindow(60);
        ASSERT_NE(window, 0u) << demo.output();
    }
    // The run is under way: start-up printed its last uniform line and the
    // scenes had a moment to load.
    void waitForTheLoop() {
        ASSERT_TRUE(demo.waitForOutput("Uniform \"offset\"", 60)) << demo.output();
        demo.pump(3.0);
        ASSERT_TRUE(demo.running()) << demo.output();
    }
    // Keys held down for `seconds` (or until the run ends): pressed again
    // every 50 ms, as a held key repeats. The window's first moments on the
    // display take the focus to it and that releases any key already down;
    // the next repeat presses it again, long before the first frame.
    void hold(const std::vector<std::string>& names, double seconds) {
        std::vector<std::pair<std::string, bool>> keys;
        for (const std::string& name : names) keys.emplace_back(name, true);
        for (const double end = secondsNow() + seconds; secondsNow() < end && demo.running();) {
            EXPECT_TRUE(demo.sendKeys(window, keys));
            demo.pump(0.05);
        }
    }
    // Each key of the sequence pressed and released, `times` over, delayMs apart.
    void hammer(const std::vector<std::string>& sequence, int times, int delayMs) {
        std::vector<std::pair<std::string, bool>> keys;
        for (int i = 0; i < times; ++i) {
            for (const std::string& name : sequence) {
                keys.emplace_back(name, true);
                keys.emplace_back(name, false);
            }
        }
        EXPECT_TRUE(demo.sendKeys(window, keys, delayMs));
    }
    // Escape held until the run ends, which must be a clean end with code 0
    // after a good start-up.
    ProcessResult endWithEscape() {
        hold({"Escape"}, 30.0);
        const ProcessResult result = demo.finish(30);
        expectCleanEnd(result, 0);
        expectGoodStartUp(result.output);
        return result;
    }
};

// M, B and Z held down from before the first frame: each acts on the same
// frames as the debounce allows, Z first on frame 1, M and B first on frame
// 32, then all three every 31 frames; so there is one ZAP more than toggles.
TEST_F(InputStorms, HeldKeysActEvery31FramesAndEscapeEndsTheRun) {
    hold({"m", "b", "z"}, 12.0);  // start-up, then at well over 3 frames per second several toggles
    ASSERT_TRUE(demo.running()) << demo.output();
    const ProcessResult result = endWithEscape();

    const KeyLines keys = keyLines(result.output);
    EXPECT_TRUE(keys.strays.empty()) << keys.strays.front();
    EXPECT_GE(keys.mb.size(), 1u) << "fewer than 32 frames in 12 s\n" << result.output;
    EXPECT_EQ(keys.bl.size(), keys.mb.size());
    EXPECT_EQ(keys.zaps, static_cast<int>(keys.mb.size()) + 1);
    expectAlternating(keys.mb, '0', "MB");
    expectAlternating(keys.bl, '1', "BL");
}

// Hundreds of presses and releases, faster than frames: many fall between two
// looks at the keys and are not seen, the rest toggle; either way nothing but
// the five key outputs appears and Escape still ends the run.
TEST_F(InputStorms, HammeredKeysNeverBreakTheRun) {
    waitForTheLoop();
    hammer({"m", "b", "z"}, 150, 1);
    hammer({"m", "z", "b", "z", "m"}, 300, 0);
    ASSERT_TRUE(demo.running()) << demo.output();
    const ProcessResult result = endWithEscape();

    const KeyLines keys = keyLines(result.output);
    EXPECT_TRUE(keys.strays.empty()) << keys.strays.front();
    expectAlternating(keys.mb, '0', "MB");
    expectAlternating(keys.bl, '1', "BL");
}

// Escape already down when the first frame ends: start-up runs in full, one
// frame is drawn and the run ends with code 0 without a key output.
TEST_F(InputStorms, EscapeAtTheFirstFrameEndsTheRunCleanly) {
    hold({"Escape"}, 60.0);
    const ProcessResult result = demo.finish(60);
    expectCleanEnd(result, 0);
    expectGoodStartUp(result.output);
    const KeyLines keys = keyLines(result.output);
    EXPECT_TRUE(keys.mb.empty() && keys.bl.empty() && keys.zaps == 0 && keys.strays.empty()) << result.output;
}

// Quick taps, each pressed and released back to back, so both arrive between
// two looks at the keys: the look still sees the key pressed once. Z is ready
// from the start, M once its debounce has counted 31 frames.
TEST_F(InputStorms, TapsBetweenTwoFramesAreSeenOnce) {
    waitForTheLoop();
    EXPECT_TRUE(demo.sendKeys(window, {{"z", true}, {"z", false}}));
    demo.pump(12.0);  // well over 31 frames of the small scene
    EXPECT_TRUE(demo.sendKeys(window, {{"m", true}, {"m", false}}));
    demo.pump(2.0);
    ASSERT_TRUE(demo.running()) << demo.output();
    EXPECT_TRUE(demo.sendKeys(window, {{"Escape", true}, {"Escape", false}}));
    const ProcessResult result = demo.finish(20);
    expectCleanEnd(result, 0);
    const KeyLines keys = keyLines(result.output);
    EXPECT_EQ(keys.zaps, 1) << result.output;
    EXPECT_EQ(keys.mb, std::vector<std::string>{"0 MB"}) << result.output;
    EXPECT_TRUE(keys.bl.empty() && keys.strays.empty()) << result.output;
}

// What a window manager sends when the user closes the window: the run ends
// with code 0, also when the request comes while start-up is still going on.
TEST_F(InputStorms, TheWindowManagersCloseRequestEndsTheRun) {
    waitForTheLoop();
    ASSERT_TRUE(demo.sendWindowDelete(window));
    const ProcessResult result = demo.finish(30);
    expectCleanEnd(result, 0);
    expectGoodStartUp(result.output);
}

TEST_F(InputStorms, ACloseRequestDuringStartUpEndsTheRunAfterTheFirstFrame) {
    ASSERT_TRUE(demo.sendWindowDelete(window));
    const ProcessResult result = demo.finish(60);
    expectCleanEnd(result, 0);
    expectGoodStartUp(result.output);
}

// Not a close request: another client destroying the window outright (what
// `xdotool windowclose` does) leaves the demo drawing into a window that is
// gone. What follows is up to Xlib and the driver (usually Xlib's default
// error handler prints the X error and exits with code 1); the process must
// end, by exit and not by a signal, and must not hang.
TEST_F(InputStorms, AWindowDestroyedByAnotherClientEndsTheProcessWithoutAHang) {
    waitForTheLoop();
    demo.xdotool({"windowclose", "%w"}, window);
    const ProcessResult result = demo.finish(30);
    ASSERT_FALSE(result.timedOut) << "hung\n" << result.output;
    ASSERT_TRUE(result.exited) << "killed by signal " << result.signal << "\n" << result.output;
}

}  // namespace
