#include "synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Band-limited step correction for the naive saw (polyBLEP): removes most of
// the aliasing a raw ramp would fold back into the audible range.
float polyBlep(double phase, double step) {
    if (phase < step) {
        double t = phase / step;
        return static_cast<float>(t + t - t * t - 1.0);
    }
    if (phase > 1.0 - step) {
        double t = (phase - 1.0) / step;
        return static_cast<float>(t * t + t + t + 1.0);
    }
    return 0.0f;
}

float saw(double phase, double step) { return static_cast<float>(2.0 * phase - 1.0) - polyBlep(phase, step); }

double wrap(double phase) { return phase - std::floor(phase); }

float square(double phase, double step) { return saw(phase, step) - saw(wrap(phase + 0.5), step); }

// Six square waves at the classic inharmonic ratios of an analogue cymbal:
// high-passed, they give hats and crashes their metallic ring.
struct Metal {
    double phases[6] = {0.0, 0.21, 0.43, 0.57, 0.71, 0.89};
    float next() {
        static const double kHz[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
        float sum = 0.0f;
        for (int i = 0; i < 6; ++i) {
            double step = kHz[i] * 1.8 / kSampleRate;
            sum += square(phases[i], step);
            phases[i] = wrap(phases[i] + step);
        }
        return sum / 6.0f;
    }
};

// Soft saturation that stays linear for small signals.
float saturate(float x, float drive) { return std::tanh(x * drive) / std::tanh(drive); }

}  // namespace

float midiToHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

float Rng::next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<float>(state) / 2147483648.0f - 1.0f;
}

void Svf::setCutoff(float hz, float q) {
    hz = std::clamp(hz, 10.0f, 0.45f * kSampleRate);
    double g = std::tan(kPi * hz / kSampleRate);
    k = 1.0f / q;
    a1 = static_cast<float>(1.0 / (1.0 + g * (g + k)));
    a2 = static_cast<float>(g) * a1;
    a3 = static_cast<float>(g) * a2;
}

void Svf::run(float in) {
    float v3 = in - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    low = v2;
    band = v1;
    high = in - k * v1 - v2;
}

size_t secondsToFrames(double seconds) {
    return seconds <= 0.0 ? 0 : static_cast<size_t>(std::lround(seconds * kSampleRate));
}

void shapeEdges(std::vector<float>& sound, double attackSeconds, double releaseSeconds) {
    const size_t n = sound.size();
    if (n == 0) return;
    const size_t attack = std::min(std::max<size_t>(secondsToFrames(attackSeconds), 1), n);
    const size_t release = std::min(std::max<size_t>(secondsToFrames(releaseSeconds), 1), n);
    for (size_t i = 0; i < attack; ++i) {
        sound[i] *= static_cast<float>(0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / attack));
    }
    for (size_t i = 0; i < release; ++i) {
        sound[n - 1 - i] *= static_cast<float>(0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / release));
    }
}

void addMono(StereoBuffer& bus, const std::vector<float>& sound, double time, float gain, float pan) {
    const double angle = (std::clamp(pan, -1.0f, 1.0f) + 1.0) * kPi / 4.0;
    const float gl = gain * static_cast<float>(std::cos(angle)) * std::sqrt(2.0f);
    const float gr = gain * static_cast<float>(std::sin(angle)) * std::sqrt(2.0f);
    const size_t start = secondsToFrames(time);
    for (size_t i = 0; i < sound.size() && start + i < bus.frames(); ++i) {
        bus.left[start + i] += gl * sound[i];
        bus.right[start + i] += gr * sound[i];
    }
}

void addStereo(StereoBuffer& bus, const StereoBuffer& sound, double time, float gain) {
    const size_t start = secondsToFrames(time);
    for (size_t i = 0; i < sound.frames() && start + i < bus.frames(); ++i) {
        bus.left[start + i] += gain * sound.left[i];
        bus.right[start + i] += gain * sound.right[i];
    }
}

std::vector<float> renderKick(float punch) {
    std::vector<float> out(secondsToFrames(0.42));
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double hz = 46.0 + 120.0 * punch * std::exp(-t / 0.032) + 30.0 * std::exp(-t / 0.006);
        phase += hz / kSampleRate;
        double body = std::exp(-t / 0.16);
        out[i] = saturate(static_cast<float>(std::sin(kTwoPi * phase) * body), 1.6f);
    }
    shapeEdges(out, 0.0015, 0.06);
    return out;
}

std::vector<float> renderSnare(Rng& rng, float tuneHz) {
    std::vector<float> out(secondsToFrames(0.32));
    Svf band;
    band.setCutoff(2200.0f, 0.9f);
    Svf high;
    high.setCutoff(900.0f, 0.7f);
    double phaseA = 0.0, phaseB = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double bend = 1.0 + 0.35 * std::exp(-t / 0.012);
        phaseA += tuneHz * bend / kSampleRate;
        phaseB += tuneHz * 1.78 * bend / kSampleRate;
        float tone = static_cast<float>((std::sin(kTwoPi * phaseA) + 0.5 * std::sin(kTwoPi * phaseB)) *
                                        std::exp(-t / 0.055));
        float noise = rng.next();
        band.run(noise);
        high.run(noise);
        float rattle = (0.8f * band.band + 0.5f * high.high) * static_cast<float>(std::exp(-t / 0.09));
        out[i] = 0.55f * tone + rattle;
    }
    shapeEdges(out, 0.001, 0.08);
    return out;
}

std::vector<float> renderClap(Rng& rng) {
    std::vector<float> out(secondsToFrames(0.3));
    Svf band;
    band.setCutoff(1300.0f, 1.4f);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        // Three quick bursts (hands not quite together), then the room's tail.
        double env = 0.0;
        for (int burst = 0; burst < 3; ++burst) {
            double bt = t - burst * 0.011;
            if (bt >= 0.0) env = std::max(env, std::exp(-bt / 0.005));
        }
        if (t > 0.022) env = std::max(env, 0.55 * std::exp(-(t - 0.022) / 0.07));
        band.run(rng.next());
        out[i] = 2.2f * band.band * static_cast<float>(env);
    }
    shapeEdges(out, 0.0008, 0.05);
    return out;
}

std::vector<float> renderHat(Rng& rng, double decaySeconds) {
    std::vector<float> out(secondsToFrames(decaySeconds * 5.0 + 0.01));
    Svf high;
    high.setCutoff(7200.0f, 0.8f);
    Metal metal;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        high.run(0.6f * rng.next() + 0.8f * metal.next());
        out[i] = high.high * static_cast<float>(std::exp(-t / decaySeconds));
    }
    shapeEdges(out, 0.0006, std::min(0.03, decaySeconds));
    return out;
}

StereoBuffer renderCrash(Rng& rng, double decaySeconds) {
    StereoBuffer out(secondsToFrames(decaySeconds * 4.0));
    Svf highL, highR;
    highL.setCutoff(4200.0f, 0.7f);
    highR.setCutoff(4600.0f, 0.7f);
    Metal metal;
    for (size_t i = 0; i < out.frames(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        float ring = 0.5f * metal.next();
        float env = static_cast<float>(std::exp(-t / decaySeconds) * (0.6 + 0.4 * std::exp(-t / 0.05)));
        highL.run(rng.next() + ring);
        highR.run(rng.next() + ring);
        out.left[i] = highL.high * env;
        out.right[i] = highR.high * env;
    }
    shapeEdges(out.left, 0.001, 0.3);
    shapeEdges(out.right, 0.001, 0.3);
    return out;
}

std::vector<float> renderBoom(double seconds) {
    std::vector<float> out(secondsToFrames(seconds));
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double hz = 34.0 + 40.0 * std::exp(-t / 0.25);
        phase += hz / kSampleRate;
        out[i] = static_cast<float>(std::sin(kTwoPi * phase) * std::exp(-t / (seconds * 0.35)));
    }
    shapeEdges(out, 0.004, seconds * 0.3);
    return out;
}

std::vector<float> renderZap() {
    std::vector<float> out(secondsToFrames(0.38));
    double carrier = 0.0, modulator = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double hz = 90.0 + 2600.0 * std::exp(-t / 0.06);
        modulator += hz * 0.51 / kSampleRate;
        carrier += hz / kSampleRate;
        double index = 2.5 * std::exp(-t / 0.1);
        out[i] = static_cast<float>(std::sin(kTwoPi * carrier + index * std::sin(kTwoPi * modulator)) *
                                    std::exp(-t / 0.11));
    }
    shapeEdges(out, 0.002, 0.08);
    return out;
}

StereoBuffer renderRiser(Rng& rng, double seconds) {
    StereoBuffer out(secondsToFrames(seconds));
    Svf bandL, bandR;
    for (size_t i = 0; i < out.frames(); ++i) {
        double x = static_cast<double>(i) / out.frames();  // 0 .. 1 along the rise
        if (i % 32 == 0) {
            float hz = static_cast<float>(250.0 * std::pow(40.0, x));
            bandL.setCutoff(hz, 2.5f);
            bandR.setCutoff(hz * 1.07f, 2.5f);
        }
        bandL.run(rng.next());
        bandR.run(rng.next());
        float env = static_cast<float>(x * x);
        out.left[i] = bandL.band * env;
        out.right[i] = bandR.band * env;
    }
    shapeEdges(out.left, 0.05, 0.03);
    shapeEdges(out.right, 0.05, 0.03);
    return out;
}

std::vector<float> renderBass(float note, double seconds, float brightness) {
    std::vector<float> out(secondsToFrames(seconds));
    const double hz = midiToHz(note);
    const double step = hz / kSampleRate;
    double phase = 0.0, subPhase = 0.0;
    Svf low;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        if (i % 16 == 0) {
            float env = static_cast<float>(std::exp(-t / 0.09));
            low.setCutoff(140.0f + (300.0f + 1400.0f * brightness) * env, 1.3f);
        }
        low.run(saw(phase, step));
        float sub = static_cast<float>(std::sin(kTwoPi * subPhase));
        out[i] = 0.7f * low.low + 0.55f * sub;
        phase = wrap(phase + step);
        subPhase = wrap(subPhase + step);
    }
    shapeEdges(out, 0.003, std::min(0.025, seconds * 0.3));
    return out;
}

StereoBuffer renderPadNote(Rng& rng, float note, double seconds, float cutoffHz, double attack,
                           double release) {
    StereoBuffer out(secondsToFrames(seconds + release));
    // Three saws per side, detuned differently left and right: the chorus that
    // makes the pad wide. Random start phases keep chords from phasing alike.
    const double cents[2][3] = {{-11.0, 0.0, 7.0}, {-6.0, 2.0, 12.0}};
    double phases[2][3];
    double steps[2][3];
    for (int side = 0; side < 2; ++side) {
        for (int v = 0; v < 3; ++v) {
            phases[side][v] = 0.5 + 0.5 * rng.next();
            steps[side][v] = midiToHz(note) * std::pow(2.0, cents[side][v] / 1200.0) / kSampleRate;
        }
    }
    Svf lowL, lowR;
    lowL.setCutoff(cutoffHz, 0.8f);
    lowR.setCutoff(cutoffHz, 0.8f);
    const size_t held = secondsToFrames(seconds);
    const size_t attackFrames = std::max<size_t>(secondsToFrames(attack), 1);
    const size_t releaseFrames = std::max<size_t>(secondsToFrames(release), 1);
    for (size_t i = 0; i < out.frames(); ++i) {
        float mix[2] = {0.0f, 0.0f};
        for (int side = 0; side < 2; ++side) {
            for (int v = 0; v < 3; ++v) {
                mix[side] += saw(phases[side][v], steps[side][v]);
                phases[side][v] = wrap(phases[side][v] + steps[side][v]);
            }
        }
        lowL.run(mix[0]);
        lowR.run(mix[1]);
        // Smooth attack to full level, hold, smooth release after the note.
        double env = 1.0;
        if (i < attackFrames) env = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / attackFrames);
        if (i >= held) {
            size_t r = std::min(i - held, releaseFrames);
            env *= 0.5 + 0.5 * std::cos(kPi * static_cast<double>(r) / releaseFrames);
        }
        out.left[i] = lowL.low * static_cast<float>(env) / 3.0f;
        out.right[i] = lowR.low * static_cast<float>(env) / 3.0f;
    }
    shapeEdges(out.left, 0.001, 0.01);
    shapeEdges(out.right, 0.001, 0.01);
    return out;
}

std::vector<float> renderPluck(float note, float brightness) {
    std::vector<float> out(secondsToFrames(0.5));
    const double step = midiToHz(note) / kSampleRate;
    double a = 0.0, b = 0.37;
    Svf low;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        if (i % 16 == 0) {
            low.setCutoff(static_cast<float>(300.0 + (600.0 + 5000.0 * brightness) * std::exp(-t / 0.07)), 1.1f);
        }
        low.run(0.6f * saw(a, step) + 0.4f * square(b, step * 1.003));
        out[i] = low.low * static_cast<float>(std::exp(-t / 0.16));
        a = wrap(a + step);
        b = wrap(b + step * 1.003);
    }
    shapeEdges(out, 0.002, 0.08);
    return out;
}

std::vector<float> renderLead(float note, double seconds) {
    std::vector<float> out(secondsToFrames(seconds + 0.08));
    const double hz = midiToHz(note);
    double a = 0.0, b = 0.5, c = 0.25;
    Svf low;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        // Vibrato fades in after the note has started, as a player would do.
        double depth = 0.004 * std::clamp((t - 0.18) / 0.25, 0.0, 1.0);
        double wobble = 1.0 + depth * std::sin(kTwoPi * 5.4 * t);
        double step = hz * wobble / kSampleRate;
        if (i % 16 == 0) low.setCutoff(static_cast<float>(1800.0 + 2600.0 * std::exp(-t / 0.12)), 1.2f);
        low.run(0.45f * saw(a, step * 1.0035) + 0.45f * saw(b, step * 0.9965) + 0.35f * square(c, step * 0.5));
        double env = t < seconds ? 0.8 + 0.2 * std::exp(-t / 0.1) : 0.8 * std::exp(-(t - seconds) / 0.025);
        out[i] = low.low * static_cast<float>(env);
        a = wrap(a + step * 1.0035);
        b = wrap(b + step * 0.9965);
        c = wrap(c + step * 0.5);
    }
    shapeEdges(out, 0.006, 0.03);
    return out;
}

std::vector<float> renderBell(float note, double seconds) {
    std::vector<float> out(secondsToFrames(seconds));
    const double hz = midiToHz(note);
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double index = 2.2 * std::exp(-t / 0.5);
        double mod = std::sin(kTwoPi * hz * 3.5 * t);
        out[i] = static_cast<float>(std::sin(kTwoPi * hz * t + index * mod) * std::exp(-t / (seconds * 0.3)));
    }
    shapeEdges(out, 0.003, seconds * 0.25);
    return out;
}

namespace {

// Freeverb-style tank: eight damped feedback combs in parallel, then four
// allpasses in series, per side; the right side's lines are a little longer,
// which decorrelates the sides and makes the tail wide.
struct Comb {
    std::vector<float> line;
    size_t index = 0;
    float store = 0.0f;
    float process(float in, float feedback, float damping) {
        float out = line[index];
        store = out * (1.0f - damping) + store * damping;
        line[index] = in + store * feedback;
        if (++index == line.size()) index = 0;
        return out;
    }
};

struct Allpass {
    std::vector<float> line;
    size_t index = 0;
    float process(float in) {
        float delayed = line[index];
        line[index] = in + delayed * 0.5f;
        if (++index == line.size()) index = 0;
        return delayed - in;
    }
};

void reverbSide(const std::vector<float>& in, std::vector<float>& out, int spread, float roomSize, float damping,
                float wet) {
    static const int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int kAllpasses[4] = {556, 441, 341, 225};
    Comb combs[8];
    Allpass allpasses[4];
    for (int i = 0; i < 8; ++i) combs[i].line.assign(static_cast<size_t>(kCombs[i] + spread), 0.0f);
    for (int i = 0; i < 4; ++i) allpasses[i].line.assign(static_cast<size_t>(kAllpasses[i] + spread), 0.0f);
    const float feedback = 0.7f + 0.28f * roomSize;
    for (size_t n = 0; n < in.size(); ++n) {
        float x = in[n] * 0.015f;
        float sum = 0.0f;
        for (Comb& comb : combs) sum += comb.process(x, feedback, damping);
        for (Allpass& allpass : allpasses) sum = allpass.process(sum);
        out[n] += wet * sum;
    }
}

}  // namespace

void addReverb(const StereoBuffer& send, StereoBuffer& out, float roomSize, float damping, float wet) {
    reverbSide(send.left, out.left, 0, roomSize, damping, wet);
    reverbSide(send.right, out.right, 23, roomSize, damping, wet);
}

void addPingPongDelay(const StereoBuffer& send, StereoBuffer& out, double delaySeconds, float feedback,
                      float wet) {
    const size_t length = std::max<size_t>(secondsToFrames(delaySeconds), 1);
    std::vector<float> lineL(length, 0.0f), lineR(length, 0.0f);
    float darkL = 0.0f, darkR = 0.0f;  // one-pole low-pass: each echo duller than the last
    size_t index = 0;
    for (size_t n = 0; n < send.frames(); ++n) {
        float outL = lineL[index];
        float outR = lineR[index];
        darkL += 0.35f * (outL - darkL);
        darkR += 0.35f * (outR - darkR);
        // The input enters on the left only; each echo then crosses sides.
        lineL[index] = 0.5f * (send.left[n] + send.right[n]) + darkR * feedback;
        lineR[index] = darkL * feedback;
        if (++index == length) index = 0;
        out.left[n] += wet * outL;
        out.right[n] += wet * outR;
    }
}
