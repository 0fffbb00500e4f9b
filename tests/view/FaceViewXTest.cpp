// The face view on a real X server: a window holding a view over a sample face shows the
// head, and the head moves.

#include "FaceBytes.h"
#include "FaceView.h"
#include "LevelMeter.h"
#include "TempDir.h"
#include "ViewTestMeter.h"
#include "XServer.h"
#include "sys/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The first face the build wrote to its samples folder, or the small test face before
// there are samples.
std::vector<uint8_t> SampleFace() {
    const std::filesystem::path samples = std::filesystem::path(MIMLET_BINARY_DIR) / "samples";
    std::error_code error;
    std::vector<std::filesystem::path> faces;
    for (const auto& entry : std::filesystem::directory_iterator(samples, error))
        if (entry.path().extension() == ".mf")
            faces.push_back(entry.path());
    if (faces.empty())
        return MakeFaceBytes(SmallFaceSpec());
    std::sort(faces.begin(), faces.end());
    std::ifstream in(faces.front(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the event loop and the view's animation, as the application's idle loop does.
void Animate(CFaceView* pView, int nMilliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nMilliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pView->Tick();
        QTest::qSleep(2);
    }
    QCoreApplication::processEvents();
}

int CountDifferent(const QImage& a, const QImage& b) {
    int nDifferent = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            nDifferent += a.pixel(x, y) != b.pixel(x, y);
    return nDifferent;
}

TEST(FaceViewOnXServer, ShowsTheHeadAndTheHeadMoves) {
    XServer server;
    ASSERT_TRUE(server.running()) << server.error();
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    std::vector<std::string> texts;
    const sys::MessageSink previousSink =
        sys::setMessageSink([&texts](const std::string& text) { texts.push_back(text); });
    const CFaceView::LevelMeterFactory previousFactory =
        CFaceView::SetLevelMeterFactory(MakeQuietMeter);

    std::vector<uint8_t> faceBuffer(80000, 0);
    const std::vector<uint8_t> face = SampleFace();
    ASSERT_LE(face.size(), faceBuffer.size());
    std::memcpy(faceBuffer.data(), face.data(), face.size());

    {
        static int argc = 1;
        static char name[] = "test-view-x";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

        QWidget window;
        window.setGeometry(0, 0, 300, 236);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        CFaceView* pView =
            CFaceView::Create(&window, 2, 2, 296, 232, 1, "sample.mf", faceBuffer.data());
        ASSERT_NE(pView, nullptr);
        Animate(pView, 1000);
        ASSERT_EQ(texts, std::vector<std::string>{});
        ASSERT_NE(g_device, nullptr);

        // Screenshots of the view's area from the X server itself.
        const QPoint origin = pView->mapToGlobal(QPoint(0, 0));
        auto screenshot = [&] {
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, origin.x(), origin.y(), pView->width(), pView->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        const QImage first = screenshot();
        ASSERT_EQ(first.size(), QSize(296, 232));
        QImage black(first.size(), QImage::Format_RGB32);
        black.fill(qRgb(0, 0, 0));
        EXPECT_GT(CountDifferent(first, black), 500) << "the view shows no head";

        Animate(pView, 500);
        const QImage second = screenshot();
        EXPECT_GT(CountDifferent(first, second), 20) << "the head did not move";

        delete pView;
        EXPECT_EQ(g_device, nullptr);
    }
    CFaceView::SetLevelMeterFactory(previousFactory);
    sys::setMessageSink(previousSink);
}

} // namespace
