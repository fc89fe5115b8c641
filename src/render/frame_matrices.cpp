#include "render/frame_matrices.h"

FrameMatrices frameMatrices;

void updateFrameMatrices(FrameMatrices& frame, const Mat4& view, const Mat4& projection, Vec3 centroid) {
    frame.view = view;
    frame.model = translate(Mat4(), Vec3{-centroid.x, -centroid.y, -centroid.z});
    frame.projection = projection;
    const Mat4 before = frame.modelViewProjection;
    frame.modelView = multiply(frame.view, frame.model);
    frame.modelViewProjection = multiply(multiply(frame.projection, frame.view), frame.model);
    // The first frame has nothing to compare with: it shows no motion rather
    // than a made-up one.
    frame.previousModelViewProjection = frame.hasPreviousFrame ? before : frame.modelViewProjection;
    frame.hasPreviousFrame = true;
    frame.inverseModelViewProjection = inverse(frame.modelViewProjection);
    frame.normalMatrix = mat3FromMat4(transpose(inverse(frame.modelView)));
}

void reprojectLastFrame(FrameMatrices& frame, const Mat4& projection) {
    if (!frame.hasPreviousFrame) return;
    frame.projection = projection;
    frame.modelViewProjection = multiply(multiply(frame.projection, frame.view), frame.model);
}
