// The generated track, judged the way a listener and the demo's time line
// would: after the MP3 round trip, decoded with the player's own decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "test_support.h"

namespace {

constexpr int kRate = 44100;

// One channel of the decoded track, full scale 1.
struct Channel {
    std::vector<float> samples;

    size_t at(double seconds) const {
        return std::min(samples.size(), static_cast<size_t>(std::lround(seconds * kRate)));
    }
    double rms(double from, double to) const {
        double sum = 0.0;
        size_t a = at(from), b = at(to);
        for (size_t i = a; i < b; ++i) sum += static_cast<double>(samples[i]) * samples[i];
        return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
    }
    float peak(double from, double to) const {
        float p = 0.0f;
        for (size_t i = at(from); i < at(to); ++i) p = std::max(p, std::fabs(samples[i]));
        return p;
    }
};

Channel channelOf(const DecodedAudio& audio, int channel) {
    Channel c;
    c.samples.resize(audio.frameCount());
    for (size_t f = 0; f < audio.frameCount(); ++f) {
        c.samples[f] = audio.samples[f * static_cast<size_t>(audio.channels) + static_cast<size_t>(channel)] / 32768.0f;
    }
    return c;
}

double decibels(double value) { return 20.0 * std::log10(std::max(value, 1e-12)); }

// A click is a step between neighbouring samples far larger than the steps
// around it. Blocks of 256 samples; a block's step size is compared with the
// RMS step size of the 5 blocks centred on it (about 29 ms). Quiet passages
// have a floor so that rounding noise in near-silence never counts.
struct Click {
    size_t sample;
    double ratio;
};

std::vector<Click> findClicks(const std::vector<float>& x, double maxRatio, float floor) {
    constexpr size_t kBlock = 256;
    const size_t blocks = x.size() / kBlock;
    std::vector<double> stepEnergy(blocks, 0.0);
    std::vector<float> maxStep(blocks, 0.0f);
    std::vector<size_t> maxAt(blocks, 0);
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t i = b * kBlock; i < (b + 1) * kBlock; ++i) {
            float step = std::fabs(x[i] - (i > 0 ? x[i - 1] : 0.0f));  // the track starts from silence
            stepEnergy[b] += static_cast<double>(step) * step;
            if (step > maxStep[b]) {
                maxStep[b] = step;
                maxAt[b] = i;
            }
        }
    }
    std::vector<Click> clicks;
    for (size_t b = 0; b < blocks; ++b) {
        if (maxStep[b] < floor) continue;
        size_t from = b >= 2 ? b - 2 : 0, to = std::min(blocks, b + 3);
        double energy = 0.0;
        for (size_t n = from; n < to; ++n) energy += stepEnergy[n];
        double typical = std::sqrt(energy / static_cast<double>((to - from) * kBlock));
        double ratio = maxStep[b] / std::max(typical, 1e-9);
        if (ratio > maxRatio) clicks.push_back({maxAt[b], ratio});
    }
    return clicks;
}

class MusicGenerator : public ::testing::Test {
protected:
    // The track the build generated into the run folder, decoded once for all
    // the cases below (ctest runs each case in a process of its own).
    static void SetUpTestSuite() {
        audio = new DecodedAudio();
        decoded = decodeMp3File(runPath("sound/Quillon.mp3"), *audio);
        if (decoded && audio->channels == 2) {
            left = new Channel(channelOf(*audio, 0));
            right = new Channel(channelOf(*audio, 1));
        }
    }

    void SetUp() override {
        ASSERT_TRUE(decoded) << runPath("sound/Quillon.mp3") << " is missing or does not decode";
        ASSERT_EQ(audio->channels, 2);
        ASSERT_TRUE(left && right);
    }

    static bool decoded;
    static DecodedAudio* audio;
    static Channel* left;
    static Channel* right;
};

bool MusicGenerator::decoded = false;
DecodedAudio* MusicGenerator::audio = nullptr;
Channel* MusicGenerator::left = nullptr;
Channel* MusicGenerator::right = nullptr;

TEST_F(MusicGenerator, IsDeterministic) {
    // A second run, into a scratch folder, must write the very bytes that the
    // build's run wrote into the run folder.
    const std::string scratch = makeScratchDir("music");
    // An option is not a folder: asking for help writes nothing.
    ProcessResult help = runProgram(MAKE_MUSIC_BINARY, scratch, 30.0, {}, {"--help"});
    EXPECT_TRUE(help.exited && help.exitCode == 0 && std::filesystem::is_empty(scratch)) << help.output;
    ProcessResult run = runProgram(MAKE_MUSIC_BINARY, scratch, 120.0, {}, {scratch});
    ASSERT_TRUE(run.exited && run.exitCode == 0) << run.output;
    const std::string ours = readFile(scratch + "/sound/Quillon.mp3");
    const std::string build = readFile(runPath("sound/Quillon.mp3"));
    EXPECT_GT(ours.size(), 1000000u);
    EXPECT_EQ(ours.size(), build.size());
    EXPECT_TRUE(ours == build) << "two runs of make_music wrote different bytes";
}

TEST_F(MusicGenerator, IsAStereoTrackOfAboutTheDemosLength) {
    EXPECT_EQ(audio->sampleRate, kRate);
    const double seconds = static_cast<double>(audio->frameCount()) / kRate;
    std::cout << "track: " << seconds << " s" << std::endl;
    EXPECT_GE(seconds, 134.7) << "the music must last until the demo ends";
    EXPECT_LE(seconds, 136.0);

    // Some width: the sides differ, by a fair margin, but the middle carries the mix.
    double mid = 0.0, side = 0.0;
    for (size_t i = 0; i < left->samples.size(); ++i) {
        double m = 0.5 * (left->samples[i] + right->samples[i]);
        double s = 0.5 * (left->samples[i] - right->samples[i]);
        mid += m * m;
        side += s * s;
    }
    EXPECT_GT(std::sqrt(side / mid), 0.1);
    EXPECT_LT(std::sqrt(side / mid), 1.0);
}

TEST_F(MusicGenerator, PeaksStayBelowMinusOneDecibelAfterDecoding) {
    const double peak = std::max(left->peak(0.0, 140.0), right->peak(0.0, 140.0));
    std::cout << "peak: " << decibels(peak) << " dBFS" << std::endl;
    EXPECT_LT(decibels(peak), -1.0);
    EXPECT_GT(decibels(peak), -6.0) << "the track should use its headroom";
}

TEST_F(MusicGenerator, FollowsTheDemosTimeLine) {
    auto both = [](double from, double to) { return std::hypot(left->rms(from, to), right->rms(from, to)); };
    auto bothPeak = [](double from, double to) { return std::max(left->peak(from, to), right->peak(from, to)); };

    // The hit at 21.34 s: far louder than the second before it, and sharp: it
    // starts within a few milliseconds of its time.
    const double before = both(20.34, 21.34);
    const double hit = both(21.34, 21.44);
    std::cout << "hit: " << decibels(hit / before) << " dB over the second before" << std::endl;
    EXPECT_GT(hit, 3.0 * before);
    EXPECT_GT(bothPeak(21.34, 21.39), 1.5f * bothPeak(20.34, 21.33));
    EXPECT_GT(both(21.340, 21.350), 4.0 * both(21.325, 21.335)) << "the hit is not on time";

    // A calm intro, then the groove; the outro from 125.50 s is calmer again.
    EXPECT_LT(decibels(both(2.0, 20.0)), decibels(both(22.0, 50.0)) - 4.0);
    EXPECT_LT(decibels(both(126.5, 129.0)), decibels(both(115.0, 125.0)) - 2.0);

    // Faded out by about 134 s, silent from 134.7 s on.
    EXPECT_LT(decibels(bothPeak(134.2, 134.7)), -40.0);
    EXPECT_LT(decibels(bothPeak(134.7, 140.0)), -60.0);
}

TEST_F(MusicGenerator, HasNoClicks) {
    for (const Channel* channel : {left, right}) {
        std::vector<Click> clicks = findClicks(channel->samples, 12.0, 0.01f);
        for (size_t i = 0; i < clicks.size() && i < 5; ++i) {
            ADD_FAILURE() << "click at " << static_cast<double>(clicks[i].sample) / kRate << " s, step "
                          << clicks[i].ratio << " times the local typical step";
        }
    }
}

TEST_F(MusicGenerator, ClickFinderFindsAClickInThisVeryTrack) {
    // The check above must be able to fail: a single broken sample in a calm
    // passage and a small step in the groove are both found.
    std::vector<float> damaged = left->samples;
    const size_t calm = left->at(5.0);
    damaged[calm] += 0.08f;
    const size_t groove = left->at(40.0);
    for (size_t i = groove; i < groove + 100; ++i) damaged[i] += 0.25f;

    std::vector<Click> clicks = findClicks(damaged, 12.0, 0.01f);
    auto near = [&](size_t at) {
        return std::any_of(clicks.begin(), clicks.end(), [&](const Click& c) { return c.sample + 300 > at && c.sample < at + 300; });
    };
    EXPECT_TRUE(near(calm)) << "a broken sample in the intro was not found";
    EXPECT_TRUE(near(groove)) << "a step in the groove was not found";
}

}  // namespace
