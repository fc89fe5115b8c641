// Damaged image files through the texture loader (DevIL only, no GL): each is
// reported as not loaded, stands in as the grey placeholder, and the process
// lives on. A binary PPM or PGM whose pixels end early used to bring the demo
// down: DevIL's reader releases the image it was filling yet leaves it
// registered, so the loader's delete (or DevIL's clean-up at exit) freed it a
// second time. The first rows of the table are those inputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "import/texture_loader.h"
#include "test_support.h"

namespace {

// Runs the loader in a scratch working folder holding tex/<name>, and gives
// back what it printed.
struct Loaded {
    TextureImage image;
    std::string console;
};

Loaded loadFrom(const std::string& name, const std::string& bytes) {
    const std::string dir = makeScratchDir("texture-damaged");
    writeFile(dir + "/tex/" + name, bytes);
    char previous[4096];
    EXPECT_NE(getcwd(previous, sizeof previous), nullptr);
    EXPECT_EQ(chdir(dir.c_str()), 0);

    std::ostringstream console;
    std::streambuf* saved = std::cout.rdbuf(console.rdbuf());
    TextureLoader loader;
    Loaded result{loader.loadImage("C:\\maps\\" + name), ""};
    std::cout.rdbuf(saved);
    result.console = console.str();

    EXPECT_EQ(chdir(previous), 0);
    return result;
}

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

struct Damaged {
    const char* what;
    const char* name;
    std::string bytes;
};

TEST(DamagedTextureFiles, AreReportedAndStandInAsThePlaceholder) {
    const std::vector<Damaged> table = {
        {"PPM with 3 of its 384 pixel bytes", "short.ppm", "P6\n16 8\n255\n" + zeros(3)},
        {"PPM header and no pixels", "header.ppm", "P6\n16 8\n255\n"},
        {"PPM one byte short", "one_short.ppm", "P6\n4 4\n255\n" + zeros(47)},
        {"PPM ending right after its largest sample value", "no_space.ppm", "P6\n4 4\n255"},
        {"PPM with comments in its header, pixels short", "comments.ppm", "P6 # made here\n4 # wide\n4\n255\n" + zeros(10)},
        {"16-bit PPM with 8-bit worth of pixels", "deep.ppm", "P6\n4 4\n65535\n" + zeros(48)},
        {"PGM short", "short.pgm", "P5\n16 8\n255\n" + zeros(100)},
        {"short PPM under a name DevIL does not know", "short.xyz", "P6\n16 8\n255\n" + zeros(3)},
        {"PPM claiming 2^40 pixels", "huge.ppm", "P6\n1099511627776 1\n255\n" + zeros(3)},
        {"empty file", "empty.png", ""},
        {"PNG signature and then rubbish", "rubbish.png", "\x89PNG\r\n\x1a\nrubbish"},
        {"text under an image name", "text.jpg", "This is no picture."},
    };
    for (const Damaged& d : table) {
        SCOPED_TRACE(d.what);
        const Loaded loaded = loadFrom(d.name, d.bytes);
        EXPECT_EQ(loaded.console, std::string("tex/") + d.name + " could not be loaded...\n");
        EXPECT_EQ(loaded.image.width, 1);
        EXPECT_EQ(loaded.image.height, 1);
        EXPECT_EQ(loaded.image.bytesPerPixel, 4);
        EXPECT_EQ(loaded.image.pixels, (std::vector<unsigned char>{128, 128, 128, 255}));
    }
}

// The refusal is for short files only: complete ones of the same kinds load.
TEST(DamagedTextureFiles, CompleteBinaryPpmAndPgmStillLoad) {
    struct Good {
        const char* name;
        std::string bytes;
        int width, height;
    };
    const std::vector<Good> table = {
        {"full.ppm", "P6\n4 2\n255\n" + std::string(24, '\x40'), 4, 2},
        {"commented.ppm", "P6 # made here\n4 # wide\n2\n255\n" + std::string(24, '\x40'), 4, 2},
        {"full.pgm", "P5\n3 5\n255\n" + std::string(15, '\x7f'), 3, 5},
        {"longer.ppm", "P6\n2 2\n255\n" + std::string(12 + 7, '\x10'), 2, 2},
    };
    for (const Good& g : table) {
        SCOPED_TRACE(g.name);
        const Loaded loaded = loadFrom(g.name, g.bytes);
        EXPECT_EQ(loaded.console, std::string("tex/") + g.name + " loaded...\n");
        EXPECT_EQ(loaded.image.width, g.width);
        EXPECT_EQ(loaded.image.height, g.height);
        EXPECT_EQ(loaded.image.pixels.size(), static_cast<std::size_t>(4 * g.width * g.height));
    }
}

}  // namespace
