// The demo's run: start-up, then one frame after another until the end.
//
// The demo binary, the tests, the benchmark and the capture tool all run this
// same loop; only the platform seam (clock, keys, window, present) differs.
#pragma once

// Everything after the window and context exist: start-up, the two paths, the
// timeline's start and the music. Returns false when a scene failed to load:
// the message was printed and the music started, and no frame may be drawn.
bool startDemo();

// The camera and the light at the start of their paths, so that the first
// frame shows the town from where the run begins. startDemo calls it once the
// paths are built; a replay from tick 0 calls it after the rigs' init.
void placeRigsAtStart();

// One frame: timeline and events, the passes, present, the rigs, the keys.
// Returns false when the run is over (its end tick, Escape, the window closed).
bool runFrame();

// The passes of one frame, as runFrame draws them: the scene, bloom and
// motion blur when they are on, and the composite, which presents. Nothing
// else moves; the viewer draws a paused frame again with it.
void drawFrame();

// The frame's size changed (a window resized, full screen on or off): the
// render targets get new storage, the viewport and the camera's projection
// follow, and the motion blur's last frame is seen through the new
// projection, so the next frame is drawn whole at the new size, neither
// stretched nor streaked. One call does it all; a size of 0 (a window
// minimised) or the size already in use changes nothing.
void resizeFrame(int width, int height);

// Virtual time, for the tests, the benchmark and the capture tool: from here
// on the platform's clock reads virtualSeconds, which moves only when they
// move it, no key is ever pressed and the window never closes. present is
// left as it was. virtualSeconds starts at 0.
extern double virtualSeconds;
void useVirtualTime();

// Everything frames do besides drawing, on virtual time, in steps of 5 ms up
// to `seconds`: the timeline applies its events and the rigs follow their
// paths as in a real run (a path moves on by at most one segment per frame).
// No key is pressed and the window stays open; the run's end is not checked.
void advanceWithoutDrawing(double seconds);
