// Golden images of the sample face at rest, with the mouth open (target 1) and with the eyes
// closed (target 3), rendered by the face view without a window. MIMLET_UPDATE_GOLDEN=1
// rewrites the references instead of comparing; check rewritten images by eye.

#include "FaceViewTestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr int kGoldenSize = 64;

std::string SampleFace() {
    std::vector<std::string> faces;
    const std::filesystem::path dir = MIMLET_BINARY_DIR "/samples";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
        if (entry.path().extension() == ".mf") {
            faces.push_back(entry.path().string());
        }
    }
    std::sort(faces.begin(), faces.end());
    return faces.empty() ? std::string() : faces.front();
}

struct GoldenCase {
    const char* name;
    int nTarget; // 0: the base shape alone
};

class FaceGolden : public FaceViewTest, public testing::WithParamInterface<GoldenCase> {};

TEST_P(FaceGolden, MatchesTheReferenceImage) {
    const std::string path = SampleFace();
    ASSERT_FALSE(path.empty()) << "no sample face in " MIMLET_BINARY_DIR "/samples";
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_TRUE(CheckFaceBytes(bytes.data(), bytes.size()).accepted);
    m_buffer.assign(kFaceBufferBytes, 0);
    std::copy(bytes.begin(), bytes.end(), m_buffer.begin());
    m_view = std::make_unique<TestFaceView>(m_buffer.data(), std::vector<int32_t>{}, kGoldenSize,
                                            kGoldenSize, 32);
    ASSERT_EQ(m_view->InitialiseDevice(), 1);

    // The pose alone: no sway, no blink, just the one target at full weight.
    if (GetParam().nTarget != 0) {
        m_view->BlendMorphTarget(GetParam().nTarget, 1.0f);
    }
    g_retainedMode->Tick(1.0);
    ASSERT_EQ(m_view->m_target.m_nFrames, 1);
    QImage actual(kGoldenSize, kGoldenSize, QImage::Format_RGB32);
    for (int y = 0; y < kGoldenSize; ++y) {
        std::copy_n(&m_view->m_target.m_lastPixels[y * kGoldenSize], kGoldenSize,
                    reinterpret_cast<uint32_t*>(actual.scanLine(y)));
    }

    const QString golden = QStringLiteral(MIMLET_SOURCE_DIR "/tests/render/golden/face-%1.png")
                               .arg(QString::fromLatin1(GetParam().name));
    if (std::getenv("MIMLET_UPDATE_GOLDEN")) {
        ASSERT_TRUE(actual.save(golden, "PNG"));
        GTEST_SKIP() << "rewrote " << golden.toStdString();
    }
    const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull()) << golden.toStdString();
    ASSERT_EQ(expected.size(), actual.size());
    int nDiffering = 0;
    for (int y = 0; y < kGoldenSize; ++y) {
        for (int x = 0; x < kGoldenSize; ++x) {
            nDiffering += (expected.pixel(x, y) & 0xFFFFFF) != (actual.pixel(x, y) & 0xFFFFFF);
        }
    }
    EXPECT_EQ(nDiffering, 0) << golden.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Poses, FaceGolden,
                         testing::Values(GoldenCase{"rest", 0}, GoldenCase{"mouth-open", 1},
                                         GoldenCase{"eyes-closed", 3}),
                         [](const testing::TestParamInfo<GoldenCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
