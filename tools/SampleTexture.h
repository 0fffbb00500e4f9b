#pragma once
// The painted texture of the sample head: a front view of the face on the byte grid, reduced
// to 256 colours.

#include <array>
#include <cstdint>
#include <vector>

class QImage;

struct SampleTexture {
    std::array<std::array<uint8_t, 3>, 256> palette{}; // red, green, blue
    std::vector<uint8_t> pixels; // 256 rows of 256 palette indices, the top of the face first
};

// The full-colour painting for variant 1 or 2: 256 x 256, pixel (c, r) covering the grid
// steps x = c and y = r + 1, as the player maps the texture.
QImage PaintSampleFace(int variant);

// Reduces a 256 x 256 image to at most 256 colours (median cut, then the nearest colour for
// each pixel). The same image always gives the same palette and pixels.
SampleTexture QuantiseTexture(const QImage& image);
