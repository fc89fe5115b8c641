#include "timeline_strip.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "app/timeline.h"
#include "camera/path_data.h"
#include "tempo.h"

TimelineStrip timelineStrip;

namespace {

constexpr double kTicksPerSecond = 50.0;
constexpr double kGraphSeconds = 5.0;
constexpr double kGraphMilliseconds = 500.0;  // the graph's full height
constexpr int kMargin = 8;
constexpr int kGraphWidth = 200;

// Rows, in pixels up from the window's bottom edge.
constexpr float kCameraRow[2] = {8, 14};
constexpr float kBeatRow[2] = {16, 22};
constexpr float kWaveRow[2] = {24, 86};
constexpr float kEventRow[2] = {90, 104};

// Where the run lies across the window: left of the frame-time graph.
int runLeft() { return kMargin; }
int runRight(int windowWidth) { return windowWidth - 2 * kMargin - kGraphWidth; }
int runTicks() { return kEndTick; }

float tickX(double tick, int windowWidth) {
    return static_cast<float>(runLeft() + tick / runTicks() * (runRight(windowWidth) - runLeft()));
}

struct Color {
    float r, g, b, a;
};

struct Vertex {
    float x, y;
    Color color;
};

std::vector<Vertex> vertices;

void rect(float x0, float y0, float x1, float y1, Color color) {
    const Vertex corners[6] = {{x0, y0, color}, {x1, y0, color}, {x1, y1, color},
                               {x0, y0, color}, {x1, y1, color}, {x0, y1, color}};
    vertices.insert(vertices.end(), corners, corners + 6);
}

void verticalLine(float x, const float (&row)[2], Color color, float width = 1.0f) {
    rect(std::floor(x), row[0], std::floor(x) + width, row[1], color);
}

const char* kVertexSource = R"(#version 150
in vec2 position;
in vec4 color;
uniform vec2 windowSize;
out vec4 tint;
void main() {
    gl_Position = vec4(position / windowSize * 2.0 - 1.0, 0.0, 1.0);
    tint = color;
}
)";

const char* kFragmentSource = R"(#version 150
in vec4 tint;
out vec4 fragColor;
void main() { fragColor = tint; }
)";

GLuint compileStage(GLenum stage, const char* source) {
    const GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void addRunGrid(int windowWidth) {
    const Color bar{0.95f, 0.78f, 0.35f, 0.45f};
    const Color beat{0.95f, 0.78f, 0.35f, 0.55f};
    const double runSeconds = runTicks() / kTicksPerSecond;
    for (int i = 0;; ++i) {
        const double seconds = kGridStart + i * kBeatSeconds;
        if (seconds > runSeconds) break;
        const float x = tickX(seconds * kTicksPerSecond, windowWidth);
        if (i % kBeatsPerBar == 0) {
            verticalLine(x, {kBeatRow[0], kWaveRow[1]}, bar);
        } else {
            verticalLine(x, {kBeatRow[0], kBeatRow[0] + 3}, beat);
        }
    }
}

void addWaveform(int windowWidth) {
    const std::vector<float>& peaks = timelineStrip.peaks;
    if (peaks.empty()) return;
    const Color wave{0.55f, 0.62f, 0.7f, 0.9f};
    const float middle = (kWaveRow[0] + kWaveRow[1]) / 2;
    const float half = (kWaveRow[1] - kWaveRow[0]) / 2;
    const int left = runLeft();
    const int width = runRight(windowWidth) - left;
    for (int column = 0; column < width; ++column) {
        const size_t index = static_cast<size_t>(column) * peaks.size() / static_cast<size_t>(width);
        const float height = std::max(0.5f, peaks[index] * half);
        rect(static_cast<float>(left + column), middle - height, static_cast<float>(left + column + 1),
             middle + height, wave);
    }
}

// The zap and the reveal lie three ticks apart: one flag points left, the
// other right, so both show on the same column.
void addEvents(int windowWidth) {
    struct Mark {
        int tick;
        Color color;
        float flagLeft, flagRight;
    };
    const Mark marks[] = {
        {kZapTick, {1.0f, 0.3f, 0.25f, 1.0f}, -6, 0},
        {kRevealTick, {1.0f, 0.9f, 0.3f, 1.0f}, 0, 6},
        {kSwitchBackTick, {0.35f, 0.85f, 1.0f, 1.0f}, -3, 3},
        {kEndTick, {1.0f, 1.0f, 1.0f, 1.0f}, -6, 0},
    };
    for (const Mark& mark : marks) {
        const float x = std::floor(tickX(mark.tick, windowWidth));
        verticalLine(x, {kWaveRow[0], kEventRow[1]}, Color{mark.color.r, mark.color.g, mark.color.b, 0.8f});
        rect(x + mark.flagLeft, kEventRow[1] - 7, x + 1 + mark.flagRight, kEventRow[1], mark.color);
    }
    // The camera reaches each control point after the ticks of those before it.
    const Color point{0.5f, 1.0f, 0.6f, 0.9f};
    int tick = 0;
    for (const CameraPathPoint& camera : kCameraPoints) {
        verticalLine(tickX(tick, windowWidth) - 1, kCameraRow, point, 3.0f);
        tick += camera.ticks;
    }
}

void addFrameGraph(int windowWidth) {
    const float left = static_cast<float>(windowWidth - kMargin - kGraphWidth);
    const float right = static_cast<float>(windowWidth - kMargin);
    const float bottom = kCameraRow[0];
    const float top = kEventRow[1];
    rect(left, bottom, right, top, Color{0.12f, 0.12f, 0.16f, 0.9f});
    // Lines at 100, 200, 300 and 400 ms.
    for (int line = 1; line < 5; ++line) {
        const float y = bottom + (top - bottom) * static_cast<float>(line * 100.0 / kGraphMilliseconds);
        rect(left, y, right, y + 1, Color{0.3f, 0.3f, 0.35f, 0.9f});
    }
    if (timelineStrip.frames.empty()) return;
    const double now = timelineStrip.frames.back().wallSeconds;
    const float perSecond = static_cast<float>((right - left) / kGraphSeconds);
    for (const FrameTime& frame : timelineStrip.frames) {
        const float x1 = right - static_cast<float>(now - frame.wallSeconds) * perSecond;
        const float x0 = std::max(left, x1 - std::max(1.0f, static_cast<float>(frame.milliseconds / 1000.0) * perSecond));
        const double share = std::min(frame.milliseconds, kGraphMilliseconds) / kGraphMilliseconds;
        const Color color = frame.milliseconds < 100.0   ? Color{0.4f, 0.9f, 0.4f, 1.0f}
                            : frame.milliseconds < 300.0 ? Color{0.95f, 0.8f, 0.3f, 1.0f}
                                                         : Color{1.0f, 0.3f, 0.25f, 1.0f};
        rect(x0, bottom, x1 - 1.0f > x0 ? x1 - 1.0f : x1, bottom + (top - bottom) * static_cast<float>(share), color);
    }
}

}  // namespace

bool createTimelineStrip() {
    const GLuint vertex = compileStage(GL_VERTEX_SHADER, kVertexSource);
    const GLuint fragment = compileStage(GL_FRAGMENT_SHADER, kFragmentSource);
    GLint linked = GL_FALSE;
    if (vertex != 0 && fragment != 0) {
        timelineStrip.program = glCreateProgram();
        glAttachShader(timelineStrip.program, vertex);
        glAttachShader(timelineStrip.program, fragment);
        glBindAttribLocation(timelineStrip.program, 0, "position");
        glBindAttribLocation(timelineStrip.program, 1, "color");
        glLinkProgram(timelineStrip.program);
        glGetProgramiv(timelineStrip.program, GL_LINK_STATUS, &linked);
    }
    if (vertex != 0) glDeleteShader(vertex);
    if (fragment != 0) glDeleteShader(fragment);
    if (linked != GL_TRUE) {
        if (timelineStrip.program != 0) glDeleteProgram(timelineStrip.program);
        timelineStrip.program = 0;
        std::cout << "The timeline strip's shaders did not build: the viewer has no strip." << std::endl;
        return false;
    }
    timelineStrip.windowSizeLocation = glGetUniformLocation(timelineStrip.program, "windowSize");

    glGenVertexArrays(1, &timelineStrip.vertexArray);
    glGenBuffers(1, &timelineStrip.vertexBuffer);
    glBindVertexArray(timelineStrip.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, timelineStrip.vertexBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, color)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return true;
}

void takeWaveform(const DecodedAudio& track) {
    // One peak per two ticks: finer than any column of a window's width.
    const size_t columns = static_cast<size_t>(kEndTick / 2);
    timelineStrip.peaks.assign(columns, 0.0f);
    const size_t frames = track.frameCount();
    if (frames == 0 || track.sampleRate <= 0) return;
    const size_t channels = static_cast<size_t>(track.channels);
    const double framesPerColumn = track.sampleRate * (kEndTick / kTicksPerSecond) / static_cast<double>(columns);
    for (size_t column = 0; column < columns; ++column) {
        const size_t first = static_cast<size_t>(column * framesPerColumn);
        const size_t last = std::min(frames, static_cast<size_t>((column + 1) * framesPerColumn));
        int peak = 0;
        for (size_t i = first * channels; i < last * channels; ++i) peak = std::max(peak, std::abs(int{track.samples[i]}));
        timelineStrip.peaks[column] = static_cast<float>(peak) / 32768.0f;
    }
}

void noteFrameTime(double wallSeconds, double milliseconds) {
    std::deque<FrameTime>& frames = timelineStrip.frames;
    frames.push_back(FrameTime{wallSeconds, milliseconds});
    while (!frames.empty() && frames.front().wallSeconds < wallSeconds - kGraphSeconds) frames.pop_front();
}

int stripTickAt(double x, double y, int windowWidth, int windowHeight) {
    if (!timelineStrip.shown || y < windowHeight - kStripHeight || y > windowHeight) return -1;
    const double share = (x - runLeft()) / (runRight(windowWidth) - runLeft());
    if (share < 0.0 || share > 1.0) return -1;
    return std::clamp(static_cast<int>(std::lround(share * runTicks())), 0, lastTick());
}

void drawTimelineStrip(int tick, const PlayLoop& loop, int windowWidth, int windowHeight) {
    if (!timelineStrip.shown || timelineStrip.program == 0) return;
    vertices.clear();
    rect(0, 0, static_cast<float>(windowWidth), kStripHeight, Color{0.04f, 0.04f, 0.07f, 0.82f});
    const float runTop = kEventRow[1];
    const float runBottom = kCameraRow[0];
    addRunGrid(windowWidth);
    addWaveform(windowWidth);
    // Over the waveform, which would hide it.
    if (loop.start >= 0 || loop.end >= 0) {
        const float x0 = loop.start >= 0 ? tickX(loop.start, windowWidth) : static_cast<float>(runLeft());
        const float x1 = loop.end >= 0 ? tickX(loop.end, windowWidth) : static_cast<float>(runRight(windowWidth));
        const Color shade = loopActive(loop) ? Color{0.3f, 0.5f, 1.0f, 0.4f} : Color{0.5f, 0.5f, 0.5f, 0.3f};
        rect(std::min(x0, x1), runBottom, std::max(x0, x1) + 1, runTop, shade);
    }
    addEvents(windowWidth);
    verticalLine(tickX(tick, windowWidth) - 1, {runBottom - 4, runTop + 4}, Color{1.0f, 1.0f, 1.0f, 1.0f}, 2.0f);
    addFrameGraph(windowWidth);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram(timelineStrip.program);
    glUniform2f(timelineStrip.windowSizeLocation, static_cast<float>(windowWidth), static_cast<float>(windowHeight));
    glBindVertexArray(timelineStrip.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, timelineStrip.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
                 GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size()));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    // Every pass runs with depth testing and back-face culling on, and none blends.
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
}
