#pragma once
// The geometry of the sample head: a low-polygon front shell on the byte grid, with slits at
// the eyes and the mouth so that the lids and the lips can move apart from each other, and
// the three morph targets the player animates.

#include <array>
#include <cstdint>
#include <vector>

using GridVertex = std::array<uint8_t, 3>;   // x, y, z bytes of the face file
using GridTriangle = std::array<uint8_t, 3>; // vertex numbers, clockwise as the camera sees them

// Shape numbers as the animation uses them.
constexpr int kShapeRest = 0;
constexpr int kShapeMouthOpen = 1;
constexpr int kShapeMouthHalfOpen = 2;
constexpr int kShapeEyesClosed = 3;

struct SampleMesh {
    std::vector<std::vector<GridVertex>> shapes; // kShapeRest .. kShapeEyesClosed, same size
    std::vector<GridTriangle> faces;
};

SampleMesh MakeSampleMesh();
