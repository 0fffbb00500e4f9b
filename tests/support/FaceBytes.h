#pragma once
// Builds the bytes of a face file from a plain description, for tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct FaceBytesSpec {
    uint8_t version = 1;
    // shapes[0] is the base shape; every shape holds the same number of vertices.
    std::vector<std::vector<std::array<uint8_t, 3>>> shapes;
    // Stored shape count; -1: shapes.size().
    int shapeCount = -1;
    std::vector<std::array<uint8_t, 3>> faces;
    std::array<std::array<uint8_t, 3>, 256> palette{};
    std::vector<uint8_t> texture = std::vector<uint8_t>(65536, 0); // 256 rows of 256
};

// The complete file: header, shapes, faces, palette, texture.
std::vector<uint8_t> MakeFaceBytes(const FaceBytesSpec& spec);

// A small valid face: a square of 4 vertices as two triangles, base plus three targets
// (target 1 moves vertex 0, target 2 moves vertex 1, target 3 moves vertex 2).
FaceBytesSpec SmallFaceSpec();
