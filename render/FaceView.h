#pragma once
// The face view: the child window that shows one animated face over the main dialog's
// display panel. The window-free work is CFaceViewCore's; this class binds it to a Qt
// widget: the first paint runs the device set-up, paints show the device's last frame,
// the background is filled with the scene's colour.

#include "FaceViewCore.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QPaintEvent;

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

    // Deletes a view and everything it holds. A view one of whose own handlers is still
    // running further up the stack (its paint or activation waits on a message box, and a
    // hand-off replaced the view meanwhile) cannot go at once: it is hidden now, and it lets
    // go of its objects and is deleted as soon as that handler has returned. Until then a
    // new view's first paint waits for the process-wide objects. Either way the caller
    // forgets the view at once.
    static void Delete(CFaceView* pView);

    // Called with a view that ends itself after a failed set-up, just before it is deleted:
    // the holder clears its pointer. One handler for the process. The handler must not
    // delete the view: the view deletes itself once its paint handler has returned.
    static void SetEndedHandler(std::function<void(CFaceView*)> handler);

    // Makes the level meter of every view created from now on; returns the previous
    // factory. Without one, views read the sound server's default output.
    using LevelMeterFactory = std::function<std::unique_ptr<CLevelMeter>()>;
    static LevelMeterFactory SetLevelMeterFactory(LevelMeterFactory factory);

    // Makes every view's set-up use nDepth bits per pixel instead of its screen's depth, for
    // tests of the depth settings; 0 restores the screen's. Returns the previous value.
    static int SetColourDepthOverride(int nDepth);

    // The main dialog's activation, forwarded to the device.
    void OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized);

    // The window is going: releases the face frame and the process-wide 3D objects. The
    // destructor runs it too; running it again does nothing.
    void OnDestroy();

protected:
    void paintEvent(QPaintEvent* pEvent) override;

    rm::WindowTarget* WindowTarget() override;
    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    int ColourDepth() const override; // of the screen the view is on

private:
    class FrameTarget;
    class HandlerScope;

    void EndSelf();
    // Closes the meter and releases the texture and every 3D object; safe to run twice.
    void TearDown();
    // The last handler of a view deleted during it has returned: the view goes now.
    void FinishRetirement();
    // Counts the view among those on their way out until its destructor has run.
    void MarkDying();

    std::unique_ptr<FrameTarget> m_pTarget; // receives the device's finished frames
    bool m_bConstructing = true;            // the constructor has not returned yet
    bool m_bEnded = false;   // the set-up failed: the view is torn down, awaiting deletion
    int m_nHandlers = 0;     // this view's paint and activation handlers on the stack
    bool m_bRetired = false; // deleted while a handler ran: goes when the last returns
    bool m_bDying = false;   // ended or retired, and counted until the destructor
};
