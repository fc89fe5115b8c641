#include "platform/frame_size.h"

#include <algorithm>
#include <cstdlib>

FrameSize frameSize;

double designScale(int width, int height) {
    // 4:3 or wider keeps the designed vertical field, narrower the horizontal one.
    return std::min(static_cast<double>(height) / kFrameHeight, static_cast<double>(width) / kFrameWidth);
}

namespace {

// A whole number of digits only; false for "", "+5", "12 " and overflow.
bool parseSide(const std::string& text, int& value) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    value = std::atoi(text.c_str());
    return true;
}

}  // namespace

bool parseFrameSize(const std::string& text, int maxWidth, int maxHeight, FrameSize& size, std::string& error) {
    const size_t x = text.find('x');
    int width = 0, height = 0;
    if (x == std::string::npos || !parseSide(text.substr(0, x), width) || !parseSide(text.substr(x + 1), height)) {
        error = "the size must be WIDTHxHEIGHT, such as 1920x1080, not \"" + text + "\"";
        return false;
    }
    if (width < kMinFrameSide || height < kMinFrameSide || width > maxWidth || height > maxHeight) {
        error = "the size " + text + " is outside " + std::to_string(kMinFrameSide) + "x" +
                std::to_string(kMinFrameSide) + " to " + std::to_string(maxWidth) + "x" + std::to_string(maxHeight);
        return false;
    }
    size = FrameSize{width, height};
    return true;
}
