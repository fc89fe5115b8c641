// Tarnwick! — a self-running real-time demo. Takes no arguments.
#include "app/frame_loop.h"
#include "app/window.h"

int main() {
    openDemoWindow();  // exits with code 1 when there is no GL context
    // A scene that cannot be loaded is a failure: its message is printed and
    // the music was started, but the run ends before its first frame.
    if (!startDemo()) return 1;
    while (runFrame()) {
    }
    return 0;
}
