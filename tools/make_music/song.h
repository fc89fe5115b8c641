// The track itself: key, tempo, chords, motif and the arrangement, laid on
// the demo's time line.
//
// D minor, 129.03 BPM: a bar is exactly 1.86 s and the bar grid starts at
// 0.88 s, so that bar 11 begins on 21.34 s (the hit, when the picture shakes)
// and bar 67 on 125.50 s (the outro, when the camera starts to orbit).
//
//   0.00 -  21.34  intro     pads swelling in, plucked arpeggio, a bell motif,
//                            a riser and a snare roll, one beat of silence
//  21.34           the hit   kick, sub drop, crash and a falling "zap"
//  21.34 -  51.10  groove    four-on-the-floor, bass, pads, hats; lead motif from bar 19
//  51.10 -  65.98  dream     half-time drums, maj7/9 chords, motif at half speed
//  65.98 -  95.74  groove    the full groove with the lead throughout
//  95.74 - 110.62  dream     breakdown without kick, then a build and a silent beat
// 110.62 - 125.50  groove    the last drop, lead doubled an octave up
// 125.50 - 134.00  outro     drums out, pads, bell and arpeggio, fading to silence
#pragma once

#include "synth.h"
#include "tempo.h"

constexpr double kFadeEndSeconds = 134.0;
constexpr double kTrackSeconds = 135.0;

// The whole mixed and mastered track, peaks at -2 dBFS.
StereoBuffer renderSong();
