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

FrameImage cropCentre(const FrameImage& image, int width, int height) {
    FrameImage part;
    part.width = std::min(width, image.width);
    part.height = std::min(height, image.height);
    const int left = (image.width - part.width) / 2, top = (image.height - part.height) / 2;
    part.rgb.resize(static_cast<size_t>(part.width) * part.height * 3);
    for (int y = 0; y < part.height; ++y) {
        std::copy_n(&image.rgb[(static_cast<size_t>(top + y) * image.width + left) * 3],
                    static_cast<size_t>(part.width) * 3, &part.rgb[static_cast<size_t>(y) * part.width * 3]);
    }
    return part;
}

namespace {

// How much of source pixel i (0..n-1) lies in output pixel o along one axis,
// when n source pixels map onto m output pixels: the overlap of [i, i + 1)
// with [o n / m, (o + 1) n / m), in source pixels.
double overlap(int i, int o, int n, int m) {
    const double begin = static_cast<double>(o) * n / m, end = static_cast<double>(o + 1) * n / m;
    return std::max(0.0, std::min(end, i + 1.0) - std::max(begin, static_cast<double>(i)));
}

}  // namespace

FrameImage resample(const FrameImage& image, int width, int height) {
    FrameImage small;
    small.width = width;
    small.height = height;
    small.rgb.resize(static_cast<size_t>(width) * height * 3);
    const double area = static_cast<double>(image.width) / width * image.height / height;
    for (int y = 0; y < height; ++y) {
        const int y0 = y * image.height / height, y1 = std::min(image.height, ((y + 1) * image.height + height - 1) / height);
        for (int x = 0; x < width; ++x) {
            const int x0 = x * image.width / width, x1 = std::min(image.width, ((x + 1) * image.width + width - 1) / width);
            double sum[3] = {0.0, 0.0, 0.0};
            for (int sy = y0; sy < y1; ++sy) {
                const double wy = overlap(sy, y, image.height, height);
                for (int sx = x0; sx < x1; ++sx) {
                    const double w = wy * overlap(sx, x, image.width, width);
                    const uint8_t* p = &image.rgb[(static_cast<size_t>(sy) * image.width + sx) * 3];
                    for (int c = 0; c < 3; ++c) sum[c] += w * p[c];
                }
            }
            for (int c = 0; c < 3; ++c) {
                small.rgb[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    static_cast<uint8_t>(std::lround(std::min(255.0, sum[c] / area)));
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

Brightness brightness(const FrameImage& image, const std::vector<uint8_t>* mask) {
    long counts[256] = {};
    long pixels = 0;
    double sum = 0.0;
    for (size_t i = 0, p = 0; i + 2 < image.rgb.size(); i += 3, ++p) {
        if (mask != nullptr && (p >= mask->size() || (*mask)[p] == 0)) continue;
        const int grey = static_cast<int>(std::lround(0.299 * image.rgb[i] + 0.587 * image.rgb[i + 1] +
                                                      0.114 * image.rgb[i + 2]));
        ++counts[grey];
        sum += grey;
        ++pixels;
    }
    Brightness b;
    if (pixels == 0) return b;
    // The grey below which a share of the pixels lies.
    auto percentile = [&](double share) {
        long seen = 0;
        for (int g = 0; g < 256; ++g) {
            seen += counts[g];
            if (seen > share * static_cast<double>(pixels)) return g;
        }
        return 255;
    };
    long bright = 0;
    for (int g = 128; g < 256; ++g) bright += counts[g];
    b.median = percentile(0.5);
    b.mean = sum / static_cast<double>(pixels);
    b.brightShare = static_cast<double>(bright) / static_cast<double>(pixels);
    b.topOverMedian = static_cast<double>(percentile(0.99)) / std::max(b.median, 1);
    return b;
}

double shareAtLeast(const FrameImage& image, int level) {
    return shareOfPixels(image, [level](uint8_t v) { return v >= level; });
}

double shareAtMost(const FrameImage& image, int level) {
    return shareOfPixels(image, [level](uint8_t v) { return v <= level; });
}
