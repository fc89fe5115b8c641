// The track's tempo and where its bars fall on the demo's time line: the one
// place for them, read by the generator that writes the track and by the
// viewer that draws its bar and beat grid.
//
// 129.03 BPM in 4/4: a bar is exactly 1.86 s and the bar grid starts at
// 0.88 s, so that bar 11 begins on 21.34 s (the hit, when the picture shakes)
// and bar 67 on 125.50 s (the outro, when the camera starts to orbit).
#pragma once

constexpr double kBarSeconds = 1.86;
constexpr double kGridStart = 0.88;
constexpr int kBeatsPerBar = 4;
constexpr double kBeatSeconds = kBarSeconds / kBeatsPerBar;
constexpr int kHitBar = 11;
constexpr int kOutroBar = 67;

// Start of a bar on the time line, in seconds.
constexpr double barTime(int bar) { return kGridStart + bar * kBarSeconds; }
