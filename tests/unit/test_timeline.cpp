// The timeline's events, the end of the run, the keys and their debounce, and
// the demo's command line.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "app/demo_options.h"
#include "app/frame_loop.h"
#include "app/timeline.h"
#include "camera/camera_rig.h"
#include "camera/path_data.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

// What one frame saw right after the timeline advanced.
struct FrameRecord {
    double whole;
    bool goOn;
    RunState state;
};

// Runs the timeline with a fixed frame length until it ends (or maxFrames).
std::vector<FrameRecord> runAtFrameRate(double framesPerSecond, int maxFrames = 200000) {
    RunState state;
    startTimeline(state, 0.0);
    std::vector<FrameRecord> frames;
    for (int frame = 1; frame <= maxFrames; ++frame) {
        bool goOn = advanceTimeline(state, frame / framesPerSecond);
        frames.push_back({std::floor(state.timelineTicks), goOn, state});
        if (!goOn) break;
        std::ostringstream ignored;
        handleKeys(state, KeyStates{}, ignored);
    }
    return frames;
}

TEST(Timeline, FastFramesApplyEachEventOnEveryFrameOfItsTick) {
    std::vector<FrameRecord> frames = runAtFrameRate(200.0);

    int zapFrames = 0;
    for (const FrameRecord& f : frames) {
        if (f.whole == kZapTick) {
            ++zapFrames;
            EXPECT_EQ(f.state.zapCounter, 0) << "the zap is re-armed on every frame of its tick";
        }
        if (f.whole < kRevealTick) {
            EXPECT_EQ(f.state.hiddenMeshCount, 5);
            EXPECT_TRUE(f.state.motionBlurEnabled);
            EXPECT_FALSE(f.state.bloomEnabled);
        } else if (f.whole < kSwitchBackTick) {
            EXPECT_EQ(f.state.hiddenMeshCount, 0);
            EXPECT_FALSE(f.state.motionBlurEnabled);
            EXPECT_TRUE(f.state.bloomEnabled);
        } else {
            EXPECT_TRUE(f.state.motionBlurEnabled);
            EXPECT_FALSE(f.state.bloomEnabled);
        }
    }
    EXPECT_EQ(zapFrames, 4);

    // The first frame whose whole tick is 6735 ends the run, at 134.7 s.
    ASSERT_FALSE(frames.back().goOn);
    EXPECT_EQ(frames.back().whole, kEndTick);
    EXPECT_TRUE(frames[frames.size() - 2].goOn);
    EXPECT_NEAR(frames.size() / 200.0, 134.7, 1.0 / 200.0);
}

TEST(Timeline, SlowFramesStillSeeEveryEventAndTheEnd) {
    // 7.7 frames per second: each frame spans about 6.5 ticks, so the exact
    // event ticks are mostly jumped over.
    std::vector<FrameRecord> frames = runAtFrameRate(7.7);
    bool zapped = false, revealed = false, switchedBack = false;
    for (size_t i = 1; i < frames.size(); ++i) {
        double before = frames[i - 1].whole;
        double whole = frames[i].whole;
        if (before < kZapTick && whole >= kZapTick) {
            EXPECT_EQ(frames[i].state.zapCounter, 0);
            zapped = true;
        }
        if (before < kRevealTick && whole >= kRevealTick) {
            EXPECT_EQ(frames[i].state.hiddenMeshCount, 0);
            EXPECT_TRUE(frames[i].state.bloomEnabled);
            EXPECT_FALSE(frames[i].state.motionBlurEnabled);
            revealed = true;
        }
        if (before < kSwitchBackTick && whole >= kSwitchBackTick) {
            EXPECT_TRUE(frames[i].state.motionBlurEnabled);
            EXPECT_FALSE(frames[i].state.bloomEnabled);
            switchedBack = true;
        }
    }
    EXPECT_TRUE(zapped);
    EXPECT_TRUE(revealed);
    EXPECT_TRUE(switchedBack);

    ASSERT_FALSE(frames.back().goOn);
    EXPECT_GE(frames.back().whole, kEndTick);
    EXPECT_LT(frames[frames.size() - 2].whole, kEndTick);
}

TEST(Timeline, TenFramesPerSecondZapsAndRevealsOnTheSameFrame) {
    // At 10 fps each frame spans five ticks: the zap tick is jumped over on
    // the frame that reaches the reveal, and both apply on that one frame.
    std::vector<FrameRecord> frames = runAtFrameRate(10.0);
    auto revealFrame = std::find_if(frames.begin(), frames.end(),
                                    [](const FrameRecord& f) { return f.whole >= kRevealTick; });
    ASSERT_NE(revealFrame, frames.end());
    EXPECT_LT(revealFrame->whole, kRevealTick + 5);
    EXPECT_EQ(revealFrame->state.zapCounter, 0);
    EXPECT_EQ(revealFrame->state.hiddenMeshCount, 0);
    // The sum of 0.1 s deltas lands a hair below 6735 on frame 1347, so the
    // run ends one frame later: within one frame of 134.7 s either way.
    EXPECT_GE(frames.back().whole, kEndTick);
    EXPECT_LT(frames.back().whole, kEndTick + 5);
    EXPECT_NEAR(frames.size() / 10.0, 134.7, 0.1 + 1e-9);
}

TEST(Timeline, OneLongFrameAppliesCrossedEventsInTickOrder) {
    RunState state;
    startTimeline(state, 0.0);
    ASSERT_TRUE(advanceTimeline(state, 1060.0 / 50.0));
    state.zapCounter = 31;
    // One stalled frame from tick 1060 to tick 6300: zap, reveal, switch back.
    ASSERT_TRUE(advanceTimeline(state, 6300.0 / 50.0));
    EXPECT_EQ(state.zapCounter, 0);
    EXPECT_EQ(state.hiddenMeshCount, 0);
    EXPECT_TRUE(state.motionBlurEnabled) << "the switch back comes after the reveal";
    EXPECT_FALSE(state.bloomEnabled);
    // A stall past the end ends the run even though tick 6735 itself was never seen.
    EXPECT_FALSE(advanceTimeline(state, 7000.0 / 50.0));
}

// An event applies on the frames of its own tick and on no later frame: on
// the first frame of the next tick, whatever keys or the frame count changed
// since stays as it is.
TEST(Timeline, NoEventIsAppliedAgainOnTheFrameAfterItsTick) {
    for (int tick : {kZapTick, kRevealTick, kSwitchBackTick}) {
        SCOPED_TRACE(tick);
        for (double into : {0.0, 0.25, 0.999}) {  // where in the next tick its first frame falls
            RunState state;
            startTimeline(state, 0.0);
            ASSERT_TRUE(advanceTimeline(state, (tick + 0.5) / 50.0));
            ASSERT_EQ(std::floor(state.timelineTicks), tick);
            const RunState applied = state;
            // What keys M, B and the frame count would do after the event.
            state.zapCounter = applied.zapCounter + 17;
            state.motionBlurEnabled = !applied.motionBlurEnabled;
            state.bloomEnabled = !applied.bloomEnabled;
            state.hiddenMeshCount = 3;

            ASSERT_TRUE(advanceTimeline(state, (tick + 1.0 + into) / 50.0 + 1e-9));
            ASSERT_EQ(std::floor(state.timelineTicks), tick + 1) << into;
            EXPECT_EQ(state.zapCounter, applied.zapCounter + 17) << into;
            EXPECT_EQ(state.motionBlurEnabled, !applied.motionBlurEnabled) << into;
            EXPECT_EQ(state.bloomEnabled, !applied.bloomEnabled) << into;
            EXPECT_EQ(state.hiddenMeshCount, 3) << into;
        }
    }
    // The same at 200 frames per second through the whole run: the frames of
    // tick T + 1 see no event of tick T.
    std::vector<FrameRecord> frames = runAtFrameRate(200.0);
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].whole == kZapTick + 1 && frames[i - 1].whole == kZapTick) {
            EXPECT_EQ(frames[i].state.zapCounter, frames[i - 1].state.zapCounter + 1)
                << "the zap counter keeps counting from the last frame of tick 1067";
        }
    }
}

TEST(Timeline, EventsOverwriteKeyFlagsOnlyOnTheirOwnTick) {
    RunState state;
    startTimeline(state, 0.0);
    ASSERT_TRUE(advanceTimeline(state, 2000.0 / 50.0));
    ASSERT_TRUE(state.bloomEnabled);
    state.bloomEnabled = false;  // as key B would
    ASSERT_TRUE(advanceTimeline(state, 2001.0 / 50.0));
    EXPECT_FALSE(state.bloomEnabled);
}

// Holds the given keys for `frames` frames and returns the console text. The
// key outputs end in a bare newline: the stream is never flushed for them.
std::string holdKeys(RunState& state, KeyStates keys, int frames, std::vector<int>* toggleFrames = nullptr) {
    SyncCountingBuffer console;
    std::ostream out(&console);
    for (int frame = 1; frame <= frames; ++frame) {
        std::string before = console.text();
        handleKeys(state, keys, out);
        if (toggleFrames && console.text() != before) toggleFrames->push_back(frame);
    }
    EXPECT_EQ(console.syncs(), 0) << "a key output was flushed:\n" << console.text();
    return console.text();
}

TEST(Keys, HeldTogglesFirstOnFrame32ThenEvery31Frames) {
    RunState state;
    KeyStates keys;
    keys.m = kKeyPressed;
    std::vector<int> toggles;
    std::string text = holdKeys(state, keys, 100, &toggles);
    EXPECT_EQ(toggles, (std::vector<int>{32, 63, 94}));
    EXPECT_EQ(text, "0 MB\n1 MB\n0 MB\n");
    EXPECT_FALSE(state.motionBlurEnabled);

    RunState bloomState;
    KeyStates b;
    b.b = kKeyPressed;
    toggles.clear();
    text = holdKeys(bloomState, b, 40, &toggles);
    EXPECT_EQ(toggles, (std::vector<int>{32}));
    EXPECT_EQ(text, "1 BL\n");
}

TEST(Keys, ZapWorksOnTheFirstFrameAndCountsFrom1) {
    RunState state;
    KeyStates keys;
    keys.z = kKeyPressed;
    EXPECT_EQ(holdKeys(state, keys, 1), "ZAP\n");
    // The next frame's composite sees 1: the counter was counted after the key.
    EXPECT_EQ(state.zapCounter, 1);
    std::vector<int> toggles;
    holdKeys(state, keys, 40, &toggles);
    EXPECT_EQ(toggles, (std::vector<int>{31}));
}

TEST(Keys, OnlyAPressCountsNotARepeatState) {
    RunState state;
    state.motionBlurKeyCounter = 50;
    KeyStates keys;
    keys.m = 2;  // GLFW_REPEAT
    std::ostringstream out;
    handleKeys(state, keys, out);
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(state.motionBlurEnabled);
}

TEST(Keys, EscapeAndClosedWindowEndTheRunButTheFrameFinishes) {
    RunState state;
    state.bloomKeyCounter = 40;
    KeyStates keys;
    keys.escape = kKeyPressed;
    keys.b = kKeyPressed;
    std::ostringstream out;
    handleKeys(state, keys, out);
    EXPECT_FALSE(state.running);
    EXPECT_EQ(out.str(), "1 BL\n") << "keys are still handled on the Escape frame";

    RunState closed;
    KeyStates closedKeys;
    closedKeys.windowOpen = false;
    handleKeys(closed, closedKeys, out);
    EXPECT_FALSE(closed.running);

    RunState open;
    handleKeys(open, KeyStates{}, out);
    EXPECT_TRUE(open.running);
}

TEST(Keys, CountersPast100000BecomeReadyNotZero) {
    RunState state;
    state.motionBlurKeyCounter = 100000;
    state.bloomKeyCounter = 99999;
    state.zapCounter = 100000;
    std::ostringstream out;
    handleKeys(state, KeyStates{}, out);
    EXPECT_EQ(state.motionBlurKeyCounter, 31);
    EXPECT_EQ(state.bloomKeyCounter, 100000);
    EXPECT_EQ(state.zapCounter, 31);
}

TEST(Keys, FirstPressBeforeTheRevealSwitchesMotionBlurOff) {
    RunState state;
    EXPECT_EQ(holdKeys(state, KeyStates{}, 99), "");
    KeyStates keys;
    keys.m = kKeyPressed;
    EXPECT_EQ(holdKeys(state, keys, 1), "0 MB\n");
}

TEST(Keys, AllThreeOnOneFrameWriteTheirOutputsUnflushedInOrder) {
    RunState state;
    state.motionBlurKeyCounter = state.bloomKeyCounter = 31;
    KeyStates keys;
    keys.m = keys.b = keys.z = kKeyPressed;
    EXPECT_EQ(holdKeys(state, keys, 1), "0 MB\n1 BL\nZAP\n");
}

// Skipping ahead must fly the camera the frame loop would at its 5 ms step: a
// path drops what a frame overran of a segment, so a coarser step arrives
// somewhere else, and the tests that skip ahead would look at the wrong picture.
TEST(SkipAhead, ArrivesWhereFramesAtTheLoopsOwnStepWould) {
    useVirtualTime();
    auto restart = [] {
        virtualSeconds = 0.0;
        runState = RunState{};
        startTimeline(runState, 0.0);
        cameraRig = CameraRig();
        cameraRig.init();
        lightRig = LightRig();
        lightRig.init();
        ConsoleCapture quiet;
        buildCameraPath();
        buildLightPath();
    };
    const double target = 60.0;  // many segment changes
    restart();
    {
        ConsoleCapture quiet;
        advanceWithoutDrawing(target);
    }
    const Mat4 skipped = cameraRig.viewMatrix;
    const Vec3 skippedLight = lightRig.position;
    EXPECT_EQ(virtualSeconds, target);

    restart();
    // Frames 5 ms apart, their clock readings summed as a frame loop sums them.
    while (virtualSeconds < target) {
        virtualSeconds = std::min(virtualSeconds + 0.005, target);
        cameraRig.update();
        lightRig.update();
    }
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(skipped[i], cameraRig.viewMatrix[i], 1e-3f) << i;
    EXPECT_NEAR(skippedLight.x, lightRig.position.x, 1e-3f);
    EXPECT_NEAR(skippedLight.y, lightRig.position.y, 1e-3f);
    EXPECT_NEAR(skippedLight.z, lightRig.position.z, 1e-3f);
}

}  // namespace

namespace {

// Nothing on the command line is the designed demo; each option only adds,
// and anything else is refused with a reason before a window opens.
TEST(DemoOptions, NoneIsTheDesignedWindowAndEachOptionOnlyAdds) {
    DemoOptions o;
    std::string error;
    ASSERT_TRUE(parseDemoOptions({}, o, error));
    EXPECT_FALSE(o.fullScreen);
    EXPECT_FALSE(o.sizeGiven);
    EXPECT_EQ(o.windowSize.width, 1024);
    EXPECT_EQ(o.windowSize.height, 768);
    EXPECT_EQ(swapIntervalFor(o.swap, false), -1) << "the designed window sets no swap interval";
    EXPECT_EQ(swapIntervalFor(o.swap, true), 1) << "full screen must not tear";

    ASSERT_TRUE(parseDemoOptions({"-f", "--size", "2560x1080", "--no-vsync"}, o, error)) << error;
    EXPECT_TRUE(o.fullScreen);
    EXPECT_TRUE(o.sizeGiven);
    EXPECT_EQ(o.windowSize.width, 2560);
    EXPECT_EQ(o.windowSize.height, 1080);
    EXPECT_EQ(swapIntervalFor(o.swap, true), 0);
    ASSERT_TRUE(parseDemoOptions({"--vsync"}, o, error));
    EXPECT_EQ(swapIntervalFor(o.swap, false), 1);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--size", "0x0"}, {"--size", "100000x100000"}, {"--size", "abc"},
                                               {"--size"}, {"--size", "800x600x2"}, {"--fullscreen=yes"}, {"-x"}}) {
        DemoOptions refused;
        error.clear();
        EXPECT_FALSE(parseDemoOptions(bad, refused, error)) << bad[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

}  // namespace
