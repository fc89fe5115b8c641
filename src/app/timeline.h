// The demo's clock, its scripted events, the keys and the effect flags.
//
// Pure logic, no GL and no GLFW: the frame loop reads the clock and the keys
// through the platform seam and hands them in, so tests and the capture tool
// drive exactly the same rules with virtual time.
//
// Demo time is counted in ticks of 1/50 s, accumulated from frame deltas. An
// event at tick T applies on every frame whose whole tick is T (so a fast
// machine re-arms the zap on several frames) and also on the one frame whose
// whole tick jumps past T: a slow machine, where one frame spans several
// ticks, must still see the zap, the reveal, both switches and the end.
#pragma once

#include <ostream>

#include "platform/run_state.h"

constexpr int kZapTick = 1067;
constexpr int kRevealTick = 1070;
constexpr int kSwitchBackTick = 6275;
constexpr int kEndTick = 6735;

// Starts the timeline at tick 0 with the given clock reading.
void startTimeline(RunState& state, double now);

// Advances demo time to `now` (seconds) and applies, in tick order, every
// event of the current whole tick or jumped over by this frame. Returns false
// when the run has reached its end: nothing of this frame is to be drawn.
bool advanceTimeline(RunState& state, double now);

// Key and window states as read once per frame.
struct KeyStates {
    int escape = 0;
    int m = 0;
    int b = 0;
    int z = 0;
    bool windowOpen = true;
};

// End-of-frame handling: Escape and the window decide `running`; M, B and Z
// toggle with their debounce, writing their unflushed console outputs to out;
// then the three counters count this frame.
void handleKeys(RunState& state, const KeyStates& keys, std::ostream& out);
