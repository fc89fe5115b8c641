#include "import/texture_loader.h"

#include <GL/glew.h>
#include <IL/il.h>

#include <iostream>

std::string textureFileName(const std::string& materialPath) {
    size_t slash = materialPath.rfind('\\');
    std::string name = slash == std::string::npos ? materialPath : materialPath.substr(slash + 1);
    return "tex/" + name;
}

TextureLoader::TextureLoader() { ilInit(); }

TextureImage TextureLoader::loadImage(const std::string& materialPath) {
    ilGenImages(1, &imageName);
    ilBindImage(imageName);

    std::string fileName = textureFileName(materialPath);
    bool loaded = ilLoadImage(fileName.c_str()) == IL_TRUE;
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
    glTexImage2D(GL_TEXTURE_2D, 0, image.format, image.width, image.height, 0,
                 static_cast<GLenum>(image.format), GL_UNSIGNED_BYTE, image.pixels.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    return name;
}
