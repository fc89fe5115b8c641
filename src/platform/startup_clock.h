// Where start-up's time goes: a few moments, in seconds since the process
// started, and the sums of the steps start-up repeats for every model,
// picture and mesh. The demo notes them as it goes (a clock read each, too
// little to matter beside what they time) and prints nothing of them;
// bench_startup prints them.
#pragma once

struct StartupFigures {
    // Moments, seconds since the process started.
    double windowOpen = 0.0;    // the window and its context exist, GLEW is ready
    double musicLoaded = 0.0;   // initMusic is done
    double shadersBuilt = 0.0;  // the four programs are linked and their uniforms looked up
    double targetsMade = 0.0;   // the render targets exist
    double scenesLoaded = 0.0;  // both scene files are loaded
    double startUpDone = 0.0;   // the rigs are built: the first frame can start

    // Sums over start-up, seconds.
    double guardChild = 0.0;     // the processor time of the trial reads in children
    double guardWait = 0.0;      // the time loadScene waited for a child's verdict
    double parentRead = 0.0;     // the demo's own reads of the model files
    double pictureDecode = 0.0;  // decoding, conversion and pixel copy of every picture
    double pictureUpload = 0.0;  // glTexImage2D of every picture
    double pictureMipmaps = 0.0; // glGenerateMipmap of every picture
    double tangentFrames = 0.0;  // the tangent frames of every mesh
    double musicDecode = 0.0;    // getting the decoded track: waiting for the decoding child and taking
                                 // its samples, or decoding the file in the demo's own process
    int pictureLoads = 0;
};

extern StartupFigures startupFigures;

// Seconds since the process started, as the kernel counts its start (to a
// hundredth of a second).
double processSeconds();

// Adds the time from its construction to its end to one of the sums.
class StepTimer {
public:
    explicit StepTimer(double& sum);
    ~StepTimer();
    StepTimer(const StepTimer&) = delete;
    StepTimer& operator=(const StepTimer&) = delete;

private:
    double& sum_;
    double start_;
};
