#include "FaceView.h"

#include "WaitCursor.h"
#include "audio/LevelMeter.h"
#include "sys/MessageBox.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <utility>

namespace {

std::function<void(CFaceView*)> s_endedHandler;
CFaceView::LevelMeterFactory s_levelMeterFactory;
int s_nColourDepthOverride = 0; // bits per pixel; 0: the screen's own
// Views that have ended or were deleted under their own handler and are not gone yet. A
// view's teardown, which runs again when it is finally deleted, clears the process-wide 3D
// objects whoever made them: no new view sets up until these are gone.
int s_nDying = 0;
// A view whose first paint came while a dying view was still there.
QPointer<CFaceView> s_pWaiting;

std::unique_ptr<CLevelMeter> MakeLevelMeter() {
    if (s_levelMeterFactory)
        return s_levelMeterFactory();
    return std::make_unique<CLevelMeter>();
}

// One colour component of the scene background, 0.0..1.0 scaled to 0..255 and truncated.
int ColourComponent(float fValue) {
    return static_cast<int>(fValue * 255.0) & 0xFF;
}

} // namespace

// The binding of the device's clipper to the widget: keeps the last finished frame and
// asks the widget to show it.
class CFaceView::FrameTarget : public rm::WindowTarget {
public:
    explicit FrameTarget(CFaceView* pView) : m_pView(pView) {}

    int targetWidth() const override { return m_pView->width(); }
    int targetHeight() const override { return m_pView->height(); }

    void presentFrame(const uint32_t* pixels, int width, int height, int stride) override {
        // The pixels are 0xAARRGGBB words, which is RGB32's own layout: wrap them as they
        // are and keep a copy, since they are valid only during this call.
        m_frame = QImage(reinterpret_cast<const uchar*>(pixels), width, height, stride,
                         QImage::Format_RGB32)
                      .copy();
        // A frame handed over while the widget paints is shown by that paint; asking for
        // another one then would repaint for ever.
        if (!m_bPainting)
            m_pView->update();
    }

    QImage m_frame;           // the last frame, empty before the first
    bool m_bPainting = false; // the widget's paint handler is running

private:
    CFaceView* m_pView; // the widget that owns this target
};

// Counts a handler of the view while it runs; a view deleted meanwhile goes when the last
// of its handlers returns.
class CFaceView::HandlerScope {
public:
    explicit HandlerScope(CFaceView& view) : m_view(view) { ++m_view.m_nHandlers; }
    ~HandlerScope() {
        if (--m_view.m_nHandlers == 0 && m_view.m_bRetired)
            m_view.FinishRetirement();
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    CFaceView& m_view;
};

CFaceView::CFaceView(QWidget* pParent, int x, int y, int nWidth, int nHeight, uint32_t nColourModel,
                     const std::string& strLocation, const uint8_t* pFaceBuffer)
    : QWidget(pParent), CFaceViewCore(nWidth, nHeight, static_cast<rm::ColorModel>(nColourModel),
                                      strLocation, pFaceBuffer, MakeLevelMeter()),
      m_pTarget(std::make_unique<FrameTarget>(this)) {
    m_rect.x = x;
    m_rect.y = y;
    setObjectName(QStringLiteral("101"));
    // The frames cover every pixel and the paint handler fills the rest: Qt need not erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(x, y, nWidth, nHeight);
    show();
    m_bConstructing = false;
}

CFaceView::~CFaceView() {
    TearDown();
    // The objects are free now: a view that waited for them runs its first paint.
    if (m_bDying && --s_nDying == 0 && s_pWaiting && s_pWaiting != this) {
        s_pWaiting->update();
        s_pWaiting = nullptr;
    }
    // The model and the rest go with CFaceViewCore; the frame target goes after the
    // clipper that pointed at it has been released.
}

CFaceView* CFaceView::Create(QWidget* pParent, int x, int y, int nWidth, int nHeight,
                             uint32_t nColourModel, const std::string& strLocation,
                             const uint8_t* pFaceBuffer) {
    auto* pView =
        new CFaceView(pParent, x, y, nWidth, nHeight, nColourModel, strLocation, pFaceBuffer);
    if (pView->m_bEnded) {
        // Ended while its constructor ran: deleted here, now that the constructor is done.
        delete pView;
        return nullptr;
    }
    return pView;
}

void CFaceView::Delete(CFaceView* pView) {
    if (pView == nullptr)
        return;
    if (pView->m_nHandlers == 0) {
        delete pView;
        return;
    }
    // Its handler goes on with the set-up or the device once its message box is closed.
    if (!pView->m_bRetired) {
        pView->m_bRetired = true;
        pView->MarkDying();
        pView->hide();
    }
}

void CFaceView::FinishRetirement() {
    m_bRetired = false;
    if (!m_bEnded) {
        m_bEnded = true;
        TearDown();
        hide();
        deleteLater();
    }
}

void CFaceView::MarkDying() {
    if (!m_bDying) {
        m_bDying = true;
        ++s_nDying;
    }
}

void CFaceView::SetEndedHandler(std::function<void(CFaceView*)> handler) {
    s_endedHandler = std::move(handler);
}

CFaceView::LevelMeterFactory CFaceView::SetLevelMeterFactory(LevelMeterFactory factory) {
    LevelMeterFactory previous = std::move(s_levelMeterFactory);
    s_levelMeterFactory = std::move(factory);
    return previous;
}

void CFaceView::OnDestroy() {
    // The clipper must not hand frames to this widget once it is gone, whoever still
    // holds the clipper.
    if (m_pClipper)
        m_pClipper->SetHWnd(0, nullptr);
    ReleaseObjects();
}

rm::WindowTarget* CFaceView::WindowTarget() {
    return m_pTarget.get();
}

int CFaceView::SetColourDepthOverride(int nDepth) {
    const int nPrevious = s_nColourDepthOverride;
    s_nColourDepthOverride = nDepth;
    return nPrevious;
}

int CFaceView::ColourDepth() const {
    if (s_nColourDepthOverride != 0)
        return s_nColourDepthOverride;
    const QScreen* pScreen = screen();
    return pScreen ? pScreen->depth() : 0;
}

void CFaceView::paintEvent(QPaintEvent* pEvent) {
    if (m_bEnded)
        return;
    HandlerScope handler(*this);
    if (m_bFirstPaint && s_nDying > 0) {
        // A view on its way out still holds the process-wide objects: set up once it is gone.
        s_pWaiting = this;
        QPainter(this).fillRect(rect(), Qt::black);
        return;
    }
    m_pTarget->m_bPainting = true;

    // The set-up and its message boxes run before any painter is open on the widget.
    if (m_bFirstPaint) {
        m_bFirstPaint = false;
        int nReady = 0;
        {
            CWaitCursor wait;
            nReady = InitialiseDevice();
        }
        if (!nReady) {
            m_pTarget->m_bPainting = false;
            EndSelf();
            return;
        }
    }

    if (g_device) {
        rm::WinDevice* pWinDevice = nullptr;
        if (g_device->QueryWinDevice(&pWinDevice) != rm::kOk) {
            sys::showMessage("Failed to create Windows device to handle WM_PAINT");
        } else {
            if (pWinDevice->HandlePaint() != rm::kOk)
                sys::showMessage("windev->HandlePaint() failure");
            pWinDevice->Release();
        }
    }

    // The background: the scene's colour, black while there is no scene.
    QColor background(Qt::black);
    if (g_scene) {
        const rm::Color colour = g_scene->GetSceneBackground();
        background = QColor(ColourComponent(rm::ColorGetRed(colour)),
                            ColourComponent(rm::ColorGetGreen(colour)),
                            ColourComponent(rm::ColorGetBlue(colour)));
    }
    QPainter painter(this);
    painter.fillRect(rect(), background);
    if (!m_pTarget->m_frame.isNull())
        painter.drawImage(0, 0, m_pTarget->m_frame);
    m_pTarget->m_bPainting = false;
}

void CFaceView::OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized) {
    if (m_bEnded || !g_device)
        return;
    HandlerScope handler(*this);
    rm::WinDevice* pWinDevice = nullptr;
    if (g_device->QueryWinDevice(&pWinDevice) != rm::kOk) {
        sys::showMessage("device->QueryInterface(WinDevice) failure");
        return;
    }
    if (pWinDevice->HandleActivate(nState) != rm::kOk)
        sys::showMessage("windev->HandleActivate() failure");
    pWinDevice->Release();
}

// A failed set-up: the holder forgets the view at once, the view lets go of the meter and
// the 3D objects at once and is deleted once the paint handler has returned. While the
// constructor runs, the holder has not stored the view yet; Create() deletes it then.
void CFaceView::EndSelf() {
    m_bEnded = true;
    if (m_bConstructing)
        return;
    if (s_endedHandler)
        s_endedHandler(this);
    MarkDying();
    TearDown();
    hide();
    deleteLater();
}

void CFaceView::TearDown() {
    if (m_pLevelMeter) {
        m_pLevelMeter->Close();
        m_pLevelMeter.reset();
    }
    m_pPixels.reset();
    OnDestroy();
}
