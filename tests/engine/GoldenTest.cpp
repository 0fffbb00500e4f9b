// Rendering pinned by numbered 64x64 golden images in tests/engine/golden/. Run with
// MIMLET_REWRITE_GOLDEN=1 to rewrite the references after a deliberate change, then look at
// them before committing.

#include "EngineRig.h"
#include "engine/Transform.h"

#include <gtest/gtest.h>

#include <set>

using namespace enginetest;

namespace {

uint32_t argb(const rm::PaletteEntry& e) {
    return 0xFF000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
}

uint32_t pixelAt(const PixelImage& image, int x, int y) {
    return image.pixels[size_t(y) * size_t(image.width) + size_t(x)];
}

const rm::PaletteEntry kRed = rgb(220, 40, 40);
const rm::PaletteEntry kGreen = rgb(40, 200, 60);
const rm::PaletteEntry kBlue = rgb(40, 60, 220);
const rm::PaletteEntry kYellow = rgb(240, 220, 40);
const rm::PaletteEntry kCyan = rgb(40, 220, 220);
const rm::PaletteEntry kMagenta = rgb(200, 40, 200);
const rm::Color kGrey = 0xFF404040;

// A square of half side a in the z = 0 plane, clockwise as the camera sees it, texture
// coordinates (0,0) at its top left to (1,1) at its bottom right.
const std::vector<uint32_t> kQuadFaces = {4, 0, 1, 2, 3, 0};
std::vector<rm::Vector> quad(float a) {
    return {{-a, a, 0}, {a, a, 0}, {a, -a, 0}, {-a, -a, 0}};
}
const std::vector<float> kQuadUv = {0, 0, 1, 0, 1, 1, 0, 1};

// A 2x2 image: red, green on the top row; blue, yellow on the bottom row.
PaletteImage orientationImage() {
    PaletteImage image(2, 2, {kRed, kGreen, kBlue, kYellow});
    image.pixels = {0, 1, 2, 3};
    return image;
}

} // namespace

TEST(EngineGolden, TexturedQuadUnderOrthographicCamera) {
    EngineRig rig;
    rig.scene->SetSceneBackground(kGrey);
    // An 8x8 checker with a yellow top-left texel; coordinates run past both edges, which
    // clamps: the outer band repeats the edge texels.
    PaletteImage image(8, 8, {kRed, kBlue, kYellow});
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            image.pixels[size_t(y * 8 + x)] = uint8_t((x + y) % 2);
        }
    }
    image.pixels[0] = 2;
    rm::Texture* texture = rig.createTexture(image);
    rig.addMesh(quad(0.4f), kQuadFaces, texture,
                {-0.25f, -0.25f, 1.25f, -0.25f, 1.25f, 1.25f, -0.25f, 1.25f});
    const PixelImage& frame = rig.render();

    EXPECT_EQ(pixelAt(frame, 0, 0), kGrey);
    EXPECT_EQ(pixelAt(frame, 63, 63), kGrey);
    EXPECT_EQ(pixelAt(frame, 8, 8), argb(kYellow)); // the clamped top-left corner
    EXPECT_EQ(compareWithGolden("01-textured-quad", frame), "");
}

TEST(EngineGolden, RotatedCubeShowsThreeNearestFaces) {
    EngineRig rig;
    // A perspective camera 3 units in front of the cube.
    ASSERT_EQ(rig.viewport->SetFront(1), rm::kOk);
    ASSERT_EQ(rig.viewport->SetProjection(rm::ProjectionType::Perspective), rm::kOk);
    ASSERT_EQ(rig.camera->SetPosition(rig.scene, 0, 0, -3), rm::kOk);

    // Six faces, each clockwise seen from outside, each coloured by its own texel.
    const rm::Vector normals[6] = {{0, 0, -1}, {0, 0, 1}, {1, 0, 0},
                                   {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    const rm::Vector tangents[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 0, 1},
                                    {0, 0, -1}, {1, 0, 0},  {1, 0, 0}};
    std::vector<rm::Vector> vertices;
    std::vector<uint32_t> faces;
    std::vector<float> uv;
    for (int f = 0; f < 6; ++f) {
        rm::Vector n = normals[f] * 0.5f;
        rm::Vector u = tangents[f] * 0.5f;
        rm::Vector v = rm::cross(normals[f] * -1.0f, tangents[f]) * 0.5f; // "up" on the face
        // Top left, top right, bottom right, bottom left as seen from outside.
        vertices.insert(vertices.end(), {n - u + v, n + u + v, n + u - v, n - u - v});
        faces.insert(faces.end(), {4, uint32_t(4 * f), uint32_t(4 * f + 1), uint32_t(4 * f + 2),
                                   uint32_t(4 * f + 3)});
        for (int k = 0; k < 4; ++k) {
            uv.insert(uv.end(), {(float(f) + 0.5f) / 6, 0.5f});
        }
    }
    faces.push_back(0);
    PaletteImage image(6, 1, {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta});
    image.pixels = {0, 1, 2, 3, 4, 5};
    rm::Frame* cube = rig.addMesh(vertices, faces, rig.createTexture(image), uv);
    ASSERT_EQ(cube->AddRotation(rm::CombineType::Replace, 0, 1, 0, 0.6f), rm::kOk);
    ASSERT_EQ(cube->AddRotation(rm::CombineType::After, 1, 0, 0, -0.5f), rm::kOk);
    const PixelImage& frame = rig.render();

    // Front (-z, red), the side turned towards the camera and the top: the other three are
    // back faces or hidden behind these.
    std::set<uint32_t> seen(frame.pixels.begin(), frame.pixels.end());
    seen.erase(0xFF000000);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen.count(argb(kRed)));
    EXPECT_EQ(compareWithGolden("02-rotated-cube", frame), "");
}

TEST(EngineGolden, TwoTrianglesSharingAnEdgeLeaveNoCrack) {
    EngineRig rig;
    rig.scene->SetSceneBackground(kGrey);
    // Corners at pixel centres 8.5 and 55.5 (0.3671875 * 64 = 23.5 pixels from the middle),
    // so the shared diagonal runs exactly through pixel centres.
    const float a = 0.3671875f;
    PaletteImage red(1, 1, {kRed});
    PaletteImage blue(1, 1, {kBlue});
    rig.addMesh({{-a, a, 0}, {a, a, 0}, {a, -a, 0}}, {3, 0, 1, 2, 0}, rig.createTexture(red));
    rig.addMesh({{-a, a, 0}, {a, -a, 0}, {-a, -a, 0}}, {3, 0, 1, 2, 0}, rig.createTexture(blue));
    const PixelImage& frame = rig.render();

    // Every pixel centre inside the square (8.5 .. 55.5) is coloured: no background shows.
    for (int y = 9; y <= 54; ++y) {
        for (int x = 9; x <= 54; ++x) {
            EXPECT_NE(pixelAt(frame, x, y), kGrey) << x << "," << y;
        }
    }
    EXPECT_EQ(compareWithGolden("03-shared-edge", frame), "");
}

TEST(EngineGolden, TextureCoordinateVZeroIsTheTopRow) {
    EngineRig rig;
    PaletteImage image = orientationImage();
    rig.addMesh(quad(0.4f), kQuadFaces, rig.createTexture(image), kQuadUv);
    const PixelImage& frame = rig.render();

    EXPECT_EQ(pixelAt(frame, 20, 20), argb(kRed));    // top left
    EXPECT_EQ(pixelAt(frame, 44, 20), argb(kGreen));  // top right
    EXPECT_EQ(pixelAt(frame, 20, 44), argb(kBlue));   // bottom left
    EXPECT_EQ(pixelAt(frame, 44, 44), argb(kYellow)); // bottom right
    EXPECT_EQ(compareWithGolden("04-texture-orientation", frame), "");
}

TEST(EngineGolden, RotationReplaceThenAfter) {
    PaletteImage image = orientationImage();
    auto renderTurned = [&](rm::CombineType second) {
        EngineRig rig;
        rm::Frame* frame = rig.addMesh(quad(0.4f), kQuadFaces, rig.createTexture(image), kQuadUv);
        frame->AddRotation(rm::CombineType::Replace, 0, 1, 0, 0.8f);
        frame->AddRotation(second, 1, 0, 0, 0.6f);
        return rig.render();
    };
    PixelImage after = renderTurned(rm::CombineType::After);
    PixelImage before = renderTurned(rm::CombineType::Before);

    EXPECT_NE(after.pixels, before.pixels);
    EXPECT_EQ(compareWithGolden("05-rotation-replace-after", after), "");
}
