// The off-screen targets every frame is drawn into, and the full-screen quad.
//
// A frame reaches the window only through post-processing, so the scene, the
// bloom and the motion blur each draw into textures of their own. All of them
// have the frame's size (platform/frame_size.h): they are made once at
// start-up, and only a change of that size gives them new storage.
//
//   framebuffer            attachments
//   sceneFramebuffer       colour 0 sceneColorTexture, depth sceneDepthTexture
//   bloomFramebuffer       colour 0 bloomThresholdTexture, 1 bloomHorizontalTexture,
//                          2 bloomResultTexture
//   motionBlurFramebuffer  colour 0 motionBlurTexture
//
// The colour textures are RGBA8, the depth texture unsized GL_DEPTH_COMPONENT
// (float data); all filter GL_LINEAR and keep the default GL_REPEAT wrap, which
// the zap shake relies on. No framebuffer gets a draw buffer here: each pass
// picks its own with glDrawBuffer.
#pragma once

// GL object names, as the generating calls return them.
struct RenderTargets {
    unsigned int quadVertexArray = 0;
    unsigned int quadVertexBuffer = 0;
    unsigned int sceneFramebuffer = 0;
    unsigned int bloomFramebuffer = 0;
    unsigned int motionBlurFramebuffer = 0;
    unsigned int sceneColorTexture = 0;
    unsigned int motionBlurTexture = 0;
    unsigned int bloomThresholdTexture = 0;
    unsigned int bloomHorizontalTexture = 0;
    unsigned int bloomResultTexture = 0;
    unsigned int sceneDepthTexture = 0;
};

extern RenderTargets renderTargets;

// Makes the quad (four corners of NDC, counter-clockwise, so back-face culling
// keeps it; the position attribute, two floats), the six textures and the three
// framebuffers. Prints "Couldn't create frame buffer" once if any framebuffer
// is incomplete, and goes on. Returns with framebuffer 0 bound, no vertex array
// bound, no texture on unit 0 and the quad's buffer on GL_ARRAY_BUFFER.
// Requires a current OpenGL 3.2 context.
void createRenderTargets();

// Gives the six textures new storage at frameSize, keeping their names,
// filters and attachments (their contents are undefined until the next
// frame draws them). Leaves no texture bound on the active unit.
void resizeRenderTargets();

// One draw of the quad as a triangle fan. The caller binds quadVertexArray
// first (once per pass) and vertex array 0 after the pass.
void drawFullScreenQuad();
