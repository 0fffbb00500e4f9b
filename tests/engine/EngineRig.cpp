#include "EngineRig.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace enginetest {

void CaptureWindow::presentFrame(const uint32_t* pixels, int width, int height, int stride) {
    ++presents;
    last.width = width;
    last.height = height;
    last.pixels.clear();
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(
            reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * size_t(stride));
        last.pixels.insert(last.pixels.end(), row, row + width);
    }
}

PaletteImage::PaletteImage(int width, int height, std::vector<rm::PaletteEntry> colours)
    : pixels(size_t(width) * size_t(height)), palette(std::move(colours)) {
    image.width = width;
    image.height = height;
    image.aspectx = 1;
    image.aspecty = 1;
    image.depth = 8;
    image.bytes_per_line = width;
    image.buffer1 = pixels.data();
    image.palette_size = int(palette.size());
    image.palette = palette.data();
}

rm::PaletteEntry rgb(uint8_t r, uint8_t g, uint8_t b) {
    return {r, g, b, 0};
}

static void check(rm::Result result, const char* what) {
    if (result != rm::kOk) {
        throw std::runtime_error(what);
    }
}

EngineRig::EngineRig(int width, int height, rm::ColorModel model) : window(width, height) {
    check(rm::Direct3DRMCreate(&retainedMode), "Direct3DRMCreate");
    check(rm::DirectDrawCreateClipper(0, &clipper, nullptr), "DirectDrawCreateClipper");
    check(clipper->SetHWnd(0, &window), "SetHWnd");
    rm::Guid guid = model == rm::ColorModel::Mono ? rm::kMonoDeviceGuid : rm::kRGBDeviceGuid;
    check(retainedMode->CreateDeviceFromClipper(clipper, &guid, width, height, &device),
          "CreateDeviceFromClipper");
    check(retainedMode->CreateFrame(nullptr, &scene), "CreateFrame");
    check(retainedMode->CreateFrame(scene, &camera), "CreateFrame");
    check(camera->SetPosition(scene, 0, 0, -150), "SetPosition");
    check(retainedMode->CreateViewport(device, camera, 0, 0, width, height, &viewport),
          "CreateViewport");
    check(viewport->SetProjection(rm::ProjectionType::Orthographic), "SetProjection");
    check(viewport->SetBack(1000), "SetBack");
    check(viewport->SetFront(-1000), "SetFront");
}

EngineRig::~EngineRig() {
    for (auto it = m_owned.rbegin(); it != m_owned.rend(); ++it) {
        (*it)->Release();
    }
    viewport->Release();
    camera->Release();
    scene->Release();
    device->Release();
    clipper->Release();
    retainedMode->Release();
}

rm::Frame* EngineRig::addMesh(const std::vector<rm::Vector>& vertices,
                              const std::vector<uint32_t>& faceData, rm::Texture* texture,
                              const std::vector<float>& uv, rm::Frame* parent) {
    rm::MeshBuilder* builder = nullptr;
    check(retainedMode->CreateMeshBuilder(&builder), "CreateMeshBuilder");
    check(builder->AddFaces(uint32_t(vertices.size()), vertices.data(), 0, nullptr, faceData.data(),
                            nullptr),
          "AddFaces");
    if (texture) {
        check(builder->SetTexture(texture), "SetTexture");
    }
    for (size_t i = 0; i + 1 < uv.size(); i += 2) {
        check(builder->SetTextureCoordinates(uint32_t(i / 2), uv[i], uv[i + 1]),
              "SetTextureCoordinates");
    }
    rm::Mesh* mesh = nullptr;
    check(builder->CreateMesh(&mesh), "CreateMesh");
    builder->Release();
    rm::Frame* frame = nullptr;
    check(retainedMode->CreateFrame(parent ? parent : scene, &frame), "CreateFrame");
    check(frame->AddVisual(mesh), "AddVisual");
    mesh->Release(); // the frame holds it
    m_owned.push_back(frame);
    return frame;
}

rm::Texture* EngineRig::createTexture(const PaletteImage& image) {
    rm::Texture* texture = nullptr;
    check(retainedMode->CreateTexture(&image.image, &texture), "CreateTexture");
    m_owned.push_back(texture);
    return texture;
}

const PixelImage& EngineRig::render() {
    retainedMode->Tick(1.0);
    return window.last;
}

std::string compareWithGolden(const std::string& name, const PixelImage& image) {
    const std::string path =
        std::string(MIMLET_SOURCE_DIR) + "/tests/engine/golden/" + name + ".png";
    const char* rewrite = std::getenv("MIMLET_REWRITE_GOLDEN");
    if (rewrite && std::string(rewrite) == "1") {
        return writePng(path, image) ? "" : "cannot write " + path;
    }
    auto golden = readPng(path);
    if (!golden) {
        return "no readable reference " + path + " (MIMLET_REWRITE_GOLDEN=1 writes it)";
    }
    if (golden->width != image.width || golden->height != image.height) {
        return "size differs from " + path;
    }
    int differing = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        differing += image.pixels[i] != golden->pixels[i];
    }
    if (differing == 0) {
        return "";
    }
    const std::string actualDir = std::string(MIMLET_BINARY_DIR) + "/engine-golden-actual";
    std::filesystem::create_directories(actualDir);
    writePng(actualDir + "/" + name + ".png", image);
    return std::to_string(differing) + " pixels differ from " + path + "; actual image in " +
           actualDir;
}

} // namespace enginetest
