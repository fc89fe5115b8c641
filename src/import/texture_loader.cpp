#include "import/texture_loader.h"

#include <GL/glew.h>
#include <IL/il.h>

#include <cctype>
#include <fstream>
#include <iostream>

#include "platform/startup_clock.h"

namespace {

// DevIL's binary PGM/PPM reader releases the image it decodes into when the
// pixel data ends early, yet leaves it registered: deleting it afterwards, or
// DevIL's own clean-up at exit, frees it a second time and takes the process
// down. Such a file can never decode, so it is refused before DevIL reads it.
bool isTruncatedBinaryPnm(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    char magic[2] = {};
    if (!file.read(magic, 2) || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) return false;
    unsigned long long header[3] = {};  // width, height, largest sample value
    int c = file.get();
    for (unsigned long long& value : header) {
        while (c == '#' || std::isspace(c)) {
            if (c == '#') {
                while (c != EOF && c != '\n') c = file.get();
            }
            c = file.get();
        }
        if (!std::isdigit(c)) return false;  // no header DevIL would read either
        for (; std::isdigit(c); c = file.get()) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 0xFFFFFFFFull) return true;  // more than any 32-bit image size: never decodes
        }
    }
    // One whitespace character ends the header; a file that ends there has no pixels.
    if (c != EOF && !std::isspace(c)) return false;
    unsigned long long available = 0;
    if (c != EOF) {
        const std::streamoff dataStart = file.tellg();
        file.seekg(0, std::ios::end);
        available = static_cast<unsigned long long>(file.tellg() - dataStart);
    }
    const unsigned long long channels = magic[1] == '6' ? 3 : 1;
    const unsigned long long sampleBytes = header[2] > 255 ? 2 : 1;
    // At most 2^32 × 2^32 × 6 bytes in all: the product may wrap, the file never is that long.
    unsigned long long needed = 0;
    if (__builtin_mul_overflow(header[0], header[1], &needed) ||
        __builtin_mul_overflow(needed, channels * sampleBytes, &needed)) {
        return true;
    }
    return available < needed;
}

}  // namespace

std::string textureFileName(const std::string& materialPath) {
    size_t slash = materialPath.rfind('\\');
    std::string name = slash == std::string::npos ? materialPath : materialPath.substr(slash + 1);
    return "tex/" + name;
}

TextureLoader::TextureLoader() { ilInit(); }

TextureImage TextureLoader::loadImage(const std::string& materialPath) {
    StepTimer timer(startupFigures.pictureDecode);
    ++startupFigures.pictureLoads;
    ilGenImages(1, &imageName);
    ilBindImage(imageName);

    std::string fileName = textureFileName(materialPath);
    bool loaded = !isTruncatedBinaryPnm(fileName) && ilLoadImage(fileName.c_str()) == IL_TRUE;
    std::cout << fileName << (loaded ? " loaded..." : " could not be loaded...") << std::endl;

    ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE);
    TextureImage image;
    image.height = ilGetInteger(IL_IMAGE_HEIGHT);
    image.width = ilGetInteger(IL_IMAGE_WIDTH);
    image.format = ilGetInteger(IL_IMAGE_FORMAT);
    image.bytesPerPixel = ilGetInteger(IL_IMAGE_BPP);

    if (loaded && image.width > 0 && image.height > 0 && image.bytesPerPixel == 4 &&
        image.format == IL_RGBA) {
        image.pixels.resize(static_cast<size_t>(image.bytesPerPixel) * static_cast<size_t>(image.height) *
                            static_cast<size_t>(image.width));
        ilCopyPixels(0, 0, 0, static_cast<ILuint>(image.width), static_cast<ILuint>(image.height), 1,
                     IL_RGBA, IL_UNSIGNED_BYTE, image.pixels.data());
    } else {
        // Whatever the library reports for an image it could not decode is no
        // safe size to copy or upload: a mid-grey opaque texel stands in.
        image = TextureImage{1, 1, IL_RGBA, 4, {128, 128, 128, 255}};
    }
    ilDeleteImages(1, &imageName);
    return image;
}

unsigned createTexture(const TextureImage& image) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    {
        StepTimer timer(startupFigures.pictureUpload);
        glTexImage2D(GL_TEXTURE_2D, 0, image.format, image.width, image.height, 0,
                     static_cast<GLenum>(image.format), GL_UNSIGNED_BYTE, image.pixels.data());
    }
    StepTimer timer(startupFigures.pictureMipmaps);
    glGenerateMipmap(GL_TEXTURE_2D);
    return name;
}
