#include "mp3_encoder.h"

#include <lame.h>

#include <algorithm>

bool encodeMp3(const std::vector<float>& left, const std::vector<float>& right, int sampleRate,
               std::vector<unsigned char>& mp3) {
    mp3.clear();
    const bool stereo = !right.empty();
    if (left.empty() || (stereo && right.size() != left.size())) return false;

    lame_global_flags* flags = lame_init();
    if (!flags) return false;
    lame_set_in_samplerate(flags, sampleRate);
    lame_set_out_samplerate(flags, sampleRate);
    lame_set_num_channels(flags, stereo ? 2 : 1);
    lame_set_mode(flags, stereo ? JOINT_STEREO : MONO);
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, 192);
    lame_set_quality(flags, 2);
    lame_set_bWriteVbrTag(flags, 1);
    lame_set_write_id3tag_automatic(flags, 0);
    if (lame_init_params(flags) < 0) {
        lame_close(flags);
        return false;
    }

    // Worst-case output size for a chunk, as lame.h gives it: 1.25 n + 7200.
    const size_t chunkFrames = 1152 * 32;
    std::vector<unsigned char> chunk(chunkFrames * 5 / 4 + 7200);
    bool ok = true;
    for (size_t start = 0; start < left.size() && ok; start += chunkFrames) {
        const size_t frames = std::min(chunkFrames, left.size() - start);
        const float* r = stereo ? right.data() + start : left.data() + start;
        int bytes = lame_encode_buffer_ieee_float(flags, left.data() + start, r, static_cast<int>(frames),
                                                  chunk.data(), static_cast<int>(chunk.size()));
        if (bytes < 0) ok = false;
        else mp3.insert(mp3.end(), chunk.begin(), chunk.begin() + bytes);
    }
    if (ok) {
        int bytes = lame_encode_flush(flags, chunk.data(), static_cast<int>(chunk.size()));
        if (bytes < 0) ok = false;
        else mp3.insert(mp3.end(), chunk.begin(), chunk.begin() + bytes);
    }

    // The first frame written is a placeholder of the info frame's size; now
    // that the stream is complete, put the real one in its place.
    if (ok) {
        std::vector<unsigned char> tag(4096);
        size_t tagBytes = lame_get_lametag_frame(flags, tag.data(), tag.size());
        if (tagBytes > 0 && tagBytes <= tag.size() && tagBytes <= mp3.size()) {
            std::copy(tag.begin(), tag.begin() + static_cast<long>(tagBytes), mp3.begin());
        }
    }
    lame_close(flags);
    if (!ok) mp3.clear();
    return ok;
}
