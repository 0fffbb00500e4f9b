#pragma once
// Where the features of the sample head sit on the byte grid (x right from 0, y down from 0,
// 128 the centre). The mesh and the painted texture both follow these numbers, so that the
// eye and mouth openings in the mesh are exactly the painted eyes and mouth.

#include <array>

struct LayoutPoint {
    double x = 0;
    double y = 0;
};

// The lids of one eye as chains from the outer corner to the inner corner (or left to right):
// both chains share the corners; the interior points of the upper chain are the upper lid's
// edge, those of the lower chain the lower lid's. The eye is the area between them.
struct EyeChains {
    std::array<LayoutPoint, 5> upper;
    std::array<LayoutPoint, 5> lower;
};

constexpr double kEyeCentreY = 120;      // the iris centre
constexpr double kEyeCornerY = 121;      // both corners of each eye
constexpr double kEyeHalfWidth = 22;     // corner to centre
constexpr double kLeftEyeCentreX = 84;   // the eye on the viewer's left
constexpr double kRightEyeCentreX = 172; // the eye on the viewer's right

// The lid chains of the eye centred at x = centreX, listed left to right.
inline EyeChains EyeChainsAt(double centreX) {
    const double c = centreX;
    const double w = kEyeHalfWidth;
    return EyeChains{
        {{{c - w, kEyeCornerY},
          {c - w / 2, 114},
          {c, 111},
          {c + w / 2, 114},
          {c + w, kEyeCornerY}}},
        {{{c - w, kEyeCornerY},
          {c - w / 2, 126},
          {c, 128},
          {c + w / 2, 126},
          {c + w, kEyeCornerY}}},
    };
}

// The lips meet along two chains from the left corner to the right corner: the upper lip's
// inner edge and the lower lip's, a few steps apart at rest. The gap between them is painted
// as the inside of the mouth, and it is what opens.
constexpr double kMouthCornerY = 196;
constexpr double kMouthUpperY = 194;
constexpr double kMouthLowerY = 198;
constexpr double kMouthHalfWidth = 32;
constexpr std::array<double, 5> kMouthChainX = {128 - 32, 128 - 16, 128, 128 + 16, 128 + 32};
