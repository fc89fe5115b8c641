// The demo's run: start-up, then one frame after another until the end.
//
// The demo binary, the tests and the capture tool all run this same loop;
// only the platform seam (clock, keys, window, present) differs.
#pragma once

// Everything after the window and context exist: start-up, the two paths, the
// timeline's start and the music. Returns false when a scene failed to load:
// the message was printed and the music started, and no frame may be drawn.
bool startDemo();

// One frame: timeline and events, the passes, present, the rigs, the keys.
// Returns false when the run is over (its end tick, Escape, the window closed).
bool runFrame();
