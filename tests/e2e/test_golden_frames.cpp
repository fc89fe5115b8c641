// Golden frames: a handful of moments of the run, captured at 25 fps and
// kept as 256 × 192 block averages, compared with the references in
// tests/golden/; and at full size, held to the exposure limits of every frame
// of the run (nothing burnt out, nothing lost in the void). A change to the
// picture that is meant is recorded with
//
//   tools/update_golden.sh        (then look at the new images before committing)
//
// The tolerance suits software rendering: another Mesa or LLVM may round a
// few pixels differently or shift an edge, which must not fail the test; a
// moved camera, a lost effect, a wrong texture or a black frame must.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

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
    {1075, "just after the reveal: the five sculptures appear, bloom on"},
    {3000, "the middle of the run, bloom"},
    {6500, "the final orbit, motion blur again"},
};

constexpr double kMinimumPsnr = 30.0;       // dB, over the whole small image
constexpr int kReferenceDownscale = 4;
constexpr int kOutlierLevel = 40;           // a channel this far off marks a pixel...
constexpr double kMaximumOutlierShare = 0.01;  // ...and at most 1 % of them may be
// The centre of a frame of another size against the reference.
constexpr double kMinimumSizePsnr = 30.0;

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

// The capture's report line for a tick: "tick  1075  burnt out   0.12 %  pure black   0.00 %".
bool reportedShares(const std::string& output, int tick, double& burnt, double& black) {
    char head[32];
    std::snprintf(head, sizeof head, "tick %5d  burnt out", tick);
    size_t at = output.find(head);
    if (at == std::string::npos) return false;
    return std::sscanf(output.c_str() + at + std::strlen(head), " %lf %% pure black %lf", &burnt, &black) == 2;
}

TEST(GoldenFrames, TheRunLooksAsRecordedAndNoMomentBurnsOutOrFallsIntoTheVoid) {
    std::string dir = makeScratchDir("golden");
    std::string ticks;
    for (const Moment& m : kMoments) ticks += (ticks.empty() ? "" : ",") + std::to_string(m.tick);
    ProcessResult result = runProgram(CAPTURE_BINARY, runPath(""), 300, {},
                                      {"--fps", "25", "--report", "--ticks", ticks, "--out", dir});
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;

    for (const Moment& m : kMoments) {
        SCOPED_TRACE(std::string("tick ") + std::to_string(m.tick) + ": " + m.what);
        FrameImage reference;
        ASSERT_TRUE(readPng(referencePath(m.tick), reference))
            << "no reference; make them with tools/update_golden.sh";
        // A black reference would make a broken run pass.
        ASSERT_GT(meanLevel(reference), 5.0) << "the reference itself is black";

        std::string name = std::filesystem::path(referencePath(m.tick)).filename();
        FrameImage full;
        ASSERT_TRUE(readPng(dir + "/" + name, full));
        ASSERT_EQ(full.width, 1024);

        // Every frame of the run is held to these limits (tools/exposure_report.sh
        // checks the whole run); the golden moments hold to them here, and the
        // capture's own report agrees with the picture it wrote.
        double burnt = shareAtLeast(full, kBurntOutLevel), black = shareAtMost(full, kPureBlackLevel);
        EXPECT_LE(burnt, 0.02) << "pixels with every channel at " << kBurntOutLevel << " or above";
        EXPECT_LE(black, 0.03) << "pixels with every channel at " << kPureBlackLevel << " or below";
        double reportedBurnt = -1.0, reportedBlack = -1.0;
        ASSERT_TRUE(reportedShares(result.output, m.tick, reportedBurnt, reportedBlack)) << result.output;
        EXPECT_NEAR(reportedBurnt, 100.0 * burnt, 0.006);
        EXPECT_NEAR(reportedBlack, 100.0 * black, 0.006);

        FrameImage frame = downscale(full, kReferenceDownscale);
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

// Any other size shows the designed 4:3 picture whole at its centre, and
// whatever the shaders measure in pixels (a glow's width, a streak's length,
// the shake) follows the frame's size: the centre of a wide frame and of a
// narrow one, shrunk to 256 × 192, matches the reference of the same moment
// as the designed frame does.
void expectCentreMatchesTheReferences(const std::string& size, int centreWidth, int centreHeight,
                                      const std::vector<int>& ticks) {
    const std::string dir = makeScratchDir("golden-" + size);
    std::string list;
    for (int tick : ticks) list += (list.empty() ? "" : ",") + std::to_string(tick);
    ProcessResult result = runProgram(CAPTURE_BINARY, runPath(""), 600, {},
                                      {"--fps", "25", "--size", size, "--ticks", list, "--out", dir});
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;
    for (int tick : ticks) {
        SCOPED_TRACE(size + ", tick " + std::to_string(tick));
        FrameImage reference, full;
        ASSERT_TRUE(readPng(referencePath(tick), reference));
        const std::string name = std::filesystem::path(referencePath(tick)).filename();
        ASSERT_TRUE(readPng(dir + "/" + name, full));
        ASSERT_EQ(std::to_string(full.width) + "x" + std::to_string(full.height), size);
        const FrameImage centre = resample(cropCentre(full, centreWidth, centreHeight), reference.width,
                                           reference.height);
        const double quality = psnr(centre, reference);
        std::cout << size << " tick " << tick << ": centre against the reference " << quality << " dB" << std::endl;
        if (quality < kMinimumSizePsnr) writePng(dir + "/centre_" + name, centre);
        EXPECT_GE(quality, kMinimumSizePsnr) << "see " << dir;
    }
}

TEST(GoldenFrames, AWideFrameShowsTheDesignedPictureAtItsCentre) {
    expectCentreMatchesTheReferences("1920x1080", 1440, 1080, {800, 3000, 6500});
}

TEST(GoldenFrames, ANarrowFrameShowsTheDesignedPictureAtItsCentre) {
    expectCentreMatchesTheReferences("1280x1024", 1280, 960, {800, 3000});
}

}  // namespace
