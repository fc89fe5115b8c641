// Plays sound/Quillon.mp3 from the working directory through the demo's own
// music player, exactly as the demo starts it, then waits: for listening to
// the track without the demo, and for the player's tests.
//
//   play_music [seconds]    (default 136: the whole track)
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/music_player.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 136.0;
    startMusicDecode();  // as the demo's main does, first thing
    initMusic();
    playMusic();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return 0;
}
