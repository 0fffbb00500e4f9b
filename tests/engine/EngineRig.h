#pragma once
// A small scene for engine tests: retained-mode object, a clipper bound to a capturing window,
// a device, a scene root, a camera and one viewport, set up the way the player sets them up
// (orthographic camera at z = -150, front -1000, back 1000) unless a test changes them.

#include "PngImage.h"
#include "engine/RetainedMode.h"

#include <string>
#include <vector>

namespace enginetest {

// Keeps every frame the device hands over.
class CaptureWindow : public rm::WindowTarget {
public:
    CaptureWindow(int width, int height) : m_width(width), m_height(height) {}
    int targetWidth() const override { return m_width; }
    int targetHeight() const override { return m_height; }
    void presentFrame(const uint32_t* pixels, int width, int height, int stride) override;

    int presents = 0;
    PixelImage last;

private:
    int m_width = 0;
    int m_height = 0;
};

// An 8-bit palette image that lives as long as the textures made from it.
struct PaletteImage {
    PaletteImage(int width, int height, std::vector<rm::PaletteEntry> colours);
    std::vector<uint8_t> pixels; // width * height palette indices, top row first
    std::vector<rm::PaletteEntry> palette;
    rm::Image image;
};

class EngineRig {
public:
    explicit EngineRig(int width = 64, int height = 64, rm::ColorModel model = rm::ColorModel::RGB);
    ~EngineRig();
    EngineRig(const EngineRig&) = delete;
    EngineRig& operator=(const EngineRig&) = delete;

    // A mesh on a new child frame of the scene. faceData as for AddFaces; uv may be empty.
    rm::Frame* addMesh(const std::vector<rm::Vector>& vertices,
                       const std::vector<uint32_t>& faceData, rm::Texture* texture = nullptr,
                       const std::vector<float>& uv = {}, rm::Frame* parent = nullptr);
    rm::Texture* createTexture(const PaletteImage& image);
    // Ticks once and returns the frame handed to the window.
    const PixelImage& render();

    CaptureWindow window;
    rm::RetainedMode* retainedMode = nullptr;
    rm::Clipper* clipper = nullptr;
    rm::Device* device = nullptr;
    rm::Frame* scene = nullptr;
    rm::Frame* camera = nullptr;
    rm::Viewport* viewport = nullptr;

private:
    std::vector<rm::Object*> m_owned; // released in reverse order of creation
};

// Compares with tests/engine/golden/<name>.png, or rewrites it when MIMLET_REWRITE_GOLDEN=1.
// Returns an empty string on a match, else what differs.
std::string compareWithGolden(const std::string& name, const PixelImage& image);

rm::PaletteEntry rgb(uint8_t r, uint8_t g, uint8_t b);

} // namespace enginetest
