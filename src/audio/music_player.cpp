#include "audio/music_player.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "audio/mp3_decoder.h"
#include "platform/startup_clock.h"

MusicPlayer* musicPlayer = nullptr;

namespace {

// The limits OpenAL Soft counts sources by: ten in all, enough for the one
// track and more than the demo ever asks for.
constexpr ALCint kMonoSources = 8;
constexpr ALCint kStereoSources = 2;

bool createContext(MusicPlayer& player) {
    const ALCint attributes[] = {ALC_MONO_SOURCES, kMonoSources, ALC_STEREO_SOURCES, kStereoSources, 0};
    player.context = alcCreateContext(player.device, attributes);
    if (!player.context) return false;
    if (alcMakeContextCurrent(player.context) != ALC_TRUE) {
        alcDestroyContext(player.context);
        player.context = nullptr;
        return false;
    }
    return true;
}

// The decoding child of startMusicDecode: its process and the memory file
// it writes the track into, as a header and the samples.
struct EarlyDecode {
    pid_t child = -1;
    int file = -1;
};
EarlyDecode earlyDecode;

struct DecodedHeader {
    std::int32_t sampleRate;
    std::int32_t channels;
    std::uint64_t sampleCount;
};

bool writeAll(int fd, const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t written = write(fd, p, bytes);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        p += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

[[noreturn]] void decodeInChild(int file, pid_t parent) {
    // Goes down with the demo, also when the demo ended before this was set.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    DecodedAudio audio;
    if (!decodeMp3File(kMusicPath, audio)) _exit(1);
    const DecodedHeader header{audio.sampleRate, audio.channels, audio.samples.size()};
    const bool written = writeAll(file, &header, sizeof header) &&
                         writeAll(file, audio.samples.data(), audio.samples.size() * sizeof(int16_t));
    _exit(written ? 0 : 1);
}

// The early child's track, once it ended well; false sends the caller to
// decoding the file itself. With wanted false the child is only ended.
bool takeEarlyDecode(DecodedAudio& audio, bool wanted = true) {
    const EarlyDecode decode = earlyDecode;
    earlyDecode = EarlyDecode{};
    if (decode.child < 0) return false;
    if (!wanted) kill(decode.child, SIGKILL);
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(decode.child, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    bool taken = false;
    const off_t bytes = wanted ? lseek(decode.file, 0, SEEK_END) : 0;
    if (wanted && reaped == decode.child && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
        bytes >= static_cast<off_t>(sizeof(DecodedHeader))) {
        void* map = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ, MAP_PRIVATE, decode.file, 0);
        if (map != MAP_FAILED) {
            DecodedHeader header;
            std::memcpy(&header, map, sizeof header);
            const auto* samples = reinterpret_cast<const int16_t*>(static_cast<const char*>(map) + sizeof header);
            if (header.sampleCount * sizeof(int16_t) == static_cast<std::uint64_t>(bytes) - sizeof header) {
                audio.sampleRate = header.sampleRate;
                audio.channels = header.channels;
                audio.samples.assign(samples, samples + header.sampleCount);
                taken = true;
            }
            munmap(map, static_cast<size_t>(bytes));
        }
    }
    close(decode.file);
    return taken;
}

// Decodes the whole file into one buffer. Without a context no AL call is made.
bool loadTrack(MusicPlayer& player, const char* path) {
    if (!player.context) {
        DecodedAudio unused;
        takeEarlyDecode(unused, false);  // nothing to play it on
        return false;
    }

    DecodedAudio audio;
    {
        StepTimer timer(startupFigures.musicDecode);
        if (!takeEarlyDecode(audio) && !decodeMp3File(path, audio)) return false;
    }

    alGetError();  // start from a clean error state
    alGenBuffers(1, &player.buffer);
    if (alGetError() != AL_NO_ERROR) return false;

    const ALenum format = audio.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    const ALsizei bytes = static_cast<ALsizei>(audio.samples.size() * sizeof(int16_t));
    alBufferData(player.buffer, format, audio.samples.data(), bytes, audio.sampleRate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &player.buffer);
        player.buffer = 0;
        return false;
    }
    return true;
}

}  // namespace

void startMusicDecode() {
    if (earlyDecode.child >= 0) return;
    const int file = memfd_create("tarnwick-music", MFD_CLOEXEC);
    if (file < 0) return;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(file);
        return;
    }
    if (child == 0) decodeInChild(file, parent);
    earlyDecode = EarlyDecode{child, file};
}

void initMusic() {
    musicPlayer = new MusicPlayer();

    musicPlayer->device = alcOpenDevice(nullptr);
    if (!musicPlayer->device) {
        std::cout << "Could not create FMOD sound system!" << std::endl;
    } else if (!createContext(*musicPlayer)) {
        std::cout << "Could not initialize FMOD sound system!" << std::endl;
    }

    musicPlayer->loaded = loadTrack(*musicPlayer, kMusicPath);
    std::cout << kMusicPath << (musicPlayer->loaded ? " loaded!" : " could not be loaded!") << std::endl;
}

void playMusic() {
    if (!musicPlayer || !musicPlayer->loaded) {
        std::cout << "Could not play sound!" << std::endl;
        return;
    }
    MusicPlayer& player = *musicPlayer;

    // A fresh source with the track attached stays in its initial state (not
    // yet playing) until the gain is set: the "paused" start.
    alGetError();
    alGenSources(1, &player.source);
    if (alGetError() != AL_NO_ERROR) {
        std::cout << "Could not play sound!" << std::endl;
        return;
    }
    alSourcei(player.source, AL_LOOPING, AL_FALSE);
    alSourcei(player.source, AL_BUFFER, static_cast<ALint>(player.buffer));
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &player.source);
        player.source = 0;
        std::cout << "Could not play sound!" << std::endl;
        return;
    }

    // Results of these two are not looked at: the track is playing or it is not.
    alSourcef(player.source, AL_GAIN, 0.25f);
    alSourcePlay(player.source);
    player.playing = true;
}

void closeMusic() {
    if (musicPlayer == nullptr || musicPlayer->device == nullptr) return;
    alcMakeContextCurrent(nullptr);
    if (musicPlayer->context != nullptr) alcDestroyContext(musicPlayer->context);
    alcCloseDevice(musicPlayer->device);
    musicPlayer->context = nullptr;
    musicPlayer->device = nullptr;
}
