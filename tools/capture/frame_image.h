// Captured frames as plain RGB pictures: PNG files in and out, the box
// downscale the reference images are made with, and the comparisons the
// frame tests use.
//
// Rows are stored top-down (the way PNG and video want them), three bytes
// per pixel, no padding. GL reads bottom-up: the capture flips once, on
// read-back, and nothing after that has to think about it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FrameImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes, top row first
};

// Reverses the row order in place: bottom-up GL rows to top-down and back.
void flipRows(FrameImage& image);

// Averages factor × factor blocks. The references are kept small this way; a
// box average also evens out the single-pixel noise of software rasterising.
// factor 1 returns a copy; sizes not divisible by factor drop the remainder.
FrameImage downscale(const FrameImage& image, int factor);

// The middle width × height of a picture (clamped to its size).
FrameImage cropCentre(const FrameImage& image, int width, int height);

// Shrunk to width × height by area: each pixel the mean of the part of the
// picture it covers, pixels cut by its edges counted by the share inside. For
// a whole factor this is downscale's box average; it compares frames of any
// size with the 256 × 192 references.
FrameImage resample(const FrameImage& image, int width, int height);

// 8-bit RGB PNG. Both report a failure on the console and return false.
bool writePng(const std::string& path, const FrameImage& image);
bool readPng(const std::string& path, FrameImage& image);

// Peak signal-to-noise ratio over all channels, in dB; +infinity for equal
// pictures, 0 for pictures of different sizes.
double psnr(const FrameImage& a, const FrameImage& b);

// Largest difference of any channel of any pixel (0..255); 255 for
// pictures of different sizes.
int maxChannelDifference(const FrameImage& a, const FrameImage& b);

// Mean of all channels (0..255): a picture that is all black has 0.
double meanLevel(const FrameImage& image);

// A pixel is burnt out when every channel is at or above kBurntOutLevel, and
// pure black when every channel is at or below kPureBlackLevel: there the
// picture has lost what it showed, to clipping or to the void.
constexpr int kBurntOutLevel = 250;
constexpr int kPureBlackLevel = 3;

// How bright a picture is, in 8-bit grey (0.299 R + 0.587 G + 0.114 B): its
// median and mean, the share of pixels at grey 128 or more, and its
// brightest 1 % (the 99th percentile) over its median. Where a mask is
// given, only the pixels it marks (non-zero) count; no pixel: all zero.
struct Brightness {
    int median = 0;
    double mean = 0.0;
    double brightShare = 0.0;  // 0..1
    double topOverMedian = 0.0;
};
Brightness brightness(const FrameImage& image, const std::vector<uint8_t>* mask = nullptr);

// Share (0..1) of the pixels whose every channel is at least (at most) level.
double shareAtLeast(const FrameImage& image, int level);
double shareAtMost(const FrameImage& image, int level);
