#include "viewer_audio.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>

#include "audio/music_player.h"
#include "viewer_controls.h"

ViewerAudio viewerAudio;

namespace {

constexpr double kTickSeconds = 1.0 / 50.0;

ALuint trackSource() { return musicPlayer->source; }

ALint sourceState(ALuint source) {
    ALint state = AL_INITIAL;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state;
}

double trackSeconds() {
    const DecodedAudio& track = viewerAudio.track;
    return track.sampleRate > 0 ? static_cast<double>(track.frameCount()) / track.sampleRate : 0.0;
}

ALenum formatOf(const DecodedAudio& audio) { return audio.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16; }

void applyGain() { alSourcef(trackSource(), AL_GAIN, viewerAudio.muted ? 0.0f : viewerAudio.gain); }

// The offset of a source that is neither playing nor paused only applies at
// its next play: a source that ran out or was stopped is brought to a
// silent pause first, so the offset can be read back at once.
void setOffset(double seconds) {
    const ALuint source = trackSource();
    const ALint state = sourceState(source);
    if (state == AL_INITIAL || state == AL_STOPPED) {
        alSourcef(source, AL_GAIN, 0.0f);
        alSourcePlay(source);
        alSourcePause(source);
        applyGain();
    }
    const double last = std::max(0.0, trackSeconds() - kTickSeconds);
    const double frame = std::clamp(seconds, 0.0, last) * viewerAudio.track.sampleRate;
    alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(std::lround(frame)));
    viewerAudio.heldBack = false;
}

}  // namespace

void startViewerAudio() {
    if (!decodeMp3File(kMusicPath, viewerAudio.track)) viewerAudio.track = DecodedAudio{};
    viewerAudio.sound = musicPlayer != nullptr && musicPlayer->playing && viewerAudio.track.frameCount() > 0;
    if (!viewerAudio.sound) {
        std::cout << "No sound device or no track: the viewer runs silent." << std::endl;
        return;
    }
    alGetSourcef(trackSource(), AL_GAIN, &viewerAudio.gain);
    // The demo started it at once; from here on the viewer's clock says when it plays.
    alSourcePause(trackSource());
    alGetError();
    alGenSources(1, &viewerAudio.stepSource);
    if (alGetError() != AL_NO_ERROR) viewerAudio.stepSource = 0;
}

void moveMusicTo(double seconds) {
    if (viewerAudio.sound) setOffset(seconds);
}

void followPicture(double pictureSeconds, bool playing, double speed, double frameSeconds) {
    if (!viewerAudio.sound) return;
    const ALuint source = trackSource();
    const float pitch = static_cast<float>(speed);
    if (pitch != viewerAudio.pitch) {
        alSourcef(source, AL_PITCH, pitch);
        viewerAudio.pitch = pitch;
    }
    const ALint state = sourceState(source);
    // Past the track's end there is nothing to play.
    // Paused, it stands where the picture stands.
    if (!playing || pictureSeconds >= trackSeconds() - kTickSeconds) {
        if (state == AL_PLAYING) {
            alSourcePause(source);
            setOffset(pictureSeconds);
        }
        return;
    }
    if (state != AL_PLAYING) {
        setOffset(pictureSeconds);
        alSourcePlay(source);
    } else if (musicStrays(musicSeconds(), pictureSeconds, frameSeconds)) {
        ++viewerAudio.driftMoves;
        if (viewerAudio.heldBack) ++viewerAudio.heldBackMoves;
        setOffset(pictureSeconds);
    }
}

void playTickSound(int tick) {
    const DecodedAudio& track = viewerAudio.track;
    if (!viewerAudio.sound || viewerAudio.muted || viewerAudio.stepSource == 0) return;
    const size_t perTick = static_cast<size_t>(track.sampleRate) / 50;
    const size_t first = static_cast<size_t>(tick) * perTick;
    if (first >= track.frameCount()) return;
    const size_t frames = std::min(perTick, track.frameCount() - first);
    const size_t channels = static_cast<size_t>(track.channels);

    const ALuint source = viewerAudio.stepSource;
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    if (viewerAudio.stepBuffer != 0) alDeleteBuffers(1, &viewerAudio.stepBuffer);
    viewerAudio.stepBuffer = 0;
    alGetError();
    alGenBuffers(1, &viewerAudio.stepBuffer);
    if (alGetError() != AL_NO_ERROR) {
        viewerAudio.stepBuffer = 0;
        return;
    }
    alBufferData(viewerAudio.stepBuffer, formatOf(track), track.samples.data() + first * channels,
                 static_cast<ALsizei>(frames * channels * sizeof(int16_t)), track.sampleRate);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(viewerAudio.stepBuffer));
    alSourcef(source, AL_GAIN, viewerAudio.gain);
    alSourcePlay(source);
}

void setMusicMuted(bool muted) {
    viewerAudio.muted = muted;
    if (!viewerAudio.sound) return;
    applyGain();
    if (muted && viewerAudio.stepSource != 0) alSourceStop(viewerAudio.stepSource);
}

double musicSeconds() {
    if (!viewerAudio.sound || viewerAudio.track.sampleRate <= 0) return 0.0;
    ALint frame = 0;
    alGetSourcei(trackSource(), AL_SAMPLE_OFFSET, &frame);
    return static_cast<double>(frame) / viewerAudio.track.sampleRate;
}

bool reloadMusic(double seconds) {
    DecodedAudio fresh;
    if (!decodeMp3File(kMusicPath, fresh)) return false;
    if (!viewerAudio.sound) {
        viewerAudio.track = std::move(fresh);
        return true;
    }
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) return false;
    alBufferData(buffer, formatOf(fresh), fresh.samples.data(),
                 static_cast<ALsizei>(fresh.samples.size() * sizeof(int16_t)), fresh.sampleRate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        return false;
    }
    // A buffer can only be swapped on a stopped source, and only deleted once
    // no source holds it.
    const ALuint source = trackSource();
    const bool wasPlaying = sourceState(source) == AL_PLAYING;
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    alDeleteBuffers(1, &musicPlayer->buffer);
    musicPlayer->buffer = buffer;
    viewerAudio.track = std::move(fresh);
    setOffset(seconds);
    if (wasPlaying) alSourcePlay(source);
    return true;
}

void closeViewerAudio() {
    if (viewerAudio.stepSource == 0) return;
    alSourceStop(viewerAudio.stepSource);
    alDeleteSources(1, &viewerAudio.stepSource);
    if (viewerAudio.stepBuffer != 0) alDeleteBuffers(1, &viewerAudio.stepBuffer);
    viewerAudio.stepSource = 0;
    viewerAudio.stepBuffer = 0;
}
