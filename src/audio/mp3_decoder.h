// Whole-file MP3 decoding with libmpg123, to interleaved signed 16-bit PCM.
//
// The music player decodes its track in one go at start-up, so that nothing is
// decoded while frames are drawn; the tests decode the generated track and the
// player's captured output with the very same code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedAudio {
    int sampleRate = 0;            // frames per second, as the file says
    int channels = 0;              // 1 or 2
    std::vector<int16_t> samples;  // interleaved, channels values per frame

    size_t frameCount() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// True when at least one frame of audio decoded. A missing, empty or non-MP3
// file gives false; a broken frame in the middle is skipped (the decoder finds
// the next frame header) and everything that decodes is kept. Never crashes on
// bad input: failure is only ever a false result.
bool decodeMp3File(const std::string& path, DecodedAudio& out);
