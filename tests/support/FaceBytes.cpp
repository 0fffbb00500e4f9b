#include "FaceBytes.h"

std::vector<uint8_t> MakeFaceBytes(const FaceBytesSpec& spec) {
    std::vector<uint8_t> out = {'M', 'F', spec.version};
    const size_t vertices = spec.shapes.empty() ? 0 : spec.shapes[0].size();
    out.push_back(
        static_cast<uint8_t>(spec.shapeCount >= 0 ? spec.shapeCount : spec.shapes.size()));
    out.push_back(static_cast<uint8_t>(vertices));
    for (const auto& shape : spec.shapes) {
        for (const auto& v : shape) {
            out.insert(out.end(), v.begin(), v.end());
        }
    }
    out.push_back(static_cast<uint8_t>(spec.faces.size()));
    for (const auto& f : spec.faces) {
        out.insert(out.end(), f.begin(), f.end());
    }
    for (const auto& c : spec.palette) {
        out.insert(out.end(), c.begin(), c.end());
    }
    out.insert(out.end(), spec.texture.begin(), spec.texture.end());
    return out;
}

FaceBytesSpec SmallFaceSpec() {
    FaceBytesSpec spec;
    const std::vector<std::array<uint8_t, 3>> base = {
        {64, 64, 10}, {192, 64, 10}, {192, 192, 10}, {64, 192, 10}};
    spec.shapes = {base, base, base, base};
    spec.shapes[1][0] = {64, 80, 10};
    spec.shapes[2][1] = {192, 80, 12};
    spec.shapes[3][2] = {180, 180, 10};
    spec.faces = {{0, 1, 2}, {0, 2, 3}};
    for (int i = 0; i < 256; ++i) {
        spec.palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 128};
    }
    for (int i = 0; i < 65536; ++i) {
        spec.texture[i] = static_cast<uint8_t>(i / 256); // row r is palette index r
    }
    return spec;
}
