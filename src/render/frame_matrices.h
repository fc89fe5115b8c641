// The matrices of one frame, and the previous frame's combined matrix that the
// motion blur compares against.
#pragma once

#include "math/vecmath.h"

struct FrameMatrices {
    Mat4 view;
    Mat4 projection;
    Mat4 model;
    Mat4 modelView;
    Mat4 modelViewProjection;
    Mat4 previousModelViewProjection;
    Mat4 inverseModelViewProjection;
    Mat3 normalMatrix;
    bool hasPreviousFrame = false;
};

// Written by the scene pass, read by the motion blur pass.
extern FrameMatrices frameMatrices;

// Builds this frame's matrices from the camera's and the scene's centroid and
// moves the last frame's combined matrix into previousModelViewProjection.
// The very first frame has no previous one: it compares with itself.
void updateFrameMatrices(FrameMatrices& frame, const Mat4& view, const Mat4& projection, Vec3 centroid);

// The projection changed with the frame's size: the last frame's combined
// matrix is made again as the new projection would have made it, so the next
// frame's motion blur sees only how the camera moved, not how the frame's
// shape changed. Nothing to do before the first frame.
void reprojectLastFrame(FrameMatrices& frame, const Mat4& projection);
