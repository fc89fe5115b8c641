#include "app/timeline.h"

#include <cmath>

#include "platform/platform.h"

namespace {

// A key toggles only after this many frames since its last toggle.
constexpr int kDebounceFrames = 30;
// Counters past this are parked at "ready" so they never overflow.
constexpr int kCounterLimit = 100000;

void applyZap(RunState& s) { s.zapCounter = 0; }

void applyReveal(RunState& s) {
    s.hiddenMeshCount = 0;
    s.motionBlurEnabled = false;
    s.bloomEnabled = true;
}

void applySwitchBack(RunState& s) {
    s.motionBlurEnabled = true;
    s.bloomEnabled = false;
}

struct TimelineEvent {
    int tick;
    void (*apply)(RunState&);
};

// In tick order: a long frame that crosses several applies them in this order.
constexpr TimelineEvent kEvents[] = {
    {kZapTick, applyZap},
    {kRevealTick, applyReveal},
    {kSwitchBackTick, applySwitchBack},
};

int countFrame(int counter) {
    int next = counter + 1;
    return next > kCounterLimit ? kDebounceFrames + 1 : next;
}

}  // namespace

void startTimeline(RunState& state, double now) {
    state.timelineTicks = 0.0;
    state.lastFrameTime = now;
}

bool advanceTimeline(RunState& state, double now) {
    double before = std::floor(state.timelineTicks);
    double delta = now - state.lastFrameTime;
    state.lastFrameTime = now;
    state.timelineTicks += delta * 50.0;
    double whole = std::floor(state.timelineTicks);

    auto reached = [&](int tick) {
        double t = tick;
        return whole == t || (before < t && t < whole);
    };
    for (const TimelineEvent& event : kEvents) {
        if (reached(event.tick)) event.apply(state);
    }
    return whole < kEndTick;
}

void handleKeys(RunState& state, const KeyStates& keys, std::ostream& out) {
    if (keys.escape != 0) {
        state.running = false;
    } else {
        state.running = keys.windowOpen;
    }

    // The three toggle outputs are the only console lines left unflushed.
    if (keys.m == kKeyPressed && state.motionBlurKeyCounter > kDebounceFrames) {
        state.motionBlurEnabled = !state.motionBlurEnabled;
        state.motionBlurKeyCounter = 0;
        out << state.motionBlurEnabled << " MB\n";
    }
    if (keys.b == kKeyPressed && state.bloomKeyCounter > kDebounceFrames) {
        state.bloomEnabled = !state.bloomEnabled;
        state.bloomKeyCounter = 0;
        out << state.bloomEnabled << " BL\n";
    }
    if (keys.z == kKeyPressed && state.zapCounter > kDebounceFrames) {
        state.zapCounter = 0;
        out << "ZAP\n";
    }

    state.motionBlurKeyCounter = countFrame(state.motionBlurKeyCounter);
    state.bloomKeyCounter = countFrame(state.bloomKeyCounter);
    state.zapCounter = countFrame(state.zapCounter);
}
