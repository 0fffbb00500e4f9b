#include "FaceView.h"

#include "sys/Clock.h"

namespace {
std::function<void(CFaceView*)> s_ended;
uint32_t s_dwLastFrame = 0;
} // namespace

std::function<void()> CFaceView::s_onConstruct;
int CFaceView::s_nLive = 0;

CFaceView::CFaceView(QWidget* pParent, int x, int y, int nWidth, int nHeight, uint32_t,
                     const std::string& strLocation, const uint8_t* pFaceBuffer)
    : QWidget(pParent), m_strLocation(strLocation), m_pFaceBuffer(pFaceBuffer) {
    ++s_nLive;
    setGeometry(x, y, nWidth, nHeight);
    show();
    if (s_onConstruct) {
        auto hook = s_onConstruct;
        hook();
    }
}

CFaceView::~CFaceView() {
    --s_nLive;
}

CFaceView* CFaceView::Create(QWidget* pParent, int x, int y, int nWidth, int nHeight,
                             uint32_t nColourModel, const std::string& strLocation,
                             const uint8_t* pFaceBuffer) {
    return new CFaceView(pParent, x, y, nWidth, nHeight, nColourModel, strLocation, pFaceBuffer);
}

void CFaceView::Delete(CFaceView* pView) {
    delete pView;
}

void CFaceView::SetEndedHandler(std::function<void(CFaceView*)> handler) {
    s_ended = std::move(handler);
}

void CFaceView::OnActivate(unsigned, QWidget*, bool) {
    ++m_nActivations;
}

void CFaceView::Tick() {
    ++m_nTicks;
    const uint32_t dwNow = sys::timeGetTime();
    if (dwNow - s_dwLastFrame > 40) {
        s_dwLastFrame = dwNow;
    }
}

void CFaceView::SetLoudnessThreshold(int nPos) {
    m_fLoudThreshold = static_cast<float>(nPos);
    m_fQuietThreshold = static_cast<float>(nPos) * (1.0f / 11.0f);
}

uint32_t CFaceView::LastFrameTime() {
    return s_dwLastFrame;
}
