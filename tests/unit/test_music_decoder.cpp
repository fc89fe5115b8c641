// Whole-file MP3 decoding: what goes in through the encoder comes back on the
// same time line, and damaged or foreign files never crash the decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "mp3_encoder.h"
#include "test_support.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// A tone with soft edges and one short burst at exactly markerSeconds.
std::vector<float> toneWithMarker(double hz, double seconds, double markerSeconds) {
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double edge = std::min({1.0, t / 0.02, (seconds - t) / 0.02});
        double value = 0.1 * std::sin(2.0 * kPi * hz * t) * edge;
        double m = t - markerSeconds;
        if (m >= 0.0 && m < 0.03) value += 0.6 * std::sin(2.0 * kPi * 1000.0 * m) * std::sin(kPi * m / 0.03);
        out[i] = static_cast<float>(value);
    }
    return out;
}

std::string writeMp3(const std::string& dir, const std::string& name, const std::vector<float>& left,
                     const std::vector<float>& right) {
    std::vector<unsigned char> mp3;
    EXPECT_TRUE(encodeMp3(left, right, kRate, mp3));
    std::string path = dir + "/" + name;
    writeFile(path, std::string(mp3.begin(), mp3.end()));
    return path;
}

// First frame at which a channel's magnitude passes the threshold (full scale 1).
size_t firstAbove(const DecodedAudio& audio, int channel, float threshold) {
    for (size_t f = 0; f < audio.frameCount(); ++f) {
        if (std::abs(audio.samples[f * audio.channels + channel]) > threshold * 32768.0f) return f;
    }
    return audio.frameCount();
}

size_t firstAbove(const std::vector<float>& samples, float threshold) {
    for (size_t f = 0; f < samples.size(); ++f) {
        if (std::abs(samples[f]) > threshold) return f;
    }
    return samples.size();
}

// Normalised correlation of one decoded channel with what was encoded.
double correlation(const DecodedAudio& audio, int channel, const std::vector<float>& original) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (size_t f = 0; f < original.size() && f < audio.frameCount(); ++f) {
        double x = audio.samples[f * audio.channels + channel] / 32768.0;
        double y = original[f];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xy / std::sqrt(xx * yy + 1e-30);
}

TEST(MusicDecoder, StereoRoundTripKeepsLengthChannelsAndTimeLine) {
    const std::string dir = makeScratchDir("decoder");
    std::vector<float> left = toneWithMarker(330.0, 2.0, 1.0);
    std::vector<float> right = toneWithMarker(495.0, 2.0, 1.5);
    DecodedAudio audio;
    ASSERT_TRUE(decodeMp3File(writeMp3(dir, "stereo.mp3", left, right), audio));

    EXPECT_EQ(audio.sampleRate, kRate);
    EXPECT_EQ(audio.channels, 2);
    // Gapless: the encoder's delay and padding are trimmed away again.
    EXPECT_EQ(audio.frameCount(), left.size());
    // Each marker is where it was put (within a millisecond), in its own channel.
    EXPECT_NEAR(static_cast<double>(firstAbove(audio, 0, 0.25f)), static_cast<double>(firstAbove(left, 0.25f)), 44.0);
    EXPECT_NEAR(static_cast<double>(firstAbove(audio, 1, 0.25f)), static_cast<double>(firstAbove(right, 0.25f)), 44.0);
    EXPECT_GT(correlation(audio, 0, left), 0.98);
    EXPECT_GT(correlation(audio, 1, right), 0.98);
    EXPECT_LT(correlation(audio, 0, right), 0.5) << "channels must not be swapped or mixed";
}

TEST(MusicDecoder, MonoFileDecodesAsOneChannel) {
    const std::string dir = makeScratchDir("decoder");
    std::vector<float> mono = toneWithMarker(440.0, 1.0, 0.5);
    DecodedAudio audio;
    ASSERT_TRUE(decodeMp3File(writeMp3(dir, "mono.mp3", mono, {}), audio));
    EXPECT_EQ(audio.channels, 1);
    EXPECT_EQ(audio.frameCount(), mono.size());
    EXPECT_GT(correlation(audio, 0, mono), 0.98);
}

TEST(MusicDecoder, FilesWithNothingDecodableGiveFalse) {
    const std::string dir = makeScratchDir("decoder");
    writeFile(dir + "/empty.mp3", "");
    writeFile(dir + "/text.mp3", "This is a text file that merely has the name of an MP3 file.\n");
    // Raw PCM (what a WAV file holds) is no MP3 either.
    std::string pcm;
    for (int i = 0; i < 50000; ++i) pcm.push_back(static_cast<char>(static_cast<int>(100.0 * std::sin(i * 0.05))));
    writeFile(dir + "/pcm.mp3", "RIFF....WAVEfmt " + pcm);

    for (const std::string name : {"missing.mp3", "empty.mp3", "text.mp3", "pcm.mp3"}) {
        DecodedAudio audio;
        audio.channels = 2;  // leftovers must be cleared
        audio.samples.assign(10, 1);
        EXPECT_FALSE(decodeMp3File(dir + "/" + name, audio)) << name;
        EXPECT_EQ(audio.channels, 0) << name;
        EXPECT_TRUE(audio.samples.empty()) << name;
    }
}

TEST(MusicDecoder, DamagedFilesKeepWhatDecodes) {
    const std::string dir = makeScratchDir("decoder");
    std::vector<float> tone = toneWithMarker(330.0, 3.0, 2.5);
    const std::string good = readFile(writeMp3(dir, "good.mp3", tone, tone));

    // Cut in the middle of a frame: the first part plays.
    writeFile(dir + "/cut.mp3", good.substr(0, good.size() / 2 + 117));
    DecodedAudio cut;
    ASSERT_TRUE(decodeMp3File(dir + "/cut.mp3", cut));
    EXPECT_NEAR(static_cast<double>(cut.frameCount()) / tone.size(), 0.5, 0.05);

    // Garbage over a few frames in the middle: those are lost, the rest
    // (the marker near the end included) plays on.
    std::string broken = good;
    for (size_t i = 0; i < 900; ++i) broken[broken.size() / 3 + i] = static_cast<char>(i % 7 == 0 ? 0xff : 0x5a + i % 13);
    writeFile(dir + "/broken.mp3", broken);
    DecodedAudio repaired;
    ASSERT_TRUE(decodeMp3File(dir + "/broken.mp3", repaired));
    EXPECT_EQ(repaired.channels, 2);
    EXPECT_GT(repaired.frameCount(), tone.size() - 6 * 1152);
    EXPECT_LE(repaired.frameCount(), tone.size());
    EXPECT_LT(firstAbove(repaired, 0, 0.25f), repaired.frameCount()) << "the marker after the damage is lost";
}

}  // namespace
