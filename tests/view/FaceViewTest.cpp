// The face view window on Qt's offscreen platform: its lifecycle, the device set-up run by
// its first paint, the messages of every failure, and what it shows.

#include "FaceView.h"
#include "ColourDepthTable.h"
#include "FaceBytes.h"
#include "LevelMeter.h"
#include "ViewTestMeter.h"
#include "engine/RetainedMode.h"
#include "sys/MessageBox.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

constexpr int kFaceBufferSize = 80000;

QApplication& App() {
    static int argc = 1;
    static char name[] = "test-view";
    static char* argv[] = {name, nullptr};
    static QApplication* pApp = new QApplication(argc, argv);
    return *pApp;
}

// A parent panel, a face buffer holding a small face, a recording message sink, a quiet
// level meter and a holder that forgets its view when the view ends itself.
class FaceViewTest : public testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        rm::clearFaults();
        m_previousSink = sys::setMessageSink([this](const std::string& text) {
            m_texts.push_back(text);
            const QCursor* pCursor = QApplication::overrideCursor();
            m_cursorsAtMessage.push_back(pCursor ? std::optional(pCursor->shape()) : std::nullopt);
            // What happens while the box is open, once.
            if (auto whileOpen = std::exchange(m_whileMessageOpen, nullptr))
                whileOpen();
        });
        m_previousFactory = CFaceView::SetLevelMeterFactory(MakeQuietMeter);
        CFaceView::SetEndedHandler([this](CFaceView* pView) {
            ++m_nEnded;
            if (m_pHolder == pView)
                m_pHolder = nullptr;
        });
        m_faceBuffer.assign(kFaceBufferSize, 0);
        LoadFace(MakeFaceBytes(SmallFaceSpec()));
        m_panel.setGeometry(0, 0, 300, 236);
        m_panel.setAutoFillBackground(true);
        QPalette palette = m_panel.palette();
        palette.setColor(QPalette::Window, QColor(192, 192, 192));
        m_panel.setPalette(palette);
        m_panel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_panel));
    }

    void TearDown() override {
        delete m_pHolder;
        m_pHolder = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CFaceView::SetEndedHandler(nullptr);
        CFaceView::SetLevelMeterFactory(m_previousFactory);
        sys::setMessageSink(m_previousSink);
        rm::clearFaults();
    }

    void LoadFace(const std::vector<uint8_t>& bytes) {
        ASSERT_LE(bytes.size(), m_faceBuffer.size());
        std::memcpy(m_faceBuffer.data(), bytes.data(), bytes.size());
    }

    // What the main dialog does: a view over the panel, inset 2 pixels.
    CFaceView* NewView() {
        return CFaceView::Create(&m_panel, 2, 2, 296, 232, 1, "face.mf", m_faceBuffer.data());
    }

    // The first paint (and every later one) as the window system would send it, then the
    // deletions the paint left for the event loop.
    static void Paint(QWidget* pView) {
        pView->repaint();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static bool AllObjectsNull() {
        return !g_retainedMode && !g_device && !g_scene && !g_camera && !g_viewport &&
               !g_deviceGuid;
    }

    QWidget m_panel;
    std::vector<uint8_t> m_faceBuffer;
    CFaceView* m_pHolder = nullptr; // the application's current view
    int m_nEnded = 0;
    Texts m_texts;
    std::vector<std::optional<Qt::CursorShape>> m_cursorsAtMessage;
    std::function<void()> m_whileMessageOpen; // runs inside the next message box

private:
    sys::MessageSink m_previousSink;
    CFaceView::LevelMeterFactory m_previousFactory;
};

TEST_F(FaceViewTest, CreatedAsHiddenChildWithIdThenShown) {
    m_pHolder = NewView();
    ASSERT_NE(m_pHolder, nullptr);
    EXPECT_EQ(m_pHolder->parentWidget(), &m_panel);
    EXPECT_EQ(m_pHolder->objectName(), QStringLiteral("101"));
    EXPECT_EQ(m_pHolder->geometry(), QRect(2, 2, 296, 232));
    EXPECT_TRUE(m_pHolder->isVisible());
    EXPECT_TRUE(m_pHolder->m_bFirstPaint);
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_TRUE(m_texts.empty());
    EXPECT_EQ(m_panel.findChild<QWidget*>(QStringLiteral("101")), m_pHolder);
}

TEST_F(FaceViewTest, DeletedBeforeFirstPaintReleasesNothingAndClosesItsMeter) {
    m_pHolder = NewView();
    ASSERT_NE(m_pHolder, nullptr);
    const int nOpen = OpenTestMeters();
    EXPECT_EQ(nOpen, 1);
    delete m_pHolder;
    m_pHolder = nullptr;
    EXPECT_EQ(OpenTestMeters(), 0);
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_TRUE(m_texts.empty());
}

TEST_F(FaceViewTest, FirstPaintSetsUpOnce) {
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(m_pHolder, nullptr);
    EXPECT_FALSE(m_pHolder->m_bFirstPaint);
    EXPECT_TRUE(g_retainedMode && g_device && g_scene && g_camera && g_viewport);
    EXPECT_NE(m_pHolder->m_pFaceFrame, nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A later paint repaints through the device and sets nothing up again.
    rm::RetainedMode* pFirst = g_retainedMode;
    Paint(m_pHolder);
    EXPECT_EQ(g_retainedMode, pFirst);
    EXPECT_TRUE(m_texts.empty());
}

TEST_F(FaceViewTest, WindowDestroyedThenViewDeletedReleasesEachObjectOnce) {
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(g_device, nullptr);
    m_pHolder->OnDestroy();
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_EQ(m_pHolder->m_pFaceFrame, nullptr);
    EXPECT_EQ(m_pHolder->m_pClipper, nullptr);
    m_pHolder->OnDestroy();
    // Under the address sanitizer a second release of any object would stop the test here.
    delete m_pHolder;
    m_pHolder = nullptr;
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_EQ(OpenTestMeters(), 0);
}

TEST_F(FaceViewTest, ParentDestroyedTakesTheViewAndItsObjects) {
    auto pPanel = std::make_unique<QWidget>();
    pPanel->resize(300, 236);
    pPanel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pPanel.get()));
    CFaceView* pView =
        CFaceView::Create(pPanel.get(), 2, 2, 296, 232, 1, "face.mf", m_faceBuffer.data());
    Paint(pView);
    EXPECT_NE(g_device, nullptr);
    pPanel.reset();
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_EQ(OpenTestMeters(), 0);
}

TEST_F(FaceViewTest, EraseWithoutSceneFillsBlack) {
    m_pHolder = NewView();
    // A paint that does not run the set-up: there is no scene, so the erase is black.
    m_pHolder->m_bFirstPaint = false;
    const QImage image = m_pHolder->grab().toImage();
    ASSERT_FALSE(image.isNull());
    for (const QPoint& p : {QPoint(0, 0), QPoint(148, 116), QPoint(295, 231)})
        EXPECT_EQ(image.pixel(p), qRgb(0, 0, 0)) << p.x() << "," << p.y();
    EXPECT_TRUE(AllObjectsNull());
}

TEST_F(FaceViewTest, ActivationBeforeSetUpShowsNothing) {
    m_pHolder = NewView();
    // Even with a win-device that would fail there is no device to ask yet.
    rm::setFault(rm::Fault::QueryWinDevice, true);
    rm::setFault(rm::Fault::HandleActivate, true);
    m_pHolder->OnActivate(1, nullptr, false);
    m_pHolder->OnActivate(0, nullptr, false);
    EXPECT_TRUE(m_texts.empty());
    EXPECT_TRUE(AllObjectsNull());
}

struct WinDeviceFailure {
    const char* name;
    rm::Fault fault;
    bool bActivate; // activation, else paint
    const char* text;
};

class FaceViewWinDeviceFailure : public FaceViewTest,
                                 public testing::WithParamInterface<WinDeviceFailure> {};

// The view stays, and the next paint or activation tries again.
TEST_P(FaceViewWinDeviceFailure, ShowsItsMessageAndKeepsTheView) {
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(g_device, nullptr);
    ASSERT_TRUE(m_texts.empty());

    rm::setFault(GetParam().fault, true);
    if (GetParam().bActivate)
        m_pHolder->OnActivate(1, nullptr, false);
    else
        Paint(m_pHolder);
    EXPECT_EQ(m_texts, Texts{GetParam().text});
    EXPECT_NE(m_pHolder, nullptr);
    EXPECT_NE(g_device, nullptr);

    rm::setFault(GetParam().fault, false);
    if (GetParam().bActivate)
        m_pHolder->OnActivate(1, nullptr, false);
    else
        Paint(m_pHolder);
    EXPECT_EQ(m_texts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FaceViewWinDeviceFailure,
    testing::Values(WinDeviceFailure{"PaintQuery", rm::Fault::QueryWinDevice, false,
                                     "Failed to create Windows device to handle WM_PAINT"},
                    WinDeviceFailure{"PaintHandle", rm::Fault::HandlePaint, false,
                                     "windev->HandlePaint() failure"},
                    WinDeviceFailure{"ActivateQuery", rm::Fault::QueryWinDevice, true,
                                     "device->QueryInterface(WinDevice) failure"},
                    WinDeviceFailure{"ActivateHandle", rm::Fault::HandleActivate, true,
                                     "windev->HandleActivate() failure"}),
    [](const testing::TestParamInfo<WinDeviceFailure>& info) { return info.param.name; });

struct SetUpFailure {
    const char* name;
    std::vector<rm::Fault> faults;
    bool bBadFace; // the face buffer holds bytes the parser refuses
    Texts texts;
};

class FaceViewSetUpFailure : public FaceViewTest,
                             public testing::WithParamInterface<SetUpFailure> {};

TEST_P(FaceViewSetUpFailure, ShowsExactlyItsMessagesAndEndsTheView) {
    if (GetParam().bBadFace) {
        std::vector<uint8_t> bytes = MakeFaceBytes(SmallFaceSpec());
        bytes[4] = 0; // no vertices
        LoadFace(bytes);
    }
    m_pHolder = NewView();
    ASSERT_NE(m_pHolder, nullptr);
    QPointer<CFaceView> pView = m_pHolder;
    for (rm::Fault fault : GetParam().faults)
        rm::setFault(fault, true);

    pView->repaint();
    // The holder forgot the view during the paint, before the view itself went.
    EXPECT_EQ(m_pHolder, nullptr);
    EXPECT_EQ(m_nEnded, 1);
    EXPECT_EQ(m_texts, GetParam().texts);
    EXPECT_TRUE(AllObjectsNull());
    EXPECT_EQ(OpenTestMeters(), 0);
    // Every message came under the wait cursor, which is over now.
    for (const auto& cursor : m_cursorsAtMessage)
        EXPECT_EQ(cursor, std::optional(Qt::WaitCursor));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pView.isNull());
    EXPECT_EQ(m_panel.findChild<QWidget*>(QStringLiteral("101")), nullptr);

    // The set-up is not retried: a new view is needed, and it starts from nothing.
    rm::clearFaults();
    LoadFace(MakeFaceBytes(SmallFaceSpec()));
    m_texts.clear();
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(m_pHolder, nullptr);
    EXPECT_TRUE(m_texts.empty());
    EXPECT_NE(g_device, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FaceViewSetUpFailure,
    testing::Values(
        SetUpFailure{
            "RetainedMode", {rm::Fault::Direct3DRMCreate}, false, {"Direct3DRMCreate Failed"}},
        SetUpFailure{"Clipper",
                     {rm::Fault::DirectDrawCreateClipper},
                     false,
                     {"DirectDrawCreateClipper() failed"}},
        SetUpFailure{
            "ClipperWindow", {rm::Fault::ClipperSetHWnd}, false, {"clipper->SetHWnd() failed"}},
        SetUpFailure{"Device",
                     {rm::Fault::CreateDeviceFromClipper},
                     false,
                     {"CreateDeviceFromClipper() failed"}},
        SetUpFailure{"SearchAndDevice",
                     {rm::Fault::FindDevice, rm::Fault::CreateDeviceFromClipper},
                     false,
                     {"FindDevice() failed", "CreateDeviceFromClipper() failed"}},
        SetUpFailure{"Texture", {rm::Fault::CreateTexture}, false, {"Failed to load texture"}},
        SetUpFailure{"Parse", {}, true, {"Failed to Initialise 'face.mf'."}}),
    [](const testing::TestParamInfo<SetUpFailure>& info) { return info.param.name; });

struct MessageDuringHandler {
    const char* name;
    rm::Fault fault;
    bool bSetUpFirst; // the view has its device before the fault is set
    bool bActivate;   // the message comes from activation, else from a paint
};

class FaceViewReplacedDuringItsMessage : public FaceViewTest,
                                         public testing::WithParamInterface<MessageDuringHandler> {
};

// While a message box of the view's own paint or activation is open, a second launch hands
// over a face and the dialog replaces the view. The old view's handler goes on once the
// box is closed; the new view sets up after the old one has let go of everything.
TEST_P(FaceViewReplacedDuringItsMessage, OldViewGoesAfterItsHandlerAndTheNewOneSetsUp) {
    m_pHolder = NewView();
    if (GetParam().bSetUpFirst) {
        Paint(m_pHolder);
        ASSERT_NE(g_device, nullptr);
    }
    QPointer<CFaceView> pOld = m_pHolder;
    CFaceView* pNew = nullptr;
    bool bNewWaited = false;
    m_whileMessageOpen = [&] {
        rm::clearFaults();
        CFaceView* pReplaced = std::exchange(m_pHolder, nullptr);
        CFaceView::Delete(pReplaced);
        EXPECT_FALSE(pOld.isNull()) << "deleted under its own handler";
        EXPECT_TRUE(pOld.isNull() || pOld->isHidden());
        m_pHolder = pNew = NewView();
        Paint(pNew);
        bNewWaited = pNew->m_bFirstPaint;
    };
    rm::setFault(GetParam().fault, true);
    if (GetParam().bActivate)
        pOld->OnActivate(1, nullptr, false);
    else
        pOld->repaint();
    ASSERT_NE(pNew, nullptr) << "no message came";
    EXPECT_TRUE(pNew->m_bFirstPaint) << "set up before the old view was gone";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bNewWaited) << "the new view set up while the old one held the objects";
    EXPECT_TRUE(pOld.isNull());
    EXPECT_EQ(m_pHolder, pNew);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !pNew->m_bFirstPaint; }, 5000));
    EXPECT_TRUE(g_retainedMode && g_device && g_scene && g_camera && g_viewport);
    EXPECT_NE(pNew->m_pFaceFrame, nullptr);
    EXPECT_EQ(OpenTestMeters(), 1);
    g_retainedMode->Tick(1.0);
    EXPECT_EQ(m_texts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FaceViewReplacedDuringItsMessage,
    testing::Values(
        MessageDuringHandler{"SearchThenSetUpGoesOn", rm::Fault::FindDevice, false, false},
        MessageDuringHandler{"SetUpFails", rm::Fault::CreateDeviceFromClipper, false, false},
        MessageDuringHandler{"Paint", rm::Fault::QueryWinDevice, true, false},
        MessageDuringHandler{"Activation", rm::Fault::HandleActivate, true, true}),
    [](const testing::TestParamInfo<MessageDuringHandler>& info) { return info.param.name; });

struct SearchFailure {
    const char* name;
    rm::Fault fault;
    Texts texts;
};

class FaceViewSearchFailure : public FaceViewTest,
                              public testing::WithParamInterface<SearchFailure> {};

TEST_P(FaceViewSearchFailure, IsNotFatal) {
    m_pHolder = NewView();
    rm::setFault(GetParam().fault, true);
    Paint(m_pHolder);
    EXPECT_EQ(m_texts, GetParam().texts);
    ASSERT_NE(m_pHolder, nullptr);
    EXPECT_EQ(g_deviceGuid, nullptr);
    EXPECT_NE(g_device, nullptr);
    EXPECT_NE(g_viewport, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FaceViewSearchFailure,
    testing::Values(
        SearchFailure{"DirectDraw", rm::Fault::DirectDrawCreate, {"DirectDrawCreate() failed"}},
        SearchFailure{"Direct3D", rm::Fault::QueryDirect3D, {"d3drm->QueryInterface() failed\n"}},
        SearchFailure{"FindDevice", rm::Fault::FindDevice, {"FindDevice() failed"}}),
    [](const testing::TestParamInfo<SearchFailure>& info) { return info.param.name; });

TEST_F(FaceViewTest, FailingMeterIsReportedAfterItsOwnMessageAndTheViewWorksOn) {
    CFaceView::SetLevelMeterFactory(MakeFailingMeter);
    m_pHolder = NewView();
    ASSERT_NE(m_pHolder, nullptr);
    ASSERT_EQ(m_texts.size(), 2u);
    EXPECT_EQ(m_texts[0], kFailingMeterText);
    EXPECT_EQ(m_texts[1], "Failed to Initialise Audio Mixer");
    EXPECT_NE(m_pHolder->m_pLevelMeter, nullptr);
    Paint(m_pHolder);
    EXPECT_NE(m_pHolder, nullptr);
    EXPECT_NE(g_device, nullptr);
    EXPECT_EQ(m_texts.size(), 2u);
}

TEST_F(FaceViewTest, ShowsTheFramesTheDeviceRenders) {
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(g_retainedMode, nullptr);
    g_retainedMode->Tick(1.0);
    const QImage image = m_pHolder->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(296, 232));
    int nLit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            nLit += image.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_GT(nLit, 100);
}

class FaceViewDepth : public FaceViewTest, public testing::WithParamInterface<DepthSettings> {
protected:
    void TearDown() override {
        CFaceView::SetColourDepthOverride(0);
        FaceViewTest::TearDown();
    }
};

TEST_P(FaceViewDepth, FirstPaintAppliesTheDepthsSettings) {
    const DepthSettings& expected = GetParam();
    CFaceView::SetColourDepthOverride(expected.nDepth);
    m_pHolder = NewView();
    ASSERT_NE(m_pHolder, nullptr);
    Paint(m_pHolder);
    ASSERT_NE(g_device, nullptr);
    EXPECT_EQ(g_device->GetShades(), expected.nDeviceShades);
    EXPECT_EQ(g_device->GetDither(), expected.nDither);
    EXPECT_EQ(g_retainedMode->GetDefaultTextureColors(), expected.nTextureColours);
    EXPECT_EQ(g_retainedMode->GetDefaultTextureShades(), expected.nTextureShades);
    EXPECT_TRUE(m_texts.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, FaceViewDepth, testing::ValuesIn(ColourDepthTable()),
                         [](const testing::TestParamInfo<DepthSettings>& info) {
                             return DepthName(info.param.nDepth);
                         });

TEST_F(FaceViewTest, SecondViewAfterTheFirstCreatesNewObjects) {
    m_pHolder = NewView();
    Paint(m_pHolder);
    ASSERT_NE(g_device, nullptr);
    delete m_pHolder;
    m_pHolder = nullptr;
    EXPECT_TRUE(AllObjectsNull());

    m_pHolder = NewView();
    EXPECT_TRUE(AllObjectsNull());
    Paint(m_pHolder);
    EXPECT_TRUE(g_retainedMode && g_device && g_scene && g_camera && g_viewport);
    EXPECT_NE(m_pHolder->m_pFaceFrame, nullptr);
    g_retainedMode->Tick(1.0);
    EXPECT_TRUE(m_texts.empty());
}

} // namespace
