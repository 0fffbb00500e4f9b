#include "SampleFace.h"

#include "SampleMesh.h"
#include "SampleTexture.h"

#include <QImage>

#include <cassert>

std::vector<uint8_t> MakeSampleFace(int variant) {
    assert(variant >= 1 && variant <= kSampleVariantCount);
    const SampleMesh mesh = MakeSampleMesh();
    const SampleTexture texture = QuantiseTexture(PaintSampleFace(variant));

    std::vector<uint8_t> out = {'M', 'F', kSampleFaceVersion,
                                static_cast<uint8_t>(mesh.shapes.size()),
                                static_cast<uint8_t>(mesh.shapes[0].size())};
    for (const auto& shape : mesh.shapes) {
        for (const GridVertex& v : shape) {
            out.insert(out.end(), v.begin(), v.end());
        }
    }
    out.push_back(static_cast<uint8_t>(mesh.faces.size()));
    for (const GridTriangle& t : mesh.faces) {
        out.insert(out.end(), t.begin(), t.end());
    }
    for (const auto& colour : texture.palette) {
        out.insert(out.end(), colour.begin(), colour.end());
    }
    out.insert(out.end(), texture.pixels.begin(), texture.pixels.end());
    return out;
}
