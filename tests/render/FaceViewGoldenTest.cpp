// Golden images of sample face 1 at rest, with the mouth wide open (target 1) and with the
// eyes closed (target 3), rendered at 64x64 by the face view without a window. The face is
// made in-process, so the test needs no file from the build. MIMLET_REWRITE_GOLDEN=1 rewrites
// the references in tests/render/golden/ instead of comparing; look at them before committing.

#include "FaceViewTestSupport.h"
#include "SampleFace.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

constexpr int kGoldenSize = 64;

struct GoldenCase {
    const char* name;
    int nTarget; // 0: the base shape alone
};

class FaceGolden : public FaceViewTest, public testing::WithParamInterface<GoldenCase> {
protected:
    // The frame the view's device presented last, as an RGB32 image.
    QImage LastFrame() const {
        QImage image(kGoldenSize, kGoldenSize, QImage::Format_RGB32);
        for (int y = 0; y < kGoldenSize; ++y) {
            std::copy_n(&m_view->m_target.m_lastPixels[size_t(y * kGoldenSize)], kGoldenSize,
                        reinterpret_cast<uint32_t*>(image.scanLine(y)));
        }
        return image;
    }
};

TEST_P(FaceGolden, MatchesTheReferenceImage) {
    const std::vector<uint8_t> face = MakeSampleFace(1);
    ASSERT_TRUE(CheckFaceBytes(face.data(), face.size()).accepted);
    m_buffer.assign(kFaceBufferBytes, 0);
    std::copy(face.begin(), face.end(), m_buffer.begin());
    m_view = std::make_unique<TestFaceView>(m_buffer.data(), std::vector<int32_t>{}, kGoldenSize,
                                            kGoldenSize, 32);
    ASSERT_EQ(m_view->InitialiseDevice(), 1);

    // The pose alone: no sway, no blink, just the one target at full weight.
    if (GetParam().nTarget != 0) {
        m_view->BlendMorphTarget(GetParam().nTarget, 1.0f);
    }
    g_retainedMode->Tick(1.0);
    ASSERT_EQ(m_view->m_target.m_nFrames, 1);
    ASSERT_EQ(m_view->m_target.m_lastPixels.size(), size_t(kGoldenSize * kGoldenSize));
    const QImage actual = LastFrame();

    const QString golden = QStringLiteral(MIMLET_SOURCE_DIR "/tests/render/golden/face-%1.png")
                               .arg(QString::fromLatin1(GetParam().name));
    if (std::getenv("MIMLET_REWRITE_GOLDEN")) {
        ASSERT_TRUE(actual.save(golden, "PNG"));
        GTEST_SKIP() << "rewrote " << golden.toStdString();
    }
    const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull()) << "no reference image " << golden.toStdString();
    ASSERT_EQ(expected.size(), actual.size());
    int nDiffering = 0;
    for (int y = 0; y < kGoldenSize; ++y) {
        for (int x = 0; x < kGoldenSize; ++x) {
            nDiffering += (expected.pixel(x, y) & 0xFFFFFF) != (actual.pixel(x, y) & 0xFFFFFF);
        }
    }
    EXPECT_EQ(nDiffering, 0) << "pixels differing from " << golden.toStdString();
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
