// The music under the viewer's clock. The demo's start-up opens the sound
// device and starts the track on its one source; the viewer then steers that
// source so the sound follows the picture: paused with it, moved by a seek,
// played at the speed's rate (the pitch follows), and moved back when it
// drifts more than a frame away. A step while paused plays that tick's 20 ms
// on a second source, so a hit can be found by ear.
//
// Without a sound device (or without a track) nothing is heard and nothing
// is steered; the decoded track still gives the strip its waveform.
#pragma once

#include <AL/al.h>

#include "audio/mp3_decoder.h"

struct ViewerAudio {
    bool sound = false;   // a device and the demo's source playing the track
    bool muted = false;
    float gain = 0.0f;    // the demo's own gain for the track
    DecodedAudio track;   // the waveform and the steps' slices
    ALuint stepSource = 0;
    ALuint stepBuffer = 0;
    float pitch = 1.0f;
    // Moves back to the picture while playing. A frame too long to follow
    // (the viewer holds the picture back) leaves the music ahead by what the
    // picture lost: heldBack says one came since the music was last put in
    // place, and heldBackMoves counts the moves it explains. Any other move
    // means the music strayed by itself.
    int driftMoves = 0;
    int heldBackMoves = 0;
    bool heldBack = false;
};

extern ViewerAudio viewerAudio;

// After startDemo: takes the demo's source over, decodes the track for the
// strip, and says once when the viewer is silent.
void startViewerAudio();

// Puts the track at seconds, paused or playing as it was.
void moveMusicTo(double seconds);

// Once per frame. pictureSeconds is where the music should be now; when
// playing, a distance of more than frameSeconds moves it there.
void followPicture(double pictureSeconds, bool playing, double speed, double frameSeconds);

// The sound of one tick, 20 ms, on its own source.
void playTickSound(int tick);

void setMusicMuted(bool muted);

// Where the sound library's source stands in the track, in seconds.
double musicSeconds();

// The track decoded again from disk and put in place at seconds; false (and
// the old track stays) when the file does not decode.
bool reloadMusic(double seconds);

// The step source and its buffer; before closeMusic.
void closeViewerAudio();
