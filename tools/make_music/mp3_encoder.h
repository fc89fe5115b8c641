// MP3 encoding with libmp3lame: float PCM in, the bytes of an .mp3 file out.
//
// 192 kbps constant bit rate at LAME's high quality setting, no ID3 tags, and
// a LAME info frame at the front: it records the encoder's delay and padding,
// so a gapless decoder (libmpg123) gives back exactly the samples that went
// in, on the same time line. The music's events sit on exact times (the hit
// at 21.34 s), so that matters here.
#pragma once

#include <vector>

// left and right hold samples in [-1, 1]; an empty right encodes mono.
// False when the encoder refuses the parameters or the input.
bool encodeMp3(const std::vector<float>& left, const std::vector<float>& right, int sampleRate,
               std::vector<unsigned char>& mp3);
