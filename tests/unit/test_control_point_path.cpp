// Control-point paths on a virtual clock: the spline weights, the list with its
// end copies, when a segment is stepped, how u advances, the wrap, and the
// messages of a path with too few points.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "camera/control_point_path.h"
#include "platform/platform.h"

namespace {

double virtualSeconds = 0.0;
double readVirtualClock() { return virtualSeconds; }

// Takes over std::cout for the lifetime of the object.
struct CoutCapture {
    std::ostringstream text;
    std::streambuf* previous;
    CoutCapture() : previous(std::cout.rdbuf(text.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(previous); }
};

int count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

const std::string kTooLittle = "Warning: too little control points! Add more points!\n";
const std::string kNotEnough = "Not enough control points for camera!\n";

using Path3 = ControlPointPath<3>;
using P3 = Path3::Payload;

struct PathTest : ::testing::Test {
    void SetUp() override {
        platform.readClock = readVirtualClock;
        virtualSeconds = 0.0;
    }
    // Clock started at 0 s, the points added, the path finished.
    Path3 makePath(const std::vector<std::pair<P3, int>>& added) {
        Path3 path;
        path.startClock();
        for (const auto& [payload, ticks] : added) path.addControlPoint(payload, ticks);
        path.finishPath();
        return path;
    }
};

}  // namespace

TEST(CatmullRom, EndpointsMidpointAndSummationOrder) {
    // Weights 0, 2, 0, 0 at u = 0 and 0, 0, 2, 0 at u = 1: the ends are exact.
    EXPECT_EQ(catmullRom(0.0f, 3.7f, -12.3f, 100.1f, 7.9f), -12.3f);
    EXPECT_EQ(catmullRom(1.0f, 3.7f, -12.3f, 100.1f, 7.9f), 100.1f);
    // Between two doubled points the middle is the midpoint.
    EXPECT_EQ(catmullRom(0.5f, 10.0f, 10.0f, 50.0f, 50.0f), 30.0f);
    // The tangent at p1 is (p2 − p0) / 2: on a straight, evenly spaced line
    // the spline is the line itself.
    EXPECT_FLOAT_EQ(catmullRom(0.25f, 0.0f, 1.0f, 2.0f, 3.0f), 1.25f);
    EXPECT_FLOAT_EQ(catmullRom(1.5f, 0.0f, 1.0f, 2.0f, 3.0f), 2.5f);

    // At u = 0.5 the terms are 2^27, 9, 0, −2^27. Summed left to right in
    // single precision the 9 rounds up to 16 next to 2^27 and survives the
    // cancellation: 0.5 · 16 = 8 (exactly 4.5; right to left gives 4).
    EXPECT_EQ(catmullRom(0.5f, -1073741824.0f, 8.0f, 0.0f, 1073741824.0f), 8.0f);
}

TEST_F(PathTest, EntriesGetEndCopiesAndTheWindowIsLoaded) {
    P3 a{1, 2, 3}, b{4, 5, 6}, c{7, 8, 9};
    CoutCapture out;
    Path3 path = makePath({{a, 40}, {b, 60}, {c, 80}});
    EXPECT_EQ(out.text.str(), "");

    ASSERT_EQ(path.points.size(), 5u);
    EXPECT_EQ(path.points[0].payload, a);
    EXPECT_EQ(path.points[0].ticks, 1);
    EXPECT_EQ(path.points[1].payload, a);
    EXPECT_EQ(path.points[1].ticks, 40);
    EXPECT_EQ(path.points[2].ticks, 60);
    EXPECT_EQ(path.points[3].payload, c);
    EXPECT_EQ(path.points[3].ticks, 80);
    EXPECT_EQ(path.points[4].payload, c);
    EXPECT_EQ(path.points[4].ticks, 1);

    EXPECT_EQ(path.segment, -1);
    EXPECT_EQ(path.p0.payload, a);
    EXPECT_EQ(path.p1.ticks, 40);
    EXPECT_EQ(path.p2.payload, b);
    EXPECT_EQ(path.p3.payload, c);
}

TEST_F(PathTest, TwoPointsMidpointEndAndWrapBackToTheStart) {
    P3 a{10, -20, 30}, b{50, 40, -10};
    Path3 path = makePath({{a, 50}, {b, 9}});
    ASSERT_EQ(path.points.size(), 4u);

    virtualSeconds = 0.5;  // 25 of 50 ticks
    std::optional<P3> mid = path.advance();
    ASSERT_TRUE(mid);
    EXPECT_EQ(path.segment, 0);
    EXPECT_EQ(path.u, 0.5f);
    EXPECT_EQ(*mid, (P3{30, 10, 10}));

    virtualSeconds = 1.0;  // 50 ticks: exactly at B, still in the segment
    std::optional<P3> end = path.advance();
    ASSERT_TRUE(end);
    EXPECT_EQ(path.u, 1.0f);
    EXPECT_EQ(path.segmentTicks, 50.0);
    EXPECT_EQ(*end, b);

    virtualSeconds = 1.125;  // the next frame wraps: 6.25 ticks into the same segment
    std::optional<P3> again = path.advance();
    ASSERT_TRUE(again);
    EXPECT_EQ(path.segment, 0);
    EXPECT_EQ(path.u, 0.125f);
    EXPECT_EQ(path.segmentTicks, 6.25);
    EXPECT_NEAR((*again)[0], 10.0f, 6.0f);  // back near A, far from B
    EXPECT_NEAR((*again)[1], -20.0f, 9.0f);
}

TEST_F(PathTest, SegmentStepsOnTheFollowingFrameAndDropsTheOverrun) {
    P3 a{0, 0, 0}, b{100, 0, 0}, c{100, 100, 0};
    Path3 path = makePath({{a, 10}, {b, 20}, {c, 1}});

    virtualSeconds = 0.125;  // 6.25 ticks
    ASSERT_TRUE(path.advance());
    EXPECT_EQ(path.segment, 0);
    EXPECT_EQ(path.u, 0.625f);

    virtualSeconds = 0.25;  // 12.5 ticks: past the 10-tick segment, but it stays
    std::optional<P3> past = path.advance();
    ASSERT_TRUE(past);
    EXPECT_EQ(path.segment, 0);
    EXPECT_EQ(path.u, 1.25f);
    EXPECT_EQ(path.segmentTicks, 12.5);
    EXPECT_GT((*past)[0], 100.0f) << "the cubic continues a little past p2";

    virtualSeconds = 0.375;  // stepped now; the 2.5 overrun ticks are gone
    ASSERT_TRUE(path.advance());
    EXPECT_EQ(path.segment, 1);
    EXPECT_EQ(path.p1.payload, b);
    EXPECT_EQ(path.segmentTicks, 6.25);
    EXPECT_EQ(path.u, 6.25f / 20.0f)
        << "u restarts at dt / duration, neither at 0 nor with the overrun";
}

TEST_F(PathTest, FrameOfATenthOfASecondOnSeventyTicks) {
    Path3 path = makePath({{P3{0, 0, 0}, 70}, {P3{70, 0, 0}, 1}});
    std::vector<float> us;
    for (int frame = 1; frame <= 3; ++frame) {
        virtualSeconds = frame * 0.1;
        ASSERT_TRUE(path.advance());
        us.push_back(path.u);
    }
    EXPECT_NEAR(us[0], 5.0f / 70.0f, 1e-7f);
    EXPECT_NEAR(us[1] - us[0], 5.0f / 70.0f, 1e-7f);
    // u is summed in double and rounded once, so the third frame is the float
    // nearest 15/70; adding float steps would land one bit higher.
    ASSERT_NE(static_cast<float>(15.0 / 70.0), us[1] + static_cast<float>(5.0 / 70.0));
    EXPECT_EQ(us[2], static_cast<float>(15.0 / 70.0));
}

TEST_F(PathTest, UIsThePreviousFloatUPlusThisFramesShareRoundedOnce) {
    // Neither the float sum of the steps nor segmentTicks / duration: each
    // frame adds dt / duration in double to the stored float u and rounds.
    Path3 path = makePath({{P3{0, 0, 0}, 70}, {P3{70, 0, 0}, 1}});
    float model = 0.0f, floatSum = 0.0f;
    double previous = 0.0;
    bool differsFromFloatSum = false, differsFromTicksRatio = false;
    for (int frame = 1; frame <= 14; ++frame) {
        virtualSeconds = frame * 0.1;
        double dt = (virtualSeconds - previous) * 50.0;
        previous = virtualSeconds;
        model = static_cast<float>(dt / 70.0 + static_cast<double>(model));
        floatSum = floatSum + static_cast<float>(dt / 70.0);
        ASSERT_TRUE(path.advance());
        EXPECT_EQ(path.u, model) << "frame " << frame;
        differsFromFloatSum |= model != floatSum;
        differsFromTicksRatio |= model != static_cast<float>(path.segmentTicks / 70.0);
    }
    EXPECT_TRUE(differsFromFloatSum && differsFromTicksRatio)
        << "the frames must tell the rules apart";
    EXPECT_EQ(path.segment, 0) << "70 ticks are not yet counted as a step";
}

TEST_F(PathTest, WrapsAfterNMinusOneSegmentsWhateverTheLastDuration) {
    P3 a{0, 0, 0}, b{10, 0, 0}, c{10, 10, 0}, d{0, 10, 0};
    Path3 shortLast = makePath({{a, 10}, {b, 20}, {c, 30}, {d, 7}});
    Path3 longLast = makePath({{a, 10}, {b, 20}, {c, 30}, {d, 5000}});

    // 6.25-tick frames: a segment of d ticks runs until its ticks reach d,
    // then one more frame is still evaluated before the step.
    const std::vector<int> expected = {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 0, 0, 1};
    for (size_t frame = 0; frame < expected.size(); ++frame) {
        virtualSeconds = (frame + 1) * 0.125;
        std::optional<P3> s = shortLast.advance();
        std::optional<P3> l = longLast.advance();
        ASSERT_TRUE(s && l);
        EXPECT_EQ(shortLast.segment, expected[frame]) << "frame " << frame;
        EXPECT_EQ(*s, *l) << "frame " << frame;
    }
}

TEST_F(PathTest, LongStallStepsOneSegmentAndDoesNotClamp) {
    Path3 path = makePath({{P3{0, 0, 0}, 10}, {P3{1, 0, 0}, 10}, {P3{2, 0, 0}, 10}});
    virtualSeconds = 0.125;
    ASSERT_TRUE(path.advance());
    virtualSeconds = 0.25;
    ASSERT_TRUE(path.advance());
    virtualSeconds = 10.25;  // 500 ticks at once
    ASSERT_TRUE(path.advance());
    EXPECT_EQ(path.segment, 1);
    EXPECT_EQ(path.u, 50.0f);
}

TEST_F(PathTest, MotionCountsFromStartClockNotFromTheFirstFrame) {
    virtualSeconds = 3.0;
    Path3 path = makePath({{P3{0, 0, 0}, 400}, {P3{1, 0, 0}, 1}});
    virtualSeconds = 5.0;  // 100 ticks after startClock
    ASSERT_TRUE(path.advance());
    EXPECT_EQ(path.u, 0.25f);
    EXPECT_EQ(path.lastTime, 5.0);
}

TEST_F(PathTest, OnePointWarnsOnceAndNeverProduces) {
    CoutCapture out;
    Path3 path = makePath({{P3{1, 2, 3}, 50}});
    EXPECT_EQ(path.points.size(), 3u);
    EXPECT_EQ(out.text.str(), kTooLittle);

    for (int frame = 1; frame <= 3; ++frame) {
        virtualSeconds = frame * 0.5;
        EXPECT_FALSE(path.advance());
        EXPECT_EQ(path.lastTime, virtualSeconds) << "the clock runs on";
    }
    EXPECT_EQ(count(out.text.str(), kTooLittle), 1);
    EXPECT_EQ(count(out.text.str(), kNotEnough), 3);
    EXPECT_EQ(out.text.str(), kTooLittle + kNotEnough + kNotEnough + kNotEnough);
    EXPECT_EQ(path.segment, -1);
}

TEST_F(PathTest, EmptyPathWarnsWithoutInventingPoints) {
    CoutCapture out;
    Path3 path = makePath({});
    EXPECT_TRUE(path.points.empty());
    EXPECT_FALSE(path.advance());
    EXPECT_EQ(out.text.str(), kTooLittle + kNotEnough);
}

TEST_F(PathTest, SixFloatPayloadBlendsEveryCoordinateWithTheSameU) {
    ControlPointPath<6> path;
    path.startClock();
    path.addControlPoint({0, 0, 0, 100, 200, 300}, 20);
    path.addControlPoint({8, 16, 32, 300, 400, 500}, 1);
    path.finishPath();
    virtualSeconds = 0.2;  // 10 of 20 ticks
    std::optional<ControlPointPath<6>::Payload> v = path.advance();
    ASSERT_TRUE(v);
    const ControlPointPath<6>::Payload expected{4, 8, 16, 200, 300, 400};
    EXPECT_EQ(*v, expected);
}
