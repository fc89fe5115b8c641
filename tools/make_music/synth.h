// The synthesizer's building blocks: noise, oscillators, filters, the drum
// and instrument voices, and the two effects (reverb, ping-pong delay).
//
// Every voice renders one note into a fresh buffer that starts and ends at
// exactly zero (raised-cosine edges), so placing notes anywhere on the time
// line can never make a click. Voices that use noise take the caller's Rng:
// rendering the same song in the same order always gives the same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSampleRate = 44100;

// Equal-tempered pitch: MIDI note 69 is A4, 440 Hz.
float midiToHz(float note);

// Small fixed-seed generator (xorshift32): deterministic white noise.
struct Rng {
    uint32_t state;
    explicit Rng(uint32_t seed) : state(seed ? seed : 0x9e3779b9u) {}
    float next();  // uniform in [-1, 1)
};

struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;

    StereoBuffer() = default;
    explicit StereoBuffer(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t frames() const { return left.size(); }
};

// Topology-preserving state-variable filter (stable at any cutoff). Set the
// cutoff, then run one sample at a time; low, band and high come out together.
struct Svf {
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 1.0f;
    float ic1 = 0.0f, ic2 = 0.0f;
    float low = 0.0f, band = 0.0f, high = 0.0f;

    void setCutoff(float hz, float q);
    void run(float in);
};

// Samples of a duration in seconds, rounded.
size_t secondsToFrames(double seconds);

// Raised-cosine fade-in over attack and fade-out over release: the first and
// the last sample become exactly zero.
void shapeEdges(std::vector<float>& sound, double attackSeconds, double releaseSeconds);

// Mixing a rendered sound into a bus at a time: constant-power pan, -1 is
// hard left, +1 hard right. Whatever falls past the bus's end is dropped.
void addMono(StereoBuffer& bus, const std::vector<float>& sound, double time, float gain, float pan);
void addStereo(StereoBuffer& bus, const StereoBuffer& sound, double time, float gain);

// Drums. Velocity-free: the caller scales them when placing.
std::vector<float> renderKick(float punch);             // sine with a falling pitch, ~0.42 s
std::vector<float> renderSnare(Rng& rng, float tuneHz);  // tone plus band-passed noise
std::vector<float> renderClap(Rng& rng);                // three bursts and a tail
std::vector<float> renderHat(Rng& rng, double decaySeconds);  // metallic high-passed noise
StereoBuffer renderCrash(Rng& rng, double decaySeconds);     // wide, long metallic noise
std::vector<float> renderBoom(double seconds);          // sub-bass drop under a hit
std::vector<float> renderZap();                         // a falling FM sweep: the hit's "zap"
StereoBuffer renderRiser(Rng& rng, double seconds);     // noise sweeping upwards, growing

// Pitched voices; note is a MIDI note number.
std::vector<float> renderBass(float note, double seconds, float brightness);
StereoBuffer renderPadNote(Rng& rng, float note, double seconds, float cutoffHz, double attack,
                           double release);
std::vector<float> renderPluck(float note, float brightness);
std::vector<float> renderLead(float note, double seconds);
std::vector<float> renderBell(float note, double seconds);

// Effects: read a send bus, add the wet result into out.
void addReverb(const StereoBuffer& send, StereoBuffer& out, float roomSize, float damping, float wet);
void addPingPongDelay(const StereoBuffer& send, StereoBuffer& out, double delaySeconds, float feedback,
                      float wet);
