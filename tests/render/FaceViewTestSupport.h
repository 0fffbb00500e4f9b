#pragma once
// A face view without a window, for tests: its window target keeps the frames the engine
// presents; the clock, the random source and the message box are the test's.

#include "FaceBytes.h"
#include "FaceCheck.h"
#include "FaceModel.h"
#include "FaceViewCore.h"
#include "LevelMeter.h"
#include "mixer/FailingStepMixer.h"
#include "mixer/LevelListMixer.h"
#include "sys/Clock.h"
#include "sys/MessageBox.h"
#include "sys/Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RecordingTarget : public rm::WindowTarget {
public:
    RecordingTarget(int nWidth, int nHeight) : m_nWidth(nWidth), m_nHeight(nHeight) {}
    int targetWidth() const override { return m_nWidth; }
    int targetHeight() const override { return m_nHeight; }
    void presentFrame(const uint32_t* pixels, int width, int height, int stride) override {
        ++m_nFrames;
        m_nLastWidth = width;
        m_nLastHeight = height;
        m_lastPixels.clear();
        for (int y = 0; y < height; ++y) {
            const uint32_t* pRow = pixels + y * (stride / 4);
            m_lastPixels.insert(m_lastPixels.end(), pRow, pRow + width);
        }
    }

    int m_nWidth;
    int m_nHeight;
    int m_nFrames = 0; // frames presented
    int m_nLastWidth = 0;
    int m_nLastHeight = 0;
    std::vector<uint32_t> m_lastPixels; // the last frame, rows from the top
};

class TestFaceView : public CFaceViewCore {
public:
    TestFaceView(const uint8_t* pFaceBuffer, std::unique_ptr<CLevelMeter> pMeter, int nWidth,
                 int nHeight, int nDepth)
        : CFaceViewCore(nWidth, nHeight, rm::ColorModel::Mono, "test.mf", pFaceBuffer,
                        std::move(pMeter)),
          m_target(nWidth, nHeight), m_nDepth(nDepth) {}
    TestFaceView(const uint8_t* pFaceBuffer, std::vector<int32_t> levels, int nWidth, int nHeight,
                 int nDepth)
        : TestFaceView(pFaceBuffer, ListMeter(std::move(levels)), nWidth, nHeight, nDepth) {}

    static std::unique_ptr<CLevelMeter> ListMeter(std::vector<int32_t> levels) {
        return std::make_unique<CLevelMeter>(
            std::make_unique<mixer::LevelListMixer>(std::move(levels)));
    }

    rm::WindowTarget* WindowTarget() override { return &m_target; }
    int ColourDepth() const override { return m_nDepth; }
    void BeginWaitCursor() override { ++m_nWaitBegun; }
    void EndWaitCursor() override { ++m_nWaitEnded; }

    RecordingTarget m_target;
    int m_nDepth;
    int m_nWaitBegun = 0;
    int m_nWaitEnded = 0;
};

// Face bytes at the start of a face buffer, as loading leaves them.
inline std::vector<uint8_t> FaceBuffer(const FaceBytesSpec& spec) {
    std::vector<uint8_t> buffer(kFaceBufferBytes, 0);
    const std::vector<uint8_t> bytes = MakeFaceBytes(spec);
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    return buffer;
}

// Model-space coordinates of a vertex record, as the parser converts them.
constexpr float kScale = 0.0036303f;
inline rm::Vector ModelPosition(int x, int y, int z) {
    return {static_cast<float>(x - 128) * kScale, static_cast<float>(128 - y) * kScale,
            static_cast<float>(-z) * kScale};
}

class FaceViewTest : public testing::Test {
protected:
    void SetUp() override {
        rm::clearFaults();
        sys::resetRandomForTest();
        m_previousSink =
            sys::setMessageSink([this](const std::string& text) { m_messages.push_back(text); });
        sys::setClockSource([this] { return m_dwNow; });
        // Far enough from the last frame of any earlier test for the first tick to run one.
        m_dwNow = CFaceViewCore::LastFrameTime() + 100000;
    }
    void TearDown() override {
        m_view.reset();
        sys::setClockSource(nullptr);
        sys::setMessageSink(m_previousSink);
        rm::clearFaults();
        EXPECT_EQ(g_retainedMode, nullptr);
        EXPECT_EQ(g_device, nullptr);
        EXPECT_EQ(g_scene, nullptr);
        EXPECT_EQ(g_camera, nullptr);
        EXPECT_EQ(g_viewport, nullptr);
    }

    TestFaceView& MakeView(const FaceBytesSpec& spec, std::vector<int32_t> levels = {},
                           int nWidth = 64, int nHeight = 64, int nDepth = 32) {
        m_buffer = FaceBuffer(spec);
        m_view = std::make_unique<TestFaceView>(m_buffer.data(), std::move(levels), nWidth, nHeight,
                                                nDepth);
        return *m_view;
    }
    TestFaceView& MakeReadyView(const FaceBytesSpec& spec, std::vector<int32_t> levels = {}) {
        TestFaceView& view = MakeView(spec, std::move(levels));
        EXPECT_EQ(view.InitialiseDevice(), 1);
        return view;
    }

    // Runs the next frame: the clock moves to 41 ms after the last one.
    void NextFrame(CFaceViewCore& view) {
        m_dwNow = CFaceViewCore::LastFrameTime() + 41;
        view.Tick();
    }

    std::vector<rm::Vertex> MeshVertices(CFaceViewCore& view) {
        std::vector<rm::Vertex> vertices(view.m_pModel->m_nVertices);
        EXPECT_EQ(view.m_pMesh->GetVertices(0, 0, vertices.size(), vertices.data()), rm::kOk);
        return vertices;
    }

    uint32_t m_dwNow = 0;
    std::vector<std::string> m_messages;
    sys::MessageSink m_previousSink;
    std::vector<uint8_t> m_buffer;
    std::unique_ptr<TestFaceView> m_view;
};
