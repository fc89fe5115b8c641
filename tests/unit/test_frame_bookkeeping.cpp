// The per-frame bookkeeping of the passes that needs no GL: the frame's
// matrices with the previous combined matrix, and the zap's shake.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/vecmath.h"
#include "render/composite.h"
#include "render/frame_matrices.h"

namespace {

bool sameBits(const Mat4& a, const Mat4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

Mat4 viewAt(float x) { return lookAt(Vec3{x, -500, 120}, Vec3{0, 0, 75}, Vec3{0, 0, 1}); }

TEST(FrameMatrices, FirstFrameComparesWithItselfAndShowsNoMotion) {
    FrameMatrices frame;
    Mat4 projection = perspective(2 * 0.5235987901687622f, 1024.0f / 768.0f, 1.0f, 10000.0f);
    Vec3 centroid{120, -40, 3};
    updateFrameMatrices(frame, viewAt(0), projection, centroid);

    EXPECT_TRUE(frame.hasPreviousFrame);
    EXPECT_TRUE(sameBits(frame.previousModelViewProjection, frame.modelViewProjection))
        << "the first frame would blur along a motion that never happened";
    EXPECT_EQ(frame.model[12], -120.0f);
    EXPECT_EQ(frame.model[13], 40.0f);
    EXPECT_EQ(frame.model[14], -3.0f);
    EXPECT_TRUE(sameBits(frame.modelViewProjection,
                         multiply(multiply(projection, viewAt(0)), frame.model)));
    EXPECT_TRUE(sameBits(frame.inverseModelViewProjection, inverse(frame.modelViewProjection)));
}

TEST(FrameMatrices, LaterFramesKeepExactlyThePreviousCombinedMatrix) {
    FrameMatrices frame;
    Mat4 projection = perspective(2 * 0.5235987901687622f, 1024.0f / 768.0f, 1.0f, 10000.0f);
    Vec3 centroid{10, 20, 30};
    updateFrameMatrices(frame, viewAt(0), projection, centroid);
    Mat4 first = frame.modelViewProjection;
    updateFrameMatrices(frame, viewAt(25), projection, centroid);
    EXPECT_TRUE(sameBits(frame.previousModelViewProjection, first));
    Mat4 second = frame.modelViewProjection;
    updateFrameMatrices(frame, viewAt(25), projection, centroid);
    EXPECT_TRUE(sameBits(frame.previousModelViewProjection, second));
    // A still camera: the previous matrix undoes the inverse up to rounding.
    Mat4 product = multiply(frame.previousModelViewProjection, frame.inverseModelViewProjection);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], Mat4()[i], 1e-3f) << i;
}

TEST(FrameMatrices, NormalMatrixOfATranslatedViewIsItsRotation) {
    FrameMatrices frame;
    Mat4 view = viewAt(0);
    updateFrameMatrices(frame, view, Mat4(), Vec3{5, 6, 7});
    // The view is a rotation plus translation, so the inverse transpose of its
    // upper block is the rotation itself.
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) EXPECT_NEAR(frame.normalMatrix[c * 3 + r], view[c * 4 + r], 1e-5f);
    }
}

// A new frame size changes the projection between two frames; the motion
// blur must not take that for motion. After reprojectLastFrame, a camera
// that stood still shows none.
TEST(FrameMatrices, AResizedFrameComparesThroughItsNewProjection) {
    FrameMatrices frame;
    const Vec3 centroid{120, -40, 3};
    const Mat4 before = perspective(2 * 0.5235987901687622f, 1024.0f / 768.0f, 1.0f, 10000.0f);
    const Mat4 after = perspective(2 * 0.5235987901687622f, 1920.0f / 1080.0f, 1.0f, 10000.0f);
    updateFrameMatrices(frame, viewAt(0), before, centroid);
    updateFrameMatrices(frame, viewAt(0), before, centroid);

    FrameMatrices resized = frame;
    reprojectLastFrame(resized, after);
    updateFrameMatrices(resized, viewAt(0), after, centroid);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(resized.previousModelViewProjection[i], resized.modelViewProjection[i], 1e-6f) << i;
    }
    // Without it the frame after the resize compares with the old shape.
    updateFrameMatrices(frame, viewAt(0), after, centroid);
    EXPECT_GT(std::fabs(frame.previousModelViewProjection[0] - frame.modelViewProjection[0]), 0.1f);
    // Before any frame there is nothing to compare with, and nothing changes.
    FrameMatrices fresh;
    reprojectLastFrame(fresh, after);
    EXPECT_FALSE(fresh.hasPreviousFrame);
    EXPECT_TRUE(sameBits(fresh.modelViewProjection, Mat4()));
}

TEST(ZapShake, NineTableEntriesThenNothing) {
    const float pixels[] = {10, 20, 80, 85, 90, 15, 10, -15, -10};
    for (int counter = 0; counter < 9; ++counter) {
        EXPECT_EQ(zapOffset(counter), pixels[counter] / 1024.0f) << counter;
    }
    EXPECT_EQ(zapOffset(2), 0.078125f);
    EXPECT_EQ(zapOffset(9), 0.0f);
    EXPECT_EQ(zapOffset(10), 0.0f);
    EXPECT_EQ(zapOffset(31), 0.0f);
    EXPECT_EQ(zapOffset(100000), 0.0f);
}

}  // namespace
