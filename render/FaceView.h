#pragma once
// The face view: the child window that shows one animated face over the main dialog's
// display panel. The window-free work is CFaceViewCore's; this class binds it to a Qt
// widget: the first paint runs the device set-up, paints show the device's last frame,
// the background is filled with the scene's colour.

#include "FaceViewCore.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class CFaceView : public QWidget, public CFaceViewCore {
public:
    // Creates a view over the face buffer and shows it; it never ends itself while this
    // runs, so use Create() to learn whether it survived its first paint.
    CFaceView(QWidget* pParent, int x, int y, int nWidth, int nHeight, uint32_t nColourModel,
              const std::string& strLocation, const uint8_t* pFaceBuffer);
    ~CFaceView() override;

    // Constructs a view; returns null when its device set-up failed during construction
    // (a paint that came while a construction message box was open), the view then gone.
    static CFaceView* Create(QWidget* pParent, int x, int y, int nWidth, int nHeight,
                             uint32_t nColourModel, const std::string& strLocation,
                             const uint8_t* pFaceBuffer);

    // Called with a view that ends itself after a failed set-up, just before it is deleted:
    // the holder clears its pointer. One handler for the process.
    static void SetEndedHandler(std::function<void(CFaceView*)> handler);

    // The main dialog's activation, forwarded to the device.
    void OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized);
};
