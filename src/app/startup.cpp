#include "app/startup.h"

#include <GL/glew.h>

#include <iostream>

#include "audio/music_player.h"
#include "camera/camera_rig.h"
#include "import/scene.h"
#include "platform/frame_size.h"
#include "platform/run_state.h"
#include "platform/startup_clock.h"
#include "render/render_targets.h"
#include "shading/programs.h"

namespace {

constexpr const char* kMainScenePath = "scene/main2.DAE";
constexpr const char* kStreetScenePath = "scene/StreetScene.DAE";

}  // namespace

void startTrialImports() {
    startTrialImport(kMainScenePath);
    startTrialImport(kStreetScenePath);
}

void startUp() {
    // Nothing ever changes these again: every pass, full-screen ones included,
    // runs with depth testing and back-face culling on.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glViewport(0, 0, frameSize.width, frameSize.height);

    mainScene = new Scene();
    streetScene = new Scene();

    initMusic();
    startupFigures.musicLoaded = processSeconds();
    buildShaderPrograms();
    startupFigures.shadersBuilt = processSeconds();
    createRenderTargets();
    startupFigures.targetsMade = processSeconds();

    // Both files are always tried, so a broken street scene is reported even
    // when the main one loads, and the other way round.
    bool mainLoaded = mainScene->loadScene(kMainScenePath);
    bool streetLoaded = streetScene->loadScene(kStreetScenePath);
    if (!mainLoaded || !streetLoaded) {
        std::cout << "Scenes could not be loaded!" << std::endl;
        runState.running = false;
    }
    startupFigures.scenesLoaded = processSeconds();

    cameraRig = CameraRig();
    cameraRig.init();
    lightRig = LightRig();
    lightRig.init();
    startupFigures.startUpDone = processSeconds();
}
