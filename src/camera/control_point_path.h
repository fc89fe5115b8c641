// Timed control-point paths: a payload of N floats moved through hand-placed
// points along a uniform Catmull-Rom spline, driven by the wall clock.
//
// The camera's path carries six floats (eye, then target), the light's three
// (position). Each point says how many ticks (1/50 s) the motion to the next
// point takes. Every frame `advance` reads the clock, steps to the next
// segment when the previous frame used up the current one, and evaluates the
// spline on the window p0..p3. After the last segment the path starts over.
//
// Usage, once: startClock(), addControlPoint() for every point, finishPath();
// then advance() once per frame.
//
// The arithmetic is fixed to the last bit (double clock and ticks, a float
// parameter u, single-precision spline weights summed in one order), so a run
// at a given frame timing always produces the very same camera motion.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

template <int N>
struct ControlPoint {
    std::array<float, N> payload{};  // the coordinates at this point
    int32_t ticks = 0;               // duration of the segment that starts here
};

template <int N>
struct ControlPointPath {
    using Payload = std::array<float, N>;

    // As stored: a copy of the first added point (ticks 1), the added points,
    // a copy of the last one (ticks 1). N added points give N − 1 segments.
    std::vector<ControlPoint<N>> points;
    // The current segment's window, points[segment] .. points[segment + 3];
    // the motion runs from p1 (u = 0) to p2 (u = 1) over p1.ticks ticks.
    ControlPoint<N> p0, p1, p2, p3;
    int32_t segment = -1;       // index of p0; −1 until the first advance
    double segmentTicks = 0.0;  // ticks elapsed in the current segment
    float u = 0.0f;
    double lastTime = 0.0;      // clock (seconds) at the previous advance or at startClock

    // Rewinds to "before the first segment" and starts the clock. The motion
    // counts from here, not from the first frame.
    void startClock();

    // The first call also appends a copy of the point with ticks 1, so the
    // spline has a point before the first real one.
    void addControlPoint(const Payload& payload, int32_t ticks);

    // Appends the end copy and loads the window. With fewer than two added
    // points it prints a warning and the path stays unusable.
    void finishPath();

    // Once per frame. Always advances the clock; with too few points it prints
    // a message and returns nothing.
    std::optional<Payload> advance();
};

// One coordinate of the uniform Catmull-Rom spline: p1 at u = 0, p2 at u = 1.
float catmullRom(float u, float p0, float p1, float p2, float p3);

// The two payload widths the demo uses are built in control_point_path.cpp.
extern template struct ControlPointPath<3>;
extern template struct ControlPointPath<6>;
