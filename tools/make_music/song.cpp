#include "song.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStep = kBarSeconds / 16.0;  // one sixteenth note
constexpr int kLastBar = 70;                  // the outro's held chord

double stepTime(int bar, double step) { return barTime(bar) + step * kStep; }

// --- Harmony -------------------------------------------------------------

struct Chord {
    int bass;              // MIDI note of the bass
    std::vector<int> pad;  // MIDI notes of the pad voicing, low to high
};

// The groove's loop, i - VI - III - VII in D minor, voiced to move little.
const Chord kDm{38, {57, 62, 65, 69}};
const Chord kBb{34, {58, 62, 65, 69}};
const Chord kF{41, {57, 60, 65, 69}};
const Chord kC{36, {55, 60, 64, 67}};
// The dominant that leads into each drop.
const Chord kA{33, {57, 61, 64, 69}};
const Chord kA7{33, {57, 61, 64, 67}};
// The dream sections: the same functions with sevenths and ninths.
const Chord kGm9{31, {55, 58, 62, 65, 69}};
const Chord kBbmaj9{34, {58, 62, 65, 69, 72}};
const Chord kFmaj7{33, {53, 57, 60, 64, 69}};
const Chord kCsus2{36, {55, 60, 62, 67, 74}};

enum class Part { Intro, Groove, Dream, Outro };

struct Section {
    int firstBar;
    int lastBar;
    Part part;
};

const Section kSections[] = {
    {0, 10, Part::Intro},  {11, 26, Part::Groove}, {27, 34, Part::Dream},  {35, 50, Part::Groove},
    {51, 58, Part::Dream}, {59, 66, Part::Groove}, {67, kLastBar, Part::Outro},
};

const Section& sectionOf(int bar) {
    for (const Section& s : kSections) {
        if (bar >= s.firstBar && bar <= s.lastBar) return s;
    }
    return kSections[0];
}

// Bars in which everything stops after beat three: the breath before a drop.
bool isBuildBar(int bar) { return bar == kHitBar - 1 || bar == 58; }

const Chord& chordOf(int bar) {
    const Section& s = sectionOf(bar);
    const int i = bar - s.firstBar;
    switch (s.part) {
        case Part::Intro: {
            static const Chord* intro[11] = {&kDm, &kDm, &kBb, &kBb, &kF, &kF, &kC, &kC, &kDm, &kBb, &kA};
            return *intro[i];
        }
        case Part::Groove: {
            static const Chord* loop[4] = {&kDm, &kBb, &kF, &kC};
            return *loop[i % 4];
        }
        case Part::Dream: {
            if (bar == 58) return kA7;
            static const Chord* dream[4] = {&kGm9, &kBbmaj9, &kFmaj7, &kCsus2};
            return *dream[(i / 2) % 4];
        }
        case Part::Outro: {
            static const Chord* outro[4] = {&kDm, &kBb, &kF, &kDm};
            return *outro[std::min(i, 3)];
        }
    }
    return kDm;
}

// --- The motif -----------------------------------------------------------

struct Note {
    int step;    // sixteenth within the bar
    int length;  // in sixteenths
    int pitch;   // MIDI note
};

// One bar per chord of the loop. Every bar opens with the same syncopation,
// dotted eighth, dotted eighth, eighth (3 + 3 + 2): that rhythm is the hook.
const std::vector<Note> kMotif[4] = {
    {{0, 3, 69}, {3, 3, 74}, {6, 2, 77}, {8, 2, 76}, {10, 2, 74}, {12, 2, 72}, {14, 2, 69}},  // over Dm
    {{0, 3, 74}, {3, 3, 77}, {6, 2, 81}, {8, 4, 79}, {12, 4, 77}},                           // over Bb
    {{0, 3, 77}, {3, 3, 76}, {6, 2, 72}, {8, 4, 69}, {12, 2, 72}, {14, 2, 74}},              // over F
    {{0, 3, 76}, {3, 3, 79}, {6, 2, 76}, {8, 8, 74}},                                        // over C: a question
};
// The answer that ends every eight-bar phrase, settling on C.
const std::vector<Note> kMotifAnswer = {{0, 3, 79}, {3, 3, 76}, {6, 2, 74}, {8, 8, 72}};

const std::vector<Note>& motifBar(int loopIndex, bool phraseEnd) {
    if (phraseEnd && loopIndex == 3) return kMotifAnswer;
    return kMotif[loopIndex % 4];
}

// The part of a motif bar that falls into one of the two bars it covers when
// played at half speed.
std::vector<Note> halfSpeed(const std::vector<Note>& notes, int half) {
    std::vector<Note> out;
    for (const Note& n : notes) {
        const int start = n.step * 2 - half * 16;
        if (start >= 0 && start < 16) out.push_back({start, n.length * 2, n.pitch});
    }
    return out;
}

// --- Mixing buses --------------------------------------------------------

struct Mix {
    StereoBuffer dry;     // drums, lead, effects: never ducked
    StereoBuffer ducked;  // bass, pads, arpeggio: pumped by the kick
    StereoBuffer reverbSend;
    StereoBuffer delaySend;
    std::vector<float> duck;  // gain of the ducked bus, per frame

    explicit Mix(size_t frames)
        : dry(frames), ducked(frames), reverbSend(frames), delaySend(frames), duck(frames, 1.0f) {}
};

// One sound into a bus plus its effect sends.
void place(Mix& mix, StereoBuffer& bus, const std::vector<float>& sound, double time, float gain, float pan,
           float reverb, float delay) {
    addMono(bus, sound, time, gain, pan);
    if (reverb > 0.0f) addMono(mix.reverbSend, sound, time, gain * reverb, pan);
    if (delay > 0.0f) addMono(mix.delaySend, sound, time, gain * delay, pan);
}

// The kick pushes the ducked bus down, smoothly: a 5 ms dip, then recovery.
void duckUnderKick(Mix& mix, double time, float depth) {
    const size_t start = secondsToFrames(time);
    const size_t length = secondsToFrames(0.4);
    const size_t dip = secondsToFrames(0.005);
    for (size_t i = 0; i < length && start + i < mix.duck.size(); ++i) {
        double t = static_cast<double>(i) / kSampleRate;
        double shape = i < dip ? 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / dip)
                               : std::exp(-(t - 0.005) / 0.1);
        // Fade the last part to exactly nothing so the next kick takes over smoothly.
        shape *= std::min(1.0, static_cast<double>(length - i) / secondsToFrames(0.05));
        mix.duck[start + i] = std::min(mix.duck[start + i], static_cast<float>(1.0 - depth * shape));
    }
}

// --- The drummer ---------------------------------------------------------

struct Kit {
    Rng rng{0x5eed0001u};
    std::vector<float> kick = renderKick(1.0f);
    std::vector<float> softKick = renderKick(0.5f);
    std::vector<std::vector<float>> snares, claps, closedHats, openHats;

    Kit() {
        for (int i = 0; i < 4; ++i) {
            snares.push_back(renderSnare(rng, 180.0f + 6.0f * i));
            claps.push_back(renderClap(rng));
            closedHats.push_back(renderHat(rng, 0.028 + 0.004 * i));
            openHats.push_back(renderHat(rng, 0.16 + 0.02 * i));
        }
    }
};

// A little swing: the off sixteenths come late, which is most of the groove.
double swung(int bar, int step) { return stepTime(bar, step + (step % 2 ? 0.09 : 0.0)); }

void playKick(Mix& mix, const Kit& kit, double time, float gain, float duckDepth) {
    place(mix, mix.dry, kit.kick, time, gain, 0.0f, 0.03f, 0.0f);
    if (duckDepth > 0.0f) duckUnderKick(mix, time, duckDepth);
}

void playBackbeat(Mix& mix, const Kit& kit, double time, int variant, float gain) {
    place(mix, mix.dry, kit.snares[static_cast<size_t>(variant) % 4], time, 0.8f * gain, -0.05f, 0.25f, 0.0f);
    place(mix, mix.dry, kit.claps[static_cast<size_t>(variant) % 4], time + 0.004, gain, 0.08f, 0.35f, 0.0f);
}

void snareRoll(Mix& mix, const Kit& kit, int bar, int steps, float from, float to) {
    for (int s = 0; s < steps; ++s) {
        float gain = from + (to - from) * static_cast<float>(s) / std::max(1, steps - 1);
        place(mix, mix.dry, kit.snares[static_cast<size_t>(s) % 4], stepTime(bar, s), gain,
              (s % 2 ? 0.15f : -0.15f), 0.3f, 0.0f);
    }
}

void grooveBar(Mix& mix, const Kit& kit, int bar, bool fill) {
    for (int beat = 0; beat < 4; ++beat) playKick(mix, kit, stepTime(bar, beat * 4), 0.9f, 0.55f);
    if (fill) {
        playBackbeat(mix, kit, stepTime(bar, 4), bar, 0.42f);
        for (int s = 12; s < 16; ++s) {
            place(mix, mix.dry, kit.snares[static_cast<size_t>(s) % 4], stepTime(bar, s), 0.22f + 0.05f * (s - 12),
                  0.0f, 0.3f, 0.0f);
        }
    } else {
        playBackbeat(mix, kit, stepTime(bar, 4), bar, 0.42f);
        playBackbeat(mix, kit, stepTime(bar, 12), bar + 1, 0.42f);
    }
    static const float kHatAccent[4] = {0.3f, 0.17f, 0.0f, 0.25f};
    for (int s = 0; s < 16; ++s) {
        const size_t variant = static_cast<size_t>(bar * 16 + s) % 4;
        if (s % 4 == 2) {
            place(mix, mix.dry, kit.openHats[variant], swung(bar, s), 0.26f, -0.3f, 0.1f, 0.0f);
        } else {
            place(mix, mix.dry, kit.closedHats[variant], swung(bar, s), kHatAccent[s % 4], 0.35f, 0.05f, 0.0f);
        }
    }
}

// Half time: the snare on beat three, the kick around it, loose hats.
void halfTimeBar(Mix& mix, const Kit& kit, int bar, float level) {
    playKick(mix, kit, stepTime(bar, 0), 0.85f * level, 0.35f);
    playKick(mix, kit, stepTime(bar, 10), 0.6f * level, 0.25f);
    playBackbeat(mix, kit, stepTime(bar, 8), bar, 0.38f * level);
    place(mix, mix.dry, kit.snares[1], swung(bar, 15), 0.07f * level, 0.2f, 0.3f, 0.0f);
    for (int s = 0; s < 16; s += 2) {
        const size_t variant = static_cast<size_t>(bar + s) % 4;
        place(mix, mix.dry, kit.closedHats[variant], swung(bar, s), (s % 4 ? 0.07f : 0.11f) * level, 0.3f, 0.15f,
              0.0f);
        place(mix, mix.dry, kit.closedHats[(variant + 1) % 4], swung(bar, s + 1), 0.035f * level, -0.35f, 0.1f, 0.0f);
    }
}

// A drop: the kick, a sub drop, a crash; the first drop also zaps.
void playDrop(Mix& mix, Kit& kit, int bar, bool zap) {
    const double t = barTime(bar);
    place(mix, mix.dry, renderBoom(1.8), t, 0.55f, 0.0f, 0.0f, 0.0f);
    addStereo(mix.dry, renderCrash(kit.rng, 1.3), t, 0.3f);
    addStereo(mix.reverbSend, renderCrash(kit.rng, 0.8), t, 0.2f);
    if (zap) place(mix, mix.dry, renderZap(), t, 0.22f, 0.0f, 0.4f, 0.3f);
    place(mix, mix.dry, kit.claps[0], t + 0.004, 0.35f, 0.0f, 0.5f, 0.0f);
}

void playDrums(Mix& mix, Kit& kit) {
    for (int bar = 0; bar <= kLastBar; ++bar) {
        const Section& s = sectionOf(bar);
        const int i = bar - s.firstBar;
        switch (s.part) {
            case Part::Intro:
                // Hats far away as the camera sinks, a heartbeat kick, then the roll.
                if (bar >= 6 && bar <= 9) {
                    for (int st = 2; st < 16; st += 4) {
                        place(mix, mix.dry, kit.closedHats[static_cast<size_t>(st / 4)], swung(bar, st),
                              0.04f + 0.01f * (bar - 6), 0.3f, 0.4f, 0.2f);
                    }
                }
                if (bar == 8 || bar == 9) {
                    place(mix, mix.dry, kit.softKick, stepTime(bar, 0), 0.4f, 0.0f, 0.1f, 0.0f);
                    place(mix, mix.dry, kit.softKick, stepTime(bar, 8), 0.35f, 0.0f, 0.1f, 0.0f);
                }
                if (isBuildBar(bar)) snareRoll(mix, kit, bar, 12, 0.04f, 0.17f);
                break;
            case Part::Groove:
                if (i == 0) playDrop(mix, kit, bar, bar == kHitBar);
                else if (i % 8 == 0) addStereo(mix.dry, renderCrash(kit.rng, 1.0), barTime(bar), 0.22f);
                grooveBar(mix, kit, bar, i % 8 == 7);
                break;
            case Part::Dream:
                if (bar >= 51 && bar <= 54) {
                    // The breakdown: no kick, a faint shaker coming back in.
                    if (bar >= 53) {
                        for (int st = 0; st < 16; st += 2) {
                            place(mix, mix.dry, kit.closedHats[static_cast<size_t>(st / 2) % 4], swung(bar, st),
                                  0.05f, 0.3f, 0.3f, 0.1f);
                        }
                    }
                } else if (isBuildBar(bar)) {
                    snareRoll(mix, kit, bar, 12, 0.06f, 0.22f);
                } else {
                    if (i == 0) addStereo(mix.dry, renderCrash(kit.rng, 1.6), barTime(bar), 0.16f);
                    halfTimeBar(mix, kit, bar, 1.0f);
                }
                break;
            case Part::Outro:
                if (i == 0) {
                    playKick(mix, kit, barTime(bar), 0.8f, 0.0f);
                    place(mix, mix.dry, renderBoom(2.5), barTime(bar), 0.4f, 0.0f, 0.0f, 0.0f);
                    addStereo(mix.dry, renderCrash(kit.rng, 2.0), barTime(bar), 0.28f);
                }
                if (i <= 1) {
                    for (int st = 2; st < 16; st += 4) {
                        place(mix, mix.dry, kit.closedHats[static_cast<size_t>(st / 4)], swung(bar, st),
                              0.07f - 0.03f * i, 0.3f, 0.4f, 0.2f);
                    }
                }
                break;
        }
    }
    // The risers into both drops, ending where the silent beat begins.
    const double riserEnds[2] = {stepTime(kHitBar - 1, 12), stepTime(58, 12)};
    const double riserStarts[2] = {barTime(8), barTime(57)};
    for (int r = 0; r < 2; ++r) {
        StereoBuffer riser = renderRiser(kit.rng, riserEnds[r] - riserStarts[r]);
        addStereo(mix.dry, riser, riserStarts[r], 0.12f);
        addStereo(mix.reverbSend, riser, riserStarts[r], 0.1f);
    }
}

// --- The players ---------------------------------------------------------

void playPads(Mix& mix) {
    Rng rng(0x5eed0002u);
    int bar = 0;
    while (bar <= kLastBar) {
        // A chord is held for as many bars as it repeats within a section.
        const Chord& chord = chordOf(bar);
        const Section& s = sectionOf(bar);
        int end = bar + 1;
        while (end <= s.lastBar && &chordOf(end) == &chord && !isBuildBar(end)) ++end;

        double start = barTime(bar);
        double length = barTime(end) - start;
        double attack = 0.08, release = 0.7;
        float cutoff = 2600.0f, gain = 0.15f, reverb = 0.35f;
        switch (s.part) {
            case Part::Intro:
                // The pads open up as the camera comes down into the streets.
                attack = 1.0;
                release = 1.2;
                cutoff = 500.0f + 220.0f * bar;
                gain = 0.22f;
                reverb = 0.6f;
                if (bar == 0) {  // the very first swell starts with the track
                    start = 0.0;
                    length = barTime(end);
                    attack = 2.5;
                }
                break;
            case Part::Groove:
                if (bar == s.firstBar) attack = 0.01;
                break;
            case Part::Dream:
                attack = 0.7;
                release = 1.6;
                cutoff = 1700.0f;
                gain = 0.2f;
                reverb = 0.7f;
                break;
            case Part::Outro:
                attack = 0.4;
                release = 2.0;
                cutoff = std::max(700.0f, 2200.0f - 450.0f * (bar - kOutroBar));
                gain = 0.2f;
                reverb = 0.7f;
                if (end > kLastBar) length = kFadeEndSeconds - start;
                break;
        }
        if (isBuildBar(bar)) {
            length = 3 * kBarSeconds / 4;  // out at beat three: the silent beat
            release = 0.15;
        }
        for (int note : chord.pad) {
            StereoBuffer voice = renderPadNote(rng, static_cast<float>(note), length, cutoff, attack, release);
            addStereo(mix.ducked, voice, start, gain);
            addStereo(mix.reverbSend, voice, start, gain * reverb);
        }
        bar = end;
    }
}

void playBass(Mix& mix) {
    for (int bar = kHitBar; bar < kOutroBar; ++bar) {
        const Section& s = sectionOf(bar);
        const float root = static_cast<float>(chordOf(bar).bass);
        if (s.part == Part::Groove) {
            // Off-beat eighths with an octave jump and a fifth that pulls onward.
            static const Note kLine[5] = {{2, 2, 0}, {6, 2, 0}, {10, 2, 12}, {13, 1, 0}, {14, 2, 7}};
            for (const Note& n : kLine) {
                std::vector<float> note = renderBass(root + n.pitch, n.length * kStep * 0.85, 0.55f);
                place(mix, mix.ducked, note, stepTime(bar, n.step), 0.5f, 0.0f, 0.0f, 0.0f);
            }
        } else if (s.part == Part::Dream && !(bar >= 51 && bar <= 54) && !isBuildBar(bar)) {
            std::vector<float> low = renderBass(root, 9 * kStep, 0.15f);
            std::vector<float> fifth = renderBass(root + 7.0f, 5 * kStep, 0.15f);
            place(mix, mix.ducked, low, stepTime(bar, 0), 0.55f, 0.0f, 0.0f, 0.0f);
            place(mix, mix.ducked, fifth, stepTime(bar, 10), 0.45f, 0.0f, 0.0f, 0.0f);
        }
    }
}

void playArpeggio(Mix& mix) {
    static const int kPattern[16] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2, 1};
    for (int bar = 2; bar <= kLastBar; ++bar) {
        const Section& s = sectionOf(bar);
        std::vector<int> tones = chordOf(bar).pad;
        tones.push_back(tones.front() + 12);
        float gain = 0.09f, brightness = 0.55f;
        int stride = 1;
        switch (s.part) {
            case Part::Intro:
                gain = 0.15f;
                brightness = 0.1f + 0.07f * bar;
                break;
            case Part::Groove:
                break;
            case Part::Dream:
                gain = 0.13f;
                brightness = 0.8f;
                stride = 2;
                break;
            case Part::Outro:
                gain = 0.14f;
                brightness = std::max(0.1f, 0.6f - 0.15f * (bar - kOutroBar));
                break;
        }
        const int lastStep = isBuildBar(bar) ? 11 : 15;
        for (int st = 0; st <= lastStep; st += stride) {
            const size_t index = std::min(static_cast<size_t>(kPattern[st]), tones.size() - 1);
            std::vector<float> note = renderPluck(static_cast<float>(tones[index] + 12), brightness);
            float accent = st % 2 ? 0.7f : 1.0f;
            place(mix, mix.ducked, note, swung(bar, st), gain * accent, st % 2 ? 0.45f : -0.45f, 0.3f, 0.35f);
        }
    }
}

void playNotes(Mix& mix, const std::vector<Note>& notes, int bar, int transpose, bool bell, float gain) {
    for (const Note& n : notes) {
        const float pitch = static_cast<float>(n.pitch + transpose);
        const double time = stepTime(bar, n.step);
        if (bell) {
            place(mix, mix.dry, renderBell(pitch, std::max(1.2, n.length * kStep * 2.0)), time, gain, -0.2f, 0.5f,
                  0.45f);
        } else {
            place(mix, mix.dry, renderLead(pitch, n.length * kStep * 0.92), time, gain, 0.1f, 0.25f, 0.3f);
        }
    }
}

void playMelody(Mix& mix) {
    // The intro's bell states the motif slowly, then at full speed into the drop.
    playNotes(mix, halfSpeed(kMotif[2], 0), 4, 0, true, 0.16f);
    playNotes(mix, halfSpeed(kMotif[2], 1), 5, 0, true, 0.16f);
    playNotes(mix, halfSpeed(kMotif[3], 0), 6, 0, true, 0.17f);
    playNotes(mix, halfSpeed(kMotif[3], 1), 7, 0, true, 0.17f);
    playNotes(mix, kMotif[0], 8, 0, true, 0.18f);
    playNotes(mix, kMotif[1], 9, 0, true, 0.18f);

    for (int bar = kHitBar; bar < kOutroBar; ++bar) {
        const Section& s = sectionOf(bar);
        const int i = bar - s.firstBar;
        if (s.part == Part::Groove) {
            if (bar < 19) continue;  // the first phrase of the groove leaves room
            const std::vector<Note>& notes = motifBar(i % 4, i % 8 == 7);
            playNotes(mix, notes, bar, 0, false, 0.26f);
            if (bar >= 59) playNotes(mix, notes, bar, 12, false, 0.09f);
        } else if (s.part == Part::Dream && !isBuildBar(bar)) {
            const std::vector<Note> notes = halfSpeed(kMotif[(i / 2) % 4], i % 2);
            const bool breakdown = bar >= 51;
            playNotes(mix, notes, bar, 0, breakdown, breakdown ? 0.17f : 0.15f);
        }
    }

    // The outro: the motif once more on the bell, and one last long note.
    playNotes(mix, kMotif[0], kOutroBar, 0, true, 0.17f);
    playNotes(mix, kMotif[1], kOutroBar + 1, 0, true, 0.15f);
    playNotes(mix, halfSpeed(kMotif[2], 0), kOutroBar + 2, 0, true, 0.13f);
    place(mix, mix.dry, renderBell(74.0f, 3.0), barTime(kLastBar), 0.13f, -0.2f, 0.6f, 0.45f);
}

// --- Master --------------------------------------------------------------

float masterFade(double t) {
    constexpr double kFadeStart = 128.5;
    if (t <= kFadeStart) return 1.0f;
    if (t >= kFadeEndSeconds) return 0.0f;
    return static_cast<float>(0.5 + 0.5 * std::cos(kPi * (t - kFadeStart) / (kFadeEndSeconds - kFadeStart)));
}

}  // namespace

StereoBuffer renderSong() {
    const size_t frames = secondsToFrames(kTrackSeconds);
    Mix mix(frames);
    Kit kit;
    playDrums(mix, kit);
    playPads(mix);
    playBass(mix);
    playArpeggio(mix);
    playMelody(mix);

    // Echoes of the delay also go into the room.
    StereoBuffer echoes(frames);
    addPingPongDelay(mix.delaySend, echoes, 3 * kStep, 0.45f, 0.8f);
    for (size_t n = 0; n < frames; ++n) {
        mix.reverbSend.left[n] += 0.3f * echoes.left[n];
        mix.reverbSend.right[n] += 0.3f * echoes.right[n];
    }
    StereoBuffer out(frames);
    addReverb(mix.reverbSend, out, 0.85f, 0.35f, 2.5f);

    float peak = 0.0f;
    for (size_t n = 0; n < frames; ++n) {
        out.left[n] += mix.dry.left[n] + echoes.left[n] + mix.duck[n] * mix.ducked.left[n];
        out.right[n] += mix.dry.right[n] + echoes.right[n] + mix.duck[n] * mix.ducked.right[n];
        peak = std::max({peak, std::fabs(out.left[n]), std::fabs(out.right[n])});
    }

    // Normalise, round off the few highest peaks, fade the end, and leave
    // 2 dB of headroom for what the MP3 encoder adds to the peaks.
    const float headroom = std::pow(10.0f, -2.0f / 20.0f);
    const float drive = 1.3f;
    const float scale = peak > 0.0f ? 1.0f / peak : 1.0f;
    for (size_t n = 0; n < frames; ++n) {
        const float fade = masterFade(static_cast<double>(n) / kSampleRate);
        out.left[n] = headroom * fade * std::tanh(drive * scale * out.left[n]) / std::tanh(drive);
        out.right[n] = headroom * fade * std::tanh(drive * scale * out.right[n]) / std::tanh(drive);
    }
    return out;
}
