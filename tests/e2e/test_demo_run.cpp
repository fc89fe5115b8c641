// The real demo binary, run as a user would run it.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "test_support.h"

namespace {

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

}  // namespace
