// The two generated scenes.
//
// The town is laid out around the demo's fixed camera flight: the streets and
// the square are where the camera flies, the blocks of houses fill the ground
// it never crosses. Positions here are in the demo's world, that is after its
// translation by the negated centroid; the written file is offset by the
// centroid, as a modelling tool with an off-centre origin would save it.
#pragma once

#include "math/vecmath.h"
#include "scene_model.h"

// The main scene: the houses and everything else the streets are made of,
// the ground, the hills and villages around, the moon and the sky, then the
// five sculptures revealed when the bloom starts, then the centroid marker.
SceneModel buildTown();

// A street corner of its own with its own textures; loaded but never drawn.
SceneModel buildStreetCorner();

// The five sculptures (sculptures.cpp), each one mesh, in the order the
// camera visits them; and where they stand (world x, y).
void addSculptures(SceneModel& model);
extern const Vec3 kSculptureSpots[5];

// The country round the town (night_sky.cpp): hills with villages, their
// lit windows; then the moon and the sky dome, which a frame draws last of
// all but the sculptures, so that only what no building hides is shaded.
void addCountryside(SceneModel& model, int grassMaterial);
void addNightSky(SceneModel& model);
extern const float kSkyRadius;
extern const Vec3 kMoonDirection;
