#pragma once
// Test double of the face view for the dialog tests while the real view is not built:
// the same operations the dialogs and the application call, no 3D, and a record of what
// was done to it.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class CFaceView : public QWidget {
public:
    CFaceView(QWidget* pParent, int x, int y, int nWidth, int nHeight, uint32_t nColourModel,
              const std::string& strLocation, const uint8_t* pFaceBuffer);
    ~CFaceView() override;

    static CFaceView* Create(QWidget* pParent, int x, int y, int nWidth, int nHeight,
                             uint32_t nColourModel, const std::string& strLocation,
                             const uint8_t* pFaceBuffer);
    static void Delete(CFaceView* pView);
    static void SetEndedHandler(std::function<void(CFaceView*)> handler);

    void OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized);
    void Tick();
    void SetLoudnessThreshold(int nPos);
    static uint32_t LastFrameTime();

    // Runs inside every constructor, as a message box of the real constructor would.
    static std::function<void()> s_onConstruct;
    static int s_nLive; // views constructed and not yet deleted

    std::string m_strLocation;
    const uint8_t* m_pFaceBuffer = nullptr;
    float m_fLoudThreshold = 22000.0f;
    float m_fQuietThreshold = 2000.0f;
    int m_nTicks = 0;
    int m_nActivations = 0;
};
