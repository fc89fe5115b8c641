#include "video_writer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace {

std::string decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

}  // namespace

std::vector<std::string> ffmpegArguments(const VideoSettings& s) {
    std::vector<std::string> args = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-s", std::to_string(s.width) + "x" + std::to_string(s.height),
        "-framerate", std::to_string(s.fps), "-i", "pipe:0"};
    if (!s.audioPath.empty()) {
        // Input options: start this far into the track and read no more than
        // the video lasts, so the streams begin and end together.
        args.insert(args.end(), {"-ss", decimal(s.audioOffset), "-t", decimal(s.duration), "-i", s.audioPath});
    }
    args.insert(args.end(), {"-map", "0:v"});
    if (!s.audioPath.empty()) args.insert(args.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
    // The frames are converted to YUV with the BT.709 matrix in limited range
    // and tagged so: an untagged stream leaves players to guess the matrix,
    // and a wrong guess shifts every colour. zimg does the conversion, as
    // ffmpeg's own scaler keeps the BT.601 matrix for RGB input whatever it
    // is told.
    args.insert(args.end(), {"-vf", "zscale=matrix=709:range=limited", "-colorspace", "bt709",
                             "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    // H.264 High in yuv420p with faststart: a file every player, browser and
    // video site takes, at any size up to 4K. The rate follows the picture
    // (a constant quality, not a bit rate): the night's dark gradients and
    // the streaks of the motion blur need what they need. A key frame every
    // two seconds lets players and sites seek. Above 1080p each pixel matters
    // less on screen, so a slightly coarser quality keeps 4K files in step.
    const bool aboveFullHd = static_cast<long>(s.width) * s.height > 1920L * 1080L;
    args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-crf",
                             aboveFullHd ? "20" : "18", "-g", std::to_string(2 * s.fps), "-pix_fmt", "yuv420p",
                             "-movflags", "+faststart", s.path});
    return args;
}

bool openVideo(VideoWriter& writer, const VideoSettings& settings) {
    std::vector<std::string> args = ffmpegArguments(settings);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        std::cout << "Could not make a pipe for ffmpeg" << std::endl;
        return false;
    }
    // A dead ffmpeg must show up as a failed write, not kill the capture.
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        close(fds[1]);
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        std::cout << "Could not start ffmpeg" << std::endl;
        return false;
    }
    writer.pid = pid;
    writer.pipeFd = fds[1];
    writer.width = settings.width;
    writer.height = settings.height;
    writer.failed = false;
    return true;
}

bool writeVideoFrame(VideoWriter& writer, const FrameImage& frame) {
    if (writer.failed || writer.pipeFd < 0) return false;
    if (frame.width != writer.width || frame.height != writer.height) {
        writer.failed = true;
        return false;
    }
    const uint8_t* data = frame.rgb.data();
    size_t left = frame.rgb.size();
    while (left > 0) {
        ssize_t written = write(writer.pipeFd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            writer.failed = true;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

bool closeVideo(VideoWriter& writer) {
    if (writer.pid < 0) return false;
    close(writer.pipeFd);
    writer.pipeFd = -1;
    int status = 0;
    while (waitpid(writer.pid, &status, 0) < 0 && errno == EINTR) {
    }
    writer.pid = -1;
    bool exitedWell = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) std::cout << "ffmpeg could not be run" << std::endl;
    return exitedWell && !writer.failed;
}
