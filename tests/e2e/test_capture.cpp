// The capture tool run for real on the run folder: its frames are the demo's
// frames, they repeat exactly, skipping ahead changes nothing, and its video
// holds the picture and the music, in step and of the right length, in the
// colours its tags say.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame_image.h"
#include "test_support.h"

namespace {

ProcessResult capture(const std::vector<std::string>& args, double timeout = 240) {
    return runProgram(CAPTURE_BINARY, runPath(""), timeout, {}, args);
}

FrameImage load(const std::string& path) {
    FrameImage image;
    EXPECT_TRUE(readPng(path, image)) << path;
    return image;
}

// Runs a command through the shell, returning what it printed on stdout.
std::string shellOutput(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

std::vector<int16_t> readSamples(const std::string& path) {
    std::string bytes = readFile(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The demo's own window (GLFW under this display) and the capture's EGL
// pbuffer are two ways to the same Mesa driver: both run the same start-up
// and frame loop on the same virtual clock, so the frames must agree. A
// small tolerance leaves room for a machine where the two paths end up in
// different drivers; on llvmpipe they are equal to the bit.
TEST(Capture, EglFramesAreTheDemoWindowsFrames) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "the demo's window needs a display";
    std::string egl = makeScratchDir("capture-egl");
    std::string window = makeScratchDir("capture-window");
    // The first view, a street frame with motion blur, the first bloom frames.
    std::vector<std::string> moments = {"--fps", "25", "--ticks", "50,800,1072"};

    std::vector<std::string> eglArgs = moments;
    eglArgs.insert(eglArgs.end(), {"--context", "egl", "--out", egl});
    ProcessResult a = capture(eglArgs);
    ASSERT_TRUE(a.exited && a.exitCode == 0) << a.output;
    EXPECT_NE(a.output.find("Capture context: EGL"), std::string::npos) << a.output;
    // A GPU when there is one; where the devices are all software (this
    // floor machine), the software rasteriser, named as such.
    ProcessResult devices = capture({"--list-devices"}, 30);
    ASSERT_TRUE(devices.exited && devices.exitCode == 0) << devices.output;
    EXPECT_NE(devices.output.find("0: "), std::string::npos) << devices.output;
    const bool hasHardware = devices.output.find(": hardware") != std::string::npos;
    EXPECT_NE(a.output.find(hasHardware ? "(hardware)" : "(software)"), std::string::npos)
        << devices.output << a.output;

    std::vector<std::string> windowArgs = moments;
    windowArgs.insert(windowArgs.end(), {"--context", "glfw", "--out", window});
    ProcessResult b = capture(windowArgs);
    ASSERT_TRUE(b.exited && b.exitCode == 0) << b.output;
    EXPECT_NE(b.output.find("Capture context: the demo's GLFW window"), std::string::npos) << b.output;

    for (const char* name : {"tick_00050.png", "tick_00800.png", "tick_01072.png"}) {
        FrameImage fromEgl = load(egl + "/" + name);
        FrameImage fromWindow = load(window + "/" + name);
        ASSERT_EQ(fromEgl.width, 1024) << name;
        ASSERT_EQ(fromEgl.height, 768) << name;
        EXPECT_GT(meanLevel(fromEgl), 5.0) << name << " is black: nothing was drawn";
        EXPECT_GE(psnr(fromEgl, fromWindow), 45.0) << name;
        EXPECT_LE(maxChannelDifference(fromEgl, fromWindow), 16) << name;
    }
}

// Two captures of the same moments are equal to the bit, and a frame reached
// by skipping ahead (earlier frames rasterised into one pixel) is the frame
// reached by drawing every frame before it.
TEST(Capture, FramesRepeatExactlyAndSkippingAheadChangesNothing) {
    std::string first = makeScratchDir("capture-first");
    std::string second = makeScratchDir("capture-second");
    std::string drawn = makeScratchDir("capture-drawn");

    // Half size keeps the sixty frames of the drawn run small on disk; a
    // difference anywhere would still show in the block averages.
    ProcessResult a = capture({"--fps", "25", "--downscale", "2", "--ticks", "60,120", "--out", first});
    ASSERT_TRUE(a.exited && a.exitCode == 0) << a.output;
    ProcessResult b = capture({"--fps", "25", "--downscale", "2", "--ticks", "60,120", "--out", second});
    ASSERT_TRUE(b.exited && b.exitCode == 0) << b.output;
    // Every frame from the first to tick 120 drawn and kept.
    ProcessResult c = capture({"--fps", "25", "--downscale", "2", "--start", "0", "--end", "121", "--out", drawn});
    ASSERT_TRUE(c.exited && c.exitCode == 0) << c.output;

    for (const auto& [tick, frame] : {std::pair{"tick_00060.png", "frame_000030.png"},
                                      std::pair{"tick_00120.png", "frame_000060.png"}}) {
        FrameImage one = load(first + "/" + tick);
        FrameImage two = load(second + "/" + tick);
        FrameImage full = load(drawn + "/" + frame);
        EXPECT_EQ(one.rgb, two.rgb) << tick << " differs between two runs";
        EXPECT_EQ(one.rgb, full.rgb) << tick << " differs from " << frame << " of the drawn run";
    }
    // The two moments are different pictures: the camera moved.
    EXPECT_LT(psnr(load(first + "/tick_00060.png"), load(first + "/tick_00120.png")), 30.0);
}

TEST(Capture, VideoHoldsPictureAndMusicInStep) {
    std::string dir = makeScratchDir("capture-video");
    std::string video = dir + "/clip.mp4";
    // 50 frames at 25 fps from tick 1000: two seconds, across the zap and the reveal.
    ProcessResult result = capture({"--fps", "25", "--start", "1000", "--end", "1100", "--out", video});
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;
    EXPECT_NE(result.output.find("Video: " + video), std::string::npos) << result.output;

    auto probe = [&](const std::string& what) {
        return shellOutput("ffprobe -v error " + what + " -of csv=p=0 '" + video + "'");
    };
    EXPECT_EQ(probe("-select_streams v -show_entries stream=codec_name,width,height,nb_frames"),
              "h264,1024,768,50\n");
    EXPECT_EQ(probe("-select_streams a -show_entries stream=codec_name"), "aac\n");
    // Tagged, so that no player guesses the matrix the colours were converted with.
    EXPECT_EQ(probe("-select_streams v -show_entries stream=color_range,color_space,color_transfer,color_primaries"),
              "tv,bt709,bt709,bt709\n");
    double videoSeconds = std::atof(probe("-select_streams v -show_entries stream=duration").c_str());
    double audioSeconds = std::atof(probe("-select_streams a -show_entries stream=duration").c_str());
    double fileSeconds = std::atof(probe("-show_entries format=duration").c_str());
    EXPECT_NEAR(videoSeconds, 2.0, 1e-6);
    EXPECT_NEAR(audioSeconds, 2.0, 0.05) << "the music is not cut to the video";
    EXPECT_NEAR(fileSeconds, 2.0, 0.05);

    // In step: the clip's first frame is the demo at 20.00 s (tick 1000), so
    // its sound is the track from 20.00 s on. Find where it matches best.
    std::string clipPcm = dir + "/clip.raw";
    std::string trackPcm = dir + "/track.raw";
    shellOutput("ffmpeg -v error -y -i '" + video + "' -vn -ac 1 -ar 8000 -f s16le '" + clipPcm + "'");
    shellOutput("ffmpeg -v error -y -i '" + runPath("sound/Quillon.mp3") + "' -ac 1 -ar 8000 -f s16le '" +
                trackPcm + "'");
    std::vector<int16_t> clip = readSamples(clipPcm);
    std::vector<int16_t> track = readSamples(trackPcm);
    const int rate = 8000;
    const int window = rate;          // one second of the clip, from 0.5 s in
    const int clipStart = rate / 2;
    ASSERT_GE(clip.size(), static_cast<size_t>(clipStart + window));
    const int expected = 20 * rate + clipStart;
    int bestLag = 0;
    double bestScore = -1.0;
    for (int lag = -rate / 2; lag <= rate / 2; ++lag) {
        long start = expected + lag;
        if (start < 0 || start + window > static_cast<long>(track.size())) continue;
        double dotProduct = 0.0, clipEnergy = 0.0, trackEnergy = 0.0;
        for (int i = 0; i < window; ++i) {
            double x = clip[clipStart + i], y = track[start + i];
            dotProduct += x * y;
            clipEnergy += x * x;
            trackEnergy += y * y;
        }
        double score = dotProduct / std::sqrt(clipEnergy * trackEnergy + 1.0);
        if (score > bestScore) {
            bestScore = score;
            bestLag = lag;
        }
    }
    EXPECT_GT(bestScore, 0.8) << "the clip's sound is not the track";
    // Within 10 ms of where it belongs: a frame (40 ms) off is a fault.
    EXPECT_LE(std::abs(bestLag), rate / 100) << "music off by " << bestLag * 1000.0 / rate << " ms";
}

// A player reads the colours back with the matrix and range the stream is
// tagged with, so a stream converted with another matrix than its tag says
// shows every saturated colour shifted. Most of the night picture is nearly
// grey, where the matrices agree, and a mean over the whole frame hides the
// shift: the frame is compared with the capture's PNG block by block. It is
// read back as floats, as the tags say: ffmpeg's own 8-bit output from 4:2:0
// rounds down, a level below the float value on flat colours.
TEST(Capture, AVideoFrameReadAsItsTagsSayHasTheCapturesColours) {
    std::string dir = makeScratchDir("capture-colours");
    std::string video = dir + "/one.mp4";
    // The armillary sphere before a yellow wall with lit windows; one frame,
    // which the encoder codes whole.
    ProcessResult png = capture({"--quiet", "--fps", "25", "--ticks", "1600", "--out", dir});
    ASSERT_TRUE(png.exited && png.exitCode == 0) << png.output;
    ProcessResult clip = capture({"--quiet", "--fps", "25", "--start", "1600", "--end", "1602", "--out", video});
    ASSERT_TRUE(clip.exited && clip.exitCode == 0) << clip.output;
    auto tag = [&](const std::string& entry) {
        std::string value = shellOutput("ffprobe -v error -select_streams v -show_entries stream=" + entry +
                                        " -of csv=p=0 '" + video + "'");
        return value.substr(0, value.find('\n'));
    };
    const std::string planesPath = dir + "/frame.gbrpf32";
    shellOutput("ffmpeg -v error -y -i '" + video + "' -vf zscale=matrixin=" + tag("color_space") +
                ":rangein=" + tag("color_range") + ",format=gbrpf32le -frames:v 1 -f rawvideo '" + planesPath + "'");

    const FrameImage captured = load(dir + "/tick_01600.png");
    const std::string planes = readFile(planesPath);
    const size_t pixels = static_cast<size_t>(captured.width) * captured.height;
    ASSERT_EQ(planes.size(), pixels * 3 * sizeof(float)) << "the video's frame is not the capture's size";
    std::vector<float> values(pixels * 3);
    std::memcpy(values.data(), planes.data(), planes.size());
    const size_t planeOf[3] = {2, 0, 1};  // red, green, blue in the order green, blue, red
    const int block = 128;
    double worst = 0.0;
    std::string where;
    for (int by = 0; by + block <= captured.height; by += block) {
        for (int bx = 0; bx + block <= captured.width; bx += block) {
            for (int c = 0; c < 3; ++c) {
                double inPng = 0.0, inVideo = 0.0;
                for (int y = by; y < by + block; ++y) {
                    for (int x = bx; x < bx + block; ++x) {
                        const size_t at = static_cast<size_t>(y) * captured.width + x;
                        inPng += captured.rgb[at * 3 + c];
                        inVideo += values[planeOf[c] * pixels + at] * 255.0;
                    }
                }
                inPng /= block * block;
                inVideo /= block * block;
                if (std::fabs(inVideo - inPng) > worst) {
                    worst = std::fabs(inVideo - inPng);
                    where = std::string(1, "RGB"[c]) + " of the block at (" + std::to_string(bx) + ", " +
                            std::to_string(by) + "): " + std::to_string(inVideo) + " in the video, " +
                            std::to_string(inPng) + " in the PNG";
                }
            }
        }
    }
    std::cout << "  the largest difference: " << where << std::endl;
    EXPECT_LE(worst, 1.5) << "the video's colours are not the capture's";
}

// --quiet holds the demo's start-up report back, but not when start-up
// fails: here no shader file can be opened and the demo ends the process.
TEST(Capture, QuietShowsTheReportOnlyWhenStartUpFails) {
    std::string frames = makeScratchDir("capture-quiet");
    ProcessResult quiet = capture({"--quiet", "--fps", "25", "--ticks", "10", "--out", frames});
    ASSERT_TRUE(quiet.exited && quiet.exitCode == 0) << quiet.output;
    EXPECT_EQ(countOccurrences(quiet.output, " loaded..."), 0) << quiet.output;
    EXPECT_EQ(countOccurrences(quiet.output, " compiled successfully."), 0) << quiet.output;
    EXPECT_NE(quiet.output.find("Frames: " + frames), std::string::npos) << quiet.output;

    std::string empty = makeScratchDir("capture-empty-run");
    ProcessResult broken = runProgram(CAPTURE_BINARY, empty, 60, {},
                                      {"--quiet", "--ticks", "10", "--out", empty + "/frames"});
    ASSERT_TRUE(broken.exited) << broken.output;
    EXPECT_EQ(broken.exitCode, 1) << broken.output;
    EXPECT_NE(broken.output.find("Unable to open file shaders/"), std::string::npos) << broken.output;
}

TEST(Capture, BadOptionsAreRefusedWithTheUsage) {
    ProcessResult result = capture({"--fps", "25"}, 30);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("--out is required"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("usage: tarnwick_capture"), std::string::npos) << result.output;

    // A device that is not there: one line, before anything renders.
    ProcessResult missing = capture({"--device", "99", "--ticks", "50", "--out", makeScratchDir("nodevice")}, 30);
    ASSERT_TRUE(missing.exited) << missing.output;
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.output.find('\n'), missing.output.size() - 1) << missing.output;
    EXPECT_NE(missing.output.find("--device 99"), std::string::npos) << missing.output;
}

}  // namespace
