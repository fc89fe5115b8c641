#include "frame_image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

void flipRows(FrameImage& image) {
    const size_t stride = static_cast<size_t>(image.width) * 3;
    for (int top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(image.rgb.begin() + top * stride, image.rgb.begin() + (top + 1) * stride,
                         image.rgb.begin() + bottom * stride);
    }
}

FrameImage downscale(const FrameImage& image, int factor) {
    if (factor <= 1) return image;
    FrameImage small;
    small.width = image.width / factor;
    small.height = image.height / factor;
    small.rgb.resize(static_cast<size_t>(small.width) * small.height * 3);
    const int area = factor * factor;
    for (int y = 0; y < small.height; ++y) {
        for (int x = 0; x < small.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    const uint8_t* row = &image.rgb[(static_cast<size_t>(y * factor + dy) * image.width +
                                                     static_cast<size_t>(x) * factor) * 3];
                    for (int dx = 0; dx < factor; ++dx) sum += row[dx * 3 + c];
                }
                // Rounded to nearest, so a flat grey stays the same grey.
                small.rgb[(static_cast<size_t>(y) * small.width + x) * 3 + c] =
                    static_cast<uint8_t>((sum + area / 2) / area);
            }
        }
    }
    return small;
}

bool writePng(const std::string& path, const FrameImage& image) {
    png_image writer{};
    writer.version = PNG_IMAGE_VERSION;
    writer.width = static_cast<png_uint_32>(image.width);
    writer.height = static_cast<png_uint_32>(image.height);
    writer.format = PNG_FORMAT_RGB;
    // Frames are many and large: a quick deflate keeps pace with the capture.
    writer.flags = PNG_IMAGE_FLAG_FAST;
    if (!png_image_write_to_file(&writer, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
        std::cout << "Could not write " << path << std::endl;
        return false;
    }
    return true;
}

bool readPng(const std::string& path, FrameImage& image) {
    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&reader, path.c_str())) {
        std::cout << "Could not read " << path << std::endl;
        return false;
    }
    reader.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(reader.width);
    image.height = static_cast<int>(reader.height);
    image.rgb.assign(PNG_IMAGE_SIZE(reader), 0);
    if (!png_image_finish_read(&reader, nullptr, image.rgb.data(), 0, nullptr)) {
        std::cout << "Could not read " << path << std::endl;
        png_image_free(&reader);
        return false;
    }
    return true;
}

double psnr(const FrameImage& a, const FrameImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return 0.0;
    double squares = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        double d = static_cast<double>(a.rgb[i]) - static_cast<double>(b.rgb[i]);
        squares += d * d;
    }
    if (squares == 0.0) return std::numeric_limits<double>::infinity();
    double mse = squares / static_cast<double>(a.rgb.size());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

int maxChannelDifference(const FrameImage& a, const FrameImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size()) return 255;
    int largest = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        largest = std::max(largest, std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i])));
    }
    return largest;
}

double meanLevel(const FrameImage& image) {
    if (image.rgb.empty()) return 0.0;
    double sum = 0.0;
    for (uint8_t v : image.rgb) sum += v;
    return sum / static_cast<double>(image.rgb.size());
}

namespace {

template <typename Test>
double shareOfPixels(const FrameImage& image, Test test) {
    size_t pixels = image.rgb.size() / 3;
    if (pixels == 0) return 0.0;
    size_t count = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = &image.rgb[3 * i];
        if (test(p[0]) && test(p[1]) && test(p[2])) ++count;
    }
    return static_cast<double>(count) / static_cast<double>(pixels);
}

}  // namespace

double shareAtLeast(const FrameImage& image, int level) {
    return shareOfPixels(image, [level](uint8_t v) { return v >= level; });
}

double shareAtMost(const FrameImage& image, int level) {
    return shareOfPixels(image, [level](uint8_t v) { return v <= level; });
}
