// The viewer's rules without a window: where seeks land at the edges of the
// run, the speed limits, the tick of a summed timeline, the title the tests
// and people read, the options, and when a change on disk counts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/timeline.h"
#include "folder_watch.h"
#include "test_support.h"
#include "viewer_controls.h"

namespace {

TEST(ViewerRules, SeeksStayWithinTheDrawnRun) {
    // The demo draws ticks 0 .. 6734; from 6735 on it has ended.
    EXPECT_EQ(lastTick(), kEndTick - 1);
    EXPECT_EQ(endSeekTick(), kEndTick - 50);
    EXPECT_EQ(seekTarget(ViewerAction::seekForward, 1000), 1050);
    EXPECT_EQ(seekTarget(ViewerAction::seekBackLong, 1000), 500);
    EXPECT_EQ(seekTarget(ViewerAction::seekForwardLong, 1000), 1500);
    EXPECT_EQ(seekTarget(ViewerAction::seekBack, 20), 0);
    EXPECT_EQ(seekTarget(ViewerAction::seekBackLong, 499), 0);
    EXPECT_EQ(seekTarget(ViewerAction::seekForward, 6700), kEndTick - 1);
    EXPECT_EQ(seekTarget(ViewerAction::seekForwardLong, 6300), kEndTick - 1);
    EXPECT_EQ(seekTarget(ViewerAction::seekStart, 4000), 0);
    EXPECT_EQ(seekTarget(ViewerAction::seekEnd, 0), kEndTick - 50);
    EXPECT_EQ(seekTarget(ViewerAction::stepBack, 0), 0);
    EXPECT_EQ(seekTarget(ViewerAction::stepBack, 3000), 2999);
    EXPECT_EQ(seekTarget(ViewerAction::stepForward, kEndTick - 1), kEndTick - 1);
    // Six long seeks from the start reach tick 3000, as the viewer test does it.
    int tick = 0;
    for (int i = 0; i < 6; ++i) tick = seekTarget(ViewerAction::seekForwardLong, tick);
    EXPECT_EQ(tick, 3000);
    for (ViewerAction still : {ViewerAction::togglePause, ViewerAction::shot, ViewerAction::faster}) {
        EXPECT_EQ(seekTarget(still, 1000), -1);
    }
}

TEST(ViewerRules, SpeedHalvesAndDoublesBetweenAnEighthAndFourTimes) {
    int step = 0;
    EXPECT_EQ(speedText(step), "1x");
    std::vector<std::string> faster;
    for (int i = 0; i < 4; ++i) faster.push_back(speedText(step = changeSpeed(step, ViewerAction::faster)));
    EXPECT_EQ(faster, (std::vector<std::string>{"2x", "4x", "4x", "4x"}));
    EXPECT_DOUBLE_EQ(speedFactor(step), 4.0);

    std::vector<std::string> slower;
    for (int i = 0; i < 7; ++i) slower.push_back(speedText(step = changeSpeed(step, ViewerAction::slower)));
    EXPECT_EQ(slower, (std::vector<std::string>{"2x", "1x", "1/2x", "1/4x", "1/8x", "1/8x", "1/8x"}));
    EXPECT_DOUBLE_EQ(speedFactor(step), 0.125);
    EXPECT_EQ(changeSpeed(step, ViewerAction::shot), step);
}

// The timeline sums clock differences: after thousands of one-tick frames on
// the capture's clock it may stand a hair below the whole number it means.
TEST(ViewerRules, TheTickOfASummedTimelineIsTheTickMeant) {
    RunState state;
    startTimeline(state, 0.0);
    for (int frame = 1; frame <= 6000; ++frame) {
        advanceTimeline(state, static_cast<double>(frame) / 50);
        ASSERT_EQ(wholeTick(state.timelineTicks), frame) << "timeline at " << state.timelineTicks;
    }
    EXPECT_EQ(wholeTick(2999.5), 2999);
    EXPECT_EQ(wholeTick(0.0), 0);
}

TEST(ViewerRules, TitleShowsTickTimePhaseSpeedAndFrameTime) {
    TitleInfo info;
    info.tick = 3000;
    info.bloom = true;
    info.paused = true;
    info.frameMilliseconds = 68.24;
    EXPECT_EQ(windowTitle(info), "Tarnwick! viewer | tick 3000 | 60.00 s | bloom | 1x | paused | 68.2 ms | silent");
    info.tick = 1;
    info.motionBlur = true;
    info.speedStep = -3;
    info.paused = false;
    EXPECT_EQ(windowTitle(info), "Tarnwick! viewer | tick 1 | 0.02 s | both | 1/8x | playing | 68.2 ms | silent");
    EXPECT_STREQ(phaseName(true, false), "motion blur");
    EXPECT_STREQ(phaseName(false, false), "none");
    EXPECT_EQ(shotName(3000), "tick_03000.png");
}

TEST(ViewerRules, TitleShowsTheMusicAndTheLoop) {
    TitleInfo info;
    info.tick = 1067;
    info.bloom = true;
    info.frameMilliseconds = 70.0;
    const std::string head = "Tarnwick! viewer | tick 1067 | 21.34 s | bloom | 1x | playing | 70.0 ms";
    EXPECT_EQ(windowTitle(info), head + " | silent");
    info.sound = true;
    info.musicSeconds = 21.3449;
    info.loop = changeLoop(info.loop, ViewerAction::loopStart, 1067);
    EXPECT_EQ(windowTitle(info), head + " | music 21.34 s | loop from 21.34 s");
    info.muted = true;
    info.loop = changeLoop(info.loop, ViewerAction::loopEnd, 1253);
    EXPECT_EQ(windowTitle(info), head + " | music 21.34 s, muted | loop 21.34-25.06 s");
    info.loop = changeLoop(info.loop, ViewerAction::loopEnd, 1000);
    EXPECT_EQ(windowTitle(info), head + " | music 21.34 s, muted | loop 21.34-20.00 s (off)");
    info.loop = changeLoop(info.loop, ViewerAction::loopClear, 1000);
    EXPECT_EQ(windowTitle(info), head + " | music 21.34 s, muted");
}

// The track's beats, from the generator's tempo, fall on the demo's events:
// the hit on the zap, the outro on the switch back.
TEST(ViewerRules, LoopEndsSnapToTheTracksBeatsAndPlayingWrapsAtTheEnd) {
    EXPECT_EQ(nearestBeatTick(1060), kZapTick);
    EXPECT_EQ(nearestBeatTick(1078), kZapTick);
    EXPECT_EQ(nearestBeatTick(6280), kSwitchBackTick);
    EXPECT_EQ(nearestBeatTick(1079), kZapTick + 23);  // 21.805 s: the next beat
    EXPECT_EQ(nearestBeatTick(0), 21) << "the first beat within the run, at 0.415 s";
    EXPECT_EQ(nearestBeatTick(lastTick()), 6717) << "the last beat within the run, at 134.335 s";

    PlayLoop loop = changeLoop(PlayLoop{}, ViewerAction::loopEndOnBeat, 1250);
    EXPECT_FALSE(loopActive(loop)) << "an end alone";
    loop = changeLoop(loop, ViewerAction::loopStartOnBeat, 1060);
    ASSERT_TRUE(loopActive(loop));
    EXPECT_EQ(loop.start, kZapTick);
    EXPECT_EQ(loop.end, 1253);
    EXPECT_TRUE(reachesLoopEnd(loop, 25.0, 25.06));
    EXPECT_TRUE(reachesLoopEnd(loop, 24.9, 26.0)) << "a long frame jumps past the end";
    EXPECT_FALSE(reachesLoopEnd(loop, 25.06, 25.2)) << "from the end on (a seek past it) it plays on";
    EXPECT_FALSE(reachesLoopEnd(loop, 24.0, 25.0));
    EXPECT_FALSE(reachesLoopEnd(changeLoop(loop, ViewerAction::loopStart, 1300), 24.0, 26.0));
}

// A frame of 200 ms: the music may lag or lead the picture by most of it
// before it is moved back; with frames of 5 ms, by up to a tick.
TEST(ViewerRules, TheMusicIsMovedBackOnceItStraysMoreThanAFrameOrATick) {
    EXPECT_FALSE(musicStrays(30.15, 30.0, 0.2));
    EXPECT_FALSE(musicStrays(29.85, 30.0, 0.2));
    EXPECT_TRUE(musicStrays(30.25, 30.0, 0.2));
    EXPECT_TRUE(musicStrays(29.75, 30.0, 0.2));
    EXPECT_FALSE(musicStrays(30.015, 30.0, 0.005));
    EXPECT_TRUE(musicStrays(30.025, 30.0, 0.005));
}

TEST(ViewerRules, OptionsAreCheckedBeforeAnythingOpens) {
    ViewerOptions options;
    std::string error;
    ASSERT_TRUE(parseViewerOptions({"--run-dir", "build/run", "--tick", "6734", "--shots", "/tmp/x"}, options, error))
        << error;
    EXPECT_EQ(options.runDir, "build/run");
    EXPECT_EQ(options.startTick, 6734);
    EXPECT_EQ(options.shotDir, "/tmp/x");

    ViewerOptions defaults;
    EXPECT_TRUE(parseViewerOptions({}, defaults, error));
    EXPECT_EQ(defaults.startTick, -1) << "without --tick the viewer plays from the start";

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--tick", "6735"}, {"--tick", "-1"}, {"--tick", "12x"}, {"--tick"}, {"--fps", "50"}, {"3000"}}) {
        ViewerOptions ignored;
        error.clear();
        EXPECT_FALSE(parseViewerOptions(bad, ignored, error)) << bad.front();
        EXPECT_FALSE(error.empty());
    }
}

class FolderWatchTest : public ::testing::Test {
protected:
    std::string dir = makeScratchDir("folder-watch");
    FolderWatch watch;
    void SetUp() override {
        writeFile(dir + "/shaders/a.frag", "one");
        watch = watchFolders({dir + "/shaders"}, {".frag", ".vert"});
    }
    // Timestamps move in steps of a few milliseconds.
    static void later() { usleep(30 * 1000); }
};

TEST_F(FolderWatchTest, AChangeCountsOnceTheFolderHoldsStill) {
    EXPECT_FALSE(foldersChanged(watch)) << "nothing changed";
    later();
    writeFile(dir + "/shaders/a.frag", "two");  // same size, new time
    EXPECT_FALSE(foldersChanged(watch)) << "first look at the change: the writer may not be done";
    EXPECT_TRUE(foldersChanged(watch)) << "second look, same as the first";
    EXPECT_FALSE(foldersChanged(watch)) << "reported once";

    // Written on between two looks: only the look after the writing stops.
    later();
    writeFile(dir + "/shaders/b.vert", "half");
    EXPECT_FALSE(foldersChanged(watch));
    later();
    writeFile(dir + "/shaders/b.vert", "half and the rest");
    EXPECT_FALSE(foldersChanged(watch));
    EXPECT_TRUE(foldersChanged(watch));

    // Removed is a change too.
    std::filesystem::remove(dir + "/shaders/b.vert");
    EXPECT_FALSE(foldersChanged(watch));
    EXPECT_TRUE(foldersChanged(watch));
}

TEST_F(FolderWatchTest, OtherFilesAndChangesThatComeBackAreNoChange) {
    writeFile(dir + "/shaders/.a.frag.swp", "editor");
    writeFile(dir + "/shaders/a.frag~", "backup");
    EXPECT_FALSE(foldersChanged(watch));
    EXPECT_FALSE(foldersChanged(watch));

    // A file replaced by a new one (an editor's save by renaming) is a change
    // even with the same size and within one timestamp step: the inode differs.
    writeFile(dir + "/shaders/new.frag", "one");
    std::filesystem::rename(dir + "/shaders/new.frag", dir + "/shaders/a.frag");
    EXPECT_FALSE(foldersChanged(watch));
    EXPECT_TRUE(foldersChanged(watch));

    EXPECT_EQ(filesBelow(dir + "/shaders", {".frag", ".vert"}),
              (std::vector<std::string>{dir + "/shaders/a.frag"}));
    EXPECT_EQ(filesBelow(dir + "/shaders").size(), 3u);
    EXPECT_TRUE(filesBelow(dir + "/missing").empty());
    EXPECT_EQ(folderFingerprint(watchFolders({dir + "/missing"})), "");
}

}  // namespace
