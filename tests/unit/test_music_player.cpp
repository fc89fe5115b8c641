// The music player, heard through OpenAL Soft's wave-file output: play_music
// runs the demo's initMusic and playMusic in a child process whose OpenAL
// configuration writes the mixed output to a WAV file instead of a device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "mp3_encoder.h"
#include "test_support.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// What OpenAL Soft wrote: interleaved samples at full scale 1.
struct Capture {
    int channels = 0;
    int rate = 0;
    std::vector<float> samples;

    size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
    float at(size_t frame, int channel) const { return samples[frame * static_cast<size_t>(channels) + channel]; }
};

uint32_t le32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
    return v;
}
uint16_t le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

// The wave writer fixes the chunk sizes only when the device is closed, and
// the demo never closes it: the data chunk runs to the end of the file.
bool readCapture(const std::string& path, Capture& out) {
    const std::string file = readFile(path);
    if (file.size() < 12 || file.compare(0, 4, "RIFF") != 0 || file.compare(8, 4, "WAVE") != 0) return false;
    int format = 0, bits = 0;
    for (size_t pos = 12; pos + 8 <= file.size();) {
        const std::string id = file.substr(pos, 4);
        const uint32_t size = le32(file, pos + 4);
        if (id == "fmt ") {
            format = le16(file, pos + 8);
            out.channels = le16(file, pos + 10);
            out.rate = static_cast<int>(le32(file, pos + 12));
            bits = le16(file, pos + 22);
            if (format == 0xfffe) format = le16(file, pos + 32);  // extensible: the sub-format's tag
        } else if (id == "data") {
            const size_t start = pos + 8;
            const size_t bytes = file.size() - start;
            if (format == 3 && bits == 32) {
                out.samples.resize(bytes / 4);
                std::memcpy(out.samples.data(), file.data() + start, out.samples.size() * 4);
            } else if (format == 1 && bits == 16) {
                out.samples.resize(bytes / 2);
                for (size_t i = 0; i < out.samples.size(); ++i) {
                    out.samples[i] = static_cast<int16_t>(le16(file, start + 2 * i)) / 32768.0f;
                }
            } else {
                return false;
            }
            return out.channels > 0;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

// An OpenAL Soft configuration for the child: the given drivers, and where
// the wave writer puts its file. Float output at 44.1 kHz: no resampling, no
// dithering, so the capture can be compared sample by sample.
std::string writeConfig(const std::string& dir, const std::string& drivers, const std::string& wavePath) {
    const std::string path = dir + "/alsoft.conf";
    writeFile(path, "[general]\ndrivers = " + drivers + "\nfrequency = 44100\nchannels = stereo\n"
                    "sample-type = float32\n[wave]\nfile = " + wavePath + "\n");
    return path;
}

ProcessResult runPlayer(const std::string& dir, const std::string& config, double seconds) {
    return runProgram(PLAY_MUSIC_BINARY, dir, seconds + 20.0,
                      {"ALSOFT_CONF=" + config, "ALSOFT_DRIVERS=", "ALSOFT_LOGLEVEL=0"},
                      {std::to_string(seconds)});
}

// A clip with different music on each side: a chord on the left, a rising
// tone on the right, soft edges, a clear start.
void makeClip(double seconds, std::vector<float>& left, std::vector<float>& right) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double edge = std::min({1.0, t / 0.005, (seconds - t) / 0.02});
        double swell = 0.6 + 0.4 * std::sin(2.0 * kPi * 1.3 * t);
        left[i] = static_cast<float>(edge * swell * 0.3 *
                                     (std::sin(2.0 * kPi * 220.0 * t) + 0.5 * std::sin(2.0 * kPi * 330.0 * t)));
        right[i] = static_cast<float>(edge * 0.4 * std::sin(2.0 * kPi * (400.0 * t + 60.0 * t * t)));
    }
}

// Puts the clip where the player looks for it, and gives back what a decoder
// makes of it: the reference the capture must match.
DecodedAudio installTrack(const std::string& dir, const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<unsigned char> mp3;
    EXPECT_TRUE(encodeMp3(left, right, kRate, mp3));
    writeFile(dir + "/sound/Quillon.mp3", std::string(mp3.begin(), mp3.end()));
    DecodedAudio decoded;
    EXPECT_TRUE(decodeMp3File(dir + "/sound/Quillon.mp3", decoded));
    return decoded;
}

// Where the track starts in the capture: the first clearly audible frame,
// refined by the best match over the first half second.
size_t findStart(const Capture& capture, const DecodedAudio& track) {
    size_t coarse = 0;
    while (coarse < capture.frames() && std::fabs(capture.at(coarse, 0)) < 1e-3f) ++coarse;
    size_t trackCoarse = 0;
    while (trackCoarse < track.frameCount() && std::abs(track.samples[trackCoarse * 2]) < 0.004 * 32768) ++trackCoarse;
    const long guess = static_cast<long>(coarse) - static_cast<long>(trackCoarse);
    long best = guess;
    double bestScore = -1e30;
    for (long lag = std::max(0L, guess - 300); lag <= guess + 300; ++lag) {
        double score = 0.0;
        for (size_t f = 0; f < static_cast<size_t>(kRate / 2) && f + static_cast<size_t>(lag) < capture.frames(); ++f) {
            score += capture.at(f + static_cast<size_t>(lag), 0) * (track.samples[f * 2] / 32768.0);
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return static_cast<size_t>(std::max(0L, best));
}

float peakFrom(const Capture& capture, size_t firstFrame) {
    float peak = 0.0f;
    for (size_t i = firstFrame * static_cast<size_t>(capture.channels); i < capture.samples.size(); ++i) {
        peak = std::max(peak, std::fabs(capture.samples[i]));
    }
    return peak;
}

TEST(MusicPlayer, PlaysTheTrackOnceAtAQuarterOfFullVolume) {
    const std::string dir = makeScratchDir("player");
    std::vector<float> left, right;
    makeClip(2.5, left, right);
    const DecodedAudio track = installTrack(dir, left, right);
    ASSERT_EQ(track.channels, 2);

    ProcessResult run = runPlayer(dir, writeConfig(dir, "wave", dir + "/out.wav"), 4.5);
    ASSERT_TRUE(run.exited) << run.output;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(countOccurrences(run.output, "sound/Quillon.mp3 loaded!\n"), 1) << run.output;
    EXPECT_EQ(run.output.find("Could not"), std::string::npos) << run.output;

    Capture capture;
    ASSERT_TRUE(readCapture(dir + "/out.wav", capture));
    ASSERT_EQ(capture.channels, 2);
    ASSERT_EQ(capture.rate, kRate);
    const size_t start = findStart(capture, track);
    EXPECT_LT(start, static_cast<size_t>(kRate / 2)) << "the track should start at once";
    ASSERT_GT(capture.frames(), start + track.frameCount() + kRate) << "the capture is too short to judge";

    // Per side: the capture is the track times a gain. Least squares gives
    // the gain; what is left over must be tiny.
    for (int channel = 0; channel < 2; ++channel) {
        double xy = 0.0, yy = 0.0, xx = 0.0;
        for (size_t f = 0; f < track.frameCount(); ++f) {
            double y = track.samples[f * 2 + static_cast<size_t>(channel)] / 32768.0;
            double x = capture.at(start + f, channel);
            xy += x * y;
            yy += y * y;
            xx += x * x;
        }
        const double gain = xy / yy;
        const double residual = std::sqrt(std::max(0.0, xx - 2.0 * gain * xy + gain * gain * yy) / yy);
        EXPECT_NEAR(gain, 0.25, 0.01) << "channel " << channel;
        EXPECT_NEAR(std::sqrt(xx / yy), 0.25, 0.01) << "RMS ratio, channel " << channel;
        EXPECT_LT(residual, 0.25 * 0.05) << "channel " << channel << " differs from the track";
    }

    // Once: silence after the track's end, no second round.
    EXPECT_LT(peakFrom(capture, start + track.frameCount() + kRate / 20), 1e-4f);
}

TEST(MusicPlayer, MonoTrackPlaysOnBothSides) {
    const std::string dir = makeScratchDir("player");
    std::vector<float> left, right;
    makeClip(1.5, left, right);
    const DecodedAudio track = installTrack(dir, left, {});
    ASSERT_EQ(track.channels, 1);

    ProcessResult run = runPlayer(dir, writeConfig(dir, "wave", dir + "/out.wav"), 3.0);
    EXPECT_EQ(countOccurrences(run.output, "sound/Quillon.mp3 loaded!\n"), 1) << run.output;
    Capture capture;
    ASSERT_TRUE(readCapture(dir + "/out.wav", capture));
    ASSERT_EQ(capture.channels, 2);
    double energy[2] = {0.0, 0.0};
    for (size_t f = 0; f < capture.frames(); ++f) {
        for (int c = 0; c < 2; ++c) energy[c] += capture.at(f, c) * capture.at(f, c);
    }
    EXPECT_GT(energy[0], 0.0);
    EXPECT_NEAR(energy[0] / energy[1], 1.0, 0.05) << "a mono track sits in the middle";
}

TEST(MusicPlayer, MissingOrUnreadableTrackPlaysNothing) {
    // A missing file, an empty one, one that is text: each fails to load, and
    // then to play, with the two messages in this order, and nothing is heard.
    for (const std::string& contents : {std::string("<missing>"), std::string(), std::string("not music\n")}) {
        const std::string dir = makeScratchDir("player");
        if (contents != "<missing>") writeFile(dir + "/sound/Quillon.mp3", contents);
        ProcessResult run = runPlayer(dir, writeConfig(dir, "wave", dir + "/out.wav"), 0.5);
        ASSERT_TRUE(run.exited) << run.output;
        EXPECT_EQ(run.exitCode, 0);
        const size_t loadLine = run.output.find("sound/Quillon.mp3 could not be loaded!\n");
        const size_t playLine = run.output.find("Could not play sound!\n");
        ASSERT_NE(loadLine, std::string::npos) << run.output;
        ASSERT_NE(playLine, std::string::npos) << run.output;
        EXPECT_LT(loadLine, playLine);
        EXPECT_EQ(run.output.find("Could not create"), std::string::npos) << run.output;

        Capture capture;
        ASSERT_TRUE(readCapture(dir + "/out.wav", capture)) << "the device itself was working";
        EXPECT_EQ(peakFrom(capture, 0), 0.0f) << "something was played";
    }
}

TEST(MusicPlayer, DamagedTrackPlaysWhatDecodes) {
    const std::string dir = makeScratchDir("player");
    std::vector<float> left, right;
    makeClip(1.5, left, right);
    installTrack(dir, left, right);
    std::string mp3 = readFile(dir + "/sound/Quillon.mp3");
    for (size_t i = 0; i < 700; ++i) mp3[mp3.size() / 2 + i] = static_cast<char>(0x33 + i % 17);
    writeFile(dir + "/sound/Quillon.mp3", mp3);

    ProcessResult run = runPlayer(dir, writeConfig(dir, "wave", dir + "/out.wav"), 2.5);
    ASSERT_TRUE(run.exited) << run.output;
    EXPECT_EQ(countOccurrences(run.output, "sound/Quillon.mp3 loaded!\n"), 1) << run.output;
    Capture capture;
    ASSERT_TRUE(readCapture(dir + "/out.wav", capture));
    // Both ends of the clip are heard: something in its last quarter second.
    size_t last = 0;
    for (size_t f = 0; f < capture.frames(); ++f) {
        if (std::fabs(capture.at(f, 0)) > 0.01f) last = f;
    }
    EXPECT_GT(static_cast<double>(last) / kRate, 1.25);
}

TEST(MusicPlayer, NoSoundSystemReportsEachStepAndGoesOn) {
    const std::string dir = makeScratchDir("player");
    std::vector<float> left, right;
    makeClip(0.5, left, right);
    installTrack(dir, left, right);  // the file is there; the device is not

    ProcessResult run = runPlayer(dir, writeConfig(dir, "no-such-backend", dir + "/out.wav"), 0.2);
    ASSERT_TRUE(run.exited) << "crashed or hung: " << run.output;
    EXPECT_EQ(run.exitCode, 0);
    const size_t create = run.output.find("Could not create FMOD sound system!\n");
    const size_t load = run.output.find("sound/Quillon.mp3 could not be loaded!\n");
    const size_t play = run.output.find("Could not play sound!\n");
    ASSERT_NE(create, std::string::npos) << run.output;
    ASSERT_NE(load, std::string::npos) << run.output;
    ASSERT_NE(play, std::string::npos) << run.output;
    EXPECT_LT(create, load);
    EXPECT_LT(load, play);
    EXPECT_EQ(run.output.find("Could not initialize"), std::string::npos) << "initialisation is skipped";
}

}  // namespace
