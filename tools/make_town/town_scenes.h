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

// The main scene: ground, blocks of houses, the square with its fountain and
// furniture, a tower, the outskirts, then the five pieces that light up when
// the bloom starts, then the centroid marker.
SceneModel buildTown();

// A street corner of its own with its own textures; loaded but never drawn.
SceneModel buildStreetCorner();

// Where the five revealed pieces stand (world x, y), in file order.
extern const Vec3 kRevealSpots[5];
