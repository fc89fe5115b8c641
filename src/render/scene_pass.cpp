#include "render/scene_pass.h"

#include <GL/glew.h>

#include "camera/camera_rig.h"
#include "import/scene.h"
#include "platform/run_state.h"
#include "render/frame_matrices.h"
#include "render/render_targets.h"
#include "shading/programs.h"
#include "shading/shader_bindings.h"

namespace {

// Height-map scale and bias for the offset mapping: constants of the demo.
constexpr float kHeightScale = -0.01f;
constexpr float kHeightBias = -0.003f;

void uploadColor(GLint location, Vec3 color) {
    const float rgb[3] = {color.x, color.y, color.z};
    glUniform3fv(location, 1, rgb);
}

}  // namespace

void drawScenePass() {
    const UniformLocations& u = uniformLocations;
    glUseProgram(pvlTexProgram.name);
    glBindFramebuffer(GL_FRAMEBUFFER, renderTargets.sceneFramebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    FrameMatrices& frame = frameMatrices;
    updateFrameMatrices(frame, cameraRig.viewMatrix, cameraRig.projMatrix, mainScene->centroid);
    glUniformMatrix4fv(u.modelMatrix, 1, GL_FALSE, frame.model.m);
    glUniformMatrix4fv(u.viewMatrix, 1, GL_FALSE, frame.view.m);
    glUniformMatrix4fv(u.projMatrix, 1, GL_FALSE, frame.projection.m);
    glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, frame.normalMatrix.n);

    const SceneLight& light = mainScene->lights.front();
    const Vec3 lightPos = lightRig.position;
    int drawn = static_cast<int>(mainScene->meshes.size()) - runState.hiddenMeshCount;
    for (int i = 0; i < drawn; ++i) {
        const SceneMesh& mesh = mainScene->meshes[static_cast<size_t>(i)];
        glBindVertexArray(mesh.vertexArray);

        glActiveTexture(GL_TEXTURE0 + kFirstTextureUnit);
        glBindTexture(GL_TEXTURE_2D, mesh.colorTexture);
        glUniform1i(u.pvlTexColor, kFirstTextureUnit);
        // The normal and height units are only touched by meshes that have
        // those maps; the flags below tell the shader to ignore whatever is
        // left bound there.
        if (mesh.hasNormalTexture) {
            glActiveTexture(GL_TEXTURE0 + kSecondTextureUnit);
            glBindTexture(GL_TEXTURE_2D, mesh.normalTexture);
            glUniform1i(u.texNormal, kSecondTextureUnit);
        }
        if (mesh.hasHeightTexture) {
            glActiveTexture(GL_TEXTURE0 + kThirdTextureUnit);
            glBindTexture(GL_TEXTURE_2D, mesh.heightTexture);
            glUniform1i(u.texHeight, kThirdTextureUnit);
        }

        uploadColor(u.matAmbient, mesh.ambient);
        uploadColor(u.matDiffuse, mesh.diffuse);
        uploadColor(u.matSpecular, mesh.specular);
        glUniform1fv(u.matShininess, 1, &mesh.shininess);

        uploadColor(u.lightAmbient, light.ambient);
        uploadColor(u.lightDiffuse, light.diffuse);
        uploadColor(u.lightSpecular, light.specular);
        uploadColor(u.lightPos, lightPos);

        glUniform1i(u.texturedColor, mesh.hasColorTexture ? 1 : 0);
        glUniform1i(u.texturedNormal, mesh.hasNormalTexture ? 1 : 0);
        glUniform1i(u.texturedHeight, mesh.hasHeightTexture ? 1 : 0);
        glUniform1f(u.scale, kHeightScale);
        glUniform1f(u.bias, kHeightBias);

        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(mesh.vertexCount));
        glBindVertexArray(0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
