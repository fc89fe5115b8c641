// Golden frames: a handful of moments of the run, captured at 25 fps and
// kept as 256 × 192 block averages, compared with the references in
// tests/golden/. A change to the picture that is meant is recorded with
//
//   tools/update_golden.sh        (then look at the new images before committing)
//
// The tolerance suits software rendering: another Mesa or LLVM may round a
// few pixels differently or shift an edge, which must not fail the test; a
// moved camera, a lost effect, a wrong texture or a black frame must.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "frame_image.h"
#include "test_support.h"

namespace {

struct Moment {
    int tick;
    const char* what;
};

// Keep in step with tools/update_golden.sh and tools/contact_sheet.sh.
const Moment kMoments[] = {
    {50, "the first view over the town, motion blur on"},
    {800, "the flight through the streets, motion blur"},
    {1075, "just after the reveal: the five shapes appear, bloom on"},
    {3000, "the middle of the run, bloom"},
    {6500, "the final orbit, motion blur again"},
};

constexpr double kMinimumPsnr = 30.0;       // dB, over the whole small image
constexpr int kOutlierLevel = 40;           // a channel this far off marks a pixel...
constexpr double kMaximumOutlierShare = 0.01;  // ...and at most 1 % of them may be

std::string referencePath(int tick) {
    char name[32];
    std::snprintf(name, sizeof name, "tick_%05d.png", tick);
    return std::string(GOLDEN_DIR) + "/" + name;
}

double outlierShare(const FrameImage& a, const FrameImage& b) {
    int outliers = 0;
    for (size_t i = 0; i + 2 < a.rgb.size(); i += 3) {
        for (int c = 0; c < 3; ++c) {
            if (std::abs(static_cast<int>(a.rgb[i + c]) - static_cast<int>(b.rgb[i + c])) > kOutlierLevel) {
                ++outliers;
                break;
            }
        }
    }
    return static_cast<double>(outliers) / static_cast<double>(a.rgb.size() / 3);
}

// Where a frame and its reference differ, brightened, for a person to look at.
FrameImage differenceImage(const FrameImage& a, const FrameImage& b) {
    FrameImage diff = a;
    for (size_t i = 0; i < diff.rgb.size(); ++i) {
        int d = std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i]));
        diff.rgb[i] = static_cast<uint8_t>(std::min(255, d * 4));
    }
    return diff;
}

TEST(GoldenFrames, TheReferencesAreTheMomentsTested) {
    std::set<std::string> expected;
    for (const Moment& m : kMoments) expected.insert(std::filesystem::path(referencePath(m.tick)).filename());
    std::set<std::string> present;
    if (std::filesystem::is_directory(GOLDEN_DIR)) {
        for (const auto& entry : std::filesystem::directory_iterator(GOLDEN_DIR)) {
            if (entry.path().extension() == ".png") present.insert(entry.path().filename());
        }
    }
    EXPECT_EQ(present, expected) << "tests/golden/ and this test list different moments; "
                                    "run tools/update_golden.sh after changing either";
}

TEST(GoldenFrames, TheRunLooksAsRecorded) {
    std::string dir = makeScratchDir("golden");
    std::string ticks;
    for (const Moment& m : kMoments) ticks += (ticks.empty() ? "" : ",") + std::to_string(m.tick);
    ProcessResult result = runProgram(CAPTURE_BINARY, runPath(""), 300, {},
                                      {"--fps", "25", "--downscale", "4", "--ticks", ticks, "--out", dir});
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;

    for (const Moment& m : kMoments) {
        SCOPED_TRACE(std::string("tick ") + std::to_string(m.tick) + ": " + m.what);
        FrameImage reference;
        ASSERT_TRUE(readPng(referencePath(m.tick), reference))
            << "no reference; make them with tools/update_golden.sh";
        // A black reference would make a broken run pass.
        ASSERT_GT(meanLevel(reference), 5.0) << "the reference itself is black";

        std::string name = std::filesystem::path(referencePath(m.tick)).filename();
        FrameImage frame;
        ASSERT_TRUE(readPng(dir + "/" + name, frame));
        ASSERT_EQ(frame.width, reference.width);
        ASSERT_EQ(frame.height, reference.height);

        double quality = psnr(frame, reference);
        double share = outlierShare(frame, reference);
        bool fine = quality >= kMinimumPsnr && share <= kMaximumOutlierShare;
        if (!fine) writePng(dir + "/diff_" + name, differenceImage(frame, reference));
        EXPECT_TRUE(fine) << "PSNR " << quality << " dB (at least " << kMinimumPsnr << "), "
                          << share * 100.0 << " % of pixels off by more than " << kOutlierLevel
                          << " (at most " << kMaximumOutlierShare * 100.0 << " %); see " << dir;
    }
}

}  // namespace
