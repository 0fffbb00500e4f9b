#pragma once
// What the device set-up leaves in the engine for each colour depth of the display: the
// device's shades and dithering and the default texture colours and shades. A depth outside
// the table's rows (4 bits here) keeps the engine's defaults: 32 shades, no dither, 256
// texture colours, 1 texture shade.

#include <cstdint>
#include <string>
#include <vector>

struct DepthSettings {
    int nDepth = 0;               // bits per pixel of the display
    uint32_t nDeviceShades = 0;   // Device::GetShades
    int nDither = 0;              // Device::GetDither
    uint32_t nTextureColours = 0; // RetainedMode::GetDefaultTextureColors
    uint32_t nTextureShades = 0;  // RetainedMode::GetDefaultTextureShades
};

inline const std::vector<DepthSettings>& ColourDepthTable() {
    static const std::vector<DepthSettings> table = {
        {1, 4, 1, 256, 4}, // monochrome: 4 shades and dithering; texture colours untouched
        {4, 32, 0, 256, 1}, {8, 1, 0, 256, 1},  {16, 1, 0, 256, 1},
        {24, 1, 0, 256, 1}, {32, 1, 0, 256, 1},
    };
    return table;
}

inline std::string DepthName(int nDepth) {
    return "Bits" + std::to_string(nDepth);
}
