#include "render/frame_matrices.h"

FrameMatrices frameMatrices;

void updateFrameMatrices(FrameMatrices& frame, const Mat4& view, const Mat4& projection, Vec3 centroid) {
    frame.view = view;
    frame.model = translate(Mat4(), Vec3{-centroid.x, -centroid.y, -centroid.z});
    frame.projection = projection;
    if (!frame.hasPreviousFrame) {
        frame.previousModelViewProjection = multiply(frame.projection, frame.view);
        frame.hasPreviousFrame = true;
    } else {
        frame.previousModelViewProjection = frame.modelViewProjection;
    }
    frame.modelView = multiply(frame.view, frame.model);
    frame.modelViewProjection = multiply(multiply(frame.projection, frame.view), frame.model);
    frame.inverseModelViewProjection = inverse(frame.modelViewProjection);
    frame.normalMatrix = mat3FromMat4(transpose(inverse(frame.modelView)));
}
