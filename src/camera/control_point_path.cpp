#include "camera/control_point_path.h"

#include <iostream>

#include "platform/platform.h"

namespace {

constexpr double kTicksPerSecond = 50.0;
constexpr size_t kWindowSize = 4;

}  // namespace

float catmullRom(float u, float p0, float p1, float p2, float p3) {
    float u2 = u * u;
    float u3 = u2 * u;
    float c0 = (2.0f * u2 - u3) - u;
    float c1 = (3.0f * u3 - 5.0f * u2) + 2.0f;
    float c2 = (4.0f * u2 - 3.0f * u3) + u;
    float c3 = u3 - u2;
    float sum = c0 * p0 + c1 * p1;
    sum = sum + c2 * p2;
    sum = sum + c3 * p3;
    return 0.5f * sum;
}

template <int N>
void ControlPointPath<N>::startClock() {
    segment = -1;
    segmentTicks = 0.0;
    lastTime = platform.readClock();
}

template <int N>
void ControlPointPath<N>::addControlPoint(const Payload& payload, int32_t ticks) {
    if (points.empty()) points.push_back({payload, 1});
    points.push_back({payload, ticks});
}

template <int N>
void ControlPointPath<N>::finishPath() {
    // An empty path has no last point to copy; it is simply unusable.
    if (!points.empty()) points.push_back({points.back().payload, 1});
    if (points.size() < kWindowSize) {
        std::cout << "Warning: too little control points! Add more points!" << std::endl;
        return;
    }
    p0 = points[0];
    p1 = points[1];
    p2 = points[2];
    p3 = points[3];
}

template <int N>
std::optional<typename ControlPointPath<N>::Payload> ControlPointPath<N>::advance() {
    // The clock runs on even when nothing can be evaluated.
    double now = platform.readClock();
    double delta = now - lastTime;
    lastTime = now;

    if (points.size() < kWindowSize) {
        std::cout << "Not enough control points for camera!" << std::endl;
        return std::nullopt;
    }

    // The test uses the previous frame's ticks: a segment that ran out is left
    // on the following frame, and whatever it overran by is dropped.
    float uPrev = u;
    double ticksPrev = segmentTicks;
    if (segment == -1 || segmentTicks >= static_cast<double>(p1.ticks)) {
        if (static_cast<size_t>(segment + 4) == points.size()) {
            segment = 0;
        } else {
            segment = segment + 1;
        }
        p0 = points[segment];
        p1 = points[segment + 1];
        p2 = points[segment + 2];
        p3 = points[segment + 3];
        uPrev = 0.0f;
        ticksPrev = 0.0;
    }

    double dt = delta * kTicksPerSecond;
    segmentTicks = ticksPrev + dt;
    double duration = static_cast<double>(static_cast<float>(p1.ticks));
    u = static_cast<float>(dt / duration + static_cast<double>(uPrev));

    Payload value;
    for (int i = 0; i < N; ++i) {
        value[i] = catmullRom(u, p0.payload[i], p1.payload[i], p2.payload[i], p3.payload[i]);
    }
    return value;
}

template struct ControlPointPath<3>;
template struct ControlPointPath<6>;
