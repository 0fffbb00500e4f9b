// The face view without a window, on the real engine, parser and level meter: device set-up
// and its messages, the scene, morph blending and the animation tick.

#include "ColourDepthTable.h"
#include "FaceModel.h"
#include "FaceViewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

constexpr float kTolerance = 1e-6f;

bool Near(const rm::Vector& a, const rm::Vector& b) {
    return std::fabs(a.x - b.x) <= kTolerance && std::fabs(a.y - b.y) <= kTolerance &&
           std::fabs(a.z - b.z) <= kTolerance;
}

// The mesh vertex at a position, whatever order the mesh keeps its vertices in.
std::optional<size_t> FindVertex(const std::vector<rm::Vertex>& vertices, const rm::Vector& p) {
    for (size_t i = 0; i < vertices.size(); ++i) {
        if (Near(vertices[i].position, p)) {
            return i;
        }
    }
    return std::nullopt;
}

// SmallFaceSpec's moves, as model-space positions: target 1 moves vertex 0 from (64, 64, 10)
// to (64, 80, 10); target 2 vertex 1 from (192, 64, 10) to (192, 80, 12); target 3 vertex 2
// from (192, 192, 10) to (180, 180, 10).
rm::Vector Lerp(const rm::Vector& a, const rm::Vector& b, float w) {
    return {a.x + (b.x - a.x) * w, a.y + (b.y - a.y) * w, a.z + (b.z - a.z) * w};
}
const rm::Vector kRest0 = ModelPosition(64, 64, 10);
const rm::Vector kOpen0 = ModelPosition(64, 80, 10);
const rm::Vector kRest1 = ModelPosition(192, 64, 10);
const rm::Vector kOpen1 = ModelPosition(192, 80, 12);
const rm::Vector kRest2 = ModelPosition(192, 192, 10);
const rm::Vector kShut2 = ModelPosition(180, 180, 10);
const rm::Vector kRest3 = ModelPosition(64, 192, 10);

// Where each of SmallFaceSpec's four vertices is in the mesh, given the expected positions.
void ExpectPositions(const std::vector<rm::Vertex>& vertices,
                     const std::vector<rm::Vector>& expected) {
    ASSERT_EQ(vertices.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(FindVertex(vertices, expected[i]))
            << "vertex " << i << " not at (" << expected[i].x << ", " << expected[i].y << ", "
            << expected[i].z << ")";
    }
}

// ---- Device set-up -------------------------------------------------------------------------

struct SetUpCase {
    const char* name;
    std::vector<rm::Fault> faults;
    std::vector<std::string> messages;
    int result;
};

class DeviceSetUp : public FaceViewTest, public testing::WithParamInterface<SetUpCase> {};

TEST_P(DeviceSetUp, ShowsTheStepsMessagesAndEndsTheWaitCursor) {
    TestFaceView& view = MakeView(SmallFaceSpec());
    for (rm::Fault fault : GetParam().faults) {
        rm::setFault(fault, true);
    }
    EXPECT_EQ(view.InitialiseDevice(), GetParam().result);
    EXPECT_EQ(m_messages, GetParam().messages);
    EXPECT_EQ(view.m_nWaitBegun, 1);
    EXPECT_EQ(view.m_nWaitEnded, 1);
    if (GetParam().result == 1) {
        // A failed device search is not fatal: the device is made with a null GUID.
        const bool bSearchFailed = !GetParam().messages.empty();
        EXPECT_EQ(g_deviceGuid == nullptr, bSearchFailed);
        EXPECT_NE(view.m_pMesh, nullptr);
        EXPECT_NE(g_viewport, nullptr);
    }
    // Whatever was made before the failure stays for the teardown (run by TearDown, which
    // checks that the process-wide objects are gone; LeakSanitizer checks the rest).
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceSetUp,
    testing::Values(
        SetUpCase{"None", {}, {}, 1},
        SetUpCase{"RetainedMode", {rm::Fault::Direct3DRMCreate}, {"Direct3DRMCreate Failed"}, 0},
        SetUpCase{"Clipper",
                  {rm::Fault::DirectDrawCreateClipper},
                  {"DirectDrawCreateClipper() failed"},
                  0},
        SetUpCase{"ClipperWindow", {rm::Fault::ClipperSetHWnd}, {"clipper->SetHWnd() failed"}, 0},
        SetUpCase{"DirectDraw", {rm::Fault::DirectDrawCreate}, {"DirectDrawCreate() failed"}, 1},
        SetUpCase{"Direct3D", {rm::Fault::QueryDirect3D}, {"d3drm->QueryInterface() failed\n"}, 1},
        SetUpCase{"FindDevice", {rm::Fault::FindDevice}, {"FindDevice() failed"}, 1},
        SetUpCase{"Device",
                  {rm::Fault::CreateDeviceFromClipper},
                  {"CreateDeviceFromClipper() failed"},
                  0},
        SetUpCase{"SearchAndDevice",
                  {rm::Fault::FindDevice, rm::Fault::CreateDeviceFromClipper},
                  {"FindDevice() failed", "CreateDeviceFromClipper() failed"},
                  0},
        SetUpCase{"DirectDrawAndDevice",
                  {rm::Fault::DirectDrawCreate, rm::Fault::CreateDeviceFromClipper},
                  {"DirectDrawCreate() failed", "CreateDeviceFromClipper() failed"},
                  0},
        SetUpCase{"Texture", {rm::Fault::CreateTexture}, {"Failed to load texture"}, 0}),
    [](const testing::TestParamInfo<SetUpCase>& info) { return info.param.name; });

TEST_F(FaceViewTest, DeviceIsTheSizeOfTheClientArea) {
    TestFaceView& view = MakeView(SmallFaceSpec(), {}, 50, 30);
    ASSERT_EQ(view.InitialiseDevice(), 1);
    EXPECT_EQ(g_device->GetWidth(), 50);
    EXPECT_EQ(g_device->GetHeight(), 30);
    NextFrame(view);
    EXPECT_EQ(view.m_target.m_nFrames, 1);
    EXPECT_EQ(view.m_target.m_nLastWidth, 50);
    EXPECT_EQ(view.m_target.m_nLastHeight, 30);
}

class ColourDepth : public FaceViewTest, public testing::WithParamInterface<DepthSettings> {};

TEST_P(ColourDepth, SetsShadesTextureDefaultsAndDither) {
    const DepthSettings& expected = GetParam();
    TestFaceView& view = MakeView(SmallFaceSpec(), {}, 64, 64, expected.nDepth);
    ASSERT_EQ(view.InitialiseDevice(), 1);
    EXPECT_EQ(g_device->GetShades(), expected.nDeviceShades);
    EXPECT_EQ(g_device->GetDither(), expected.nDither);
    EXPECT_EQ(g_retainedMode->GetDefaultTextureColors(), expected.nTextureColours);
    EXPECT_EQ(g_retainedMode->GetDefaultTextureShades(), expected.nTextureShades);
    EXPECT_TRUE(m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ColourDepth, testing::ValuesIn(ColourDepthTable()),
                         [](const testing::TestParamInfo<DepthSettings>& info) {
                             return DepthName(info.param.nDepth);
                         });

TEST_F(FaceViewTest, UnreadableFaceShowsTheLocation) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.faces.push_back({0, 1, 9}); // no vertex 9
    TestFaceView& view = MakeView(spec);
    EXPECT_EQ(view.InitialiseDevice(), 0);
    EXPECT_EQ(m_messages, std::vector<std::string>{"Failed to Initialise 'test.mf'."});
    EXPECT_EQ(view.m_pMeshBuilder, nullptr);
}

TEST_F(FaceViewTest, UnreadableFaceShowsALongLocationWhole) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.faces.push_back({0, 1, 9}); // no vertex 9
    TestFaceView& view = MakeView(spec);
    view.m_strLocation = "http://127.0.0.1/" + std::string(2000, 'a') + "%s.mf";
    EXPECT_EQ(view.InitialiseDevice(), 0);
    EXPECT_EQ(m_messages,
              std::vector<std::string>{"Failed to Initialise '" + view.m_strLocation + "'."});
}

// ---- Lifecycle -----------------------------------------------------------------------------

TEST_F(FaceViewTest, ViewDeletedBeforeItsSetUpReleasesNothing) {
    MakeView(SmallFaceSpec());
    m_view.reset();
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(FaceViewTest, ReleasingTwiceThenDeletingReleasesEachObjectOnce) {
    TestFaceView& view = MakeReadyView(SmallFaceSpec());
    view.ReleaseObjects(); // the window went first
    view.ReleaseObjects();
    EXPECT_EQ(view.m_pFaceFrame, nullptr);
    EXPECT_EQ(view.m_pClipper, nullptr);
    EXPECT_EQ(g_retainedMode, nullptr);
    const int nFrames = view.m_target.m_nFrames;
    NextFrame(view); // ticks do nothing once the objects are gone
    EXPECT_EQ(view.m_target.m_nFrames, nFrames);
}

TEST_F(FaceViewTest, SecondViewCreatesTheObjectsAnew) {
    MakeReadyView(SmallFaceSpec());
    m_view.reset();
    TestFaceView& second = MakeReadyView(SmallFaceSpec());
    EXPECT_NE(g_retainedMode, nullptr);
    EXPECT_NE(g_camera, nullptr);
    EXPECT_NE(g_viewport, nullptr);
    NextFrame(second);
    EXPECT_EQ(second.m_target.m_nFrames, 1);
}

TEST_F(FaceViewTest, MeterFailureIsReportedAfterTheMetersOwnMessageAndTheViewGoesOn) {
    m_buffer = FaceBuffer(SmallFaceSpec());
    m_view = std::make_unique<TestFaceView>(
        m_buffer.data(),
        std::make_unique<CLevelMeter>(std::make_unique<mixer::FailingStepMixer>(
            std::make_unique<mixer::LevelListMixer>(std::vector<int32_t>{22001}),
            mixer::SetupStep::open)),
        64, 64, 32);
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], "Failed to Initialise Audio Mixer");
    ASSERT_EQ(m_view->InitialiseDevice(), 1);
    NextFrame(*m_view);
    EXPECT_EQ(m_view->LastFrame().nLevel, 0); // a failed meter reads 0
}

TEST_F(FaceViewTest, TickBeforeTheSetUpDoesNothing) {
    TestFaceView& view = MakeView(SmallFaceSpec(), {500});
    NextFrame(view);
    EXPECT_EQ(view.FrameCount(), 0u);
    ASSERT_EQ(view.InitialiseDevice(), 1);
    NextFrame(view);
    EXPECT_EQ(view.LastFrame().nLevel, 500); // the meter was not read before
}

// ---- Scene ---------------------------------------------------------------------------------

TEST_F(FaceViewTest, TextureCoordinatesComeFromTheVertexBytes) {
    FaceBytesSpec spec;
    const std::vector<std::array<uint8_t, 3>> base = {{128, 128, 0}, {64, 64, 10}, {192, 32, 20}};
    spec.shapes = {base, base, base, base};
    spec.faces = {{0, 1, 2}};
    MakeReadyView(spec);
    const std::vector<rm::Vertex> vertices = MeshVertices(*m_view);
    struct Case {
        int x, y, z;
        float u, v;
    };
    const Case cases[] = {
        {128, 128, 0, 0.5f, 0.5f}, {64, 64, 10, 0.25f, 0.75f}, {192, 32, 20, 0.75f, 0.875f}};
    for (const Case& c : cases) {
        const std::optional<size_t> i = FindVertex(vertices, ModelPosition(c.x, c.y, c.z));
        ASSERT_TRUE(i) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(vertices[*i].tu, c.u) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(vertices[*i].tv, c.v) << c.x << "," << c.y;
    }
}

TEST_F(FaceViewTest, TextureRowsAreStoredBottomFirstAndPaletteInFileOrder) {
    FaceBytesSpec spec = SmallFaceSpec();
    for (int r = 0; r < 256; ++r) {
        for (int c = 0; c < 256; ++c) {
            spec.texture[r * 256 + c] = static_cast<uint8_t>(r ^ c); // each row its own
        }
        spec.palette[r] = {static_cast<uint8_t>(r), static_cast<uint8_t>(r * 3),
                           static_cast<uint8_t>(255 - r)};
    }
    TestFaceView& view = MakeReadyView(spec);
    for (int r = 0; r < 256; ++r) {
        const uint8_t* pImageRow = view.m_pPixels.get() + (255 - r) * 256;
        for (int c = 0; c < 256; ++c) {
            ASSERT_EQ(pImageRow[c], r ^ c) << "stored row " << r << " column " << c;
        }
        EXPECT_EQ(view.m_palette[r].red, r);
        EXPECT_EQ(view.m_palette[r].green, static_cast<uint8_t>(r * 3));
        EXPECT_EQ(view.m_palette[r].blue, 255 - r);
        EXPECT_EQ(view.m_palette[r].flags, 0);
    }
    EXPECT_EQ(view.m_image.buffer1, view.m_pPixels.get());
    EXPECT_EQ(view.m_image.palette, view.m_palette);
    EXPECT_EQ(view.m_image.depth, 8);
    EXPECT_EQ(view.m_image.bytes_per_line, 256);
    EXPECT_EQ(view.m_image.palette_size, 256);
}

TEST_F(FaceViewTest, FaceWithoutFacesStillBuildsTheScene) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.faces.clear();
    TestFaceView& view = MakeReadyView(spec);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_NE(g_camera, nullptr);
    EXPECT_NE(g_viewport, nullptr);
    NextFrame(view);
    ASSERT_EQ(view.m_target.m_nFrames, 1);
    for (uint32_t pixel : view.m_target.m_lastPixels) {
        ASSERT_EQ(pixel & 0xFFFFFF, 0u); // nothing but the black background
    }
}

// ---- Morph blending ------------------------------------------------------------------------

TEST_F(FaceViewTest, BlendPlacesListedVerticesByWeight) {
    MakeReadyView(SmallFaceSpec());
    struct Case {
        float weight;
        rm::Vector expected0;
    };
    const Case cases[] = {
        {1.5f, kOpen0}, {1.0f, kOpen0}, {0.5f, Lerp(kRest0, kOpen0, 0.5f)}, {0.0f, kRest0}};
    for (const Case& c : cases) {
        m_view->BlendMorphTarget(1, c.weight);
        ExpectPositions(MeshVertices(*m_view), {c.expected0, kRest1, kRest2, kRest3});
    }
}

TEST_F(FaceViewTest, BlendingIsAbsoluteNotCumulative) {
    MakeReadyView(SmallFaceSpec());
    m_view->BlendMorphTarget(2, 0.5f);
    const std::vector<rm::Vertex> once = MeshVertices(*m_view);
    m_view->BlendMorphTarget(2, 0.5f);
    const std::vector<rm::Vertex> twice = MeshVertices(*m_view);
    for (size_t i = 0; i < once.size(); ++i) {
        EXPECT_TRUE(Near(once[i].position, twice[i].position)) << i;
    }
}

TEST_F(FaceViewTest, ClosingOneTargetLeavesAnothersVertices) {
    MakeReadyView(SmallFaceSpec());
    m_view->BlendMorphTarget(2, 0.8f);
    m_view->BlendMorphTarget(1, 0.0f);
    ExpectPositions(MeshVertices(*m_view), {kRest0, Lerp(kRest1, kOpen1, 0.8f), kRest2, kRest3});
}

TEST_F(FaceViewTest, BlendMovesOnlyPositions) {
    MakeReadyView(SmallFaceSpec());
    const std::vector<rm::Vertex> before = MeshVertices(*m_view);
    m_view->BlendMorphTarget(1, 1.0f);
    m_view->BlendMorphTarget(2, 0.7f);
    m_view->BlendMorphTarget(3, 0.3f);
    const std::vector<rm::Vertex> after = MeshVertices(*m_view);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(Near(before[i].normal, after[i].normal)) << i;
        EXPECT_EQ(before[i].tu, after[i].tu) << i;
        EXPECT_EQ(before[i].tv, after[i].tv) << i;
        EXPECT_EQ(before[i].color, after[i].color) << i;
    }
}

TEST_F(FaceViewTest, EmptyOrMissingTargetChangesNothing) {
    FaceBytesSpec spec = SmallFaceSpec();
    spec.shapes.resize(3);
    spec.shapes[2] = spec.shapes[0]; // target 2 moves nothing; target 3 is absent
    MakeReadyView(spec);
    m_view->BlendMorphTarget(1, 1.0f);
    const std::vector<rm::Vertex> before = MeshVertices(*m_view);
    for (int nTarget : {2, 3, 9, 10, -1}) {
        m_view->BlendMorphTarget(nTarget, 1.0f);
        const std::vector<rm::Vertex> after = MeshVertices(*m_view);
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_TRUE(Near(before[i].position, after[i].position)) << "target " << nTarget;
        }
    }
}

TEST_F(FaceViewTest, FailedVertexReadIsNeverWrittenBack) {
    MakeReadyView(SmallFaceSpec());
    m_view->BlendMorphTarget(1, 1.0f);
    rm::setFault(rm::Fault::GetVertices, true);
    m_view->BlendMorphTarget(2, 1.0f);
    m_view->BlendMorphTarget(1, 0.0f);
    rm::setFault(rm::Fault::GetVertices, false);
    ExpectPositions(MeshVertices(*m_view), {kOpen0, kRest1, kRest2, kRest3});
}

// ---- The tick ------------------------------------------------------------------------------

TEST_F(FaceViewTest, FrameRunsOnlyAfterMoreThan40Ms) {
    TestFaceView& view = MakeReadyView(SmallFaceSpec(), {100, 200, 300});
    NextFrame(view);
    const uint32_t dwFirst = CFaceViewCore::LastFrameTime();
    m_dwNow = dwFirst + 40;
    view.Tick();
    EXPECT_EQ(view.m_target.m_nFrames, 1);
    EXPECT_EQ(CFaceViewCore::LastFrameTime(), dwFirst);
    m_dwNow = dwFirst + 41;
    view.Tick();
    EXPECT_EQ(view.m_target.m_nFrames, 2);
    EXPECT_EQ(view.LastFrame().dwTime, dwFirst + 41);
    EXPECT_EQ(view.LastFrame().nLevel, 200); // the skipped pass read no level
}

TEST_F(FaceViewTest, PacingHoldsAcrossTheClockWrap) {
    TestFaceView& view = MakeReadyView(SmallFaceSpec());
    m_dwNow = 4294967290u;
    view.Tick();
    ASSERT_EQ(CFaceViewCore::LastFrameTime(), 4294967290u);
    m_dwNow = 34; // 40 ms later
    view.Tick();
    EXPECT_EQ(view.m_target.m_nFrames, 1);
    m_dwNow = 35; // 41 ms later
    view.Tick();
    EXPECT_EQ(view.m_target.m_nFrames, 2);
    EXPECT_EQ(CFaceViewCore::LastFrameTime(), 35u);
}

TEST_F(FaceViewTest, FirstFramesFollowTheReferenceSwayAndBlink) {
    TestFaceView& view = MakeReadyView(SmallFaceSpec());
    const float targets[3][2] = {{-0.09f, 0.17f}, {-0.16f, -0.50f}, {0.19f, -0.26f}};
    const float blink[11] = {0, 0.5f, 1, 1, 1, 1, 0.9f, 0.7f, 0.5f, 0.3f, 0.1f};
    for (int nFrame = 0; nFrame < 60; ++nFrame) {
        NextFrame(view);
        const CFaceViewCore::FrameTrace& frame = view.LastFrame();
        const int nSegment = nFrame / 20;
        EXPECT_FLOAT_EQ(frame.fSwayTargetY, targets[nSegment][0]) << "frame " << nFrame;
        EXPECT_FLOAT_EQ(frame.fSwayTargetX, targets[nSegment][1]) << "frame " << nFrame;
        EXPECT_EQ(frame.bBlinked, nFrame < 11) << "frame " << nFrame;
        if (nFrame < 11) {
            EXPECT_NEAR(frame.fBlinkWeight, blink[nFrame], 1e-6) << "frame " << nFrame;
        }
        if (nFrame == 0) {
            EXPECT_FLOAT_EQ(frame.fSwayY, -0.0045f);
            EXPECT_FLOAT_EQ(frame.fSwayX, 0.0085f);
            EXPECT_EQ(view.m_nSwayFrames, 19);
        }
        if (nFrame == 3) { // eyes fully closed: target 3 at full weight in the mesh
            ExpectPositions(MeshVertices(view), {kRest0, kRest1, kShut2, kRest3});
        }
    }
    // The blink ended at 0.1: the eyes stay at that weight until the next blink.
    ExpectPositions(MeshVertices(view), {kRest0, kRest1, Lerp(kRest2, kShut2, 0.1f), kRest3});
    EXPECT_NEAR(view.m_fSwayY, 0.19f, 1e-5);
    EXPECT_NEAR(view.m_fSwayX, -0.26f, 1e-5);
}

TEST_F(FaceViewTest, NextBlinkStartsOnlyMoreThan10000MsAfterTheLastEnded) {
    TestFaceView& view = MakeReadyView(SmallFaceSpec());
    for (int nFrame = 0; nFrame < 11; ++nFrame) {
        NextFrame(view);
    }
    ASSERT_FALSE(view.m_bBlinking);
    const uint32_t dwEnd = view.m_dwBlinkEndTime;
    EXPECT_EQ(dwEnd, CFaceViewCore::LastFrameTime());
    m_dwNow = dwEnd + 10000;
    view.Tick();
    EXPECT_EQ(view.LastFrame().dwTime, dwEnd + 10000);
    EXPECT_FALSE(view.LastFrame().bBlinked);
    NextFrame(view);
    EXPECT_TRUE(view.LastFrame().bBlinked);
    EXPECT_EQ(view.LastFrame().fBlinkWeight, 0.0f);
}

TEST_F(FaceViewTest, LevelChoosesTheMouthTarget) {
    struct Case {
        int32_t level;
        int target;
        float applied;
    };
    const Case cases[] = {{22001, 1, 1.0f}, {22000, 2, 1.0f}, {12000, 2, 0.6f}, {2001, 2, 0.10005f},
                          {2000, 1, 0.0f},  {0, 1, 0.0f},     {-7, 1, 0.0f}};
    std::vector<int32_t> levels;
    for (const Case& c : cases) {
        levels.push_back(c.level);
    }
    TestFaceView& view = MakeReadyView(SmallFaceSpec(), levels);
    for (const Case& c : cases) {
        NextFrame(view);
        EXPECT_EQ(view.LastFrame().nLevel, c.level);
        EXPECT_EQ(view.LastFrame().nMouthTarget, c.target) << c.level;
        EXPECT_FLOAT_EQ(view.LastFrame().fMouthWeight, c.applied) << c.level;
        if (c.level == 12000) {
            const std::vector<rm::Vertex> vertices = MeshVertices(view);
            EXPECT_TRUE(FindVertex(vertices, Lerp(kRest1, kOpen1, 0.6f)));
        }
    }
    NextFrame(view); // after the last line the meter reads 0
    EXPECT_EQ(view.LastFrame().nLevel, 0);
}

TEST_F(FaceViewTest, SliderPositionSetsTheThresholds) {
    struct Case {
        int pos;
        float loud;
        float quiet;
    };
    const Case cases[] = {
        {22000, 22000.0f, 2000.0f}, {32767, 32767.0f, 2978.8184f}, {1, 1.0f, 0.09090909f}};
    TestFaceView& view = MakeReadyView(SmallFaceSpec(), {2});
    for (const Case& c : cases) {
        view.SetLoudnessThreshold(c.pos);
        EXPECT_EQ(view.m_fLoudThreshold, c.loud);
        EXPECT_FLOAT_EQ(view.m_fQuietThreshold, c.quiet);
    }
    NextFrame(view); // at position 1, level 2 is loud
    EXPECT_EQ(view.LastFrame().nMouthTarget, 1);
    EXPECT_EQ(view.LastFrame().fMouthWeight, 1.0f);
}

} // namespace
