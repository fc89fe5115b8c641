// The capture tool's GL-free parts: its options, which frames it runs and
// keeps, and the picture helpers the frame tests compare with. (The video's
// command line is tested by what comes out of it, in test_capture.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "capture_plan.h"
#include "frame_image.h"
#include "test_support.h"

namespace {

bool parse(const std::vector<std::string>& args, CaptureOptions& options, std::string& error) {
    options = CaptureOptions();
    error.clear();
    return parseCaptureOptions(args, options, error);
}

TEST(CaptureOptions, AcceptTheDocumentedForms) {
    CaptureOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--out", "x.mp4"}, o, error)) << error;
    EXPECT_EQ(o.fps, 60);
    EXPECT_EQ(o.startTick, 0);
    EXPECT_EQ(o.endTick, 6735);
    EXPECT_EQ(o.context, ContextKind::egl);
    EXPECT_FALSE(o.contextChosen);
    EXPECT_EQ(o.audio, "sound/Quillon.mp3");

    ASSERT_TRUE(parse({"--fps", "25", "--start", "100", "--end", "200", "--out", "f", "--context", "glfw",
                       "--downscale", "4", "--run-dir", "/r", "--no-audio", "--quiet"},
                      o, error))
        << error;
    EXPECT_EQ(o.fps, 25);
    EXPECT_EQ(o.startTick, 100);
    EXPECT_EQ(o.endTick, 200);
    EXPECT_EQ(o.context, ContextKind::glfw);
    EXPECT_TRUE(o.contextChosen);
    EXPECT_EQ(o.downscale, 4);
    EXPECT_EQ(o.runDir, "/r");
    EXPECT_TRUE(o.audio.empty());
    EXPECT_TRUE(o.quiet);

    ASSERT_TRUE(parse({"--ticks", "1075,50,800", "--out", "f"}, o, error)) << error;
    EXPECT_EQ(o.ticks, (std::vector<int>{1075, 50, 800}));
    EXPECT_EQ(o.size.width, 1024);
    EXPECT_EQ(o.size.height, 768);
    EXPECT_EQ(o.device, -1);

    ASSERT_TRUE(parse({"--size", "3840x2160", "--device", "1", "--out", "f"}, o, error)) << error;
    EXPECT_EQ(o.size.width, 3840);
    EXPECT_EQ(o.size.height, 2160);
    EXPECT_EQ(o.device, 1);
    // Listing the devices needs nothing else.
    ASSERT_TRUE(parse({"--list-devices"}, o, error)) << error;
    EXPECT_TRUE(o.listDevices);
}

TEST(CaptureOptions, RejectWhatCannotBeMeant) {
    CaptureOptions o;
    std::string error;
    const std::vector<std::vector<std::string>> bad = {
        {},                                              // no --out
        {"--fps", "25"},                                 // still no --out
        {"--out"},                                       // a name without its value
        {"--out", "f", "--fps", "0"},
        {"--out", "f", "--fps", "25x"},
        {"--out", "f", "--start", "-1"},
        {"--out", "f", "--start", "300", "--end", "300"},
        {"--out", "f", "--end", "6736"},                 // the demo draws nothing from 6735 on
        {"--out", "f", "--ticks", "50,6735"},
        {"--out", "f", "--ticks", "50,,800"},
        {"--out", "f", "--ticks", "50", "--start", "10"},
        {"--out", "v.mp4", "--ticks", "50"},             // a video is one stretch of frames
        {"--out", "f", "--context", "x11"},
        {"--out", "f", "--downscale", "0"},
        {"--out", "f", "--frobnicate", "1"},
        {"--out", "f", "--size", "0x0"},
        {"--out", "f", "--size", "3841x2160"},           // past 4K
        {"--out", "f", "--size", "1920x"},
        {"--out", "f", "--size", "1920 x 1080"},
        {"--out", "f", "--size", "abc"},
        {"--out", "f", "--device", "-1"},
        {"--out", "f", "--context", "glfw", "--device", "0"},  // a window renders where its display does
        {"stray"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(parse(args, o, error)) << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

TEST(CapturePlan, FrameTicksFollowTheVirtualClock) {
    // 25 fps: two ticks a frame; the frame at or after an odd tick is one later.
    EXPECT_EQ(firstFrameAtOrAfter(50, 25), 25);
    EXPECT_EQ(firstFrameAtOrAfter(1075, 25), 538);
    EXPECT_DOUBLE_EQ(frameTick(538, 25), 1076.0);
    // 60 fps: 5/6 of a tick a frame.
    EXPECT_EQ(firstFrameAtOrAfter(50, 60), 60);
    EXPECT_EQ(firstFrameAtOrAfter(51, 60), 62);
    EXPECT_GE(frameTick(62, 60), 51.0);
    EXPECT_LT(frameTick(61, 60), 51.0);
    // Frame 0 runs right after start-up, at tick 0, as the demo's first frame does.
    EXPECT_EQ(firstFrameAtOrAfter(0, 25), 0);
    EXPECT_EQ(firstFrameAtOrAfter(1, 25), 1);
    for (int fps : {1, 7, 25, 30, 60, 144}) {
        for (int frame : {0, 1, 2, 99, 3367}) {
            EXPECT_NEAR(frameClock(frame, fps) * 50.0, frameTick(frame, fps), 1e-9);
        }
    }
}

TEST(CapturePlan, ARangeKeepsEveryFrameFromStartToBeforeEnd) {
    CaptureOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--fps", "25", "--start", "1000", "--end", "1100", "--out", "f"}, o, error));
    std::vector<KeptFrame> kept = planFrames(o);
    ASSERT_EQ(kept.size(), 50u);
    EXPECT_EQ(kept.front().frame, 500);
    EXPECT_EQ(kept.front().tick, 1000);
    EXPECT_EQ(kept.front().name, "frame_000500.png");
    EXPECT_EQ(kept.back().frame, 549);
    EXPECT_EQ(kept.back().tick, 1098);
    for (size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i].frame, kept[i - 1].frame + 1);

    // The whole run: the frame that reaches the end tick is never drawn by the demo.
    ASSERT_TRUE(parse({"--fps", "25", "--out", "f"}, o, error));
    kept = planFrames(o);
    EXPECT_EQ(kept.front().frame, 0);
    EXPECT_EQ(kept.back().frame, 3367);
    // A video's frame k is shown at k / 25 s, and the music starts as far in.
    EXPECT_EQ(audioOffsetSeconds(kept.front().frame, 25), 0.0);
    EXPECT_DOUBLE_EQ(audioOffsetSeconds(500, 25), 20.0);
    EXPECT_LT(frameTick(kept.back().frame, 25), 6735.0);
    EXPECT_GE(frameTick(kept.back().frame + 1, 25), 6735.0);
}

TEST(CapturePlan, SingleMomentsAreSortedAndNeverKeptTwice) {
    CaptureOptions o;
    std::string error;
    // At 25 fps ticks 799 and 800 fall on the same frame.
    ASSERT_TRUE(parse({"--fps", "25", "--ticks", "1075,800,50,799", "--out", "f"}, o, error));
    std::vector<KeptFrame> kept = planFrames(o);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].frame, 25);
    EXPECT_EQ(kept[0].name, "tick_00050.png");
    EXPECT_EQ(kept[1].frame, 400);
    EXPECT_EQ(kept[1].tick, 799);
    EXPECT_EQ(kept[2].frame, 538);
    EXPECT_EQ(kept[2].name, "tick_01075.png");
}

FrameImage gradient(int width, int height) {
    FrameImage image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.rgb.push_back(static_cast<uint8_t>(x * 10));
            image.rgb.push_back(static_cast<uint8_t>(y * 10));
            image.rgb.push_back(static_cast<uint8_t>((x + y) % 2 ? 255 : 0));
        }
    }
    return image;
}

TEST(FrameImage, DownscaleAveragesBlocksRoundingToNearest) {
    FrameImage image = gradient(4, 4);
    FrameImage small = downscale(image, 2);
    ASSERT_EQ(small.width, 2);
    ASSERT_EQ(small.height, 2);
    ASSERT_EQ(small.rgb.size(), 12u);
    // Top-left block: x in {0, 10}, y in {0, 10}, a checkerboard of 0 and 255.
    EXPECT_EQ(small.rgb[0], 5);
    EXPECT_EQ(small.rgb[1], 5);
    EXPECT_EQ(small.rgb[2], 128);  // 510 / 4 = 127.5 rounds up
    // Bottom-right block: x in {20, 30}, y in {20, 30}.
    EXPECT_EQ(small.rgb[9], 25);
    EXPECT_EQ(small.rgb[10], 25);
    // A size that does not divide drops the rest.
    EXPECT_EQ(downscale(gradient(5, 3), 2).width, 2);
    EXPECT_EQ(downscale(gradient(5, 3), 2).height, 1);
    EXPECT_EQ(downscale(image, 1).rgb, image.rgb);
}

// The wider frames' centres are compared with the 256 × 192 references by
// area, at factors that are not whole numbers.
TEST(FrameImage, ResampleAveragesByAreaAtAnyRatio) {
    FrameImage image = gradient(4, 4);
    EXPECT_EQ(resample(image, 2, 2).rgb, downscale(image, 2).rgb);
    // Three columns onto two: the middle one is shared half and half.
    FrameImage row = gradient(3, 1);
    FrameImage two = resample(row, 2, 1);
    ASSERT_EQ(two.rgb.size(), 6u);
    EXPECT_EQ(two.rgb[0], 3);   // (0 + 10 / 2) / 1.5, rounded
    EXPECT_EQ(two.rgb[3], 17);  // (10 / 2 + 20) / 1.5, rounded
    // A flat picture stays flat at any ratio.
    FrameImage flat;
    flat.width = 9;
    flat.height = 7;
    flat.rgb.assign(9 * 7 * 3, 77);
    FrameImage shrunk = resample(flat, 4, 3);
    EXPECT_TRUE(std::all_of(shrunk.rgb.begin(), shrunk.rgb.end(), [](uint8_t v) { return v == 77; }));

    FrameImage middle = cropCentre(gradient(6, 4), 2, 2);
    ASSERT_EQ(middle.width, 2);
    EXPECT_EQ(middle.rgb[0], 20);  // x = 2
    EXPECT_EQ(middle.rgb[1], 10);  // y = 1
}

TEST(FrameImage, FlipReversesRowsAndUndoesItself) {
    FrameImage image = gradient(3, 5);
    FrameImage flipped = image;
    flipRows(flipped);
    for (int y = 0; y < 5; ++y) {
        EXPECT_TRUE(std::equal(image.rgb.begin() + y * 9, image.rgb.begin() + y * 9 + 9,
                               flipped.rgb.begin() + (4 - y) * 9))
            << "row " << y;
    }
    flipRows(flipped);
    EXPECT_EQ(flipped.rgb, image.rgb);
}

TEST(FrameImage, ComparisonsMeasureTheDifference) {
    FrameImage a = gradient(8, 8);
    FrameImage b = a;
    EXPECT_TRUE(std::isinf(psnr(a, b)));
    EXPECT_EQ(maxChannelDifference(a, b), 0);
    // One channel of 192 off by the full 255: MSE = 255² / 192, PSNR = 10 log10(192).
    ASSERT_EQ(a.rgb[7], 0);
    b.rgb[7] = 255;
    EXPECT_NEAR(psnr(a, b), 10.0 * std::log10(192.0), 1e-9);
    EXPECT_EQ(maxChannelDifference(a, b), 255);
    b.rgb[7] = 3;
    EXPECT_EQ(maxChannelDifference(a, b), 3);
    EXPECT_EQ(psnr(a, gradient(8, 4)), 0.0);
    EXPECT_EQ(maxChannelDifference(a, gradient(8, 4)), 255);

    // The exposure report's levels, in pixel values: burnt out from 250 in
    // every channel, pure black up to 3 in every channel.
    FrameImage levels{6, 1, {250, 250, 250, 255, 255, 255, 249, 255, 255, 220, 220, 220, 3, 3, 3, 4, 0, 0}};
    EXPECT_DOUBLE_EQ(shareAtLeast(levels, kBurntOutLevel), 2.0 / 6.0);
    EXPECT_DOUBLE_EQ(shareAtMost(levels, kPureBlackLevel), 1.0 / 6.0);
}

TEST(FrameImage, PngKeepsEveryByte) {
    std::string dir = makeScratchDir("capture-png");
    FrameImage image = gradient(17, 9);  // odd sizes: no row padding may creep in
    ASSERT_TRUE(writePng(dir + "/g.png", image));
    FrameImage back;
    ASSERT_TRUE(readPng(dir + "/g.png", back));
    EXPECT_EQ(back.width, 17);
    EXPECT_EQ(back.height, 9);
    EXPECT_EQ(back.rgb, image.rgb);
    EXPECT_FALSE(readPng(dir + "/missing.png", back));
    EXPECT_FALSE(writePng(dir + "/no/such/folder/g.png", image));
}

}  // namespace
