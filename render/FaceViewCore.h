#pragma once
// The window-free part of the face view: one face's model, level meter, 3D set-up, scene
// and animation. CFaceView (FaceView.h) puts it in a window; the offline renderer and the
// tests use it directly with a window target of their own.

#include "engine/RetainedMode.h"

#include <cstdint>
#include <memory>
#include <string>

class CFaceModel;
class CLevelMeter;

// Process-wide 3D objects: null whenever no view has completed its set-up.
extern rm::RetainedMode* g_retainedMode;
extern rm::Device* g_device;
extern rm::Frame* g_scene;
extern rm::Frame* g_camera;
extern rm::Viewport* g_viewport;
extern rm::FindDeviceResult g_deviceSearchResult;
extern const rm::Guid* g_deviceGuid; // points into g_deviceSearchResult, or null

class CFaceViewCore {
public:
    // Creates the empty model over pFaceBuffer and opens pLevelMeter, showing
    // "Failed to Initialise Audio Mixer" when that fails.
    CFaceViewCore(int nWidth, int nHeight, rm::ColorModel nColourModel,
                  const std::string& strLocation, const uint8_t* pFaceBuffer,
                  std::unique_ptr<CLevelMeter> pLevelMeter);
    virtual ~CFaceViewCore();
    CFaceViewCore(const CFaceViewCore&) = delete;
    CFaceViewCore& operator=(const CFaceViewCore&) = delete;

    // Device set-up and scene construction: 1 when the scene is ready, 0 after a message.
    int InitialiseDevice();
    const rm::Guid* FindDeviceGuid();
    int BuildScene();
    void RemapMorphTargets();

    // One pass of the animation; does real work at most once every 41 ms.
    void Tick();
    void SetLoudnessThreshold(int nPos);
    void BlendMorphTarget(int nTarget, float fWeight);

    // Releases the frame and the process-wide objects, each once; safe to run twice.
    // Also releases the mesh, the mesh builder, the camera and the viewport, so that
    // everything the set-up created goes with the view.
    void ReleaseObjects();

    // Clock time at which the last frame of any view began.
    static uint32_t LastFrameTime();

    // What the last frame of this view did, for the offline renderer's trace.
    struct FrameTrace {
        uint32_t dwTime = 0;    // ms, clock time at which the frame began
        int32_t nLevel = 0;     // meter reading
        float fSwayTargetY = 0; // radians
        float fSwayTargetX = 0; // radians
        float fSwayY = 0;       // radians, after this frame's step
        float fSwayX = 0;       // radians, after this frame's step
        bool bBlinked = false;  // target 3 was blended in this frame
        float fBlinkWeight = 0; // weight applied to target 3, after the limit of 1
        int nMouthTarget = 0;   // 1 or 2
        float fMouthWeight = 0; // weight applied to the mouth target, after the limit
    };
    const FrameTrace& LastFrame() const { return m_lastFrame; }
    uint32_t FrameCount() const { return m_nFrames; } // frames this view has run

protected:
    // The window's side of the set-up.
    virtual rm::WindowTarget* WindowTarget() = 0;
    virtual int ClientWidth() const { return m_rect.width; }
    virtual int ClientHeight() const { return m_rect.height; }
    virtual int ColourDepth() const { return 32; } // bits per pixel of the display
    // Wait cursor over the set-up; every way out of InitialiseDevice ends it.
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}

public:
    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    Rect m_rect; // position and size in the parent
    rm::ColorModel m_nColourModel = rm::ColorModel::Mono;
    uint32_t m_nGroup = 0;                     // the mesh group that blending moves
    rm::Clipper* m_pClipper = nullptr;         // one reference
    rm::MeshBuilder* m_pMeshBuilder = nullptr; // one reference
    rm::Image m_image;                         // texture descriptor
    rm::PaletteEntry m_palette[256] = {};      // texture palette
    std::unique_ptr<uint8_t[]> m_pPixels;      // 65,536 texels, top row first
    rm::Mesh* m_pMesh = nullptr;               // one reference
    rm::Frame* m_pFaceFrame = nullptr;         // one reference
    std::unique_ptr<CFaceModel> m_pModel;
    std::string m_strLocation;
    bool m_bSway = true;
    bool m_bBlinking = true; // a view starts with a blink
    float m_fBlinkWeight = 0.0f;
    float m_fBlinkStep = 0.5f;
    uint32_t m_dwBlinkEndTime = 0; // ms
    float m_fSwayTargetY = 0;      // radians
    float m_fSwayTargetX = 0;      // radians
    float m_fSwayY = 0;            // radians
    float m_fSwayX = 0;            // radians
    float m_fSwayStepY = 0;        // radians per frame
    float m_fSwayStepX = 0;        // radians per frame
    int32_t m_nSwayFrames = 0;     // frames left in the sway segment
    std::unique_ptr<CLevelMeter> m_pLevelMeter;
    float m_fLoudThreshold = 22000.0f;
    float m_fQuietThreshold = 2000.0f;
    bool m_bFirstPaint = true;

private:
    FrameTrace m_lastFrame;
    uint32_t m_nFrames = 0;
};
