#include "audio/mp3_decoder.h"

#include <mpg123.h>

namespace {

struct StreamFormat {
    long rate = 0;
    int channels = 0;
};

bool currentFormat(mpg123_handle* handle, StreamFormat& format) {
    int encoding = 0;
    if (mpg123_getformat(handle, &format.rate, &format.channels, &encoding) != MPG123_OK) return false;
    return encoding == MPG123_ENC_SIGNED_16 && format.channels >= 1 && format.channels <= 2 && format.rate > 0;
}

// How many decoder errors in a row end decoding: the decoder resyncs on its
// own after damage, so errors that keep coming mean nothing more will decode.
constexpr int kMaxErrorsInARow = 8;

}  // namespace

bool decodeMp3File(const std::string& path, DecodedAudio& out) {
    out = DecodedAudio{};

    // A no-op in current libmpg123, required by older ones; harmless to repeat.
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle) return false;

    // Broken frames are expected input here: no messages on stderr about them.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);

    // Whatever the file's rate and channel count, always 16-bit signed output,
    // which an OpenAL buffer takes directly.
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }

    if (mpg123_open(handle, path.c_str()) != MPG123_OK) {
        mpg123_delete(handle);
        return false;
    }

    // The first format the stream announces is the track's. Damage can make
    // the decoder take garbage for a frame of another kind (another rate or
    // channel count, a "Frankenstein" stream); what decodes in a foreign
    // format is dropped, and decoding goes on when the track's frames return.
    std::vector<unsigned char> chunk(64 * 1024);
    bool formatKnown = false;
    bool inTrackFormat = false;
    auto takeFormat = [&]() {
        StreamFormat format;
        inTrackFormat = currentFormat(handle, format);
        if (inTrackFormat && !formatKnown) {
            out.sampleRate = static_cast<int>(format.rate);
            out.channels = format.channels;
            formatKnown = true;
        }
        inTrackFormat = inTrackFormat && format.rate == out.sampleRate && format.channels == out.channels;
    };
    int errorsInARow = 0;
    for (;;) {
        size_t done = 0;
        int result = mpg123_read(handle, chunk.data(), chunk.size(), &done);
        if (done > 0 && !formatKnown) takeFormat();
        if (done > 0 && inTrackFormat) {
            const int16_t* pcm = reinterpret_cast<const int16_t*>(chunk.data());
            out.samples.insert(out.samples.end(), pcm, pcm + done / sizeof(int16_t));
        }
        // A new format applies from the next read on: what came with this
        // one was still decoded in the old format.
        if (result == MPG123_NEW_FORMAT) takeFormat();
        if (result == MPG123_DONE) break;
        if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            errorsInARow = 0;
        } else if (++errorsInARow > kMaxErrorsInARow) {
            break;
        }
    }
    mpg123_close(handle);
    mpg123_delete(handle);

    if (out.channels > 0) out.samples.resize(out.frameCount() * static_cast<size_t>(out.channels));
    return out.channels > 0 && !out.samples.empty();
}
