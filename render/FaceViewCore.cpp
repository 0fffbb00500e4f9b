#include "FaceViewCore.h"

#include "AnimationStep.h"
#include "FaceModel.h"
#include "LevelMeter.h"
#include "MorphRemap.h"
#include "sys/Clock.h"
#include "sys/MessageBox.h"
#include "sys/Random.h"

#include <cassert>
#include <vector>

rm::RetainedMode* g_retainedMode = nullptr;
rm::Device* g_device = nullptr;
rm::Frame* g_scene = nullptr;
rm::Frame* g_camera = nullptr;
rm::Viewport* g_viewport = nullptr;
rm::FindDeviceResult g_deviceSearchResult;
const rm::Guid* g_deviceGuid = nullptr;

namespace {

// Clock time of the last frame any view ran; a new view goes on pacing from it.
uint32_t s_dwLastFrameTime = 0;

// 1/256: one texel of the 256 x 256 texture in texture coordinates.
constexpr double kTexelSize = 0.00390625;
constexpr int kTextureSize = 256;
constexpr int kTextureBytes = kTextureSize * kTextureSize; // 65,536
constexpr int kPaletteSize = 256;
// Every vertex transfer between the mesh and the model goes through this many records.
constexpr int kTransferVertices = CFaceModel::kMaxVertices; // 200

template <typename T> void ReleaseAndClear(T*& pObject) {
    if (pObject) {
        pObject->Release();
        pObject = nullptr;
    }
}

// Ends the wait cursor on every way out of the set-up.
class WaitCursorScope {
public:
    explicit WaitCursorScope(CFaceViewCore& view, void (CFaceViewCore::*end)())
        : m_view(view), m_end(end) {}
    ~WaitCursorScope() { (m_view.*m_end)(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    CFaceViewCore& m_view;
    void (CFaceViewCore::*m_end)();
};

} // namespace

CFaceViewCore::CFaceViewCore(int nWidth, int nHeight, rm::ColorModel nColourModel,
                             const std::string& strLocation, const uint8_t* pFaceBuffer,
                             std::unique_ptr<CLevelMeter> pLevelMeter)
    : m_nColourModel(nColourModel), m_strLocation(strLocation) {
    m_rect.width = nWidth;
    m_rect.height = nHeight;
    m_pModel = std::make_unique<CFaceModel>(pFaceBuffer);
    m_pLevelMeter = pLevelMeter ? std::move(pLevelMeter) : std::make_unique<CLevelMeter>();
    if (!m_pLevelMeter->Open()) {
        // The meter has shown the message of the step that failed; the view goes on and
        // reads 0 from it.
        sys::showMessage("Failed to Initialise Audio Mixer");
    }
}

CFaceViewCore::~CFaceViewCore() {
    if (m_pLevelMeter) {
        m_pLevelMeter->Close();
        m_pLevelMeter.reset();
    }
    // Nothing renders the texture any more: ticks stop once the objects below are gone.
    m_pPixels.reset();
    ReleaseObjects();
    m_pModel.reset();
}

void CFaceViewCore::ReleaseObjects() {
    ReleaseAndClear(m_pFaceFrame);
    ReleaseAndClear(g_scene);
    ReleaseAndClear(g_device);
    ReleaseAndClear(g_retainedMode);
    ReleaseAndClear(m_pClipper);
    // The rest of what the set-up made, so that the next view starts from nothing.
    ReleaseAndClear(g_viewport);
    ReleaseAndClear(g_camera);
    ReleaseAndClear(m_pMesh);
    ReleaseAndClear(m_pMeshBuilder);
    g_deviceGuid = nullptr;
}

uint32_t CFaceViewCore::LastFrameTime() {
    return s_dwLastFrameTime;
}

int CFaceViewCore::InitialiseDevice() {
    // One set of process-wide objects: the previous view must be gone.
    assert(!g_retainedMode && !g_device && !g_scene && !g_camera && !g_viewport);

    BeginWaitCursor();
    WaitCursorScope waitCursor(*this, &CFaceViewCore::EndWaitCursor);

    if (rm::Direct3DRMCreate(&g_retainedMode) != rm::kOk) {
        sys::showMessage("Direct3DRMCreate Failed");
        return 0;
    }
    if (rm::DirectDrawCreateClipper(0, &m_pClipper, nullptr) != rm::kOk) {
        sys::showMessage("DirectDrawCreateClipper() failed");
        return 0;
    }
    if (m_pClipper->SetHWnd(0, WindowTarget()) != rm::kOk) {
        sys::showMessage("clipper->SetHWnd() failed");
        return 0;
    }
    const int nWidth = ClientWidth();
    const int nHeight = ClientHeight();

    // A failed search has shown its message; a null GUID lets the engine pick the device.
    const rm::Guid* pGuid = FindDeviceGuid();
    if (g_retainedMode->CreateDeviceFromClipper(m_pClipper, pGuid, nWidth, nHeight, &g_device) !=
        rm::kOk) {
        sys::showMessage("CreateDeviceFromClipper() failed");
        return 0;
    }
    g_device->SetQuality(rm::kRenderFlat);
    g_device->SetTextureQuality(rm::kTextureNearest);

    // Shades, texture colours and dithering by the display's colour depth; any depth not
    // listed keeps the engine's defaults.
    switch (ColourDepth()) {
    case 1:
        g_device->SetShades(4);
        g_retainedMode->SetDefaultTextureShades(4);
        g_device->SetDither(1);
        break;
    case 8:
    case 16:
    case 24:
    case 32:
        g_device->SetShades(1);
        g_retainedMode->SetDefaultTextureColors(256);
        g_retainedMode->SetDefaultTextureShades(1);
        g_device->SetDither(0);
        break;
    default:
        break;
    }

    g_retainedMode->CreateFrame(nullptr, &g_scene);
    return BuildScene() ? 1 : 0;
}

const rm::Guid* CFaceViewCore::FindDeviceGuid() {
    rm::FindDeviceSearch search{};
    search.dwSize = sizeof(search);
    search.dwFlags = rm::kFindByColorModel;
    search.dcmColorModel = m_nColourModel;

    g_deviceSearchResult = rm::FindDeviceResult{};
    g_deviceSearchResult.dwSize = sizeof(g_deviceSearchResult);

    // The DirectDraw object exists only for the search.
    rm::DirectDraw* pDirectDraw = nullptr;
    if (rm::DirectDrawCreate(nullptr, &pDirectDraw, nullptr) != rm::kOk) {
        sys::showMessage("DirectDrawCreate() failed");
        return nullptr;
    }
    rm::Direct3D* pDirect3D = nullptr;
    if (pDirectDraw->QueryDirect3D(&pDirect3D) != rm::kOk) {
        sys::showMessage("d3drm->QueryInterface() failed\n");
        pDirectDraw->Release();
        return nullptr;
    }
    if (pDirect3D->FindDevice(&search, &g_deviceSearchResult) == rm::kOk) {
        g_deviceGuid = &g_deviceSearchResult.guid;
    } else {
        sys::showMessage("FindDevice() failed");
        g_deviceGuid = nullptr;
    }
    pDirect3D->Release();
    pDirectDraw->Release();
    return g_deviceGuid;
}

int CFaceViewCore::BuildScene() {
    CFaceModel& model = *m_pModel;
    model.m_fScale = CFaceModel::kPlayerScale; // 0.0036303 model units per grid step
    if (!model.Parse()) {
        // The whole location, however long (a fixed buffer would cut a long URL short).
        sys::showMessage("Failed to Initialise '" + m_strLocation + "'.");
        return 0;
    }
    const int nVertices = model.m_nVertices;
    const int nFaces = model.m_nFaces;

    g_retainedMode->CreateMeshBuilder(&m_pMeshBuilder);

    // The base shape's positions; one spare entry at the end.
    std::vector<rm::Vector> vertices(nVertices + 1);
    for (int i = 0; i < nVertices; ++i) {
        const ShapeEntry& entry = model.m_pShapes[0]->pEntries[i];
        vertices[i] = {entry.x, entry.y, entry.z};
    }
    // Each face as the count 3 and its vertex numbers in stored order, then a 0 count.
    std::vector<uint32_t> faceData((nFaces + 1) * 4);
    size_t nWord = 0;
    for (int j = 0; j < nFaces; ++j) {
        const ShapeEntry& face = model.m_pFaces[j];
        faceData[nWord++] = 3;
        faceData[nWord++] = static_cast<uint32_t>(static_cast<int32_t>(face.x)); // truncates
        faceData[nWord++] = static_cast<uint32_t>(static_cast<int32_t>(face.y));
        faceData[nWord++] = static_cast<uint32_t>(static_cast<int32_t>(face.z));
    }
    faceData[nWord] = 0;

    rm::FaceArray* pFaces = nullptr;
    m_pMeshBuilder->AddFaces(nVertices, vertices.data(), 0, nullptr, faceData.data(), &pFaces);
    ReleaseAndClear(pFaces); // not used
    m_pMeshBuilder->GenerateNormals();

    m_pPixels = std::make_unique<uint8_t[]>(kTextureBytes);
    // The palette follows the faces: red, green, blue of each colour in turn.
    for (int k = 0; k < kPaletteSize; ++k) {
        int nRed = 0;
        int nGreen = 0;
        int nBlue = 0;
        model.ReadByte(&nRed);
        model.ReadByte(&nGreen);
        model.ReadByte(&nBlue);
        m_palette[k] = {static_cast<uint8_t>(nRed), static_cast<uint8_t>(nGreen),
                        static_cast<uint8_t>(nBlue), 0};
    }
    // The file stores the texture's bottom row first; the image runs from its top row.
    for (int nRow = 0; nRow < kTextureSize; ++nRow) {
        uint8_t* pRow = m_pPixels.get() + (kTextureSize - 1 - nRow) * kTextureSize;
        for (int nColumn = 0; nColumn < kTextureSize; ++nColumn) {
            int nIndex = 0;
            model.ReadByte(&nIndex);
            pRow[nColumn] = static_cast<uint8_t>(nIndex);
        }
    }

    m_image = rm::Image{};
    m_image.width = kTextureSize;
    m_image.height = kTextureSize;
    m_image.aspectx = 1;
    m_image.aspecty = 1;
    m_image.depth = 8;
    m_image.rgb = 0;
    m_image.bytes_per_line = kTextureSize;
    m_image.buffer1 = m_pPixels.get();
    m_image.buffer2 = nullptr;
    m_image.red_mask = 0xFC;
    m_image.green_mask = 0xFC;
    m_image.blue_mask = 0xFC;
    m_image.alpha_mask = 0xFC;
    m_image.palette_size = kPaletteSize;
    m_image.palette = m_palette;

    rm::Texture* pTexture = nullptr;
    if (g_retainedMode->CreateTexture(&m_image, &pTexture) != rm::kOk) {
        sys::showMessage("Failed to load texture");
        return 0;
    }
    pTexture->SetColors(256);
    m_pMeshBuilder->SetTexture(pTexture);
    pTexture->Release(); // the mesh builder holds its own reference

    // The texture lies on the vertices' own x and y bytes: back from model space to the
    // byte grid (px / s + 128), then 1/256 per texel; in double, stored as float.
    const double dScale = model.m_fScale;
    for (int i = 0; i < nVertices; ++i) {
        const double dU = (vertices[i].x / dScale + 128.0) * kTexelSize;
        const double dV = (vertices[i].y / dScale + 128.0) * kTexelSize;
        m_pMeshBuilder->SetTextureCoordinates(i, static_cast<float>(dU), static_cast<float>(dV));
    }

    g_retainedMode->CreateFrame(g_scene, &m_pFaceFrame);
    m_pMeshBuilder->CreateMesh(&m_pMesh);
    m_pFaceFrame->AddVisual(m_pMesh);

    g_retainedMode->CreateFrame(g_scene, &g_camera);
    g_camera->SetPosition(g_scene, 0.0f, 0.0f, -150.0f);

    const int nHeight = g_device->GetHeight();
    const int nWidth = g_device->GetWidth();
    g_retainedMode->CreateViewport(g_device, g_camera, 0, 0, nWidth, nHeight, &g_viewport);
    g_viewport->SetProjection(rm::ProjectionType::Orthographic);
    g_viewport->SetBack(1000.0f);
    g_viewport->SetFront(-1000.0f); // negative: the orthographic view takes the whole head

    RemapMorphTargets();
    return 1;
}

void CFaceViewCore::RemapMorphTargets() {
    if (!m_pMesh) {
        return;
    }
    ::RemapMorphTargets(*m_pModel, *m_pMesh, m_nGroup);
}

void CFaceViewCore::BlendMorphTarget(int nTarget, float fWeight) {
    fWeight = anim::LimitWeight(fWeight);
    const CFaceModel& model = *m_pModel;
    const int nVertices = model.m_nVertices;
    // The transfer buffer is fixed; a face it cannot hold is never blended.
    if (!m_pMesh || nVertices < 0 || nVertices > kTransferVertices) {
        return;
    }
    rm::Vertex buffer[kTransferVertices];
    if (m_pMesh->GetVertices(m_nGroup, 0, nVertices, buffer) != rm::kOk) {
        return; // the buffer holds nothing valid: never write it back
    }
    // A target the face does not carry blends as one with no entries.
    const FaceShape* pShape = nullptr;
    if (nTarget >= 1 && nTarget < CFaceModel::kMaxShapes && nTarget < model.m_nShapes) {
        pShape = model.m_pShapes[nTarget];
    }
    const FaceShape* pBase = model.m_pShapes[0];
    if (pShape && pBase) {
        for (int i = 0; i < pShape->nCount; ++i) {
            const ShapeEntry& entry = pShape->pEntries[i];
            const int v = entry.nIndex;
            if (v < 0 || v >= nVertices || v >= pBase->nCount) {
                continue;
            }
            // rest + weight x difference, each coordinate in single precision
            const ShapeEntry& rest = pBase->pEntries[v];
            rm::Vector& position = buffer[v].position;
            position.x = entry.x * fWeight + rest.x;
            position.y = entry.y * fWeight + rest.y;
            position.z = entry.z * fWeight + rest.z;
        }
    }
    m_pMesh->SetVertices(m_nGroup, 0, nVertices, buffer);
}

void CFaceViewCore::Tick() {
    if (!g_retainedMode) {
        return;
    }
    // The path taken on almost every idle pass: one clock read and one comparison.
    const uint32_t dwNow = sys::timeGetTime();
    if (!anim::FrameDue(dwNow, s_dwLastFrameTime)) {
        return;
    }
    s_dwLastFrameTime = dwNow;
    ++m_nFrames;
    m_lastFrame = FrameTrace{};
    m_lastFrame.dwTime = dwNow;

    if (m_bSway) {
        if (m_nSwayFrames == 0) {
            // A new segment: the first draw goes to the y axis, the second to the x axis.
            m_fSwayTargetY = anim::SwayTarget(sys::rand());
            m_fSwayStepY = anim::SwayStep(m_fSwayTargetY, m_fSwayY);
            m_fSwayTargetX = anim::SwayTarget(sys::rand());
            m_fSwayStepX = anim::SwayStep(m_fSwayTargetX, m_fSwayX);
            m_nSwayFrames = anim::kSwaySegmentFrames;
        }
        m_fSwayY += m_fSwayStepY;
        m_fSwayX += m_fSwayStepX;
        if (m_pFaceFrame) {
            // Turn about y first, then tilt about x; the frame had no other transform.
            m_pFaceFrame->AddRotation(rm::CombineType::Replace, 0, 1, 0, m_fSwayY);
            m_pFaceFrame->AddRotation(rm::CombineType::After, 1, 0, 0, m_fSwayX);
        }
        m_nSwayFrames -= 1;
    }
    m_lastFrame.fSwayTargetY = m_fSwayTargetY;
    m_lastFrame.fSwayTargetX = m_fSwayTargetX;
    m_lastFrame.fSwayY = m_fSwayY;
    m_lastFrame.fSwayX = m_fSwayX;

    if (anim::BlinkDue(dwNow, m_dwBlinkEndTime)) {
        m_bBlinking = true;
    }
    if (m_bBlinking) {
        BlendMorphTarget(anim::kBlinkTarget, m_fBlinkWeight);
        m_lastFrame.bBlinked = true;
        m_lastFrame.fBlinkWeight = anim::LimitWeight(m_fBlinkWeight);
        anim::BlinkState blink{m_fBlinkWeight, m_fBlinkStep};
        if (anim::AdvanceBlink(blink)) {
            m_bBlinking = false;
            m_dwBlinkEndTime = dwNow;
        }
        m_fBlinkWeight = blink.fWeight;
        m_fBlinkStep = blink.fStep;
    }

    const int32_t nLevel = m_pLevelMeter ? m_pLevelMeter->Read() : 0;
    const anim::MouthBlend mouth = anim::ChooseMouth(nLevel, m_fLoudThreshold, m_fQuietThreshold);
    BlendMorphTarget(mouth.nTarget, mouth.fWeight);
    m_lastFrame.nLevel = nLevel;
    m_lastFrame.nMouthTarget = mouth.nTarget;
    m_lastFrame.fMouthWeight = anim::LimitWeight(mouth.fWeight);

    g_retainedMode->Tick(1.0);
}

void CFaceViewCore::SetLoudnessThreshold(int nPos) {
    const anim::LoudnessThresholds thresholds = anim::ThresholdsForPosition(nPos);
    m_fLoudThreshold = thresholds.fLoud;
    m_fQuietThreshold = thresholds.fQuiet;
}
