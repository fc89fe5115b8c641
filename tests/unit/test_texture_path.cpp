// Material paths come from the modelling tool's machine: only the text after
// the last backslash names the file, looked up in our own tex/ folder.
#include <gtest/gtest.h>

#include "import/texture_loader.h"

namespace {

TEST(TextureFileName, KeepsOnlyTheTextAfterTheLastBackslash) {
    EXPECT_EQ(textureFileName("C:\\models\\textures\\wall.png"), "tex/wall.png");
    EXPECT_EQ(textureFileName("maps\\brick.jpg"), "tex/brick.jpg");
    EXPECT_EQ(textureFileName("\\wall.png"), "tex/wall.png");
}

TEST(TextureFileName, APathWithoutBackslashIsKeptWhole) {
    EXPECT_EQ(textureFileName("wall.png"), "tex/wall.png");
    EXPECT_EQ(textureFileName(""), "tex/");
}

TEST(TextureFileName, ForwardSlashesAreNoSeparators) {
    EXPECT_EQ(textureFileName("textures/wall.png"), "tex/textures/wall.png");
    // Mixed: the backslash wins even when a forward slash comes after it.
    EXPECT_EQ(textureFileName("C:\\models/textures\\sub/wall.png"), "tex/sub/wall.png");
}

TEST(TextureFileName, ATrailingBackslashLeavesTheBareFolder) {
    EXPECT_EQ(textureFileName("C:\\models\\textures\\"), "tex/");
    EXPECT_EQ(textureFileName("\\"), "tex/");
}

}  // namespace
