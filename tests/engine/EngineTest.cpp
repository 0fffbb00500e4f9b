// The retained-mode objects: lifetimes, frames and their transforms, mesh building and vertex
// access, devices and viewports, and the failures tests can switch on.

#include "EngineRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace enginetest;

namespace {

const std::vector<uint32_t> kQuadFaces = {4, 0, 1, 2, 3, 0};
std::vector<rm::Vector> quad(float a) {
    return {{-a, a, 0}, {a, a, 0}, {a, -a, 0}, {-a, -a, 0}};
}

void expectNear(rm::Vector actual, rm::Vector expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}

// The extent of the pixels that differ from the background.
struct Extent {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

Extent drawnExtent(const PixelImage& image, uint32_t background = 0xFF000000) {
    Extent e;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.pixels[size_t(y * image.width + x)] != background) {
                e = {std::min(e.left, x), std::min(e.top, y), std::max(e.right, x),
                     std::max(e.bottom, y)};
            }
        }
    }
    return e;
}

// A built mesh of four vertices with recognisable positions.
struct MeshFixture {
    EngineRig rig;
    rm::MeshBuilder* builder = nullptr;
    rm::Mesh* mesh = nullptr;

    MeshFixture() {
        rig.retainedMode->CreateMeshBuilder(&builder);
        builder->AddFaces(4, quad(0.25f).data(), 0, nullptr, kQuadFaces.data(), nullptr);
        builder->CreateMesh(&mesh);
    }
    ~MeshFixture() {
        mesh->Release();
        builder->Release();
    }
};

} // namespace

TEST(EngineObjects, ReferencesKeepHeldObjectsAlive) {
    EngineRig rig;
    MeshFixture m;
    // A frame holds its visual: the mesh survives its creator's release.
    rm::Frame* frame = nullptr;
    ASSERT_EQ(rig.retainedMode->CreateFrame(rig.scene, &frame), rm::kOk);
    ASSERT_EQ(frame->AddVisual(m.mesh), rm::kOk);
    EXPECT_EQ(m.mesh->AddRef(), 3u); // creator, frame, this call
    EXPECT_EQ(m.mesh->Release(), 2u);

    // The parent holds the child frame: the creator's release leaves it in the scene.
    EXPECT_EQ(frame->Release(), 1u);
    rig.render(); // still drawn, not freed (the sanitizer would see a use after free)

    // A child kept by its own reference outlives its released parent and becomes a root.
    rm::Frame* parent = nullptr;
    rm::Frame* child = nullptr;
    rig.retainedMode->CreateFrame(nullptr, &parent);
    rig.retainedMode->CreateFrame(parent, &child);
    parent->SetSceneBackground(0xFF123456);
    EXPECT_EQ(child->GetSceneBackground(), 0xFF123456u);
    EXPECT_EQ(parent->Release(), 0u);
    EXPECT_EQ(child->GetSceneBackground(), 0xFF000000u);
    EXPECT_EQ(child->Release(), 0u);
}

TEST(EngineObjects, ReleasingInThePlayersTeardownOrderIsSafe) {
    // The player releases the face frame, scene, device, retained-mode object and clipper,
    // and may keep the viewport, camera and mesh until later.
    auto rig = std::make_unique<EngineRig>();
    rig->addMesh(quad(0.3f), kQuadFaces);
    rig->render();
    rm::Viewport* viewport = rig->viewport;
    viewport->AddRef();
    rig.reset();
    EXPECT_EQ(viewport->Release(), 0u); // the device and camera it held go with it
}

TEST(EngineObjects, SceneBackgroundAndColours) {
    EngineRig rig;
    EXPECT_EQ(rig.scene->GetSceneBackground(), 0xFF000000u);
    EXPECT_EQ(rig.camera->GetSceneBackground(), 0xFF000000u);
    rm::Color c = 0xFF336699;
    EXPECT_FLOAT_EQ(rm::ColorGetRed(c), 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(rm::ColorGetGreen(c), 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(rm::ColorGetBlue(c), 0x99 / 255.0f);
    EXPECT_EQ(rm::CreateColorRGB(0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f), c);
    EXPECT_EQ(rm::CreateColorRGB(-1, 2, NAN), 0xFF00FF00u);
    rig.camera->SetSceneBackground(0xFF102030);
    EXPECT_EQ(rig.scene->GetSceneBackground(), 0xFF102030u);
    EXPECT_EQ(rig.render().pixels[0], 0xFF102030u);
}

TEST(EngineFrames, RotationsCombine) {
    EngineRig rig;
    struct Case {
        rm::CombineType second;
        rm::Vector expected; // where (1, 0, 0) ends up
    } cases[] = {
        // Replace about y turns +x to -z; After then turns that about x, to +y.
        {rm::CombineType::After, {0, 1, 0}},
        // Before turns about x first (+x stays), then about y: -z.
        {rm::CombineType::Before, {0, 0, -1}},
        // Replace again forgets the first rotation: about x alone leaves +x.
        {rm::CombineType::Replace, {1, 0, 0}},
    };
    const float quarter = float(M_PI / 2);
    for (const Case& c : cases) {
        rm::Frame* frame = nullptr;
        rig.retainedMode->CreateFrame(rig.scene, &frame);
        ASSERT_EQ(frame->AddRotation(rm::CombineType::Replace, 0, 1, 0, quarter), rm::kOk);
        ASSERT_EQ(frame->AddRotation(c.second, 1, 0, 0, quarter), rm::kOk);
        rm::Vector local{1, 0, 0}, world;
        ASSERT_EQ(frame->Transform(&world, &local), rm::kOk);
        expectNear(world, c.expected);
        frame->Release();
    }
}

TEST(EngineFrames, AfterTurnsThePositionAndReplaceKeepsIt) {
    EngineRig rig;
    rm::Frame* frame = nullptr;
    rig.retainedMode->CreateFrame(rig.scene, &frame);
    frame->SetPosition(nullptr, 0, 0, 2);
    frame->AddRotation(rm::CombineType::Replace, 0, 1, 0, float(M_PI / 2));
    rm::Vector p;
    frame->GetPosition(nullptr, &p);
    expectNear(p, {0, 0, 2});
    frame->AddRotation(rm::CombineType::After, 0, 1, 0, float(M_PI / 2));
    frame->GetPosition(nullptr, &p);
    expectNear(p, {2, 0, 0}); // +z turned a quarter about y
    // A zero axis or a non-finite angle is refused and changes nothing.
    EXPECT_EQ(frame->AddRotation(rm::CombineType::After, 0, 0, 0, 1), rm::kFail);
    EXPECT_EQ(frame->AddRotation(rm::CombineType::After, 0, 1, 0, NAN), rm::kFail);
    frame->GetPosition(nullptr, &p);
    expectNear(p, {2, 0, 0});
    frame->Release();
}

TEST(EngineFrames, PositionRelativeToAReferenceFrame) {
    EngineRig rig;
    rm::Frame* reference = nullptr;
    rm::Frame* parent = nullptr;
    rm::Frame* child = nullptr;
    rig.retainedMode->CreateFrame(rig.scene, &reference);
    rig.retainedMode->CreateFrame(rig.scene, &parent);
    rig.retainedMode->CreateFrame(parent, &child);
    reference->SetPosition(nullptr, 1, 0, 0);
    reference->AddRotation(rm::CombineType::Replace, 0, 1, 0, float(M_PI / 2));
    parent->SetPosition(rig.scene, 0, 5, 0);

    // (0, 0, 1) in the reference frame is its +z turned to +x, plus its position: (2, 0, 0)
    // in the world, which is (2, -5, 0) from the parent.
    ASSERT_EQ(child->SetPosition(reference, 0, 0, 1), rm::kOk);
    rm::Vector p;
    child->GetPosition(nullptr, &p);
    expectNear(p, {2, -5, 0});
    child->GetPosition(rig.scene, &p);
    expectNear(p, {2, 0, 0});
    child->GetPosition(reference, &p);
    expectNear(p, {0, 0, 1});
    EXPECT_EQ(child->SetPosition(nullptr, INFINITY, 0, 0), rm::kFail);
    child->Release();
    parent->Release();
    reference->Release();
}

TEST(EngineMesh, AddFacesRejectsBadFaceDataAndChangesNothing) {
    EngineRig rig;
    const std::vector<rm::Vector> vertices = quad(0.3f);
    const rm::Vector normals[4] = {};
    struct Case {
        const char* name;
        std::vector<uint32_t> faces;
        uint32_t normalCount;
    } cases[] = {
        {"vertex number out of range", {3, 0, 1, 2, 3, 1, 2, 4, 0}, 0},
        {"face of two vertices", {3, 0, 1, 2, 2, 2, 3, 0}, 0},
        {"normal count differs", {3, 0, 1, 2, 0}, 3},
    };
    for (const Case& c : cases) {
        rm::MeshBuilder* builder = nullptr;
        rig.retainedMode->CreateMeshBuilder(&builder);
        rm::FaceArray* faces = nullptr;
        EXPECT_EQ(builder->AddFaces(4, vertices.data(), c.normalCount,
                                    c.normalCount ? normals : nullptr, c.faces.data(), &faces),
                  rm::kFail)
            << c.name;
        EXPECT_EQ(faces, nullptr) << c.name;
        EXPECT_EQ(builder->SetTextureCoordinates(0, 0, 0), rm::kFail) << c.name; // no vertex
        rm::Mesh* mesh = nullptr;
        builder->CreateMesh(&mesh);
        EXPECT_EQ(mesh->GetGroupCount(), 0u) << c.name;
        mesh->Release();
        builder->Release();
    }
}

TEST(EngineMesh, FacesAreAppendedAndPolygonsSplit) {
    EngineRig rig;
    rm::MeshBuilder* builder = nullptr;
    rig.retainedMode->CreateMeshBuilder(&builder);
    // Two calls: the second's vertex numbers count from its own first vertex.
    const std::vector<rm::Vector> left = {{-0.4f, 0.4f, 0}, {0, 0.4f, 0}, {-0.4f, -0.4f, 0}};
    const std::vector<rm::Vector> right = {
        {0, 0.4f, 0}, {0.4f, 0.4f, 0}, {0.4f, -0.4f, 0}, {0, -0.4f, 0}};
    const uint32_t triangle[] = {3, 0, 1, 2, 0};
    rm::FaceArray* faces = nullptr;
    ASSERT_EQ(builder->AddFaces(3, left.data(), 0, nullptr, triangle, &faces), rm::kOk);
    ASSERT_NE(faces, nullptr);
    faces->Release();
    ASSERT_EQ(builder->AddFaces(4, right.data(), 0, nullptr, kQuadFaces.data(), nullptr), rm::kOk);
    EXPECT_EQ(builder->SetTextureCoordinates(6, 0.5f, 0.5f), rm::kOk);
    EXPECT_EQ(builder->SetTextureCoordinates(7, 0.5f, 0.5f), rm::kFail);
    rm::Mesh* mesh = nullptr;
    builder->CreateMesh(&mesh);
    rm::Vertex v[7];
    ASSERT_EQ(mesh->GetVertices(0, 0, 7, v), rm::kOk);
    expectNear(v[3].position, right[0]); // builder order kept
    EXPECT_EQ(v[6].tu, 0.5f);
    rm::Frame* frame = nullptr;
    rig.retainedMode->CreateFrame(rig.scene, &frame);
    frame->AddVisual(mesh);
    // Left triangle from x = 6.4 to 32, the quad (both fan triangles) from 32 to 57.6.
    Extent e = drawnExtent(rig.render());
    EXPECT_EQ(e.left, 6);
    EXPECT_EQ(e.right, 57);
    EXPECT_EQ(e.top, 6);
    EXPECT_EQ(e.bottom, 57);
    EXPECT_EQ(rig.window.last.pixels[size_t(50 * 64 + 34)], 0xFFFFFFFFu); // second fan triangle
    frame->Release();
    mesh->Release();
    builder->Release();
}

TEST(EngineMesh, GenerateNormalsPointOutOfClockwiseFaces) {
    EngineRig rig;
    rm::MeshBuilder* builder = nullptr;
    rig.retainedMode->CreateMeshBuilder(&builder);
    // Two faces of a roof ridge along x, both clockwise seen from above and in front, and one
    // vertex that no face uses.
    const std::vector<rm::Vector> vertices = {{0, 1, 0}, {1, 1, 0}, {1, 0, -1}, {0, 0, -1},
                                              {1, 0, 1}, {0, 0, 1}, {9, 9, 9}};
    const uint32_t faces[] = {4, 0, 1, 2, 3, 4, 5, 4, 1, 0, 0};
    ASSERT_EQ(builder->AddFaces(7, vertices.data(), 0, nullptr, faces, nullptr), rm::kOk);
    ASSERT_EQ(builder->GenerateNormals(), rm::kOk);
    rm::Mesh* mesh = nullptr;
    builder->CreateMesh(&mesh);
    rm::Vertex v[7];
    mesh->GetVertices(0, 0, 7, v);
    const float r = float(M_SQRT1_2);
    expectNear(v[3].normal, {0, r, -r}); // front slope only
    expectNear(v[5].normal, {0, r, r});  // back slope only
    expectNear(v[0].normal, {0, 1, 0});  // the ridge: both slopes averaged
    expectNear(v[6].normal, {0, 0, 0});
    mesh->Release();
    builder->Release();
}

TEST(EngineMesh, VertexAccessIsRangeChecked) {
    MeshFixture m;
    struct Case {
        uint32_t group, first, count;
        bool ok;
    } cases[] = {
        {0, 0, 4, true},
        {0, 3, 1, true},
        {0, 4, 0, true},
        {0, 3, 2, false},
        {0, 5, 0, false},
        {1, 0, 1, false},
        {0, 0xFFFFFFFFu, 2, false}, // first + count wraps in 32 bits
    };
    for (const Case& c : cases) {
        rm::Vertex sentinel;
        sentinel.tu = 42;
        std::vector<rm::Vertex> buffer(6, sentinel);
        rm::Result got = m.mesh->GetVertices(c.group, c.first, c.count, buffer.data());
        EXPECT_EQ(got == rm::kOk, c.ok) << c.group << " " << c.first << " " << c.count;
        if (!c.ok) {
            for (const rm::Vertex& v : buffer) {
                EXPECT_EQ(v.tu, 42) << "a failed GetVertices wrote";
            }
        }
        std::fill(buffer.begin(), buffer.end(), sentinel);
        got = m.mesh->SetVertices(c.group, c.first, c.count, buffer.data());
        EXPECT_EQ(got == rm::kOk, c.ok);
    }
    // Failed SetVertices calls left the mesh as the successful ones made it.
    rm::Vertex v[4];
    m.mesh->GetVertices(0, 0, 4, v);
    EXPECT_EQ(v[3].tu, 42);
    EXPECT_EQ(m.mesh->GetVertices(0, 0, 1, nullptr), rm::kFail);
}

TEST(EngineMesh, SetVerticesMovesTheDrawnShape) {
    MeshFixture m;
    rm::Frame* frame = nullptr;
    m.rig.retainedMode->CreateFrame(m.rig.scene, &frame);
    frame->AddVisual(m.mesh);
    rm::Vertex v[4];
    m.mesh->GetVertices(0, 0, 4, v);
    for (rm::Vertex& vertex : v) {
        vertex.position.x += 0.25f; // 16 pixels to the right
        vertex.color = 0xFF00FF00;
    }
    m.mesh->SetVertices(0, 0, 4, v);
    Extent e = drawnExtent(m.rig.render());
    EXPECT_EQ(e.left, 32);
    EXPECT_EQ(e.right, 63);
    EXPECT_EQ(m.rig.window.last.pixels[size_t(32 * 64 + 40)], 0xFF00FF00u);
    frame->Release();
}

TEST(EngineTexture, CreateTextureRefusesImagesItCannotRead) {
    EngineRig rig;
    std::vector<std::function<void(rm::Image&)>> breakages = {
        [](rm::Image& i) { i.depth = 16; },        [](rm::Image& i) { i.rgb = 1; },
        [](rm::Image& i) { i.width = 0; },         [](rm::Image& i) { i.bytes_per_line = 1; },
        [](rm::Image& i) { i.buffer1 = nullptr; }, [](rm::Image& i) { i.palette = nullptr; },
        [](rm::Image& i) { i.palette_size = 0; },  [](rm::Image& i) { i.palette_size = 257; },
    };
    for (size_t k = 0; k < breakages.size(); ++k) {
        PaletteImage image(2, 2, {rgb(1, 2, 3)});
        breakages[k](image.image);
        rm::Texture* texture = nullptr;
        EXPECT_EQ(rig.retainedMode->CreateTexture(&image.image, &texture), rm::kFail) << k;
        EXPECT_EQ(texture, nullptr);
    }
}

TEST(EngineTexture, PlayerSettingsShowTheTextureAtFullColour) {
    // The player's device: mono colour model, 1 shade, 256 texture colours, no dither, no
    // lights; a texel index past the palette shows black instead of reading beyond it.
    EngineRig rig(64, 64, rm::ColorModel::Mono);
    rig.device->SetQuality(rm::kRenderFlat);
    rig.device->SetTextureQuality(rm::kTextureNearest);
    rig.device->SetShades(1);
    rig.retainedMode->SetDefaultTextureColors(256);
    rig.retainedMode->SetDefaultTextureShades(1);
    rig.device->SetDither(0);
    PaletteImage image(2, 1, {rgb(200, 120, 90)});
    image.pixels = {0, 7};
    rm::Texture* texture = rig.createTexture(image);
    EXPECT_EQ(texture->SetColors(256), rm::kOk);
    rig.addMesh(quad(0.4f), kQuadFaces, texture, {0, 0, 1, 0, 1, 1, 0, 1});
    const PixelImage& frame = rig.render();
    EXPECT_EQ(frame.pixels[size_t(32 * 64 + 16)], 0xFFC8785Au);
    EXPECT_EQ(frame.pixels[size_t(32 * 64 + 48)], 0xFF000000u);
}

TEST(EngineDevice, ShadesDitherAndTextureDefaultsReadBackWhatWasSet) {
    EngineRig rig;
    // The defaults a device and a retained-mode object start with.
    EXPECT_EQ(rig.device->GetShades(), 32u);
    EXPECT_EQ(rig.device->GetDither(), 0);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureColors(), 256u);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureShades(), 1u);

    EXPECT_EQ(rig.device->SetShades(4), rm::kOk);
    EXPECT_EQ(rig.device->SetDither(7), rm::kOk); // any nonzero value is on
    EXPECT_EQ(rig.retainedMode->SetDefaultTextureColors(16), rm::kOk);
    EXPECT_EQ(rig.retainedMode->SetDefaultTextureShades(4), rm::kOk);
    EXPECT_EQ(rig.device->GetShades(), 4u);
    EXPECT_EQ(rig.device->GetDither(), 1);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureColors(), 16u);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureShades(), 4u);

    // Values outside 1..256 are refused and leave the setting as it was.
    for (uint32_t bad : {0u, 257u}) {
        EXPECT_EQ(rig.device->SetShades(bad), rm::kFail) << bad;
        EXPECT_EQ(rig.retainedMode->SetDefaultTextureColors(bad), rm::kFail) << bad;
        EXPECT_EQ(rig.retainedMode->SetDefaultTextureShades(bad), rm::kFail) << bad;
    }
    EXPECT_EQ(rig.device->GetShades(), 4u);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureColors(), 16u);
    EXPECT_EQ(rig.retainedMode->GetDefaultTextureShades(), 4u);

    EXPECT_EQ(rig.device->SetDither(0), rm::kOk);
    EXPECT_EQ(rig.device->GetDither(), 0);
}

TEST(EngineViewport, TheDepthRangeDecidesWhatIsDrawn) {
    // Orthographic camera at z = -150 with front -1000 and back 1000, as the player sets it:
    // everything from 1000 behind the camera to 1000 in front of it is drawn.
    struct Case {
        float z; // world z of a quad
        bool drawn;
    } cases[] = {{0, true}, {-500, true}, {-1149, true}, {849, true}, {-1151, false}, {851, false}};
    for (const Case& c : cases) {
        EngineRig rig;
        rm::Frame* frame = rig.addMesh(quad(0.3f), kQuadFaces);
        frame->SetPosition(nullptr, 0, 0, c.z);
        EXPECT_EQ(rig.render().pixels[size_t(32 * 64 + 32)] != 0xFF000000u, c.drawn) << c.z;
    }
}

TEST(EngineViewport, FieldHalfFillsHalfTheSmallerSide) {
    // A head of +-0.465 units in the player's 294 x 230 view spans 0.93 of 230 pixels.
    EngineRig rig(294, 230);
    rig.addMesh(quad(0.465f), kQuadFaces);
    Extent e = drawnExtent(rig.render());
    EXPECT_EQ(e.top, 8);      // centre 115 - 106.95
    EXPECT_EQ(e.bottom, 221); // 115 + 106.95
    EXPECT_EQ(e.left, 40);    // 147 - 106.95
    EXPECT_EQ(e.right, 253);
    EXPECT_EQ(rig.viewport->SetField(0), rm::kFail);
    ASSERT_EQ(rig.viewport->SetField(1.0f), rm::kOk); // twice the field: half the size
    e = drawnExtent(rig.render());
    EXPECT_EQ(e.top, 62); // 115 - 53.475
}

TEST(EngineViewport, ClipPlanesMustStayOrdered) {
    EngineRig rig; // orthographic, front -1000, back 1000
    EXPECT_EQ(rig.viewport->SetBack(-1000), rm::kFail);
    EXPECT_EQ(rig.viewport->SetFront(1000), rm::kFail);
    EXPECT_EQ(rig.viewport->SetFront(NAN), rm::kFail);
    // A perspective needs something in front of the camera.
    EXPECT_EQ(rig.viewport->SetProjection(rm::ProjectionType::Perspective), rm::kFail);
    ASSERT_EQ(rig.viewport->SetFront(0.5f), rm::kOk);
    ASSERT_EQ(rig.viewport->SetProjection(rm::ProjectionType::Perspective), rm::kOk);
    EXPECT_EQ(rig.viewport->SetFront(-1), rm::kFail);
    EXPECT_EQ(rig.viewport->SetProjection(static_cast<rm::ProjectionType>(7)), rm::kFail);
}

TEST(EngineViewport, PerspectiveCutsFacesCrossingTheFrontPlane) {
    EngineRig rig;
    rig.viewport->SetFront(1);
    rig.viewport->SetProjection(rm::ProjectionType::Perspective);
    rig.camera->SetPosition(nullptr, 0, 0, 0);
    // A floor running from behind the camera to far ahead: only the part beyond front draws,
    // as a trapezoid in the lower half.
    rig.addMesh({{-1, -1, -5}, {-1, -1, 50}, {1, -1, 50}, {1, -1, -5}}, kQuadFaces);
    Extent e = drawnExtent(rig.render());
    EXPECT_EQ(e.bottom, 63);
    EXPECT_GT(e.top, 32);
    EXPECT_LT(e.top, 40);
}

TEST(EngineDevice, FindDeviceByColourModel) {
    rm::DirectDraw* directDraw = nullptr;
    ASSERT_EQ(rm::DirectDrawCreate(nullptr, &directDraw, nullptr), rm::kOk);
    rm::Direct3D* direct3D = nullptr;
    ASSERT_EQ(directDraw->QueryDirect3D(&direct3D), rm::kOk);
    struct Case {
        uint32_t flags;
        rm::ColorModel model;
        rm::Result result;
        uint32_t guid;
    } cases[] = {
        {rm::kFindByColorModel, rm::ColorModel::Mono, rm::kOk, rm::kMonoDeviceGuid.data1},
        {rm::kFindByColorModel, rm::ColorModel::RGB, rm::kOk, rm::kRGBDeviceGuid.data1},
        {rm::kFindByColorModel, static_cast<rm::ColorModel>(4), rm::kFail, 0},
        {0, static_cast<rm::ColorModel>(4), rm::kOk, rm::kRGBDeviceGuid.data1},
    };
    for (const Case& c : cases) {
        rm::FindDeviceSearch search{92, c.flags, c.model};
        rm::FindDeviceResult result;
        EXPECT_EQ(direct3D->FindDevice(&search, &result), c.result);
        EXPECT_EQ(result.guid.data1, c.guid);
    }
    direct3D->Release();
    directDraw->Release();
}

TEST(EngineDevice, SizeComesFromTheCallOrTheWindow) {
    EngineRig rig(40, 30);
    rm::Device* device = nullptr;
    ASSERT_EQ(rig.retainedMode->CreateDeviceFromClipper(rig.clipper, nullptr, 0, 0, &device),
              rm::kOk);
    EXPECT_EQ(device->GetWidth(), 40);
    EXPECT_EQ(device->GetHeight(), 30);
    device->Release();
    rm::Guid unknown{1, 2, 3, {}};
    const struct {
        const rm::Guid* guid;
        int width, height;
    } refused[] = {{&unknown, 10, 10}, {nullptr, -1, 10}, {nullptr, 10, 100000}};
    for (const auto& c : refused) {
        device = nullptr;
        EXPECT_EQ(rig.retainedMode->CreateDeviceFromClipper(rig.clipper, c.guid, c.width, c.height,
                                                            &device),
                  rm::kFail);
        EXPECT_EQ(device, nullptr);
    }
    // Viewports must lie on their device.
    rm::Viewport* viewport = nullptr;
    EXPECT_EQ(rig.retainedMode->CreateViewport(rig.device, rig.camera, 1, 0, 40, 30, &viewport),
              rm::kFail);
    EXPECT_EQ(rig.retainedMode->CreateViewport(rig.device, rig.camera, 0, 0, 40, 0, &viewport),
              rm::kFail);
}

TEST(EngineDevice, HandlePaintPresentsTheLastFrameAgain) {
    EngineRig rig;
    rig.addMesh(quad(0.3f), kQuadFaces);
    PixelImage first = rig.render();
    EXPECT_EQ(rig.window.presents, 1);
    rm::WinDevice* winDevice = nullptr;
    ASSERT_EQ(rig.device->QueryWinDevice(&winDevice), rm::kOk);
    EXPECT_EQ(winDevice->HandlePaint(), rm::kOk);
    EXPECT_EQ(rig.window.presents, 2);
    EXPECT_EQ(rig.window.last.pixels, first.pixels);
    EXPECT_EQ(winDevice->HandleActivate(1), rm::kOk);
    // Unbound from its window, the device renders for nobody and cannot repaint.
    ASSERT_EQ(rig.clipper->SetHWnd(0, nullptr), rm::kOk);
    rig.render();
    EXPECT_EQ(rig.window.presents, 2);
    EXPECT_EQ(winDevice->HandlePaint(), rm::kFail);
    winDevice->Release();
}

class EngineFaults : public ::testing::Test {
protected:
    void TearDown() override { rm::clearFaults(); }
};

TEST_F(EngineFaults, EachFaultFailsItsCallUntilCleared) {
    EngineRig rig;
    MeshFixture m;
    PaletteImage image(1, 1, {rgb(1, 2, 3)});
    rm::Vertex vertex;
    // Each call returns its result; objects it creates are released again.
    auto release = [](rm::Object* o) {
        if (o) {
            o->Release();
        }
    };
    struct Case {
        rm::Fault fault;
        std::function<rm::Result()> call;
    } cases[] = {
        {rm::Fault::Direct3DRMCreate,
         [&] {
             rm::RetainedMode* p = nullptr;
             rm::Result r = rm::Direct3DRMCreate(&p);
             release(p);
             return r;
         }},
        {rm::Fault::DirectDrawCreateClipper,
         [&] {
             rm::Clipper* p = nullptr;
             rm::Result r = rm::DirectDrawCreateClipper(0, &p, nullptr);
             release(p);
             return r;
         }},
        {rm::Fault::ClipperSetHWnd, [&] { return rig.clipper->SetHWnd(0, &rig.window); }},
        {rm::Fault::DirectDrawCreate,
         [&] {
             rm::DirectDraw* p = nullptr;
             rm::Result r = rm::DirectDrawCreate(nullptr, &p, nullptr);
             release(p);
             return r;
         }},
        {rm::Fault::QueryDirect3D,
         [&] {
             rm::DirectDraw* dd = nullptr;
             rm::DirectDrawCreate(nullptr, &dd, nullptr);
             rm::Direct3D* p = nullptr;
             rm::Result r = dd->QueryDirect3D(&p);
             release(p);
             dd->Release();
             return r;
         }},
        {rm::Fault::FindDevice,
         [&] {
             rm::DirectDraw* dd = nullptr;
             rm::DirectDrawCreate(nullptr, &dd, nullptr);
             rm::Direct3D* d3d = nullptr;
             dd->QueryDirect3D(&d3d);
             rm::FindDeviceSearch search{92, rm::kFindByColorModel, rm::ColorModel::Mono};
             rm::FindDeviceResult result;
             rm::Result r = d3d->FindDevice(&search, &result);
             d3d->Release();
             dd->Release();
             return r;
         }},
        {rm::Fault::CreateDeviceFromClipper,
         [&] {
             rm::Device* p = nullptr;
             rm::Result r =
                 rig.retainedMode->CreateDeviceFromClipper(rig.clipper, nullptr, 8, 8, &p);
             release(p);
             return r;
         }},
        {rm::Fault::CreateTexture,
         [&] {
             rm::Texture* p = nullptr;
             rm::Result r = rig.retainedMode->CreateTexture(&image.image, &p);
             release(p);
             return r;
         }},
        {rm::Fault::QueryWinDevice,
         [&] {
             rm::WinDevice* p = nullptr;
             rm::Result r = rig.device->QueryWinDevice(&p);
             release(p);
             return r;
         }},
        {rm::Fault::HandlePaint,
         [&] {
             rm::WinDevice* p = nullptr;
             rig.device->QueryWinDevice(&p);
             rm::Result r = p->HandlePaint();
             p->Release();
             return r;
         }},
        {rm::Fault::HandleActivate,
         [&] {
             rm::WinDevice* p = nullptr;
             rig.device->QueryWinDevice(&p);
             rm::Result r = p->HandleActivate(0);
             p->Release();
             return r;
         }},
        {rm::Fault::GetVertices, [&] { return m.mesh->GetVertices(0, 0, 1, &vertex); }},
    };
    for (const Case& c : cases) {
        const int fault = int(c.fault);
        EXPECT_EQ(c.call(), rm::kOk) << "fault " << fault;
        rm::setFault(c.fault, true);
        EXPECT_EQ(c.call(), rm::kFail) << "fault " << fault;
        rm::setFault(c.fault, false);
        EXPECT_EQ(c.call(), rm::kOk) << "fault " << fault;
        rm::setFault(c.fault, true);
        rm::clearFaults();
        EXPECT_EQ(c.call(), rm::kOk) << "fault " << fault;
    }
}

TEST_F(EngineFaults, AFailedCreateLeavesTheOutputAlone) {
    rm::setFault(rm::Fault::Direct3DRMCreate, true);
    auto* marker = reinterpret_cast<rm::RetainedMode*>(uintptr_t(0x10));
    rm::RetainedMode* out = marker;
    EXPECT_EQ(rm::Direct3DRMCreate(&out), rm::kFail);
    EXPECT_EQ(out, marker);
}
