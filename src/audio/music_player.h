// Background music: one track, decoded whole at start-up, started once.
//
// initMusic runs during start-up: it opens the default audio device, makes a
// context with room for at most 10 sources, and decodes "sound/Quillon.mp3"
// (relative to the working directory) into one OpenAL buffer, so that no
// decoding happens while frames are drawn. playMusic runs right after the
// timeline starts: it puts the buffer on a fresh source, left paused in its
// initial state, sets its gain to 0.25 and only then plays it, so the track is
// only ever heard at a quarter of full volume. It plays once, no looping, and
// nothing touches the sound system afterwards.
//
// Every step reports its own failure on the console and goes on, also when an
// earlier step failed: without audio the demo simply runs silently.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

struct MusicPlayer {
    ALCdevice* device = nullptr;    // the sound system; null when it could not be created
    ALCcontext* context = nullptr;  // current context; null when initialisation failed
    ALuint buffer = 0;              // the whole decoded track
    bool loaded = false;            // buffer holds the track
    ALuint source = 0;              // the channel the track plays on
    bool playing = false;           // source was created and started
};

// The one player, created by initMusic and never freed (null before).
extern MusicPlayer* musicPlayer;

// The track's path as it is used and printed.
constexpr const char* kMusicPath = "sound/Quillon.mp3";

// Starts decoding the track at once in a child process, so that the decoding
// runs beside the window's creation; initMusic then takes the child's samples
// (or, when the child failed, decodes the file itself, as it does when this
// was never called). The child only decodes: no sound system, nothing on the
// console. Call it first thing, before any thread exists.
void startMusicDecode();

// Prints at most one failure line per step, then the load result:
// "sound/Quillon.mp3 loaded!" or "sound/Quillon.mp3 could not be loaded!".
void initMusic();

// Prints "Could not play sound!" when there is nothing to play or no source.
void playMusic();

// Closes the sound device. The demo never calls it: it leaves the device to
// the end of the process. The tools that run the demo's frames call it before
// they end, because the null device complains on stderr about one left open.
void closeMusic();
