#include "audio/music_player.h"

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

// Decodes the whole file into one buffer. Without a context no AL call is made.
bool loadTrack(MusicPlayer& player, const char* path) {
    if (!player.context) return false;

    DecodedAudio audio;
    {
        StepTimer timer(startupFigures.musicDecode);
        if (!decodeMp3File(path, audio)) return false;
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
