// The viewer run for real on the generated content, each test on an X server
// of its own, driven by keys sent to its window as X events: a seek lands on
// the capture tool's frame of that tick and moves the music there, a pause
// holds the picture and the music, a shader or a scene changed on disk shows
// without losing the place (and a broken one keeps the picture), and the
// title follows the tick. The music plays on OpenAL Soft's null device, whose
// position the title reads back from the sound library, or, where a test
// listens to it, on its wave device, which writes it to a file.
//
// What the window shows is read back from the X server, so these tests see
// the picture a person sees. The title is set after each frame's present;
// once it says what a key asked for, that frame is on screen.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "demo_process.h"
#include "frame_image.h"
#include "test_support.h"

// Last: Xlib defines macros (None, Bool, Status) that clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace fs = std::filesystem;

namespace {

int ignoreXError(Display*, XErrorEvent*) { return 0; }

// A run folder of the test's own: the generated textures and music by link,
// the scenes and the shaders as copies, which the tests change.
std::string viewerFolder(const std::string& tag) {
    const std::string dir = makeScratchDir(tag);
    for (const char* folder : {"tex", "sound"}) fs::create_symlink(runPath(folder), dir + "/" + folder);
    makeDirs(dir + "/scene");
    for (const char* scene : {"scene/main2.DAE", "scene/StreetScene.DAE"}) {
        fs::copy_file(runPath(scene), dir + "/" + scene);
    }
    copyShaders(dir);
    return dir;
}

int shiftFor(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool samePicture(const FrameImage& a, const FrameImage& b) {
    return a.width == b.width && a.height == b.height && !a.rgb.empty() && a.rgb == b.rgb;
}

class ViewerTest : public ::testing::Test {
protected:
    PrivateDisplay display;
    std::string dir = viewerFolder("viewer");
    std::string shots = dir + "/shots";
    std::unique_ptr<DemoProcess> viewer;
    unsigned long window = 0;

    // DemoProcess starts a program without arguments: a two-line script gives
    // the viewer its options, and exec keeps the process the same one.
    // audio: the sound library's settings, the null device unless a test listens.
    void start(const std::vector<std::string>& args, const std::string& audio = "ALSOFT_DRIVERS=null") {
        ASSERT_TRUE(display.ready());
        std::string command = audio + " ALSOFT_LOGLEVEL=0 exec '" + VIEWER_BINARY + "' --shots '" + shots + "'";
        for (const std::string& arg : args) command += " '" + arg + "'";
        const std::string script = dir + "/viewer.sh";
        writeFile(script, "#!/bin/sh\n" + command + "\n");
        fs::permissions(script, fs::perms::owner_all);
        makeDirs(shots);
        viewer = std::make_unique<DemoProcess>(script, dir);
        window = findWindow(60);
        ASSERT_NE(window, 0u) << viewer->output();
    }

    // The viewer's window, whatever its title says by now.
    unsigned long findWindow(double seconds) {
        const double deadline = secondsNow() + seconds;
        while (secondsNow() < deadline && viewer->pump(0.1)) {
            Display* x = XOpenDisplay(nullptr);
            if (x == nullptr) continue;
            Window root = DefaultRootWindow(x), parent = 0, *children = nullptr;
            unsigned int count = 0;
            unsigned long found = 0;
            if (XQueryTree(x, root, &root, &parent, &children, &count)) {
                for (unsigned int i = 0; i < count && found == 0; ++i) {
                    char* name = nullptr;
                    if (XFetchName(x, children[i], &name) && name != nullptr) {
                        if (std::string(name).rfind("Tarnwick!", 0) == 0) found = children[i];
                        XFree(name);
                    }
                }
                if (children != nullptr) XFree(children);
            }
            XCloseDisplay(x);
            if (found != 0) return found;
        }
        return 0;
    }

    std::string title() {
        std::string text;
        Display* x = XOpenDisplay(nullptr);
        if (x == nullptr) return text;
        XSetErrorHandler(ignoreXError);
        char* name = nullptr;
        if (XFetchName(x, window, &name) && name != nullptr) {
            text = name;
            XFree(name);
        }
        XCloseDisplay(x);
        return text;
    }

    // The tick the title shows; -1 before the viewer's first title.
    int titleTick() {
        std::smatch match;
        const std::string text = title();
        static const std::regex tick(" tick (\\d+) \\|");
        return std::regex_search(text, match, tick) ? std::atoi(match[1].str().c_str()) : -1;
    }

    // Where the title says the music stands, in seconds; -1 without music.
    double titleMusic() {
        std::smatch match;
        const std::string text = title();
        static const std::regex music(" music (\\d+\\.\\d+) s");
        return std::regex_search(text, match, music) ? std::atof(match[1].str().c_str()) : -1.0;
    }

    // shown false: until the title no longer holds part.
    bool waitForTitle(const std::string& part, double seconds = 30, bool shown = true) {
        for (const double deadline = secondsNow() + seconds; secondsNow() < deadline;) {
            if ((title().find(part) != std::string::npos) == shown) return true;
            if (!viewer->pump(0.05)) break;
        }
        return (title().find(part) != std::string::npos) == shown;
    }

    bool waitForTick(int tick, double seconds = 30) { return waitForTitle(" tick " + std::to_string(tick) + " |", seconds); }

    bool waitForCount(const std::string& text, int count, double seconds = 30) {
        for (const double deadline = secondsNow() + seconds; secondsNow() < deadline;) {
            if (countOccurrences(viewer->output(), text) >= count) return true;
            if (!viewer->pump(0.05)) break;
        }
        return countOccurrences(viewer->output(), text) >= count;
    }

    // One press and release, as X events to the viewer's window alone.
    void key(const std::string& name, bool shift = false) {
        ASSERT_TRUE(viewer->sendKeys(window, {{name, true}, {name, false}}, 0, shift)) << name;
        // The next key apart from this one: a release and a press of the same
        // key that arrive together look like a held key's repeat.
        viewer->pump(0.1);
    }

    // What the window shows, read from the X server, as top-down RGB.
    FrameImage grab(int width = 1024, int height = 768) {
        FrameImage image;
        Display* x = XOpenDisplay(nullptr);
        if (x == nullptr) return image;
        XSetErrorHandler(ignoreXError);
        XImage* pixels = XGetImage(x, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                   AllPlanes, ZPixmap);
        if (pixels != nullptr) {
            image.width = width;
            image.height = height;
            image.rgb.resize(static_cast<size_t>(width) * height * 3);
            const int shifts[3] = {shiftFor(pixels->red_mask), shiftFor(pixels->green_mask),
                                   shiftFor(pixels->blue_mask)};
            const unsigned long masks[3] = {pixels->red_mask, pixels->green_mask, pixels->blue_mask};
            for (int y = 0; y < height; ++y) {
                for (int x0 = 0; x0 < width; ++x0) {
                    const unsigned long pixel = XGetPixel(pixels, x0, y);
                    for (int c = 0; c < 3; ++c) {
                        image.rgb[(static_cast<size_t>(y) * width + x0) * 3 + c] =
                            static_cast<uint8_t>((pixel & masks[c]) >> shifts[c]);
                    }
                }
            }
            XDestroyImage(pixels);
        }
        XCloseDisplay(x);
        return image;
    }

    // The first picture, within the time given, that differs from before
    // (of the same size).
    FrameImage grabChangedFrom(const FrameImage& before, double seconds = 20) {
        FrameImage now = grab(before.width, before.height);
        for (const double deadline = secondsNow() + seconds; samePicture(now, before) && secondsNow() < deadline;) {
            viewer->pump(0.2);
            now = grab(before.width, before.height);
        }
        return now;
    }

    // Paused in the bloom phase: B twice draws the held frame twice more,
    // the second time as it was. Each title change follows a frame drawn.
    void redrawByBloomOffAndOn() {
        ASSERT_NE(title().find("| bloom |"), std::string::npos) << title();
        key("b");
        ASSERT_TRUE(waitForTitle("| none |")) << title();
        key("b");
        ASSERT_TRUE(waitForTitle("| bloom |")) << title();
    }

    // Paused, with the strip hidden: a click where the strip marks the tick
    // shown, after a seek elsewhere, lands on that tick within a second (a
    // pixel of the run is some eight ticks). The strip's run spans the
    // window less the frame-time graph, so the place depends on the size.
    void expectAClickOnTheStripsMarkToLandOnItsTick(int width, int height) {
        const int tick = titleTick();
        const FrameImage hidden = grab(width, height);
        key("t");
        const FrameImage shown = grabChangedFrom(hidden);
        // The tick shown is the strip's one white mark in the rows below the
        // camera's points, where nothing else is drawn.
        const int row = height - 7;
        int columns = 0, sum = 0;
        for (int x0 = 0; x0 < width; ++x0) {
            const uint8_t* pixel = &shown.rgb[(static_cast<size_t>(row) * width + x0) * 3];
            if (pixel[0] > 250 && pixel[1] > 250 && pixel[2] > 250) {
                ++columns;
                sum += x0;
            }
        }
        ASSERT_TRUE(columns >= 1 && columns <= 3) << columns << " white columns where the strip marks tick " << tick;
        key("Home");
        ASSERT_TRUE(waitForTick(0)) << title();
        const std::string x0 = std::to_string(sum / columns), y0 = std::to_string(row);
        ASSERT_TRUE(viewer->xdotool({"mousemove", "--window", "%w", x0, y0, "click", "1"}, window));
        for (const double deadline = secondsNow() + 30; titleTick() == 0 && secondsNow() < deadline;) {
            viewer->pump(0.05);
        }
        EXPECT_NEAR(titleTick(), tick, 50) << "a click at (" << x0 << ", " << y0 << ") of a window " << width
                                           << " pixels wide: " << title();
    }

    void quit() {
        key("Escape");
        const ProcessResult result = viewer->finish(30);
        EXPECT_TRUE(result.exited && result.exitCode == 0) << result.output;
    }
};

FrameImage load(const std::string& path) {
    FrameImage image;
    EXPECT_TRUE(readPng(path, image)) << path;
    return image;
}

// The lines the viewer printed that start with prefix, for the test's log.
void showLines(const std::string& output, const std::string& prefix) {
    for (const std::string& line : linesStartingWith(output, prefix)) std::cout << "  viewer: " << line << std::endl;
}

TEST_F(ViewerTest, ASeekLandsOnTheCaptureToolsFrameOfThatTick) {
    start({"--tick", "0"});
    ASSERT_TRUE(waitForTick(0, 120)) << title() << "\n" << viewer->output();
    EXPECT_NE(title().find("| paused |"), std::string::npos) << title();

    // Six long seeks from the start: 10 s each.
    for (int tick = 500; tick <= 3000; tick += 500) {
        key("Right", true);
        ASSERT_TRUE(waitForTick(tick)) << title();
    }
    EXPECT_NE(title().find("| tick 3000 | 60.00 s | bloom | 1x | paused |"), std::string::npos) << title();
    EXPECT_NEAR(titleMusic(), 60.0, 0.02) << "the music did not follow the seek: " << title();
    const FrameImage shown = grab();

    // P writes the picture on screen, drawn again from the held frame; with
    // the timeline strip over the window, the very same picture.
    key("p");
    ASSERT_TRUE(waitForCount("Wrote " + shots + "/tick_03000.png", 1)) << viewer->output();
    EXPECT_TRUE(samePicture(load(shots + "/tick_03000.png"), shown)) << "the shot is not what the window shows";
    key("t");
    EXPECT_FALSE(samePicture(grabChangedFrom(shown, 10), shown)) << "the strip does not show";
    key("p");
    ASSERT_TRUE(waitForCount("Wrote " + shots + "/tick_03000.png", 2)) << viewer->output();
    EXPECT_TRUE(samePicture(load(shots + "/tick_03000.png"), shown)) << "the strip got into the shot";
    key("t");
    for (const double deadline = secondsNow() + 10; !samePicture(grab(), shown) && secondsNow() < deadline;) {
        viewer->pump(0.2);
    }
    EXPECT_TRUE(samePicture(grab(), shown)) << "hidden again, the strip stays";

    // One tick on moves the camera; one tick back replays to the same picture.
    key("period");
    ASSERT_TRUE(waitForTick(3001)) << title();
    EXPECT_FALSE(samePicture(grab(), shown)) << "a step on did not move the picture";
    key("comma");
    ASSERT_TRUE(waitForTick(3000)) << title();
    EXPECT_TRUE(samePicture(grab(), shown)) << "a step back does not land on the seek's picture";

    // Back into the flight through the streets, where motion blur shows how
    // the camera moved since the frame before: the replay must have kept it.
    for (int tick = 2500; tick >= 1000; tick -= 500) {
        key("Left", true);
        ASSERT_TRUE(waitForTick(tick)) << title();
    }
    for (int tick = 950; tick >= 800; tick -= 50) {
        key("Left");
        ASSERT_TRUE(waitForTick(tick)) << title();
    }
    EXPECT_NE(title().find("| 16.00 s | motion blur |"), std::string::npos) << title();
    const FrameImage street = grab();
    key("p");
    ASSERT_TRUE(waitForCount("Wrote " + shots + "/tick_00800.png", 1)) << viewer->output();
    EXPECT_TRUE(samePicture(load(shots + "/tick_00800.png"), street)) << "the shot lost the motion blur's streaks";

    // The capture tool's frames of both ticks at one frame per tick, on this folder.
    const std::string frames = dir + "/captured";
    const ProcessResult capture = runProgram(CAPTURE_BINARY, dir, 300, {},
                                             {"--quiet", "--fps", "50", "--ticks", "800,3000", "--out", frames});
    ASSERT_TRUE(capture.exited && capture.exitCode == 0) << capture.output;
    for (const auto& [name, seen] : {std::pair{"tick_00800.png", &street}, std::pair{"tick_03000.png", &shown}}) {
        const FrameImage captured = load(frames + "/" + name);
        ASSERT_EQ(captured.width, 1024) << name;
        EXPECT_GT(meanLevel(captured), 5.0) << name << " is black: nothing was drawn";
        // As the capture's own EGL and window frames are compared: equal to
        // the bit on llvmpipe, with room for a machine where the paths differ.
        EXPECT_GE(psnr(*seen, captured), 45.0) << name;
        EXPECT_LE(maxChannelDifference(*seen, captured), 16) << name;
    }

    // To the end and back: the viewer times its seeks.
    key("End");
    ASSERT_TRUE(waitForTick(6685)) << title();
    EXPECT_NE(title().find("| 133.70 s | motion blur |"), std::string::npos) << title();
    key("Home");
    ASSERT_TRUE(waitForTick(0)) << title();
    showLines(viewer->output(), "Seek to tick");
    quit();
}

// Paused in the flight through the streets, where the camera moves fast and
// the motion blur draws long streaks.
TEST_F(ViewerTest, PauseHoldsThePictureStill) {
    start({"--tick", "700"});
    ASSERT_TRUE(waitForTick(700, 120)) << title() << "\n" << viewer->output();
    key("space");
    ASSERT_TRUE(waitForTitle("| playing |")) << title();
    for (const double deadline = secondsNow() + 30; titleTick() < 720 && secondsNow() < deadline;) viewer->pump(0.1);
    const FrameImage playing = grab();
    EXPECT_FALSE(samePicture(grabChangedFrom(playing, 10), playing)) << "playing, the picture does not move";

    key("space");
    ASSERT_TRUE(waitForTitle("| paused |")) << title();
    viewer->pump(0.3);
    const int tick = titleTick();
    const double music = titleMusic();
    const FrameImage held = grab();
    // The music stands at the clock, which lies inside the tick shown; the
    // title rounds it to 0.01 s.
    EXPECT_GE(music, tick / 50.0 - 0.005) << "paused, the music is behind the picture: " << title();
    EXPECT_LT(music, (tick + 1) / 50.0 + 0.005) << "paused, the music is ahead of the picture: " << title();
    viewer->pump(2.0);
    EXPECT_EQ(titleTick(), tick);
    EXPECT_EQ(titleMusic(), music) << "paused, the music plays on";
    EXPECT_TRUE(samePicture(grab(), held)) << "paused, the picture moved";

    // Bloom on and off again on the paused picture: two frames drawn again
    // from the held state, the second the very picture that was held, its
    // motion blur included.
    key("b");
    ASSERT_TRUE(waitForTitle("| both |")) << title();
    EXPECT_FALSE(samePicture(grabChangedFrom(held, 5), held)) << "bloom did not show on the paused picture";
    key("b");
    ASSERT_TRUE(waitForTitle("| motion blur |")) << title();
    viewer->pump(0.3);
    EXPECT_TRUE(samePicture(grab(), held)) << "drawn again, the held picture came out different";
    EXPECT_EQ(titleTick(), tick);
    EXPECT_EQ(countOccurrences(viewer->output(), "1 BL\n"), 1);
    EXPECT_EQ(countOccurrences(viewer->output(), "0 BL\n"), 1);

    // Motion blur off while paused holds on when playing goes on.
    key("m");
    ASSERT_TRUE(waitForTitle("| none |")) << title();
    key("space");
    ASSERT_TRUE(waitForTitle("| playing |")) << title();
    for (const double deadline = secondsNow() + 10; titleTick() <= tick && secondsNow() < deadline;) viewer->pump(0.1);
    EXPECT_GT(titleTick(), tick) << "playing again did not go on";
    EXPECT_NE(title().find("| none |"), std::string::npos) << "playing forgot the paused M: " << title();
    quit();
    showLines(viewer->output(), "Played ");
}

// The music as heard: OpenAL Soft's wave device writes the mix to a file in
// real time, so the file's length when a key has taken effect (the title
// says so) marks that moment in it. Float samples: silence is exactly 0.
TEST_F(ViewerTest, TheMusicIsHeardOnlyWhilePlayingUnmutedAndStaysInStep) {
    const std::string wave = dir + "/heard.wav";
    writeFile(dir + "/alsoft.conf", "[general]\nfrequency = 44100\nperiod_size = 1024\nchannels = stereo\n"
                                    "sample-type = float32\n[wave]\nfile = " + wave + "\n");
    start({"--tick", "300"}, "ALSOFT_CONF='" + dir + "/alsoft.conf' ALSOFT_DRIVERS=wave");
    ASSERT_TRUE(waitForTick(300, 120)) << title() << "\n" << viewer->output();

    struct Stretch {
        const char* what;
        bool loud;
        uintmax_t from, to;  // the file's length in bytes
    };
    std::vector<Stretch> stretches;
    auto listen = [&](const char* what, bool loud, double seconds) {
        std::error_code error;
        const uintmax_t from = fs::file_size(wave, error);
        viewer->pump(seconds);
        stretches.push_back({what, loud, from, fs::file_size(wave, error)});
    };
    key("space");
    ASSERT_TRUE(waitForTitle("| playing |")) << title();
    listen("playing", true, 2.5);
    key("space");
    ASSERT_TRUE(waitForTitle("| paused |")) << title();
    listen("paused", false, 1.0);
    // At 4x the sound library's steps of 23 ms are 92 ms of music: with a
    // limit of less than a frame, the music would be moved back most frames.
    // The speed is changed while paused: playing, the frame after the key
    // would take the time since the one before at the new speed.
    for (const char* name : {"s", "bracketright", "bracketright", "space"}) key(name);
    ASSERT_TRUE(waitForTitle("| 4x | playing |")) << title();
    ASSERT_NE(title().find(", muted"), std::string::npos) << title();
    listen("playing muted", false, 1.5);
    key("s");
    ASSERT_TRUE(waitForTitle(", muted", 30, false)) << title();
    listen("playing unmuted again", true, 2.5);
    quit();
    // Playing in step, the music never strays a frame from the picture; only
    // a frame too long to follow, on a busy machine, leaves it behind.
    showLines(viewer->output(), "Played ");
    showLines(viewer->output(), "Music moved back");
    std::smatch moves;
    const std::string output = viewer->output();
    ASSERT_TRUE(std::regex_search(output, moves, std::regex("moved back to the picture (\\d+) times, (\\d+) of them")))
        << output;
    EXPECT_EQ(moves[1].str(), moves[2].str()) << "the music strayed from the picture by itself";

    const std::string heard = readFile(wave);
    const size_t data = heard.find("data");
    ASSERT_NE(data, std::string::npos) << "no wave file at " << wave;
    for (const Stretch& stretch : stretches) {
        // A quarter of a second for a change to reach the file.
        const size_t start = data + 8;
        const size_t first = start + (std::max<size_t>(stretch.from, start) - start) / 8 * 8 + 44100 * 8 / 4;
        const size_t last = std::min<size_t>(stretch.to, heard.size());
        ASSERT_GT(last, first + 44100 * 8 / 4) << stretch.what << ": too little written";
        std::vector<float> samples((last - first) / 4);
        std::memcpy(samples.data(), heard.data() + first, samples.size() * 4);
        double energy = 0.0;
        for (float sample : samples) energy += static_cast<double>(sample) * sample;
        const double level = std::sqrt(energy / static_cast<double>(samples.size()));
        std::cout << "  " << stretch.what << ": RMS " << level << std::endl;
        if (stretch.loud) {
            EXPECT_GT(level, 0.01) << stretch.what << ": the music is not heard";
        } else {
            EXPECT_LT(level, 1e-4) << stretch.what << ": the music is heard";
        }
    }
}

// The quad program paints the finished frame; wrapped, it paints it inverted.
std::string invertedComposite(const std::string& source) {
    std::smatch output;
    if (!std::regex_search(source, output, std::regex("out\\s+vec4\\s+(\\w+)\\s*;"))) return "";
    const size_t main = source.find("void main()");
    if (main == std::string::npos) return "";
    const std::string name = output[1].str();
    return source.substr(0, main) + "void originalMain()" + source.substr(main + 11) +
           "\nvoid main() {\n    originalMain();\n    " + name + ".rgb = vec3(1.0) - " + name + ".rgb;\n}\n";
}

TEST_F(ViewerTest, AShaderChangedOnDiskShowsAtOnceAndABrokenOneKeepsThePicture) {
    const std::string file = dir + "/shaders/pureQuad.frag";
    const std::string original = readFile(file);
    const std::string inverted = invertedComposite(original);
    ASSERT_FALSE(inverted.empty()) << "pureQuad.frag has no main or no vec4 output to wrap:\n" << original;

    start({"--tick", "1500"});
    ASSERT_TRUE(waitForTick(1500, 120)) << title() << "\n" << viewer->output();
    viewer->pump(0.3);
    const FrameImage before = grab();
    ASSERT_GT(meanLevel(before), 5.0);

    writeFile(file, inverted);
    ASSERT_TRUE(waitForCount("Shaders rebuilt", 1)) << viewer->output();
    const FrameImage changed = grabChangedFrom(before);
    EXPECT_NEAR(meanLevel(changed), 255.0 - meanLevel(before), 1.0) << "the picture is not the inverted one";
    EXPECT_EQ(titleTick(), 1500) << "the change lost the place";

    // Broken: the compiler's log once, however often the files are looked at,
    // and the old programs go on drawing the same picture.
    writeFile(file, original + "this is not GLSL\n");
    ASSERT_TRUE(waitForCount("Shader shaders/pureQuad.frag not compiled.", 1)) << viewer->output();
    viewer->pump(2.0);
    EXPECT_EQ(countOccurrences(viewer->output(), "Shader shaders/pureQuad.frag not compiled.\nInfoLog:\n"), 1)
        << viewer->output();
    EXPECT_EQ(countOccurrences(viewer->output(), "Shaders not rebuilt"), 1);
    redrawByBloomOffAndOn();
    EXPECT_TRUE(samePicture(grab(), changed)) << "with a broken stage, the picture changed";

    // Mended: the first picture again, at the same tick.
    writeFile(file, original);
    ASSERT_TRUE(waitForCount("Shaders rebuilt", 2)) << viewer->output();
    EXPECT_TRUE(samePicture(grabChangedFrom(changed), before)) << "the original shaders do not draw the first picture";
    EXPECT_EQ(titleTick(), 1500);
    quit();
}

// The resident memory of a process, in kB; 0 when it cannot be read.
long residentKilobytes(int pid) {
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

TEST_F(ViewerTest, AChangedSceneIsLoadedAgainAtTheSameTick) {
    start({"--tick", "1500"});
    ASSERT_TRUE(waitForTick(1500, 120)) << title() << "\n" << viewer->output();
    viewer->pump(0.3);
    const FrameImage town = grab();

    // The generator writes its files anew, each moved in at once as a
    // finished file. The same town three times: each time the old scenes'
    // heap is handed back, so the memory stays where it was.
    auto moveIn = [&](const std::string& from) {
        fs::copy_file(from, dir + "/scene.tmp");
        fs::rename(dir + "/scene.tmp", dir + "/scene/main2.DAE");
    };
    const long before = residentKilobytes(viewer->pid());
    ASSERT_GT(before, 0);
    for (int reload = 1; reload <= 3; ++reload) {
        moveIn(dir + "/scene/main2.DAE");
        ASSERT_TRUE(waitForCount("Scenes loaded again at tick 1500.", reload, 120)) << viewer->output();
    }
    const long after = residentKilobytes(viewer->pid());
    std::cout << "  resident: " << before / 1024 << " MB before three reloads, " << after / 1024 << " MB after"
              << std::endl;
    EXPECT_NEAR(after, before, before / 10.0) << "the reloads kept the memory of the scenes they replaced";

    // Here the street scene takes the main scene's place.
    moveIn(dir + "/scene/StreetScene.DAE");
    ASSERT_TRUE(waitForCount("Scenes loaded again at tick 1500.", 4, 120)) << viewer->output();
    const FrameImage street = grabChangedFrom(town);
    EXPECT_FALSE(samePicture(street, town)) << "the new scene does not show";
    EXPECT_EQ(titleTick(), 1500);

    // A file that is no model: the scenes shown stay, and the line says
    // which file and why.
    writeFile(dir + "/scene/main2.DAE", "not a model\n");
    ASSERT_TRUE(waitForCount("Scenes could not be loaded again", 1, 60)) << viewer->output();
    const std::vector<std::string> why = linesStartingWith(viewer->output(), "scene/main2.DAE could not be loaded: ");
    ASSERT_EQ(why.size(), 1u) << viewer->output();
    EXPECT_GT(why[0].size(), std::string("scene/main2.DAE could not be loaded: ").size() + 10) << why[0];
    EXPECT_TRUE(linesStartingWith(viewer->output(), "scene/StreetScene.DAE could not").empty());
    showLines(viewer->output(), "scene/main2.DAE could not");
    redrawByBloomOffAndOn();
    EXPECT_TRUE(samePicture(grab(), street)) << "a failed load changed the picture";
    quit();
}

TEST_F(ViewerTest, AClickOnTheStripLandsOnTheTickThere) {
    start({"--tick", "5000"});
    ASSERT_TRUE(waitForTick(5000, 120)) << title() << "\n" << viewer->output();
    expectAClickOnTheStripsMarkToLandOnItsTick(1024, 768);
    // Resized, the strip follows the window's new width.
    key("t");
    ASSERT_TRUE(viewer->xdotool({"windowsize", "%w", "800", "600"}, window));
    for (const double deadline = secondsNow() + 30; secondsNow() < deadline;) {
        viewer->pump(0.3);
        const FrameImage resized = grab(800, 600);
        if (!resized.rgb.empty() && meanLevel(resized) > 5.0) break;
    }
    viewer->pump(1.0);
    expectAClickOnTheStripsMarkToLandOnItsTick(800, 600);
    quit();
}

TEST_F(ViewerTest, TheTitleFollowsTheTick) {
    start({});
    ASSERT_TRUE(waitForTitle("| playing |", 120)) << title() << "\n" << viewer->output();
    const int first = titleTick();
    viewer->pump(1.5);
    EXPECT_GT(titleTick(), first) << "playing, the title stands still: " << title();

    key("space");
    ASSERT_TRUE(waitForTitle("| paused |")) << title();
    const int tick = titleTick();
    ASSERT_GE(tick, 0);
    ASSERT_LT(tick, 500);

    struct Step {
        const char* key;
        bool shift;
        int tick;
        const char* also;  // more of the title that must show
    };
    const Step steps[] = {
        {"period", false, tick + 1, ""},
        {"comma", false, tick, ""},
        {"Right", false, tick + 50, ""},
        {"Left", false, tick, ""},
        {"Right", true, tick + 500, ""},
        {"Left", true, tick, ""},
        {"Left", true, 0, "| 0.00 s | motion blur |"},
        {"End", false, 6685, "| 133.70 s | motion blur |"},
        {"Right", false, 6734, "| 134.68 s |"},
        {"Home", false, 0, "| 0.00 s |"},
        {"Right", true, 500, "| 10.00 s | motion blur |"},
    };
    for (const Step& step : steps) {
        key(step.key, step.shift);
        ASSERT_TRUE(waitForTick(step.tick)) << step.key << (step.shift ? " with Shift: " : ": ") << title();
        EXPECT_NE(title().find(step.also), std::string::npos) << title();
    }

    // A loop of one second: playing goes from its end back to its start, and
    // never past it.
    key("i");
    key("Right");
    ASSERT_TRUE(waitForTick(550)) << title();
    key("o");
    key("Left");
    ASSERT_TRUE(waitForTick(500)) << title();
    ASSERT_NE(title().find("| loop 10.00-11.00 s"), std::string::npos) << title();
    key("space");
    int rounds = 0, lowest = 500, highest = 500, previous = 500;
    for (const double deadline = secondsNow() + 60;
         rounds < 2 && highest < 550 && secondsNow() < deadline && viewer->pump(0.05);) {
        const int now = titleTick();
        if (now < 0) continue;
        if (now < previous) ++rounds;
        lowest = std::min(lowest, now);
        highest = std::max(highest, now);
        previous = now;
    }
    EXPECT_EQ(rounds, 2) << "playing does not go round the loop: " << title();
    EXPECT_GE(lowest, 500) << "playing went round to before the loop's start";
    EXPECT_LT(highest, 550) << "playing went past the loop's end";
    key("space");
    key("l");
    ASSERT_TRUE(waitForTitle("| paused |")) << title();

    // At the last tick a step on stays there.
    key("End");
    key("Right");
    ASSERT_TRUE(waitForTick(6734)) << title();
    key("period");
    viewer->pump(0.5);
    EXPECT_EQ(titleTick(), 6734);

    key("bracketright");
    ASSERT_TRUE(waitForTitle("| 2x |")) << title();
    for (int i = 0; i < 3; ++i) key("bracketright");
    ASSERT_TRUE(waitForTitle("| 4x |")) << title();
    for (int i = 0; i < 6; ++i) key("bracketleft");
    ASSERT_TRUE(waitForTitle("| 1/8x |")) << title();
    quit();
}

}  // namespace
