// Where the shaders find their inputs: the attribute locations that the
// programs bind and every vertex array fills, and the texture units that the
// passes bind their images to and hand to the samplers.
//
// The shader files name their attributes and samplers only; these numbers are
// ours, so they are written here once and used by name on both sides of each
// binding (glBindAttribLocation and the upload, glActiveTexture and the
// sampler's glUniform1i).
#pragma once

// pvlTexProgram reads all five (three floats each); the three full-screen
// programs read a position only (two floats).
enum AttributeLocation : unsigned {
    kPositionAttribute = 0,
    kNormalAttribute = 1,
    kTexCoordsAttribute = 2,
    kTangentAttribute = 3,
    kBitangentAttribute = 4,
};

// The scene pass binds a mesh's colour, normal and height maps to the three
// units in that order. A full-screen pass binds the image it works on to the
// first and its one other input (the depth, or the scene image under the
// glow) to the second.
enum TextureUnit : int {
    kFirstTextureUnit = 0,
    kSecondTextureUnit = 1,
    kThirdTextureUnit = 2,
};
