// Texture images named by the model files' materials, decoded with DevIL.
//
// A material names its image by the path the modelling tool wrote, folders and
// all. The demo ignores those folders: it keeps the text after the last
// backslash and looks for it in its own tex/ folder. Nothing is cached: every
// texture slot of every mesh decodes its file again and gets its own texture.
#pragma once

#include <string>
#include <vector>

struct TextureImage {
    int width = 0;
    int height = 0;
    int format = 0;         // IL_RGBA (the same value as GL_RGBA) after conversion
    int bytesPerPixel = 0;  // 4 after conversion
    std::vector<unsigned char> pixels;  // bytesPerPixel × height × width, rows as decoded
};

// "C:\models\wall.png" → "tex/wall.png"; only backslashes separate folders,
// so "textures/wall.png" → "tex/textures/wall.png".
std::string textureFileName(const std::string& materialPath);

struct TextureLoader {
    unsigned imageName = 0;  // DevIL image, generated afresh for each load

    TextureLoader();  // initialises the image library

    // Decodes the image as 8-bit RGBA and prints "<file> loaded..." or
    // "<file> could not be loaded...". A failed load still yields an image
    // (a 1 × 1 opaque placeholder), so the mesh keeps a valid texture.
    TextureImage loadImage(const std::string& materialPath);
};

// A mipmapped, repeating 2D texture of the image; left bound on GL_TEXTURE_2D.
unsigned createTexture(const TextureImage& image);
