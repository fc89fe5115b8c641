// An MP4 written by the ffmpeg program: raw RGB frames go down a pipe to its
// standard input, it encodes them as H.264 and muxes the music beside them.
//
// The music starts at tick 0 of the demo; a video that starts later starts
// its audio that far into the track, and the audio is cut to the video's
// length, so both streams end together.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "frame_image.h"
#include "platform/frame_size.h"

struct VideoSettings {
    std::string path;         // the .mp4 to write (replaced if it exists)
    int width = kFrameWidth;
    int height = kFrameHeight;
    int fps = 60;
    std::string audioPath;    // "" for a silent video
    double audioOffset = 0.0; // seconds into the track at the first frame
    double duration = 0.0;    // seconds of video, which the audio is cut to
};

struct VideoWriter {
    pid_t pid = -1;      // the ffmpeg process
    int pipeFd = -1;     // its standard input
    int width = 0;
    int height = 0;
    bool failed = false; // a write went wrong: ffmpeg ended early
};

// Starts ffmpeg. False (with a message) when it cannot be started.
bool openVideo(VideoWriter& writer, const VideoSettings& settings);

// One frame, top-down RGB of the opened size. False once ffmpeg stopped reading.
bool writeVideoFrame(VideoWriter& writer, const FrameImage& frame);

// Ends the stream and waits for ffmpeg to finish the file. False when a
// write failed or ffmpeg did not exit with 0.
bool closeVideo(VideoWriter& writer);

// The ffmpeg command line for these settings, as passed to exec.
std::vector<std::string> ffmpegArguments(const VideoSettings& settings);
