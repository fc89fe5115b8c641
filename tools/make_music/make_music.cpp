// Synthesizes the demo's music and writes it as <output folder>/sound/Quillon.mp3.
//
//   make_music <output folder>
//
// Deterministic: fixed seeds, no clock or environment in the signal path, so
// two runs write the same bytes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <system_error>

#include "mp3_encoder.h"
#include "song.h"

int main(int argc, char** argv) {
    // An option is never a folder: "--help" would otherwise become one.
    const std::string argument = argc == 2 ? argv[1] : "";
    if (argument.empty() || argument[0] == '-') {
        std::cout << "usage: make_music <output folder>" << std::endl;
        return argument == "--help" || argument == "-h" ? 0 : 2;
    }
    const auto started = std::chrono::steady_clock::now();

    StereoBuffer song = renderSong();
    float peak = 0.0f;
    for (size_t n = 0; n < song.frames(); ++n) peak = std::max({peak, std::fabs(song.left[n]), std::fabs(song.right[n])});

    std::vector<unsigned char> mp3;
    if (!encodeMp3(song.left, song.right, kSampleRate, mp3)) {
        std::cout << "make_music: the MP3 encoder failed" << std::endl;
        return 1;
    }

    // Written beside the target and renamed, so a failed run never leaves a
    // half-written track that looks up to date.
    const std::filesystem::path folder = std::filesystem::path(argument) / "sound";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path target = folder / "Quillon.mp3";
    const std::filesystem::path partial = folder / "Quillon.mp3.part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(mp3.data()), static_cast<std::streamsize>(mp3.size()));
        if (!file) {
            std::cout << "make_music: could not write " << partial.string() << std::endl;
            return 1;
        }
    }
    std::filesystem::rename(partial, target, error);
    if (error) {
        std::cout << "make_music: could not write " << target.string() << std::endl;
        return 1;
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << std::fixed << std::setprecision(2) << target.string() << ": "
              << static_cast<double>(song.frames()) / kSampleRate << " s stereo " << kSampleRate << " Hz, peak "
              << 20.0 * std::log10(std::max(peak, 1e-9f)) << " dBFS before encoding, " << mp3.size() << " bytes, made in "
              << seconds << " s" << std::endl;
    return 0;
}
