// The engine's cost per frame for a face-sized mesh: one Tick of a textured 200-vertex,
// 252-triangle dome that fills the player's 294 x 230 view (and 4 times that area), and the
// vertex round trip the morph blending makes every frame.

#include "engine/RetainedMode.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

class NullWindow : public rm::WindowTarget {
public:
    NullWindow(int width, int height) : m_width(width), m_height(height) {}
    int targetWidth() const override { return m_width; }
    int targetHeight() const override { return m_height; }
    void presentFrame(const uint32_t* pixels, int, int, int) override {
        benchmark::DoNotOptimize(pixels);
    }

private:
    int m_width;
    int m_height;
};

// The player's scene: orthographic camera at z = -150, front -1000, back 1000, a 256 x 256
// palette texture, and a mesh that covers the whole view.
struct FaceScene {
    static constexpr int kColumns = 15;
    static constexpr int kRows = 10;
    static constexpr int kSpareVertices = 50; // 15 * 10 + 50 = 200 vertices

    FaceScene(int width, int height) : window(width, height), pixels(256 * 256), palette(256) {
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = uint8_t(std::rand());
        }
        for (size_t i = 0; i < palette.size(); ++i) {
            palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
        }
        image.width = 256;
        image.height = 256;
        image.depth = 8;
        image.bytes_per_line = 256;
        image.buffer1 = pixels.data();
        image.palette_size = 256;
        image.palette = palette.data();

        rm::Direct3DRMCreate(&retainedMode);
        rm::DirectDrawCreateClipper(0, &clipper, nullptr);
        clipper->SetHWnd(0, &window);
        retainedMode->CreateDeviceFromClipper(clipper, &rm::kMonoDeviceGuid, width, height,
                                              &device);
        retainedMode->CreateFrame(nullptr, &scene);

        // A dome over a grid spanning the view: half a unit is half the height.
        const float halfWidth = 0.5f * float(width) / float(height);
        std::vector<rm::Vector> vertices;
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) {
                float x = -halfWidth + 2 * halfWidth * float(c) / (kColumns - 1);
                float y = 0.5f - float(r) / (kRows - 1);
                vertices.push_back({x, y, -0.2f * (1 - x * x - y * y)});
            }
        }
        for (int i = 0; i < kSpareVertices; ++i) {
            vertices.push_back({0, 0, 0.3f});
        }
        std::vector<uint32_t> faces;
        for (int r = 0; r + 1 < kRows; ++r) {
            for (int c = 0; c + 1 < kColumns; ++c) {
                uint32_t tl = uint32_t(r * kColumns + c), tr = tl + 1;
                uint32_t bl = tl + kColumns, br = bl + 1;
                faces.insert(faces.end(), {3, tl, tr, br, 3, tl, br, bl});
            }
        }
        faces.push_back(0);

        rm::MeshBuilder* builder = nullptr;
        retainedMode->CreateMeshBuilder(&builder);
        builder->AddFaces(uint32_t(vertices.size()), vertices.data(), 0, nullptr, faces.data(),
                          nullptr);
        builder->GenerateNormals();
        rm::Texture* texture = nullptr;
        retainedMode->CreateTexture(&image, &texture);
        builder->SetTexture(texture);
        texture->Release();
        for (size_t i = 0; i < vertices.size(); ++i) {
            builder->SetTextureCoordinates(uint32_t(i), vertices[i].x + 0.5f, 0.5f - vertices[i].y);
        }
        builder->CreateMesh(&mesh);
        builder->Release();
        retainedMode->CreateFrame(scene, &face);
        face->AddVisual(mesh);
        retainedMode->CreateFrame(scene, &camera);
        camera->SetPosition(scene, 0, 0, -150);
        retainedMode->CreateViewport(device, camera, 0, 0, width, height, &viewport);
        viewport->SetProjection(rm::ProjectionType::Orthographic);
        viewport->SetBack(1000);
        viewport->SetFront(-1000);
    }

    ~FaceScene() {
        for (rm::Object* o : std::initializer_list<rm::Object*>{viewport, camera, face, mesh, scene,
                                                                device, clipper, retainedMode}) {
            o->Release();
        }
    }

    NullWindow window;
    std::vector<uint8_t> pixels;
    std::vector<rm::PaletteEntry> palette;
    rm::Image image;
    rm::RetainedMode* retainedMode = nullptr;
    rm::Clipper* clipper = nullptr;
    rm::Device* device = nullptr;
    rm::Frame* scene = nullptr;
    rm::Frame* face = nullptr;
    rm::Frame* camera = nullptr;
    rm::Mesh* mesh = nullptr;
    rm::Viewport* viewport = nullptr;
};

void tickFace(benchmark::State& state) {
    FaceScene scene(int(state.range(0)), int(state.range(1)));
    float angle = 0;
    for (auto _ : state) {
        // Sway a little every frame, as the player does.
        angle += 0.001f;
        scene.face->AddRotation(rm::CombineType::Replace, 0, 1, 0, angle);
        scene.retainedMode->Tick(1.0);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(tickFace)->Args({294, 230})->Args({588, 460})->Unit(benchmark::kMicrosecond);

void vertexRoundTrip(benchmark::State& state) {
    FaceScene scene(294, 230);
    rm::Vertex vertices[200];
    for (auto _ : state) {
        scene.mesh->GetVertices(0, 0, 200, vertices);
        vertices[17].position.x += 1e-6f;
        scene.mesh->SetVertices(0, 0, 200, vertices);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(vertexRoundTrip)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
