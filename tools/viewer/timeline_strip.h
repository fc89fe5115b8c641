// The timeline strip along the bottom of the viewer's window: the whole run
// with the tick shown, the track's waveform, its bar and beat grid, the
// scripted events, the camera's control points, the loop, and a graph of the
// last few seconds' frame times.
//
// It is drawn into the back buffer after the composite and before the swap,
// so a shot (which reads the back buffer first) and the capture tool never
// see it. Plain coloured rectangles through a small program of its own.
#pragma once

#include <deque>
#include <vector>

#include "audio/mp3_decoder.h"
#include "viewer_controls.h"

struct FrameTime {
    double wallSeconds = 0.0;  // when the frame ended
    double milliseconds = 0.0;
};

struct TimelineStrip {
    bool shown = false;
    std::vector<float> peaks;      // per column of the run: the louder channel's peak, 0 .. 1
    std::deque<FrameTime> frames;  // the last few seconds', oldest first
    unsigned program = 0;
    unsigned vertexArray = 0;
    unsigned vertexBuffer = 0;
    int windowSizeLocation = -1;
};

extern TimelineStrip timelineStrip;

// The strip's height in pixels, from the window's bottom edge.
constexpr int kStripHeight = 112;

// Builds the strip's program and buffers; false (with a line) when its
// shaders do not build, and the viewer goes on without a strip.
bool createTimelineStrip();

// The waveform of a track, one peak per column of the run's width.
void takeWaveform(const DecodedAudio& track);

// A frame drawn: the graph keeps the last few seconds of them.
void noteFrameTime(double wallSeconds, double milliseconds);

// The tick under a point of the window (window pixels, y from the top), or
// -1 when the strip is hidden or the point is outside its run.
int stripTickAt(double x, double y, int windowWidth, int windowHeight);

// Draws the strip over what the back buffer holds, leaving the GL state the
// passes rely on as it was.
void drawTimelineStrip(int tick, const PlayLoop& loop, int windowWidth, int windowHeight);
